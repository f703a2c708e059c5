#pragma once
// The Detector Settings and Wavelength windows' own buttons that change
// settings (Apply, the .set file and the 2-theta correction are in
// detector_settings.h).

#include <string>

namespace orv {

class Host;
struct Workspace;

// "OK": the detector is flat exactly when "Flat" is ticked.
void DetectorSettingsOK(Workspace& ws, Host& host);
// A click on a shape button (1 "Flat", 2 "Cilindrical", 3 "Spherical")
// ticks it; "Flat" and "Cilindrical" take effect at once, "Spherical" only
// with "OK" or a settings load.
void DetectorShapeClick(Workspace& ws, Host& host, int shape);
// "Select All": ticks the Apply boxes of centre, wavelength, size, distance,
// detector angle, slit detector and sample offset (not the pixel size and
// not the custom raw layout).
void DetectorSelectAll(Workspace& ws, Host& host);
// A preset button of the Wavelength window ("Mo", "Cu", "Co", "Fe", "Cr")
// puts its text into the wavelength box; an unknown anode changes nothing.
void WavelengthPresetClick(Workspace& ws, Host& host, const std::string& anode);

} // namespace orv
