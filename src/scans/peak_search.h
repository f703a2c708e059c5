#pragma once
// The two routines every one-dimensional scan goes through: the peak search
// (peaks with their bounds, area and width) and the rolling-ellipse
// background. Both are pure: values and parameters in, results out. Their
// work arrays are sized by the scan, so a 2-theta scan of 24000 points is
// searched whole and may hold as many peaks as it has.

#include <cstdint>
#include <span>
#include <vector>

namespace orv {

// The routines' work array: a scan's values, point k at index k.
using PeakWork = std::vector<double>;

// One peak found in a scan. Indices count the scan's points (point k of the
// scan is value k).
struct PeakRecord {
    double Intensity = 0;    // the highest value of the peak's window
    double Area = 0;         // the sum of the values LeftIndex..RightIndex
    int32_t Index = 0;       // the point of the maximum
    double Width = 0;        // step x Area / Intensity (degrees)
    int32_t LeftIndex = 0;   // the first and last point counted into the peak
    int32_t RightIndex = 0;
};

// The peaks of a search in increasing Index. The report numbers a peak by its
// slot: slot s is PeakTable[s - 1].
using PeakTable = std::vector<PeakRecord>;

struct PeakSearchParams {
    int32_t Window = 0;      // b: the peak window in points (0 makes every peak one point wide)
    int32_t Percent = 5;     // relative threshold, per cent of the scan's height
    int32_t Minimum = 100;   // absolute threshold in counts
    bool Absolute = false;   // use Minimum instead of Percent
    // Points from TopFrom on count towards the scan's top in the relative
    // threshold (a 2-theta scan skips the direct beam below 1.1 degrees); a
    // value beyond the scan leaves the top at 0 (psi scans).
    int32_t TopFrom = 1;
    double Step = 0;         // degrees per point, for Width
};

// The peaks of values[1..n], n = values.size() - 1 (values[0] is not read).
// A scan shorter than the window (n - Window < 1) has none.
PeakTable SearchScanPeaks(std::span<const double> values, const PeakSearchParams& params);

struct RollingBackgroundSums {
    double PeakSum = 0;         // the sum of the background-free values
    double BackgroundSum = 0;   // the sum of what was taken away
};

// Rolls a half-ellipse of half-width `halfWidth` points and height `height`
// under the values and replaces each value by its height above the ellipse's
// lowest point under it: never below 0 for a height of 0 or more. Returns the
// two sums, whose total is the sum of the values before the call. Every
// value of the span takes part. Throws std::invalid_argument for a half-width
// below 1 point or a negative height (the callers refuse these first).
RollingBackgroundSums RemoveRollingBackground(std::span<double> values, int32_t halfWidth, int32_t height);

} // namespace orv
