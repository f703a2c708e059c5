#pragma once
// Per-pixel geometry: every pixel's laboratory coordinates, 2-theta and psi
// for the detector shape in use, and the whole-frame 2-theta profile.

#include <cstdint>
#include <optional>

#include "workspace/frame_types.h"

namespace orv {

class Host;
struct Workspace;

// Reads the Detector Settings, "File Settings", the diffractometer plane and
// the batch settings, then maps every pixel, chooses the 2-theta step and
// bins the frame into FrameProfile and FrameProfileCopy. Every box is read
// before anything changes: a box that is not a number throws ConversionError
// and leaves the workspace as it was. Messages go through the host. Returns
// false when the settings cannot map the frame (the message said why and
// nothing changed).
bool ComputeFrameGeometry(Workspace& ws, Host& host);
// The same with the beam centre (xo, yo) handed over: a centre search maps
// its trial centres whatever the Detector Settings' ticked centre boxes or
// "File Settings" say.
bool ComputeFrameGeometry(Workspace& ws, Host& host, double xo, double yo);

// The mapping of pixels to the laboratory that a geometry key stands for,
// as ComputeFrameGeometry maps the frame with it. Tools that try other
// geometries (the calibration fit) map with it without touching the cache.
DetectorMapping MakeDetectorMapping(const GeometryKey& key);

// Laboratory coordinates in pixels, in double precision.
struct LabVector {
    double X = 0, Y = 0, Z = 0;
};
// The laboratory coordinates of the frame point at column x, row y (pixel
// [i][j] has its centre at (i, j); fractions lie between pixel centres), by
// the same formulas as the pixels'.
LabVector MapFramePoint(const DetectorMapping& mapping, double x, double y);
// The 2-theta (degrees) of laboratory coordinates, measured as the pixels'
// are (from the mapping's origin, the cylinder's sample offset).
double MappedTwoTheta(const DetectorMapping& mapping, const LabVector& p);

// The 2-theta (degrees) of the `count` frame points (x, firstY),
// (x, firstY + 1), ... into out[0 .. count - 1], by the same formulas as the
// pixels' (a tool that tries other centres tabulates them with it).
void MapTwoThetaColumn(const DetectorMapping& mapping, double x, double firstY, int32_t count, float* out);

// Recomputes the extrema of FrameProfileCopy over bins 1..ScanPoints.
void UpdateProfileExtrema(Workspace& ws);

// The 2-theta grid of every profile: the bin width and the 2-theta of bin 0.
struct TwoThetaGrid {
    float Step = 0.1f;
    float MinTwoTheta = 0;
};

// The step rule. The automatic step follows from the frame's 2-theta range
// minTwoTheta..maxTwoTheta, its width and centre column (wider for a slit
// detector); `fixedStep` replaces it when the user set one. The step is then
// rounded to a multiple of 0.0025 (below 0.01) or 0.005, kept inside
// 0.0025..0.5 and enlarged until the range fits into MaxScanPoints bins;
// MinTwoTheta is minTwoTheta rounded to a multiple of the step.
TwoThetaGrid ChooseTwoThetaGrid(float minTwoTheta, float maxTwoTheta, int32_t frameWidth, double xo,
                                bool slitDetector, std::optional<float> fixedStep);

// Labels FrameProfile (and the ring table) from MinTwoTheta in steps of
// TwoThetaStep up to the first bin past LargestTwoTheta, which becomes
// ScanPoints; sums every unmasked pixel of the frame into its bin and fills
// the display copy FrameProfileCopy (divided by the pixel count when the
// 1/count box of the batch settings is ticked).
void BinFrameProfile(Workspace& ws);

} // namespace orv
