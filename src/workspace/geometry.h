#pragma once
// Per-pixel geometry: every pixel's laboratory coordinates, 2-theta and psi
// for the detector shape in use, and the whole-frame 2-theta profile.

namespace orv {

class Host;
struct Workspace;

// Reads the Detector Settings, "File Settings", the diffractometer plane and
// the batch settings, then maps every pixel, chooses the 2-theta step and
// bins the frame into FrameProfile and FrameProfileCopy. Every box is read
// before anything changes: a box that is not a number throws ConversionError
// and leaves the workspace as it was. Messages go through the host.
void ComputeFrameGeometry(Workspace& ws, Host& host);

// Recomputes the extrema of FrameProfileCopy over bins 1..ScanPoints.
void UpdateProfileExtrema(Workspace& ws);

} // namespace orv
