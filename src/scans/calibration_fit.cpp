#include "scans/calibration_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

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
constexpr double WeakBinFraction = 0.25;       // of a ring's median bin weight: less is not the ring
constexpr int ProfileSlots = 48;               // slots of the radial profile a ring is looked for in
constexpr double PeakAboveTypical = 4;         // a ring's slot stands this far above the window's typical one
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

// One ring's pixels in one psi bin: exact integer sums.
struct BinSums {
    int64_t I = 0;
    __int128 XI = 0, YI = 0;
    bool Used = false;
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

void CollectRingPoints(const FrameStore& frame, int32_t width, int32_t height, double low, double high,
                       double background, double peakWidth, std::vector<CalibrationRing>& rings) {
    for (CalibrationRing& ring : rings) ring.Points.clear();
    width = std::min({width, frame.width(), frame.TwoTheta.width(), frame.Psi.width()});
    height = std::min({height, frame.height(), frame.TwoTheta.height(), frame.Psi.height()});
    const size_t ringCount = rings.size();
    if (ringCount == 0 || width < 1 || height < 1 || !(peakWidth > 0) || !std::isfinite(background)) return;

    // Each ring is looked for up to halfway to its nearer neighbour (in the
    // 2-theta of the frame as now mapped), as far on both sides: the geometry
    // being refined may put a ring well off its line, and a band of one peak
    // width around the line would then hold background only, whose centroids
    // repeat the geometry the fit starts from. A ring alone reaches
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
    // Where a pixel of 2-theta t belongs: (window, profile slot), or none.
    auto windowOf = [&](double t) -> std::optional<size_t> {
        const size_t k = static_cast<size_t>(std::upper_bound(upper.begin(), upper.end(), t) - upper.begin());
        if (k < ringCount && lower[k] < t) return k;
        return std::nullopt;
    };
    // Pixels weigh by their counts above the background, so that the
    // background does not pull a centroid towards the middle of its window.
    const int64_t floorBackground = static_cast<int64_t>(std::clamp(std::floor(background), -1e18, 1e18));
    auto excess = [&](int32_t v) { return v > background ? int64_t(v) - floorBackground : int64_t{0}; };
    const unsigned workers = ParallelWorkerCount(int64_t(width) * height, MinPixelsPerWorker);
    const size_t cells = ringCount * RingPsiBins;
    auto cellOf = [&](size_t window, float psi) {
        const int bin = std::clamp(RoundToInt(psi / RingPsiBinWidth), 0, RingPsiBins - 1);
        return window * RingPsiBins + static_cast<size_t>(bin);
    };

    // Runs body(worker, i, j, intensity, 2-theta, window, psi) for every
    // unmasked pixel inside the 2-theta limits and a ring's window, in
    // parallel over columns.
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
                    if (const std::optional<size_t> k = windowOf(t)) body(worker, i, j, v, t, *k, psi[j]);
                }
            }
        });
    };

    // First pass: per window and psi bin, the mean excess counts per pixel
    // across the window (a radial profile), to find where the ring lies.
    struct ProfileSlot {
        int64_t Excess = 0;
        int64_t Pixels = 0;
    };
    std::vector<std::vector<ProfileSlot>> profiles(workers, std::vector<ProfileSlot>(cells * ProfileSlots));
    forWindowPixels([&](unsigned worker, int32_t, int32_t, int32_t v, double t, size_t k, float psi) {
        const double f = (t - lower[k]) / (upper[k] - lower[k]);
        const size_t slot = static_cast<size_t>(std::clamp(static_cast<int>(f * ProfileSlots), 0, ProfileSlots - 1));
        ProfileSlot& p = profiles[worker][cellOf(k, psi) * ProfileSlots + slot];
        p.Excess += excess(v);
        ++p.Pixels;
    });
    // The ring's place in each cell: the slot of the highest mean excess
    // (the first of equal ones), when it stands well above the window's
    // typical slot; a cell without one holds no ring.
    std::vector<double> found(cells, std::numeric_limits<double>::quiet_NaN());
    for (size_t c = 0; c < cells; ++c) {
        std::array<double, ProfileSlots> mean{};
        std::vector<double> filled;
        for (int s = 0; s < ProfileSlots; ++s) {
            ProfileSlot all;
            for (const auto& w : profiles) {
                const ProfileSlot& p = w[c * ProfileSlots + static_cast<size_t>(s)];
                all.Excess += p.Excess;
                all.Pixels += p.Pixels;
            }
            mean[static_cast<size_t>(s)] = all.Pixels > 0 ? double(all.Excess) / double(all.Pixels) : 0;
            if (all.Pixels > 0) filled.push_back(mean[static_cast<size_t>(s)]);
        }
        if (filled.empty()) continue;
        const size_t peak = static_cast<size_t>(std::max_element(mean.begin(), mean.end()) - mean.begin());
        std::nth_element(filled.begin(), filled.begin() + filled.size() / 2, filled.end());
        const double typical = filled[filled.size() / 2];
        if (!(mean[peak] > 0) || mean[peak] < PeakAboveTypical * typical) continue;
        // Within its slot, the top of the parabola through it and its neighbours.
        double within = 0;
        if (peak > 0 && peak + 1 < ProfileSlots) {
            const double a = mean[peak - 1], b = mean[peak], d = mean[peak + 1];
            if (a - 2 * b + d < 0) within = std::clamp(0.5 * (a - d) / (a - 2 * b + d), -0.5, 0.5);
        }
        const size_t k = c / RingPsiBins;
        found[c] = lower[k] + (static_cast<double>(peak) + 0.5 + within) * (upper[k] - lower[k]) / ProfileSlots;
    }
    profiles = {};

    // Second pass: the centroid of each cell's pixels within a peak width
    // (some 2.5 standard deviations of a Gaussian peak; at least two profile
    // slots) of where the ring was found.
    std::vector<std::vector<BinSums>> sums(workers, std::vector<BinSums>(cells));
    forWindowPixels([&](unsigned worker, int32_t i, int32_t j, int32_t v, double t, size_t k, float psi) {
        const size_t c = cellOf(k, psi);
        const double reach = std::max(peakWidth, 2 * (upper[k] - lower[k]) / ProfileSlots);
        if (!(v > background) || !(std::abs(t - found[c]) < reach)) return;
        const int64_t w = excess(v);
        BinSums& s = sums[worker][c];
        s.Used = true;
        s.I += w;
        s.XI += static_cast<__int128>(w) * i;
        s.YI += static_cast<__int128>(w) * j;
    });

    for (size_t k = 0; k < ringCount; ++k) {
        std::array<BinSums, RingPsiBins> bins;
        std::vector<int64_t> weights;
        for (int bin = 0; bin < RingPsiBins; ++bin) {
            BinSums& all = bins[static_cast<size_t>(bin)];
            for (const auto& w : sums) {
                const BinSums& s = w[k * RingPsiBins + static_cast<size_t>(bin)];
                all.Used = all.Used || s.Used;
                all.I += s.I;
                all.XI += s.XI;
                all.YI += s.YI;
            }
            if (all.Used) weights.push_back(all.I);
        }
        if (weights.empty()) continue;
        // A cell that holds far less of the ring than its typical cell holds
        // the ring's edge only (the frame's border cuts it): its centroid is
        // not on the ring.
        std::nth_element(weights.begin(), weights.begin() + weights.size() / 2, weights.end());
        const double least = WeakBinFraction * static_cast<double>(weights[weights.size() / 2]);
        std::vector<RingPoint>& points = rings[order[k]].Points;
        for (const BinSums& all : bins) {
            if (!all.Used || static_cast<double>(all.I) < least) continue;
            const double weight = all.I == 0 ? 1.0 : static_cast<double>(all.I);
            points.push_back({std::abs(static_cast<double>(all.XI) / weight), std::abs(static_cast<double>(all.YI) / weight)});
        }
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

TrialOutcome EvaluateTrial(const CalibrationSetup& setup, const TrialGeometry& trial) {
    DetectorMapping m = MakeDetectorMapping(TrialKey(setup, trial));
    const double R = trial.Distance;
    // The rings' 2-theta in increasing order, with each ring's place in it.
    std::array<double, MaxCalibrationRings> lines{};
    const size_t ringCount = std::min(setup.Rings.size(), lines.size());
    for (size_t r = 0; r < ringCount; ++r) lines[r] = setup.Rings[r].TwoTheta;
    std::sort(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(ringCount));
    // The 2-theta of the ring line nearest to `t`.
    auto nearest = [&](double t) {
        const double* first = lines.data();
        const double* end = first + ringCount;
        const double* above = std::lower_bound(first, end, t);
        if (above == end) return *(above - 1);
        if (above == first || *above - t <= t - *(above - 1)) return *above;
        return *(above - 1);
    };

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
            const double line = nearest(t);
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
    CollectRingPoints(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, ws.SectorTwoTheta1, ws.SectorTwoTheta2,
                      background, width, setup.Rings);
    if (setup.PointCount() == 0)
        return refuse("No ring points to fit: no pixel above the background (" + f.EBackground +
                      ") lies within half the peak width (" + f.EPeakwidth + " deg.) of a line of the standard");

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
