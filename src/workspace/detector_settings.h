#pragma once
// The detector settings: the ".set" file, the Detector Settings window's
// Apply, the wavelength presets and the 2-theta correction.

#include <cstdint>
#include <string>

#include "workspace/text_files.h"

namespace orv {

class Host;
struct Workspace;

constexpr int SettingsFileLines = 19;
constexpr int SettingsFileMinLines = 16;
// A ".set" file is 19 lines, each the text of one box: a larger file is not
// a settings file and is refused before it is read.
constexpr uint64_t MaxSettingsFileBytes = SettingsFileLines * MaxBoxLineBytes;

// Writes the 19 lines of a ".set" file (CR LF). Throws FileError.
void SaveSettingsFile(const Workspace& ws, const std::string& fileName);
// Reads a ".set" file into the settings windows, rewrites "Settings.txt" in
// the program folder and logs "Loaded Settings <name>". A file that cannot
// be read or is not a settings file (not text, fewer than 16 lines, larger
// than MaxSettingsFileBytes) is refused with a message and changes nothing;
// returns whether it was loaded.
bool LoadSettingsFile(Workspace& ws, Host& host, const std::string& fileName);

// Why Apply would refuse a sample-to-detector distance (mm, as typed and
// read) or a detector angle (degrees, offset included), or "".
std::string DistanceProblem(const std::string& typed, double distance);
std::string DetectorAngleProblem(double angle);

// "Apply" of the Detector Settings window. False when a value was refused
// (the user was told) or the new settings cannot map the frame.
bool ApplyDetectorSettings(Workspace& ws, Host& host);
// The wavelength as its boxes show it: the precision that was typed or
// fitted is kept (five significant digits, "1.5406", "0.70926"), at least
// three decimals ("0.711").
std::string FormatWavelength(double landa);
// "OK" of the Wavelength window.
void ApplyWavelength(Workspace& ws, Host& host);
// The wavelength presets' texts ("Mo", "Cu", "Co", "Fe", "Cr"); empty for an unknown anode.
std::string WavelengthPreset(const std::string& anode);
// "OK" of the Correct2Theta window. An angle of 180 degrees or more (either
// sign), or a corrected distance or detector size outside its range, is
// refused with nothing changed.
void Correct2ThetaOK(Workspace& ws, Host& host);

} // namespace orv
