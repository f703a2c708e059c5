#include "scans/calibration_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <tuple>

#include "base/numbers.h"
#include "base/parallel.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "scans/peak_search.h"
#include "scans/scan_analysis.h"
#include "scans/standard_overlay.h"
#include "workspace/detector_settings.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double MinRingIntensity = 3;         // relative intensity a line needs to make a ring
constexpr int MinCircleFitPoints = 4;
constexpr double AngleStep = 0.25;             // degrees per grid step in the first pass
constexpr double LengthStep = 5;               // pixels per grid step in the first pass
constexpr double PassDivisors[] = {1, 4, 16, 48, 200};
constexpr int MaxEdgeWalks = 6;                // times a pass may run again about a best trial on its edge
constexpr int64_t MinPixelsPerWorker = 65536;
constexpr double DirectBeamLimit = 1.1;        // degrees: the scan's top is taken above it
constexpr double LoneRingReach = 1.0;         // degrees either side of a ring without neighbours
constexpr int LocateSlots = 48;                // slots of the profile across a ring's window
constexpr int MeasureSlots = 40;               // slots of the profile across the band a ring is measured in
constexpr double RegionWidths = 1.5;           // the crest region reaches this many ring widths (FWHM) either side
constexpr double FlankWidths = 1.0;            // the background beside it, as many more at least
constexpr int CrestIterations = 4;             // times the crest region is centred again
constexpr double FixedPointPerDegree = 16777216.0;   // 2-theta offsets in exact integer sums
constexpr double MaxProjection = 5;            // pixels a point may move onto its crest
constexpr double OutlierDeviations = 5;        // robust standard deviations a point may lie off its line
constexpr int MaxLeastSquaresSteps = 60;
constexpr int MinCoveredBins = 12;             // psi bins (60 degrees) in which a line the frame shows must show its ring
constexpr double MinAutoWidth = 0.09, MaxAutoWidth = 1.2;

// The sums of a least-squares circle through points added one by one, taken
// about the first point (as the curve fitter takes them) so that far-off
// coordinates lose no precision. Kept here rather than in a TCurveFit
// because every trial fits several circles and needs nothing else.
class CircleSums {
public:
    void Add(double x, double y) {
        if (n_ == 0) {
            x0_ = x;
            y0_ = y;
        }
        x -= x0_;
        y -= y0_;
        ++n_;
        sx_ += x;
        sy_ += y;
        sxx_ += x * x;
        syy_ += y * y;
        sxy_ += x * y;
        sxxy_ += x * x * y;
        sxyy_ += x * y * y;
        sxxx_ += x * x * x;
        syyy_ += y * y * y;
    }
    int Count() const { return n_; }
    // The centre; false for points on one straight line (or at one place).
    bool Centre(double& cx, double& cy) const {
        const double n = n_;
        const double A = sx_ * sx_ - n * sxx_;
        const double B = sy_ * sy_ - n * syy_;
        const double C = n * sxy_ - sx_ * sy_;
        const double E = sy_ * (sxx_ + syy_) - n * (sxxy_ + syyy_);
        const double F = sx_ * (sxx_ + syy_) - n * (sxyy_ + sxxx_);
        const double G = B * A - C * C;
        if (!(G > 1e-12 * A * B)) return false;
        cx = (C * E + B * F) / 2 / G + x0_;
        cy = (C * F + E * A) / 2 / G + y0_;
        return std::isfinite(cx) && std::isfinite(cy);
    }

private:
    int n_ = 0;
    double x0_ = 0, y0_ = 0;
    double sx_ = 0, sy_ = 0, sxx_ = 0, syy_ = 0, sxy_ = 0, sxxy_ = 0, sxyy_ = 0, sxxx_ = 0, syyy_ = 0;
};

std::string F3(double v) { return FormatFixed(v, 3); }

int32_t LastScanPoint(const Workspace& ws) { return std::clamp(ws.SectorScanPoints, 0, MaxScanPoints); }

PeakWork ScanCopy(const Workspace& ws) {
    const int32_t n = LastScanPoint(ws);
    PeakWork work(static_cast<size_t>(n) + 1);
    for (int32_t k = 0; k <= n; ++k) work[static_cast<size_t>(k)] = ws.SectorScan[static_cast<size_t>(k)].Intensity;
    return work;
}

bool Cylinder(const GeometryKey& key) { return key.Shape == DetectorShape::Cylinder; }

} // namespace

// ---- Rings and their points ------------------------------------------------------

std::vector<CalibrationRing> CalibrationRings(const MineralRecord& pattern, double landa, double scale,
                                              double shift, double low, double high, double peakWidth,
                                              double scanMax) {
    std::vector<CalibrationRing> rings;
    const double r = StandardReferenceTwoTheta(pattern, landa);
    const int32_t count = std::clamp(pattern.LineCount, 0, MaxMineralLines);
    for (int32_t i = 0; i < count; ++i) {
        const MineralLine& line = pattern.Line[static_cast<size_t>(i)];
        double t = 0;
        if (!(line.Intensity > MinRingIntensity) || !MineralLineTwoTheta(landa, line.D, StandardMinD, t)) continue;
        CalibrationRing ring;
        ring.TwoTheta = t;
        ring.Placed = PlacedTwoTheta(t, r, scale, shift);
        ring.Strength = scanMax * line.Intensity / 100;
        if (!(ring.Placed >= low && ring.Placed <= high)) continue;
        if (!rings.empty() && std::abs(t - rings.back().TwoTheta) <= peakWidth) {
            // Lines closer than a peak width make one ring: the stronger.
            if (ring.Strength >= rings.back().Strength) rings.back() = ring;
            continue;
        }
        if (static_cast<int>(rings.size()) == MaxCalibrationRings) break;
        rings.push_back(ring);
    }
    return rings;
}

namespace {

// The profile of one cell (a ring's window in one psi bin) across the
// window: pixels, counts and their 2-theta offsets from the window's start.
struct LocateSlot {
    int64_t Pixels = 0, Counts = 0, Offset = 0;
};

// The profile of one cell across the band about the ring's crest, with what
// the crest, its background, its noise and its centroid are worked out from.
struct MeasureSlot {
    int64_t Pixels = 0, Counts = 0, Offset = 0, X = 0, Y = 0;
    __int128 CountsX = 0, CountsY = 0;
    // The brightest pixel (of equal ones, the first in 2-theta, then by
    // column and row, so that any thread count finds the same); none while
    // the slot holds no pixel.
    int32_t Top = 0;
    int64_t TopOffset = 0;
    int32_t TopX = 0, TopY = 0;
    void Take(bool first, int32_t v, int64_t u, int32_t i, int32_t j) {
        if (first || v > Top || (v == Top && std::tie(u, i, j) < std::tie(TopOffset, TopX, TopY))) {
            Top = v;
            TopOffset = u;
            TopX = i;
            TopY = j;
        }
    }
};

int64_t FixedOffset(double t, double from) { return static_cast<int64_t>(std::nearbyint((t - from) * FixedPointPerDegree)); }

double ToDouble(__int128 v) { return static_cast<double>(v); }

// Where a cell's ring stands highest in its window, and its width there.
struct LocatedRing {
    double Crest = std::numeric_limits<double>::quiet_NaN();
    double Width = 0;    // full width at half height, degrees
    double Height = 0;   // mean counts above the window's floor
};

// The slot whose mean counts stand highest above the line through the
// lowest slot of each half of the window (a background that falls across
// the window, or a neighbour's tail at its edge, is no ring), refined within
// its slot by the parabola through it and its neighbours, and where the
// profile falls to half that height on either side.
LocatedRing LocateRing(const LocateSlot* slots, double lower, double upper) {
    LocatedRing out;
    const double step = (upper - lower) / LocateSlots;
    std::array<double, LocateSlots> mean{}, at{}, score{};
    std::array<bool, LocateSlots> filled{};
    int low[2] = {-1, -1};
    for (int s = 0; s < LocateSlots; ++s) {
        const LocateSlot& p = slots[s];
        if (p.Pixels == 0) continue;
        filled[size_t(s)] = true;
        mean[size_t(s)] = double(p.Counts) / double(p.Pixels);
        at[size_t(s)] = lower + double(p.Offset) / double(p.Pixels) / FixedPointPerDegree;
        int& l = low[s < LocateSlots / 2 ? 0 : 1];
        if (l < 0 || mean[size_t(s)] < mean[size_t(l)]) l = s;
    }
    if (low[0] < 0 && low[1] < 0) return out;
    if (low[0] < 0) low[0] = low[1];
    if (low[1] < 0) low[1] = low[0];
    const double t0 = at[size_t(low[0])], m0 = mean[size_t(low[0])];
    const double slope = low[0] == low[1] ? 0 : (mean[size_t(low[1])] - m0) / (at[size_t(low[1])] - t0);
    int peak = -1;
    for (int s = 0; s < LocateSlots; ++s) {
        if (!filled[size_t(s)]) continue;
        score[size_t(s)] = mean[size_t(s)] - (m0 + slope * (at[size_t(s)] - t0));
        if (peak < 0 || score[size_t(s)] > score[size_t(peak)]) peak = s;
    }
    const double top = score[size_t(peak)];
    if (!(top > 0)) return out;
    double within = 0;
    if (peak > 0 && peak + 1 < LocateSlots && filled[size_t(peak - 1)] && filled[size_t(peak + 1)]) {
        const double a = score[size_t(peak - 1)], b = top, d = score[size_t(peak + 1)];
        if (a - 2 * b + d < 0) within = std::clamp(0.5 * (a - d) / (a - 2 * b + d), -0.5, 0.5);
    }
    // Half height on each side, between the last slot above it and the first below.
    auto halfWay = [&](int direction, double edge) {
        int previous = peak;
        for (int s = peak + direction; s >= 0 && s < LocateSlots; s += direction) {
            if (!filled[size_t(s)]) continue;
            if (score[size_t(s)] <= top / 2) {
                const double a = score[size_t(previous)], b = score[size_t(s)];
                return at[size_t(s)] + (top / 2 - b) * (at[size_t(previous)] - at[size_t(s)]) / (a - b);
            }
            previous = s;
        }
        return edge;
    };
    out.Crest = lower + (peak + 0.5 + within) * step;
    out.Width = std::max(halfWay(1, upper) - halfWay(-1, lower), step);
    out.Height = top;
    return out;
}

// The weighted median of (value, weight) pairs; 0 for none.
double WeightedMedian(std::vector<std::pair<double, double>> v) {
    std::sort(v.begin(), v.end());
    double total = 0;
    for (const auto& p : v) total += p.second;
    double run = 0;
    for (const auto& p : v) {
        run += p.second;
        if (run >= total / 2) return p.first;
    }
    return v.empty() ? 0 : v.back().first;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    const size_t m = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(m), v.end());
    return v[m];
}

// What the band about a crest shows: the crest's 2-theta, its standard
// error and the ring's width there, the centroid of the ring's counts, and
// whether it is a point at all.
struct MeasuredCrest {
    bool Point = false;
    double TwoTheta = 0, Error = 0, Width = 0, X = 0, Y = 0;
};

// The band from `from` over MeasureSlots slots: the region
// within `reach` of the crest (centred again on each new crest), the
// background beside it fitted as a line in 2-theta, and the tests that make
// the crest a point.
MeasuredCrest MeasureCrest(std::array<MeasureSlot, MeasureSlots> slots, double from, double crest, double reach,
                           double box) {
    MeasuredCrest out;
    // The band's brightest pixel is left out: a lone hot pixel moves
    // nothing, and a ring stands out without it.
    int brightest = -1;
    for (int s = 0; s < MeasureSlots; ++s)
        if (slots[size_t(s)].Pixels > 0 && (brightest < 0 || slots[size_t(s)].Top > slots[size_t(brightest)].Top))
            brightest = s;
    if (brightest < 0) return out;
    {
        MeasureSlot& m = slots[size_t(brightest)];
        --m.Pixels;
        m.Counts -= m.Top;
        m.Offset -= m.TopOffset;
        m.X -= m.TopX;
        m.Y -= m.TopY;
        m.CountsX -= static_cast<__int128>(m.Top) * m.TopX;
        m.CountsY -= static_cast<__int128>(m.Top) * m.TopY;
    }
    // The band's profile: each filled slot's mean counts at the mean
    // 2-theta of its pixels (from `from`), in increasing 2-theta.
    struct Sample {
        int Slot;
        double Pixels, Mean, At;
    };
    std::vector<Sample> profile;
    for (int s = 0; s < MeasureSlots; ++s) {
        const MeasureSlot& m = slots[size_t(s)];
        if (m.Pixels > 0)
            profile.push_back({s, double(m.Pixels), double(m.Counts) / double(m.Pixels),
                               ToDouble(m.Offset) / double(m.Pixels) / FixedPointPerDegree});
    }
    if (profile.size() < 3) return out;
    double c = crest - from;
    double b0 = 0, b1 = 0;   // the background, b0 + b1 (t - c) counts a pixel
    auto background = [&](double at) { return b0 + b1 * (at - c); };
    auto inRegion = [&](const Sample& q) { return std::abs(q.At - c) <= reach; };
    double flankPixels = 0, flankScatter = 0;
    int flankSlots = 0, flankParameters = 0;
    double height = 0, moment = 0;
    for (int iteration = 0; iteration < CrestIterations; ++iteration) {
        // The profile must be known across the whole region: a sample at or
        // beyond each of its ends.
        if (!(profile.front().At <= c - reach) || !(profile.back().At >= c + reach)) return out;
        // The background: a line through the samples beside the region (a
        // level when they lie on one side only), each weighing by its pixels.
        double sw = 0, st = 0, stt = 0, sm = 0, stm = 0;
        bool left = false, right = false;
        flankSlots = 0;
        for (const Sample& q : profile) {
            if (inRegion(q)) continue;
            const double t = q.At - c;
            sw += q.Pixels;
            st += q.Pixels * t;
            stt += q.Pixels * t * t;
            sm += q.Pixels * q.Mean;
            stm += q.Pixels * t * q.Mean;
            left = left || t < 0;
            right = right || t > 0;
            ++flankSlots;
        }
        if (flankSlots == 0) return out;
        const double det = sw * stt - st * st;
        if (left && right && flankSlots > 2 && det > 0) {
            b1 = (sw * stm - st * sm) / det;
            b0 = (sm - b1 * st) / sw;
            flankParameters = 2;
        } else {
            b1 = 0;
            b0 = sm / sw;
            flankParameters = 1;
        }
        flankPixels = sw;
        flankScatter = 0;
        for (const Sample& q : profile)
            if (!inRegion(q)) flankScatter += q.Pixels * (q.Mean - background(q.At)) * (q.Mean - background(q.At));
        // The crest: the profile above the background integrated over the
        // region by the trapezoid rule (its ends interpolated), so that
        // neither the pixels' spacing in 2-theta nor a slot without pixels
        // weighs.
        height = moment = 0;
        auto valueAt = [&](size_t k) { return profile[k].Mean - background(profile[k].At); };
        double lastT = 0, lastH = 0;
        bool started = false;
        auto add = [&](double t, double h) {
            if (started) {
                height += (t - lastT) * (h + lastH) / 2;
                moment += (t - lastT) * (h * (t - c) + lastH * (lastT - c)) / 2;
            }
            started = true;
            lastT = t;
            lastH = h;
        };
        for (size_t k = 0; k + 1 < profile.size(); ++k) {
            const double t0 = profile[k].At, t1 = profile[k + 1].At;
            const double h0 = valueAt(k), h1 = valueAt(k + 1);
            auto between = [&](double t) { return t1 > t0 ? h0 + (h1 - h0) * (t - t0) / (t1 - t0) : h0; };
            if (t0 <= c - reach && t1 > c - reach) add(c - reach, between(c - reach));
            if (t1 > c - reach && t1 < c + reach) add(t1, h1);
            if (t0 < c + reach && t1 >= c + reach) add(c + reach, between(c + reach));
        }
        if (!(height > 0)) return out;
        const double moved = moment / height;
        c += moved;
        if (std::abs(moved) < 1e-9) break;
    }
    if (!(profile.front().At <= c - reach) || !(profile.back().At >= c + reach)) return out;

    // The ring's counts above the background, against the counting noise of
    // the background (the scatter of the samples beside the ring about their
    // line, at least its Poisson noise and at least one count a pixel): the
    // variance of the region's sum and of the background taken off it.
    const double scatter = flankSlots > flankParameters ? flankScatter / (flankSlots - flankParameters) : 0;
    const double level = b0;   // the background at the crest
    const double noise = std::max({scatter, level, 1.0});
    double pixels = 0, net = 0, highest = -std::numeric_limits<double>::infinity();
    double weight = 0, sx = 0, sy = 0, width2 = 0, error2 = 0;
    for (size_t k = 0; k < profile.size(); ++k) {
        const Sample& q = profile[k];
        if (!inRegion(q)) continue;
        const MeasureSlot& m = slots[size_t(q.Slot)];
        const double b = background(q.At);
        pixels += q.Pixels;
        net += double(m.Counts) - q.Pixels * b;
        highest = std::max(highest, q.Mean);
        weight += double(m.Counts) - q.Pixels * level;
        sx += ToDouble(m.CountsX) - level * double(m.X);
        sy += ToDouble(m.CountsY) - level * double(m.Y);
        // The sample's share of the integrals: half the span to its neighbours.
        const double lo = k > 0 ? std::max(profile[k - 1].At, c - reach) : q.At;
        const double hi = k + 1 < profile.size() ? std::min(profile[k + 1].At, c + reach) : q.At;
        const double share = (hi - lo) / 2;
        width2 += share * (q.Mean - b) * (q.At - c) * (q.At - c);
        error2 += share * share * (q.At - c) * (q.At - c) * noise / q.Pixels;
    }
    const double variance = noise * pixels * (1 + pixels / flankPixels);
    if (!(net > PointSignificance * std::sqrt(variance)) || !(highest > box)) return out;
    if (!(weight > 0) || !(width2 > 0)) return out;
    out.Point = true;
    out.TwoTheta = from + c;
    out.Error = std::sqrt(error2) / height;
    out.Width = std::sqrt(width2 / height);
    out.X = sx / weight;
    out.Y = sy / weight;
    return out;
}

// The frame point nearest (x, y) whose 2-theta in `mapping` is `twoTheta`:
// steps along the 2-theta gradient. False when it lies too far away.
bool OntoTwoTheta(const DetectorMapping& mapping, double twoTheta, double& x, double& y) {
    auto at = [&](double u, double v) { return MappedTwoTheta(mapping, MapFramePoint(mapping, u, v)); };
    const double x0 = x, y0 = y, e = 0.25;
    for (int step = 0; step < 6; ++step) {
        const double t = at(x, y);
        const double gx = (at(x + e, y) - at(x - e, y)) / (2 * e);
        const double gy = (at(x, y + e) - at(x, y - e)) / (2 * e);
        const double g2 = gx * gx + gy * gy;
        if (!(g2 > 0) || !std::isfinite(t)) return false;
        const double k = (twoTheta - t) / g2;
        x += k * gx;
        y += k * gy;
        if (std::abs(twoTheta - t) < 1e-10) break;
    }
    return std::hypot(x - x0, y - y0) <= MaxProjection && std::isfinite(x) && std::isfinite(y);
}

} // namespace

void CollectRingPoints(const FrameStore& frame, const GeometryKey& detector, int32_t width, int32_t height,
                       double low, double high, double background, double peakWidth,
                       std::vector<CalibrationRing>& rings) {
    for (CalibrationRing& ring : rings) {
        ring.Points.clear();
        ring.Width = 0;
        ring.Covered = 0;
    }
    width = std::min({width, frame.width(), frame.TwoTheta.width(), frame.Psi.width()});
    height = std::min({height, frame.height(), frame.TwoTheta.height(), frame.Psi.height()});
    const size_t ringCount = rings.size();
    if (ringCount == 0 || width < 1 || height < 1 || !std::isfinite(background)) return;
    if (!(peakWidth > 0)) peakWidth = 0;

    // Each ring is looked for up to halfway to its nearer neighbour (in the
    // 2-theta of the frame as now mapped), as far on both sides: the geometry
    // being refined may put a ring well off its line. A ring alone reaches
    // LoneRingReach, or half a peak width when that is more. The windows lie
    // in increasing 2-theta without overlapping, so the window of a pixel is
    // found by binary search.
    std::vector<size_t> order(ringCount);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return rings[a].Placed < rings[b].Placed; });
    std::vector<double> upper(ringCount), lower(ringCount);
    for (size_t k = 0; k < ringCount; ++k) {
        const double t = rings[order[k]].Placed;
        double reach = ringCount > 1 ? std::numeric_limits<double>::infinity() : std::max(LoneRingReach, peakWidth / 2);
        if (k > 0) reach = std::min(reach, (t - rings[order[k - 1]].Placed) / 2);
        if (k + 1 < ringCount) reach = std::min(reach, (rings[order[k + 1]].Placed - t) / 2);
        lower[k] = t - reach;
        upper[k] = t + reach;
    }
    auto windowOf = [&](double t) -> std::optional<size_t> {
        const size_t k = static_cast<size_t>(std::upper_bound(upper.begin(), upper.end(), t) - upper.begin());
        if (k < ringCount && lower[k] < t) return k;
        return std::nullopt;
    };
    const unsigned workers = ParallelWorkerCount(int64_t(width) * height, MinPixelsPerWorker);
    const size_t cells = ringCount * RingPsiBins;
    auto cellOf = [&](size_t window, float psi) {
        const int bin = std::clamp(RoundToInt(psi / RingPsiBinWidth), 0, RingPsiBins - 1);
        return window * RingPsiBins + static_cast<size_t>(bin);
    };
    // Runs body(worker, i, j, intensity, 2-theta, cell) for every unmasked
    // pixel inside the 2-theta limits and a ring's window, in parallel over
    // columns.
    auto forWindowPixels = [&](const auto& body) {
        ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
            for (int32_t i = lo; i <= hi; ++i) {
                const int32_t* intensity = frame.Intensity[i];
                const float* twoTheta = frame.TwoTheta[i];
                const float* psi = frame.Psi[i];
                for (int32_t j = 1; j <= height; ++j) {
                    const int32_t v = intensity[j];
                    const double t = twoTheta[j];
                    if (v == MaskedIntensity || !(t > low && t < high)) continue;
                    if (const std::optional<size_t> k = windowOf(t)) body(worker, i, j, v, t, cellOf(*k, psi[j]));
                }
            }
        });
    };
    // The sums of all workers at `index` (workers that met no pixel have none).
    auto sumOver = [](const auto& perWorker, size_t index, auto add) {
        typename std::decay_t<decltype(perWorker[0])>::value_type all{};
        for (const auto& w : perWorker)
            if (!w.empty()) add(all, w[index]);
        return all;
    };

    // First pass: each cell's profile across its window, to find where the
    // ring stands and how wide it is. Each worker sets up its own sums.
    std::vector<std::vector<LocateSlot>> profiles(workers);
    forWindowPixels([&](unsigned worker, int32_t, int32_t, int32_t v, double t, size_t c) {
        const size_t k = c / RingPsiBins;
        const double f = (t - lower[k]) / (upper[k] - lower[k]);
        const size_t slot = static_cast<size_t>(std::clamp(static_cast<int>(f * LocateSlots), 0, LocateSlots - 1));
        std::vector<LocateSlot>& mine = profiles[worker];
        if (mine.empty()) mine.resize(cells * LocateSlots);
        LocateSlot& p = mine[c * LocateSlots + slot];
        ++p.Pixels;
        p.Counts += v;
        p.Offset += FixedOffset(t, lower[k]);
    });
    std::vector<LocatedRing> located(cells);
    std::vector<LocateSlot> merged(LocateSlots);
    for (size_t c = 0; c < cells; ++c) {
        for (int s = 0; s < LocateSlots; ++s)
            merged[size_t(s)] = sumOver(profiles, c * LocateSlots + size_t(s), [](LocateSlot& a, const LocateSlot& b) {
                a.Pixels += b.Pixels;
                a.Counts += b.Counts;
                a.Offset += b.Offset;
            });
        const size_t k = c / RingPsiBins;
        located[c] = LocateRing(merged.data(), lower[k], upper[k]);
        const int placed = static_cast<int>((rings[order[k]].Placed - lower[k]) / (upper[k] - lower[k]) * LocateSlots);
        if (merged[size_t(std::clamp(placed, 0, LocateSlots - 1))].Pixels > 0) ++rings[order[k]].Covered;
    }
    profiles = {};
    // A ring's width: the median of its cells' widths, the cells where it
    // stands higher weighing more. The band it is measured in reaches the
    // crest region and as much background again on either side.
    std::vector<double> reach(ringCount), band(ringCount);
    for (size_t k = 0; k < ringCount; ++k) {
        std::vector<std::pair<double, double>> widths;
        for (int b = 0; b < RingPsiBins; ++b) {
            const LocatedRing& l = located[k * RingPsiBins + size_t(b)];
            if (std::isfinite(l.Crest)) widths.emplace_back(l.Width, l.Height);
        }
        const double w = WeightedMedian(widths);
        const double locateStep = (upper[k] - lower[k]) / LocateSlots;
        reach[k] = RegionWidths * w;
        band[k] = reach[k] + std::max(FlankWidths * w, 2 * locateStep);
    }

    // Second pass: each cell's profile across the band about its crest, for
    // the cells where a ring was found (numbered in `measured`).
    std::vector<int32_t> measured(cells, -1);
    int32_t measuredCells = 0;
    for (size_t c = 0; c < cells; ++c)
        if (std::isfinite(located[c].Crest)) measured[c] = measuredCells++;
    std::vector<std::vector<MeasureSlot>> bands(workers);
    forWindowPixels([&](unsigned worker, int32_t i, int32_t j, int32_t v, double t, size_t c) {
        const LocatedRing& l = located[c];
        const size_t k = c / RingPsiBins;
        const double from = l.Crest - band[k];
        if (measured[c] < 0 || !(t >= from && t < l.Crest + band[k])) return;
        const size_t slot = static_cast<size_t>(
            std::clamp(static_cast<int>((t - from) / (2 * band[k]) * MeasureSlots), 0, MeasureSlots - 1));
        std::vector<MeasureSlot>& mine = bands[worker];
        if (mine.empty()) mine.resize(static_cast<size_t>(measuredCells) * MeasureSlots);
        MeasureSlot& m = mine[static_cast<size_t>(measured[c]) * MeasureSlots + slot];
        const int64_t u = FixedOffset(t, from);
        ++m.Pixels;
        m.Counts += v;
        m.X += i;
        m.Y += j;
        m.Offset += u;
        m.CountsX += static_cast<__int128>(v) * i;
        m.CountsY += static_cast<__int128>(v) * j;
        m.Take(m.Pixels == 1, v, u, i, j);
    });

    // Each cell's crest, measured and put onto the frame, in parallel over
    // cells (each writes its own).
    const DetectorMapping mapping = MakeDetectorMapping(detector);
    std::vector<std::optional<RingPoint>> found(cells);
    const unsigned cellWorkers = ParallelWorkerCount(static_cast<int64_t>(cells), 64);
    ParallelFor(0, static_cast<int32_t>(cells) - 1, cellWorkers, [&](unsigned, int32_t lo, int32_t hi) {
        std::array<MeasureSlot, MeasureSlots> slots;
        for (int32_t ci = lo; ci <= hi; ++ci) {
            const size_t c = static_cast<size_t>(ci);
            const LocatedRing& l = located[c];
            if (measured[c] < 0) continue;
            const size_t k = c / RingPsiBins;
            const size_t first = static_cast<size_t>(measured[c]) * MeasureSlots;
            for (int s = 0; s < MeasureSlots; ++s)
                slots[size_t(s)] = sumOver(bands, first + size_t(s), [](MeasureSlot& a, const MeasureSlot& b) {
                    if (b.Pixels > 0) a.Take(a.Pixels == 0, b.Top, b.TopOffset, b.TopX, b.TopY);
                    a.Pixels += b.Pixels;
                    a.Counts += b.Counts;
                    a.X += b.X;
                    a.Y += b.Y;
                    a.Offset += b.Offset;
                    a.CountsX += b.CountsX;
                    a.CountsY += b.CountsY;
                });
            const double from = l.Crest - band[k];
            const MeasuredCrest m =
                MeasureCrest(slots, from, l.Crest, reach[k], background);
            if (!m.Point) continue;
            // The crest's 2-theta as the frame's own 2-theta plane holds it;
            // a plane scaled for this frame alone is scaled back.
            double twoTheta = m.TwoTheta;
            const int32_t pi = std::clamp(RoundToInt(m.X), 1, width), pj = std::clamp(RoundToInt(m.Y), 1, height);
            const double plane = frame.TwoTheta[pi][pj];
            const double mapped = MappedTwoTheta(mapping, MapFramePoint(mapping, pi, pj));
            if (plane > 0 && std::abs(mapped / plane - 1) > 1e-6) twoTheta *= mapped / plane;
            RingPoint point{m.X, m.Y, m.Width, m.Error};
            if (OntoTwoTheta(mapping, twoTheta, point.X, point.Y)) found[c] = point;
        }
    });

    for (size_t k = 0; k < ringCount; ++k) {
        CalibrationRing& ring = rings[order[k]];
        std::vector<double> widths;
        for (int b = 0; b < RingPsiBins; ++b)
            if (const auto& p = found[k * RingPsiBins + size_t(b)]) {
                ring.Points.push_back(*p);
                widths.push_back(p->Width);
            }
        ring.Width = Median(widths);
    }
}

// ---- The search ---------------------------------------------------------------------

FitHalfRanges CalibrationHalfRanges(bool xOffset, bool yOffset, bool xo, bool angle, bool distance) {
    FitHalfRanges h{};
    h[FitXOffset] = xOffset ? 10 : 0;
    h[FitYOffset] = yOffset ? 10 : 0;
    h[FitXo] = xo ? 10 : 0;
    h[FitAngle] = angle ? 10 : 0;
    h[FitDistance] = distance ? 10 : 0;
    const int32_t sum = std::accumulate(h.begin(), h.end(), 0);
    for (int32_t limit : {20, 30, 40})
        if (sum > limit)
            for (int32_t& v : h) v = RoundToInt(v / 1.5);
    return h;
}

int32_t CalibrationSetup::PointCount() const {
    int32_t n = 0;
    for (const CalibrationRing& r : Rings) n += static_cast<int32_t>(r.Points.size());
    return n;
}

GeometryKey TrialKey(const CalibrationSetup& setup, const TrialGeometry& trial) {
    GeometryKey key = setup.Detector;
    key.Xo = trial.Xo;
    key.Yo = trial.Yo;
    if (Cylinder(key)) {
        // The radius in pixels is the trial's distance; the pixel size stays.
        key.Length = setup.PixelSize * key.FrameWidth;
        key.Radius = trial.Distance * setup.PixelSize;
        key.SampleX = trial.XOffset * setup.PixelSize;
        key.SampleY = trial.YOffset * setup.PixelSize;
    } else {
        key.TwoThetaD = trial.Angle;
        key.Distance = key.FrameSize > 0 ? trial.Distance * key.DSize / key.FrameSize : 0;
    }
    return key;
}

namespace {

// The rings' lines in increasing 2-theta, to find the one nearest a point.
class SortedLines {
public:
    explicit SortedLines(const CalibrationSetup& setup) {
        count_ = std::min(setup.Rings.size(), lines_.size());
        for (size_t r = 0; r < count_; ++r) lines_[r] = setup.Rings[r].TwoTheta;
        std::sort(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(count_));
    }
    // The 2-theta of the line nearest to `t` (the higher of two as near).
    double Nearest(double t) const {
        const double* first = lines_.data();
        const double* end = first + count_;
        const double* above = std::lower_bound(first, end, t);
        if (above == end) return *(above - 1);
        if (above == first || *above - t <= t - *(above - 1)) return *above;
        return *(above - 1);
    }

private:
    std::array<double, MaxCalibrationRings> lines_{};
    size_t count_ = 0;
};

} // namespace

TrialOutcome EvaluateTrial(const CalibrationSetup& setup, const TrialGeometry& trial) {
    DetectorMapping m = MakeDetectorMapping(TrialKey(setup, trial));
    const double R = trial.Distance;
    const SortedLines lines(setup);
    const size_t ringCount = std::min<size_t>(setup.Rings.size(), MaxCalibrationRings);

    double yo = trial.Yo;
    double estimate = yo;
    double fitted = 0;   // points of the rings fitted so far
    double residual = 0;
    for (size_t r = 0; r < ringCount; ++r) {
        const CalibrationRing& ring = setup.Rings[r];
        const size_t n = std::min<size_t>(ring.Points.size(), RingPsiBins);
        if (n == 0) continue;
        m.Yo = yo;
        CircleSums circle;
        for (size_t k = 0; k < n; ++k) {
            const LabVector lab = MapFramePoint(m, ring.Points[k].X, ring.Points[k].Y);
            const double t = MappedTwoTheta(m, lab);
            // A point is measured from the line it lies nearest to in this
            // geometry: a bin that caught a neighbouring ring (the start
            // geometry was off by more than half their distance) then counts
            // for that ring, not against this one.
            const double line = lines.Nearest(t);
            residual += std::abs(line - t);
            // Seen along the beam: a point at or behind the sample has no
            // place on the plane the circle is fitted in.
            if (line == ring.TwoTheta && lab.Y > 0) circle.Add(lab.X * R / lab.Y, lab.Z * R / lab.Y);
        }
        double cx = 0, cy = 0;
        if (!setup.VaryYo || circle.Count() < MinCircleFitPoints || !circle.Centre(cx, cy)) continue;
        yo += cy;
        // The running mean of the rings' rows, each ring weighing by its
        // points: a ring seen in a corner only does not outweigh a whole one.
        const double weight = static_cast<double>(circle.Count());
        fitted += weight;
        estimate += (yo - estimate) * weight / fitted;
    }
    return {residual, estimate};
}

namespace {

// A point, the line it is measured from and its weight (the inverse of its
// standard error).
struct PointOnLine {
    double X, Y, Line, Weight;
};

// The parameters a fit varies, as members of a trial, with the steps its
// derivatives are taken over.
struct Varied {
    double TrialGeometry::*Member;
    double Step;
};
std::vector<Varied> VariedParameters(const CalibrationSetup& setup) {
    std::vector<Varied> v;
    if (setup.VaryXOffset) v.push_back({&TrialGeometry::XOffset, 1e-3});
    if (setup.VaryYOffset) v.push_back({&TrialGeometry::YOffset, 1e-3});
    if (setup.VaryXo) v.push_back({&TrialGeometry::Xo, 1e-3});
    if (setup.VaryYo) v.push_back({&TrialGeometry::Yo, 1e-3});
    if (setup.HalfRange[FitAngle] > 0) v.push_back({&TrialGeometry::Angle, 1e-5});
    if (setup.HalfRange[FitDistance] > 0) v.push_back({&TrialGeometry::Distance, 1e-3});
    return v;
}

// Each point's 2-theta in `trial` less its line, times its weight.
void LineResiduals(const CalibrationSetup& setup, const TrialGeometry& trial, const std::vector<PointOnLine>& points,
                   std::vector<double>& out) {
    const DetectorMapping m = MakeDetectorMapping(TrialKey(setup, trial));
    out.resize(points.size());
    for (size_t k = 0; k < points.size(); ++k)
        out[k] = (MappedTwoTheta(m, MapFramePoint(m, points[k].X, points[k].Y)) - points[k].Line) * points[k].Weight;
}

double SumOfSquares(const std::vector<double>& r) {
    double s = 0;
    for (double v : r) s += v * v;
    return s;
}

// Solves a x = b for a small dense system by elimination with partial
// pivoting; false when it is singular.
bool SolveSmall(std::vector<std::vector<double>> a, std::vector<double> b, std::vector<double>& x) {
    const size_t n = b.size();
    for (size_t col = 0; col < n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
        if (!(std::abs(a[pivot][col]) > 0)) return false;
        std::swap(a[pivot], a[col]);
        std::swap(b[pivot], b[col]);
        for (size_t r = col + 1; r < n; ++r) {
            const double f = a[r][col] / a[col][col];
            for (size_t c = col; c < n; ++c) a[r][c] -= f * a[col][c];
            b[r] -= f * b[col];
        }
    }
    x.assign(n, 0);
    for (size_t r = n; r-- > 0;) {
        double v = b[r];
        for (size_t c = r + 1; c < n; ++c) v -= a[r][c] * x[c];
        x[r] = v / a[r][r];
    }
    for (double v : x)
        if (!std::isfinite(v)) return false;
    return true;
}

// Levenberg-Marquardt over the varied parameters from `trial`: each step is
// taken only when it lowers the sum of squares.
TrialGeometry LeastSquares(const CalibrationSetup& setup, TrialGeometry trial, const std::vector<PointOnLine>& points,
                           const std::vector<Varied>& varied) {
    const size_t n = varied.size();
    std::vector<double> r, plus, minus, trialResiduals;
    LineResiduals(setup, trial, points, r);
    double sse = SumOfSquares(r);
    double lambda = 1e-3;
    std::vector<std::vector<double>> jacobian(n);
    for (int step = 0; step < MaxLeastSquaresSteps && sse > 0; ++step) {
        for (size_t p = 0; p < n; ++p) {
            TrialGeometry up = trial, down = trial;
            up.*varied[p].Member += varied[p].Step;
            down.*varied[p].Member -= varied[p].Step;
            LineResiduals(setup, up, points, plus);
            LineResiduals(setup, down, points, minus);
            jacobian[p].resize(points.size());
            for (size_t k = 0; k < points.size(); ++k) jacobian[p][k] = (plus[k] - minus[k]) / (2 * varied[p].Step);
        }
        std::vector<std::vector<double>> normal(n, std::vector<double>(n, 0));
        std::vector<double> gradient(n, 0);
        for (size_t a = 0; a < n; ++a) {
            for (size_t b = 0; b <= a; ++b) {
                double v = 0;
                for (size_t k = 0; k < points.size(); ++k) v += jacobian[a][k] * jacobian[b][k];
                normal[a][b] = normal[b][a] = v;
            }
            for (size_t k = 0; k < points.size(); ++k) gradient[a] -= jacobian[a][k] * r[k];
        }
        bool moved = false;
        double lowered = 0;
        while (lambda < 1e12) {
            std::vector<std::vector<double>> damped = normal;
            for (size_t a = 0; a < n; ++a) damped[a][a] += lambda * (normal[a][a] > 0 ? normal[a][a] : 1);
            std::vector<double> delta;
            if (SolveSmall(damped, gradient, delta)) {
                TrialGeometry next = trial;
                for (size_t p = 0; p < n; ++p) next.*varied[p].Member += delta[p];
                LineResiduals(setup, next, points, trialResiduals);
                const double nextSse = SumOfSquares(trialResiduals);
                if (nextSse < sse && next.Distance > 0) {
                    lowered = sse - nextSse;
                    trial = next;
                    r.swap(trialResiduals);
                    sse = nextSse;
                    lambda = std::max(lambda / 10, 1e-12);
                    moved = true;
                    break;
                }
            }
            lambda *= 10;
        }
        if (!moved || lowered <= 1e-15 * sse) break;
    }
    return trial;
}

// Weighted least squares from the grid's best: each point measured from the
// line nearest it there and weighing by its standard error (none counted
// below a tenth of the median, so that no few points outweigh the rest),
// outliers (beyond OutlierDeviations robust standard deviations) left out,
// at most three times over.
TrialGeometry RefineBest(const CalibrationSetup& setup, const TrialGeometry& best) {
    const std::vector<Varied> varied = VariedParameters(setup);
    if (varied.empty()) return best;
    const SortedLines lines(setup);
    const DetectorMapping m = MakeDetectorMapping(TrialKey(setup, best));
    std::vector<double> errors;
    for (const CalibrationRing& ring : setup.Rings)
        for (const RingPoint& p : ring.Points) errors.push_back(p.Error);
    const double least = std::max(Median(errors) / 10, 1e-9);
    std::vector<PointOnLine> all;
    for (const CalibrationRing& ring : setup.Rings)
        for (const RingPoint& p : ring.Points)
            all.push_back({p.X, p.Y, lines.Nearest(MappedTwoTheta(m, MapFramePoint(m, p.X, p.Y))),
                           1 / std::max(p.Error, least)});
    if (all.size() <= varied.size()) return best;
    std::vector<PointOnLine> used = all;
    TrialGeometry trial = best;
    std::vector<double> r;
    for (int round = 0; round < 3; ++round) {
        trial = LeastSquares(setup, trial, used, varied);
        LineResiduals(setup, trial, all, r);
        std::vector<double> size(r.size());
        for (size_t k = 0; k < r.size(); ++k) size[k] = std::abs(r[k]);
        const double limit = OutlierDeviations * 1.4826 * Median(size);
        std::vector<PointOnLine> inside;
        for (size_t k = 0; k < all.size(); ++k)
            if (size[k] <= limit) inside.push_back(all[k]);
        if (inside.size() == used.size() || inside.size() <= varied.size()) break;
        used.swap(inside);
    }
    return trial;
}

} // namespace

CalibrationResult FitDetectorGeometry(const CalibrationSetup& setup, const std::function<void(int)>& progress,
                                      const std::atomic<bool>* stop) {
    CalibrationResult result;
    result.Points = setup.PointCount();
    for (const CalibrationRing& r : setup.Rings) result.Rings += r.Points.empty() ? 0 : 1;
    result.Best = setup.Start;

    std::array<int64_t, FitParameterCount> size{};
    int64_t total = 1;
    for (int p = 0; p < FitParameterCount; ++p) {
        size[static_cast<size_t>(p)] = 2 * int64_t(std::max(0, setup.HalfRange[static_cast<size_t>(p)])) + 1;
        total *= size[static_cast<size_t>(p)];
    }
    auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };

    // The grid's index of each parameter for trial `index` (grid order: the
    // outermost parameter varies slowest), -h..h.
    auto stepsOf = [&](int64_t index) {
        std::array<int64_t, FitParameterCount> k{};
        for (int p = FitParameterCount - 1; p >= 0; --p) {
            const int64_t n = size[static_cast<size_t>(p)];
            k[static_cast<size_t>(p)] = index % n - setup.HalfRange[static_cast<size_t>(p)];
            index /= n;
        }
        return k;
    };
    struct Found {
        double Residual = std::numeric_limits<double>::infinity();
        int64_t Index = -1;
        double Yo = 0;
        bool Before(const Found& o) const { return Residual < o.Residual || (Residual == o.Residual && Index < o.Index); }
    };

    for (size_t pass = 0; pass < std::size(PassDivisors); ++pass) {
        const double divisor = PassDivisors[pass];
        // A pass whose best trial lies on the grid's edge, better than all
        // before it, runs again about that trial: the answer may lie beyond
        // the grid's reach (a distance of thousands of pixels a few per cent
        // off is more than the first pass's steps of 5 pixels reach).
        for (int walk = 0; walk <= MaxEdgeWalks; ++walk) {
            const TrialGeometry start = result.Best;
            auto trialAt = [&](int64_t index) {
                const auto k = stepsOf(index);
                TrialGeometry t = start;
                t.XOffset += double(k[FitXOffset]) * LengthStep / divisor;
                t.YOffset += double(k[FitYOffset]) * LengthStep / divisor;
                t.Xo += double(k[FitXo]) * LengthStep / divisor;
                t.Yo += double(k[FitYo]) * LengthStep / divisor;
                t.Angle += double(k[FitAngle]) * AngleStep / divisor;
                t.Distance += double(k[FitDistance]) * LengthStep / divisor;
                return t;
            };
            const unsigned workers = ParallelWorkerCount(total, 2);
            std::vector<Found> found(workers);
            ParallelFor(0, static_cast<int32_t>(total - 1), workers, [&](unsigned worker, int32_t lo, int32_t hi) {
                for (int32_t index = lo; index <= hi && !stopped(); ++index) {
                    const TrialOutcome o = EvaluateTrial(setup, trialAt(index));
                    if (std::isnan(o.Residual)) continue;
                    const Found f{o.Residual, index, o.Yo};
                    if (found[worker].Index < 0 || f.Before(found[worker])) found[worker] = f;
                }
            });
            if (stopped()) return result;
            result.Trials += total;
            Found best;
            for (const Found& f : found)
                if (f.Index >= 0 && (best.Index < 0 || f.Before(best))) best = f;
            // Strictly better than everything before: equal residuals keep the first.
            if (best.Index < 0 || !(best.Residual < result.Residual)) break;
            const TrialGeometry t = trialAt(best.Index);
            result.Residual = best.Residual;
            result.Best = t;
            result.Best.Xo = setup.VaryXo ? t.Xo : start.Xo;
            result.Best.Yo = setup.VaryYo ? best.Yo : start.Yo;
            result.Best.XOffset = setup.VaryXOffset ? t.XOffset : start.XOffset;
            result.Best.YOffset = setup.VaryYOffset ? t.YOffset : start.YOffset;
            const auto k = stepsOf(best.Index);
            bool edge = false;
            for (int p = 0; p < FitParameterCount; ++p) {
                const int32_t h = setup.HalfRange[static_cast<size_t>(p)];
                edge = edge || (h > 0 && std::abs(k[static_cast<size_t>(p)]) == h);
            }
            if (!edge) break;
        }
        if (progress) progress(static_cast<int>(100 * (pass + 2) / 6));
    }
    // The last digits by least squares; the residual and how well the
    // points match the standard, in the geometry found.
    if (std::isfinite(result.Residual)) {
        result.Best = RefineBest(setup, result.Best);
        const SortedLines lines(setup);
        const DetectorMapping m = MakeDetectorMapping(TrialKey(setup, result.Best));
        std::vector<double> misfit;
        result.Residual = 0;
        const CalibrationRing* strongest = nullptr;
        for (const CalibrationRing& ring : setup.Rings) {
            for (const RingPoint& p : ring.Points) {
                const double t = MappedTwoTheta(m, MapFramePoint(m, p.X, p.Y));
                const double off = std::abs(t - lines.Nearest(t));
                result.Residual += off;
                misfit.push_back(off / ring.Width);
            }
            if (ring.Covered >= MinCoveredBins && (!strongest || ring.Strength > strongest->Strength)) strongest = &ring;
        }
        result.Misfit = Median(misfit);
        if (strongest && strongest->Points.empty()) result.MissingLine = strongest->TwoTheta;
    }
    result.Completed = true;
    return result;
}

// ---- The tool's commands --------------------------------------------------------------

bool OpenFitTool(Workspace& ws, Host& host) {
    if (SelectedStandard(ws) < 1) {
        host.message("Need to select a standard!");
        return false;
    }
    TForm41Fit& f = ws.Form41Fit;
    const TForm32& d = ws.Form32;
    f.EXo = FormatNumber(ws.Xo);
    f.EYo = FormatNumber(ws.Yo);
    f.E2theta = FormatNumber(ws.TwoThetaD);
    f.EDistancemm = FormatNumber(ws.Distance);
    f.EDSizemm = FormatNumber(ws.DSize);
    f.Cylindrical = d.RCylindrical;
    f.FitMismatch.clear();
    if (f.Cylindrical) {
        f.Label3 = "Radius(mm)";
        f.EDistancemm = d.ERadius;
        f.Label6 = "Detector Length(mm)";
        f.EDSizemm = d.ELength;
        // The sample offset in force is where the fit starts from.
        f.EXoffset = d.CBSampleOffset ? d.ESampleX : "0.000";
        f.EYoffset = d.CBSampleOffset ? d.ESampleY : "0.000";
    } else {
        f.Label3 = "Distance(mm)";
        f.Label6 = "Dectector Size(mm)";
    }
    f.Visible = true;
    host.changed(View::Settings);
    return true;
}

void TickFitBox(TForm41Fit& f, FitBox box) {
    switch (box) {
    case FitBox::DSize: f.CBdistance = false; break;
    case FitBox::Distance: f.CBDSize = f.CBXOffset = f.CBYoffset = false; break;
    case FitBox::XOffset:
    case FitBox::YOffset: f.CBdistance = f.CBXo = f.CBYo = false; break;
    case FitBox::Xo:
    case FitBox::Yo: f.CBXOffset = f.CBYoffset = false; break;
    case FitBox::Angle: break;
    }
}

void AutoFitPeakWidth(Workspace& ws, Host& host) {
    TForm41Fit& f = ws.Form41Fit;
    if (!f.CBPK) return;
    ws.FromThetaScan = 1;
    const std::optional<PeakSearchParams> read = ReadPeakSearchBoxes(ws.Form6, ws.TwoThetaStep, host);
    ws.FromThetaScan = 0;
    if (!read) return;
    PeakSearchParams params = *read;
    const PeakWork work = ScanCopy(ws);
    const int32_t n = LastScanPoint(ws);
    // The direct beam does not set the scan's height.
    params.TopFrom = n + 1;
    for (int32_t k = 1; k <= n; ++k)
        if (ws.SectorScan[static_cast<size_t>(k)].TwoTheta > DirectBeamLimit) {
            params.TopFrom = k;
            break;
        }
    const PeakTable peaks = SearchScanPeaks(work, params);
    if (peaks.empty()) return;
    double sum = 0;
    for (const PeakRecord& p : peaks) sum += p.Width;
    const double mean = sum / static_cast<double>(peaks.size());
    if (mean > MinAutoWidth && mean < MaxAutoWidth) f.EPeakwidth = FormatNumber(mean, 7, 2);
}

void AutoFitBackground(Workspace& ws, Host& host) {
    TForm41Fit& f = ws.Form41Fit;
    if (!f.cbbck) return;
    const std::optional<RollSettings> roll = ReadRollBoxes(ws.Form7, ws.TwoThetaStep, host);
    if (!roll) return;
    PeakWork work = ScanCopy(ws);
    const RollingBackgroundSums sums = RemoveRollingBackground(work, roll->HalfWidth, roll->Height);
    const int32_t n = LastScanPoint(ws);
    if (n > 1) f.EBackground = FormatFixed(1.1 * sums.BackgroundSum / n, 0);
}

CalibrationStart PrepareCalibration(Workspace& ws, Host& host) {
    CalibrationStart out;
    TForm41Fit& f = ws.Form41Fit;
    AutoFitPeakWidth(ws, host);
    AutoFitBackground(ws, host);
    host.changed(View::Settings);
    if (!(f.CBXo || f.CBYo || f.CB2theta || f.CBdistance || f.CBDSize || f.CBXOffset || f.CBYoffset)) return out;
    f.FitMismatch.clear();
    auto refuse = [&](const std::string& why) {
        host.message(why);
        out.Refused = true;
        return out;
    };
    const FrameGeometry* geometry = ws.FramePixels.Geometry();
    if (!ws.FrameIsLoaded() || !ws.FramePixels.HasGeometry() || geometry->Key.Shape == DetectorShape::None)
        return refuse("Need to open a file first");
    const int32_t pattern = SelectedStandard(ws);
    if (pattern < 1) return refuse("Need to select a standard!");

    const double width = ParseNumber(f.EPeakwidth);
    const double background = ParseNumber(f.EBackground);
    const double angle = ParseNumber(f.E2theta);
    const double distance = ParseNumber(f.EDistancemm);
    const double xo = ParseNumber(f.EXo), yo = ParseNumber(f.EYo);
    const double xOffset = ParseNumber(f.EXoffset), yOffset = ParseNumber(f.EYoffset);

    CalibrationSetup setup;
    setup.Detector = geometry->Key;
    const bool cylinder = Cylinder(setup.Detector);
    // A start the Detector Settings would refuse is a typing error, not a
    // geometry to fit from.
    if (!cylinder) {
        for (const std::string& problem : {DistanceProblem(f.EDistancemm, distance), DetectorAngleProblem(angle)})
            if (!problem.empty()) return refuse("Value out of range !\n" + problem);
    }
    if (cylinder) {
        // Millimetres per pixel along the cylinder, as the settings give it.
        setup.PixelSize = ws.FrameWidth > 0 ? ParseNumber(ws.Form32.ELength) / ws.FrameWidth : 0;
        if (!(setup.PixelSize > 0)) return refuse("Curved detector: the length must be greater than 0");
    }
    TrialGeometry& s = setup.Start;
    s.Xo = xo;
    s.Yo = yo;
    s.Angle = angle;
    s.Distance = cylinder ? distance / setup.PixelSize : distance * ws.FrameSize / ws.DSize;
    if (cylinder) {
        s.XOffset = xOffset / setup.PixelSize;
        s.YOffset = yOffset / setup.PixelSize;
    }
    if (!(s.Distance > 0) || !std::isfinite(s.Distance))
        return refuse("Sample to detector distance must be greater than 0");

    setup.Rings = CalibrationRings(ws.MineralTable[static_cast<size_t>(pattern)], ws.Landa, ws.StandardScale,
                                   ws.StandardShift, ws.SectorTwoTheta1, ws.SectorTwoTheta2, width,
                                   ws.ScanMaxIntensity);
    CollectRingPoints(ws.FramePixels, setup.Detector, ws.FrameWidth, ws.FrameHeight, ws.SectorTwoTheta1,
                      ws.SectorTwoTheta2, background, width, setup.Rings);
    if (setup.PointCount() == 0)
        return refuse("No ring points to fit: no ring near a line of the standard stands clearly out of the "
                      "counting noise of the frame's background and above the background box (" +
                      f.EBackground + ")");

    setup.HalfRange = CalibrationHalfRanges(cylinder && f.CBXOffset, cylinder && f.CBYoffset, f.CBXo,
                                            !cylinder && f.CB2theta, f.CBdistance || f.CBDSize);
    setup.VaryXo = f.CBXo;
    setup.VaryYo = f.CBYo;
    setup.VaryXOffset = cylinder && f.CBXOffset;
    setup.VaryYOffset = cylinder && f.CBYoffset;
    out.Setup = std::move(setup);
    return out;
}

bool ReportCalibration(Workspace& ws, Host& host, const CalibrationSetup& setup, const CalibrationResult& result) {
    if (!std::isfinite(result.Residual)) {
        host.message("The fit found no geometry that maps the ring points");
        return false;
    }
    TForm41Fit& f = ws.Form41Fit;
    const TrialGeometry& best = result.Best;
    const double R = best.Distance;
    const double m = setup.PixelSize;
    const bool cylinder = Cylinder(setup.Detector);
    const int32_t points = std::max(result.Points, 1);
    ws.LLog.Append(std::to_string(result.Points) + " points from " + std::to_string(result.Rings) +
                   " rings used for fitting. Residuals = " + FormatFixed(result.Residual / points, 5));
    std::string line = "Beam coord = " + F3(best.Xo) + ", " + F3(best.Yo);
    // The fit moves one of distance and size; the logbook gives the one it
    // moved and the other as it stays in force, not the other's equivalent.
    double distanceMm = 0, size = 0;
    if (cylinder) {
        const double radius = ParseNumber(ws.Form32.ERadius);
        distanceMm = f.CBDSize ? radius : R * m;
        size = f.CBDSize ? radius * ws.FrameWidth / R : ws.DSize;
        line += " Radius (mm) = " + F3(distanceMm) + " Detector size = " + F3(size);
        if (f.CBXOffset) line += " Offset in X (mm) = " + F3(best.XOffset * m);
        if (f.CBYoffset) line += " Offset in Y (mm) = " + F3(best.YOffset * m);
    } else {
        distanceMm = f.CBDSize ? ws.Distance : ws.DSize * R / ws.FrameSize;
        size = f.CBDSize ? ws.FrameSize * ws.Distance / R : ws.DSize;
        line += " Detector Angle (deg) = " + F3(best.Angle) + " Distance (mm) = " + F3(distanceMm) +
                " Detector size = " + F3(size);
    }
    ws.LLog.Append(line);
    f.FitMismatch.clear();
    if (result.MissingLine != 0)
        f.FitMismatch = "The standard does not match the frame: its strongest line on the frame (2-theta " +
                        F3(result.MissingLine) + " deg.) shows no ring";
    else if (!result.Matches())
        f.FitMismatch = "The standard does not match the frame: its points lie a median of " +
                        FormatFixed(result.Misfit, 2) + " ring widths (standard deviations) from its lines; a fit "
                        "that matches lies within " + FormatFixed(CalibrationResult::MaxCalibrationMisfit, 1);
    if (f.CBdistance) f.EDistancemm = FormatNumber(distanceMm);
    if (f.CBDSize) f.EDSizemm = FormatNumber(size);
    f.EXo = FormatNumber(best.Xo);
    f.EYo = FormatNumber(best.Yo);
    f.E2theta = FormatNumber(best.Angle);
    if (cylinder) {
        f.EXoffset = FormatNumber(best.XOffset * m);
        f.EYoffset = FormatNumber(best.YOffset * m);
    }
    f.ProgressBar1 = 100;
    host.changed(View::Logbook);
    host.changed(View::Settings);
    if (!f.FitMismatch.empty()) {
        host.message(f.FitMismatch);
        return false;
    }
    return true;
}

bool StartCalibration(Workspace& ws, Host& host) {
    TForm41Fit& f = ws.Form41Fit;
    const CalibrationStart start = PrepareCalibration(ws, host);
    if (start.Refused) return false;
    bool ok = true;
    if (start.Setup) {
        f.ProgressBar1 = 10;
        host.changed(View::Settings);
        const CalibrationResult result = FitDetectorGeometry(*start.Setup, [&](int percent) {
            f.ProgressBar1 = percent;
            host.changed(View::Settings);
        });
        ok = ReportCalibration(ws, host, *start.Setup, result);
    }
    f.ProgressBar1 = 0;
    host.changed(View::Settings);
    return ok;
}

bool ApplyCalibration(Workspace& ws, Host& host) {
    TForm41Fit& f = ws.Form41Fit;
    TForm32& d = ws.Form32;
    if (!f.FitMismatch.empty() && !host.confirm(f.FitMismatch + ".\nApply it all the same?")) return false;
    const bool cylinder = d.RCylindrical;
    // Everything that must be a number is read before any box changes.
    std::string height, angle;
    if (cylinder) {
        const double length = ParseNumber(f.EDSizemm);
        height = ws.FrameWidth > 0 ? FormatNumber(length * ws.FrameHeight / ws.FrameWidth) : d.EHeight;
    } else {
        // The tool's angle is the detector's in force, offset included; the
        // box holds it without, as Apply adds the offset.
        angle = FormatNumber(ParseNumber(f.E2theta) - ParseNumber(d.Eth2offset));
    }
    const TForm32 before = d;
    const auto scaleBefore = ws.StandardScale;
    const auto shiftBefore = ws.StandardShift;
    d.EXoM = f.EXo;
    d.EYoM = f.EYo;
    d.CBXo = d.CBYo = true;
    if (cylinder) {
        d.ERadius = f.EDistancemm;
        d.ELength = f.EDSizemm;
        d.EHeight = height;
        d.ESampleX = f.EXoffset;
        d.ESampleY = f.EYoffset;
        d.CBSampleOffset = true;
    } else {
        d.EDistance = f.EDistancemm;
        d.EDSize = f.EDSizemm;
        d.E2thetaD = angle;
        d.CBDistance = d.CBDSize = d.CB2thetaD = true;
    }
    ws.StandardScale = 1;
    ws.StandardShift = 0;
    // A box the Detector Settings refuse (not a number, out of range) stops
    // Apply before the geometry changes: their boxes and the overlay then
    // stay as they were instead of keeping the tool's text.
    const auto inForce = [&ws] { return std::array<double, 6>{ws.Xo, ws.Yo, ws.Distance, ws.DSize, ws.TwoThetaD, ws.Landa}; };
    const auto geometryBefore = inForce();
    const auto refused = [&] {
        d = before;
        ws.StandardScale = scaleBefore;
        ws.StandardShift = shiftBefore;
        host.changed(View::Settings);
    };
    bool applied = false;
    try {
        applied = ApplyDetectorSettings(ws, host);
    } catch (...) {
        refused();
        throw;
    }
    if (!applied && inForce() == geometryBefore) {
        refused();
        return false;
    }
    d.CBXo = d.CBYo = false;
    if (cylinder) d.CBDistance = d.CBDSize = d.CB2thetaD = false;
    else d.CBSampleOffset = false;
    f.FitMismatch.clear();
    host.changed(View::Settings);
    return applied;
}

bool FitToStandardSteps(Workspace& ws, Host& host, bool autoAdjust, int rounds) {
    if (autoAdjust && !AutoAdjustStandard(ws, host)) return false;
    if (!OpenFitTool(ws, host)) return false;
    for (int round = 0; round < rounds; ++round)
        if (!StartCalibration(ws, host) || !ApplyCalibration(ws, host)) return false;
    return true;
}

void SetUpStandardTools(Workspace& ws) {
    ws.Hooks.DrawStandardOverlay = DrawSelectedStandard;
    ws.Hooks.FitToStandard = FitToStandardSteps;
}

// ---- The worker --------------------------------------------------------------------------

TFitThread::TFitThread(CalibrationSetup setup) : setup_(std::move(setup)) {
    progress_ = 10;
    thread_ = std::thread([this] {
        try {
            result_ = FitDetectorGeometry(setup_, [this](int percent) { progress_ = percent; }, &stop_);
        } catch (const std::exception& e) {
            error_ = e.what();
        }
        finished_ = true;
    });
}

TFitThread::~TFitThread() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

} // namespace orv
