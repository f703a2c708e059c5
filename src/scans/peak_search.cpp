#include "scans/peak_search.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace orv {

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();

// The largest lift of point q over its neighbours on one side (dir -1 or
// +1), count points out: (e[o] + v[q]) - v[q + o dir] for o = 1..count. Four
// running maxima keep the additions independent of each other.
double LargestLift(const double* e, const double* v, int64_t q, int64_t dir, int64_t count) {
    const double vq = v[q];
    double m0 = -Infinity, m1 = -Infinity, m2 = -Infinity, m3 = -Infinity;
    int64_t o = 1;
    for (; o + 3 <= count; o += 4) {
        m0 = std::max(m0, (e[o] + vq) - v[q + o * dir]);
        m1 = std::max(m1, (e[o + 1] + vq) - v[q + (o + 1) * dir]);
        m2 = std::max(m2, (e[o + 2] + vq) - v[q + (o + 2) * dir]);
        m3 = std::max(m3, (e[o + 3] + vq) - v[q + (o + 3) * dir]);
    }
    for (; o <= count; ++o) m0 = std::max(m0, (e[o] + vq) - v[q + o * dir]);
    return std::max(std::max(m0, m1), std::max(m2, m3));
}

} // namespace

PeakTable SearchScanPeaks(std::span<const double> values, const PeakSearchParams& params) {
    PeakTable table;
    const int32_t n = values.empty() ? 0 : static_cast<int32_t>(values.size() - 1);
    const int32_t b = params.Window;
    if (b < 0 || n - b < 1) return table;
    const double* v = values.data();
    // Near the ends the smoothing and the walks' look-ahead read the nearest
    // end value, never past the scan.
    auto at = [v, n](int64_t k) { return v[std::clamp<int64_t>(k, 1, n)]; };
    auto smoothed = [&](int32_t j) {   // the floors' three-point mean, kept in single precision
        return static_cast<double>(static_cast<float>((at(j - 1) / 2 + at(j) + at(j + 1) / 2) / 2));
    };
    auto rise = [&](int64_t j) { return at(j - 1) / 1.5 + at(j) + at(j + 1) / 1.5; };

    // The floor of the scan (not below 0) and its top; the top leaves out the
    // points before TopFrom.
    double floor = Infinity;
    for (int32_t j = 1; j <= n; ++j) floor = std::min(floor, v[j]);
    floor = std::max(0.0, floor);
    double top = 0;
    for (int32_t i = std::max(params.TopFrom, 1); i <= n - b; ++i) top = std::max(top, v[i]);
    const double relative = (top - floor) * params.Percent / 100.0;

    const int32_t half = b / 2;
    for (int32_t i = 1; i <= n - b; ++i) {
        // A window yields a peak when the first of its largest values (above
        // 0) among points i..i+b sits in its middle.
        const int32_t m = i + half;
        const double e = v[m];
        if (!(e > 0)) continue;
        bool isMax = true;
        for (int32_t j = m - 1; j >= i && isMax; --j) isMax = v[j] < e;
        for (int32_t j = m + 1; j <= i + b && isMax; ++j) isMax = v[j] <= e;
        if (!isMax) continue;
        bool above;
        if (params.Absolute) {
            above = e > params.Minimum;
        } else {
            double f = Infinity;
            for (int32_t j = i, last = std::min(i + 2 * b, n); j <= last; ++j) f = std::min(f, v[j]);
            above = e > f + relative;
        }
        if (!above) continue;

        PeakRecord peak;
        peak.Intensity = e;
        peak.Index = m;
        const int32_t right = std::min(m + b, n), left = std::max(m - b, 1);
        double floorRight = Infinity, floorLeft = Infinity;
        for (int32_t j = m + 1; j <= right; ++j) floorRight = std::min(floorRight, smoothed(j));
        for (int32_t j = m - 1; j >= left; --j) floorLeft = std::min(floorLeft, smoothed(j));
        // Each walk goes out until the scan is low and rises again three
        // points further out.
        double sum = 0;
        peak.RightIndex = m;
        for (int32_t j = m + 1; j <= right; ++j) {
            sum += v[j];
            peak.RightIndex = j;
            const double t = rise(j);
            if (rise(j + 3) > t && t / 2 < std::max(0.1, 4 * floorRight)) break;
        }
        sum += v[m];
        peak.LeftIndex = m;
        for (int32_t j = m - 1; j >= left; --j) {
            sum += v[j];
            peak.LeftIndex = j;
            const double t = rise(j);
            if (rise(j - 3) > t && t / 2 < std::max(0.1, 4 * floorLeft)) break;
        }
        peak.Area = sum;
        peak.Width = params.Step * sum / e;
        table.push_back(peak);
    }
    return table;
}

RollingBackgroundSums RemoveRollingBackground(std::span<double> values, int32_t halfWidth, int32_t height) {
    if (halfWidth < 1) throw std::invalid_argument("roll width below one point");
    if (height < 0) throw std::invalid_argument("negative roll height");
    RollingBackgroundSums sums;
    const int64_t n = static_cast<int64_t>(values.size());
    if (n == 0) return sums;
    const int64_t w = std::min<int64_t>(halfWidth, n - 1);
    // The half-ellipse's height at each offset, worked out once.
    const double w2 = static_cast<double>(halfWidth) * halfWidth;
    const double h2 = static_cast<double>(height) * height;
    std::vector<double> ellipse(static_cast<size_t>(w) + 1);
    for (int64_t o = 1; o <= w; ++o)
        ellipse[static_cast<size_t>(o)] = std::sqrt(std::fabs((1.0 - static_cast<double>(o * o) / w2) * h2));
    ellipse[0] = height;   // exactly, so that a point is never lowered below its own ellipse top

    std::vector<double> net(static_cast<size_t>(n));
    const double* v = values.data();
    const double* e = ellipse.data();
    for (int64_t q = 0; q < n; ++q) {
        // The ellipse's lowest point under q decides: the largest lift of
        // q over a neighbour plus the ellipse's height there. The point
        // itself gives the height, so the result is never below 0.
        const int64_t first = std::max<int64_t>(0, q - w), last = std::min<int64_t>(n - 1, q + w);
        const double best = std::max({static_cast<double>(height), LargestLift(e, v, q, -1, q - first),
                                      LargestLift(e, v, q, 1, last - q)});
        net[static_cast<size_t>(q)] = best - height;
    }
    for (int64_t q = 0; q < n; ++q) {
        sums.PeakSum += net[static_cast<size_t>(q)];
        sums.BackgroundSum += v[q] - net[static_cast<size_t>(q)];
    }
    std::copy(net.begin(), net.end(), values.begin());
    return sums;
}

} // namespace orv
