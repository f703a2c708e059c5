#pragma once
// The sector dialog "Mask" (TFMask): Apply, Full Range, and the frame
// window's Delete Sector.

namespace orv {

class Host;
struct Workspace;

// "Apply": the rectangle when CBRectangle is ticked, else the angular limits
// typed in the boxes; then the limits are read, repaired, drawn and scanned.
// A box that is not a number is reported and changes nothing.
void FMaskButton1Click(Workspace& ws, Host& host);
// "Full Range": the 2-theta range of the scan, all psi and the whole frame
// into the boxes and CropRect; the limits in force are not changed.
void FMaskBFRangeClick(Workspace& ws);
// Delete Sector: masks the pixels of the current sector, then the sector
// becomes the full range and the frame, geometry and scan are made anew.
void DeleteSector1Click(Workspace& ws, Host& host);

} // namespace orv
