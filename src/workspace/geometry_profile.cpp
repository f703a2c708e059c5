// The 2-theta grid of the profiles, the whole-frame profile and its extrema.

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "workspace/geometry.h"
#include "workspace/integration.h"
#include "base/numbers.h"
#include "base/parallel.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr float SmallestStep = 0.0025f;
constexpr float LargestStep = 0.5f;
// Below 0.01 degrees steps are multiples of 0.0025, above of 0.005. The
// multiples are taken in double so that 18 x 0.005 stores as the float
// nearest 0.09, not the float product of two rounded numbers.
constexpr double FineGridLimit = 0.01;
constexpr double FineGrid = 0.0025;
constexpr double CoarseGrid = 0.005;

float RoundToGrid(float step, double grid) { return static_cast<float>(RoundHalfEven(step / grid) * grid); }

float RoundStep(float step) {
    if (step < FineGridLimit) step = RoundToGrid(step, FineGrid);
    if (step > FineGridLimit) step = RoundToGrid(step, CoarseGrid);
    if (step > LargestStep) step = LargestStep;
    if (!(step >= SmallestStep)) step = SmallestStep;   // also catches NaN
    return step;
}

// The next coarser step of the grid (0.0075 is the last fine one, and 0.01
// in single precision lies a hair below 0.01).
float NextStep(float step) {
    const double grid = step < 0.00875 ? FineGrid : CoarseGrid;
    const float next = static_cast<float>((RoundHalfEven(step / grid) + 1) * grid);
    return std::min(next, LargestStep);
}

// The bin a 2-theta falls into; NaN and far-off values give a number outside
// every profile.
inline double BinPosition(float twoTheta, double minTwoTheta, double step) {
    return std::nearbyint((double(twoTheta) - minTwoTheta) / step);
}

// The smallest 2-theta rounded to the step. When it lies a hair under half
// a step below that, rounding in single precision could put it in bin -1:
// then bin 0 starts one step lower.
float FirstBinTwoTheta(float minTwoTheta, float step) {
    const double n = RoundHalfEven(double(minTwoTheta) / step);
    float first = static_cast<float>(n) * step;
    if (BinPosition(minTwoTheta, first, step) < 0) first = static_cast<float>(n - 1) * step;
    return first;
}

int32_t SaturateToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

TwoThetaGrid ChooseTwoThetaGrid(float minTwoTheta, float maxTwoTheta, int32_t frameWidth, double xo,
                                bool slitDetector, std::optional<float> fixedStep) {
    const float range = maxTwoTheta - minTwoTheta;
    float step = 0;
    if (frameWidth > 0) {
        step = static_cast<float>(range * 0.75 / frameWidth);
        if (0 < xo && xo < frameWidth)
            step = static_cast<float>(range * 0.75 / std::max(std::fabs(frameWidth - xo), std::fabs(xo)));
        if (slitDetector) step = static_cast<float>(range * 1.4 / frameWidth);
    }
    if (fixedStep) step = *fixedStep;
    if (range / step > float(MaxScanPoints)) step = range / float(MaxScanPoints);
    step = RoundStep(step);

    // Rounding can leave more bins than the profiles hold: widen the step
    // until the largest 2-theta lands in bin MaxScanPoints or below.
    while (step < LargestStep &&
           BinPosition(maxTwoTheta, FirstBinTwoTheta(minTwoTheta, step), step) > MaxScanPoints)
        step = NextStep(step);

    return TwoThetaGrid{step, FirstBinTwoTheta(minTwoTheta, step)};
}

void BinFrameProfile(Workspace& ws) {
    ProfileRow& profile = ws.FrameProfile;
    const float minTwoTheta = ws.MinTwoTheta;
    const float step = ws.TwoThetaStep;

    int32_t scanPoints = MaxScanPoints;
    for (int32_t k = 0; k <= MaxScanPoints; ++k) {
        const float label = static_cast<float>(double(minTwoTheta) + k * double(step));
        profile[static_cast<size_t>(k)].TwoTheta = label;
        if (k < static_cast<int32_t>(ws.RingProfile.size())) ws.RingProfile[static_cast<size_t>(k)].TwoTheta = label;
        if (label > ws.LargestTwoTheta) {
            scanPoints = k;
            break;
        }
    }
    ws.ScanPoints = scanPoints;

    // The whole frame through the integration kernel: every unmasked pixel
    // into the bin of its 2-theta, whole-number sums.
    IntegrationRequest request;
    request.LastColumn = std::min(ws.FrameWidth, ws.FramePixels.width());
    request.LastRow = std::min(ws.FrameHeight, ws.FramePixels.height());
    // With the angles of a mapped geometry no pixel lies beyond the bin past
    // LargestTwoTheta (ScanPoints); otherwise every bin of the row is tried.
    const FrameGeometry* geometry = ws.FramePixels.Geometry();
    const bool mapped = geometry && geometry->Key.Shape != DetectorShape::None &&
                        ws.LargestTwoTheta == geometry->MaxTwoTheta;
    request.Grid = ScanGrid{minTwoTheta, step, mapped ? std::min(scanPoints + 1, ProfileLength - 1) : ProfileLength - 1};
    const ScanBins bins = std::move(IntegrateFrame(ws.FramePixels, request)[0]);
    std::vector<int64_t> sum(ProfileLength, 0), count(ProfileLength, 0);
    for (size_t k = 0; k < bins.size(); ++k) {
        sum[k] = static_cast<int64_t>(bins[k].Sum);
        count[k] = bins[k].Count;
    }
    for (size_t k = 0; k < ProfileLength; ++k) {
        profile[k].Intensity = static_cast<float>(double(sum[k]) / 100000.0);
        profile[k].Count = SaturateToInt32(count[k]);
    }

    // The display copy: counts again, per pixel when 1/count is ticked. Bin 0
    // keeps the raw sum.
    ws.FrameProfileCopy = profile;
    const bool perPixel = ws.FSetup.CB2thetaLorentz;
    for (size_t k = 1; k <= static_cast<size_t>(scanPoints); ++k) {
        double value = double(sum[k]);
        if (perPixel) value /= double(std::max<int64_t>(count[k], 1));
        ws.FrameProfileCopy[k].Intensity = static_cast<float>(value);
    }
}

void UpdateProfileExtrema(Workspace& ws) {
    ws.ProfileMaxIntensity = 1;
    ws.ProfileMinIntensity = 10000;
    ws.ProfileMaxTwoTheta = 0;
    ws.ProfileMinTwoTheta = 90;
    ws.ProfileMaxIndex = 0;
    const int32_t last = std::min(ws.ScanPoints, ProfileLength - 1);
    for (int32_t k = 1; k <= last; ++k) {
        const ProfilePoint& p = ws.FrameProfileCopy[static_cast<size_t>(k)];
        if (p.Intensity > ws.ProfileMaxIntensity) {
            ws.ProfileMaxIntensity = p.Intensity;
            ws.ProfileMaxIndex = k;
        }
        ws.ProfileMinIntensity = std::min(ws.ProfileMinIntensity, p.Intensity);
        ws.ProfileMaxTwoTheta = std::max(ws.ProfileMaxTwoTheta, p.TwoTheta);
        ws.ProfileMinTwoTheta = std::min(ws.ProfileMinTwoTheta, p.TwoTheta);
    }
    ws.ProfileTopIntensity = std::max(ws.ProfileTopIntensity, ws.ProfileMaxIntensity);
}

} // namespace orv
