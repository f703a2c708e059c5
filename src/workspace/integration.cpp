#include "workspace/integration.h"

#include <algorithm>
#include <cmath>

#include "base/parallel.h"
#include "workspace/sector_scan.h"

namespace orv {

namespace {

// Nearest whole number, halves to even, for |v| < 2^51: the same as
// std::nearbyint in the default rounding mode, without a library call.
inline double RoundHalfEvenSmall(double v) {
    constexpr double Shift = 6755399441055744.0;   // 1.5 x 2^52
    return (v + Shift) - Shift;
}

// The bin rule of every scan: bin k = nint((value - origin) / step), halves
// to even, or -1 outside 0..last. The quotient is formed with the step's
// reciprocal; only when it lies within a hair of a half does the exact
// division decide, so the bins are those of the division.
class BinRule {
public:
    explicit BinRule(const ScanGrid& g) : origin_(g.Origin), step_(g.Step), inverse_(1.0 / g.Step), last_(g.Last) {}

    double Origin() const { return origin_; }
    double Inverse() const { return inverse_; }
    int32_t Last() const { return last_; }

    int32_t operator()(double value) const {
        const double d = value - origin_;
        const double q = d * inverse_;
        // Far outside the bins (or NaN) the rounding is wrong but the
        // result stays outside and is refused below.
        double k = RoundHalfEvenSmall(q);
        if (std::fabs(q - k) > 0.4999999) k = std::nearbyint(d / step_);
        if (!(k >= 0.0 && k <= last_)) return -1;
        return static_cast<int32_t>(k);
    }

private:
    double origin_, step_, inverse_;
    int32_t last_;
};

struct Window {
    int32_t x1, x2, y1, y2;
};

// The laboratory coordinates of rows y1..y2 of column i; 0 where the
// geometry mapped no pixel.
void LabRows(const FrameGeometry* g, int32_t i, int32_t y1, int32_t y2, LabPoint* out) {
    const int32_t count = y2 - y1 + 1;
    std::fill(out, out + count, LabPoint{});
    if (!g || i < 1 || i > g->Key.Width) return;
    const int32_t last = std::min(y2, g->Key.Height);
    if (last >= y1) g->LabColumn(i, y1, last - y1 + 1, out);
}

// Sums the pixels of columns x1..x2 of the window into `bins` (one run of
// binCount bins per sector). `select(twoTheta, psi, add)` calls add(sector,
// key) for every sector the pixel belongs to, with the value it is binned by.
// Whole-number sums of unweighted intensities: exact, so any split of the
// pixels among threads gives the same totals.
struct CountBin {
    int64_t Sum = 0;
    int64_t Count = 0;
};

template <bool Weighted, typename Bin, typename Select>
void BinColumns(const FrameStore& px, const IntegrationRequest& r, const BinRule& bin, Window w, Select select,
                Bin* bins, size_t binCount) {
    std::vector<LabPoint> lab(Weighted ? static_cast<size_t>(w.y2 - w.y1 + 1) : 0);
    const double divisor = r.WeightDivisor;
    for (int32_t i = w.x1; i <= w.x2; ++i) {
        const int32_t* intensity = px.Intensity[i];
        const float* twoTheta = px.TwoTheta[i];
        const float* psi = px.Psi[i];
        if constexpr (Weighted) LabRows(px.Geometry(), i, w.y1, w.y2, lab.data());
        for (int32_t j = w.y1; j <= w.y2; ++j) {
            const int32_t v = intensity[j];
            if (v == MaskedIntensity) continue;
            select(twoTheta[j], psi[j], [&](size_t sector, float key) {
                const int32_t k = bin(key);
                if (k < 0) return;
                Bin& b = bins[sector * binCount + static_cast<size_t>(k)];
                if constexpr (Weighted) {
                    // The pixel's distance from the sample cubed, relative to
                    // the sample-to-detector distance cubed.
                    const LabPoint& p = lab[static_cast<size_t>(j - w.y1)];
                    const double x = p.X, y = p.Y, z = p.Z;
                    const double rr = std::sqrt(x * x + y * y + z * z);
                    b.Sum += static_cast<double>(v) * (rr * rr * rr / divisor);
                } else {
                    b.Sum += v;
                }
                ++b.Count;
            });
        }
    }
}

// One unweighted scan (the frame profile, a sector, a psi band): the bins of
// a run of rows are worked out first, in a loop without branches, then
// added, so that the additions do not wait on mispredicted tests. Pixels whose
// quotient lies within a hair of a half, where the quick rounding may
// differ from the division, go through the full rule.
//
// Where the geometry bounds its angles, a block of rows whose bounds show
// that `misses` it (no pixel can be taken) is passed over.
template <typename Accept, typename Misses>
void BinColumnsQuick(const FrameStore& px, const BinRule& bin, Window w, bool byPsi, Accept accept,
                     Misses misses, CountBin* bins) {
    constexpr double Shift = 6755399441055744.0;   // 1.5 x 2^52
    constexpr int32_t Run = 256;
    static_assert(AngleBoundsRows <= Run);
    const double origin = bin.Origin(), inverse = bin.Inverse(), last = bin.Last();
    int32_t k[Run];
    for (int32_t i = w.x1; i <= w.x2; ++i) {
        const int32_t* intensity = px.Intensity[i];
        const float* twoTheta = px.TwoTheta[i];
        const float* psi = px.Psi[i];
        const AngleBounds* bounds = px.ColumnBounds(i);
        for (int32_t j0 = w.y1, end; j0 <= w.y2; j0 = end + 1) {
            if (bounds) {
                const int32_t block = (j0 - 1) / AngleBoundsRows;
                end = std::min(w.y2, (block + 1) * AngleBoundsRows);
                if (misses(bounds[block])) continue;
            } else {
                end = std::min(w.y2, j0 + Run - 1);
            }
            const int32_t n = end - j0 + 1;
            const int32_t* v = intensity + j0;
            const float* t = twoTheta + j0;
            const float* p = psi + j0;
            for (int32_t m = 0; m < n; ++m) {
                const double key = byPsi ? p[m] : t[m];
                const double q = (key - origin) * inverse;
                const double rounded = (q + Shift) - Shift;
                const bool taken = (v[m] != MaskedIntensity) & accept(t[m], p[m]);
                const bool inside = (rounded >= 0.0) & (rounded <= last);
                const bool nearHalf = std::fabs(q - rounded) > 0.4999999;
                // -1: not binned; -2: decided by the full rule below.
                const double chosen = nearHalf ? -2.0 : ((taken & inside) ? rounded : -1.0);
                k[m] = static_cast<int32_t>(chosen);
            }
            for (int32_t m = 0; m < n; ++m) {
                int32_t bk = k[m];
                if (bk == -2) {
                    if (v[m] == MaskedIntensity || !accept(t[m], p[m])) continue;
                    bk = bin(byPsi ? p[m] : t[m]);
                }
                if (bk < 0) continue;
                CountBin& b = bins[static_cast<size_t>(bk)];
                b.Sum += v[m];
                ++b.Count;
            }
        }
    }
}

// Whether the sectors are ordered, disjoint and none runs through 0: then
// a pixel's sector is found by a search instead of a test of each.
bool OrderedSectors(const std::vector<PsiSector>& sectors) {
    for (size_t s = 0; s < sectors.size(); ++s) {
        if (!(sectors[s].Psi1 < sectors[s].Psi2)) return false;
        if (s > 0 && !(sectors[s - 1].Psi2 <= sectors[s].Psi1)) return false;
    }
    return true;
}

// Whether no value from lo to hi falls into a bin: a full step beyond the
// bins on either side leaves no doubt about the rounding.
class OutsideBins {
public:
    explicit OutsideBins(const ScanGrid& g) : low_(g.Origin - g.Step), high_(g.Origin + (g.Last + 1.0) * g.Step) {}
    bool operator()(float lo, float hi) const { return !(hi >= low_ && lo <= high_); }

private:
    double low_, high_;
};

// Whether no psi from lo to hi lies in the sector p1..p2 as InPsiSector
// takes it (through 0 when p1 > p2, nothing when p1 = p2).
inline bool OutsidePsiSector(float p1, float p2, float lo, float hi) {
    if (p1 < p2) return hi <= p1 || lo >= p2;
    if (p1 > p2) return hi <= p1 && lo >= p2;
    return true;
}

template <bool Weighted, typename Bin>
void BinWindow(const FrameStore& px, const IntegrationRequest& r, Window w, Bin* bins, size_t binCount,
               const std::vector<float>& lows) {
    const BinRule bin(r.Grid);
    const std::vector<PsiSector>& sectors = r.Sectors;
    if (r.Axis == ScanAxis::TwoTheta && r.PsiRows) {
        const BinRule row(*r.PsiRows);
        return BinColumns<Weighted, Bin>(px, r, bin, w, [&row](float t, float p, auto add) {
            const int32_t k = row(p);
            if (k >= 0) add(static_cast<size_t>(k), t);
        }, bins, binCount);
    }
    if constexpr (!Weighted) {
        const OutsideBins outside(r.Grid);
        if (r.Axis == ScanAxis::Psi) {
            const float t1 = r.TwoTheta1, t2 = r.TwoTheta2;
            return BinColumnsQuick(
                px, bin, w, true, [t1, t2](float t, float) { return (t >= t1) & (t <= t2); },
                [=](const AngleBounds& b) {
                    return !(b.MaxTwoTheta >= t1 && b.MinTwoTheta <= t2) || outside(b.MinPsi, b.MaxPsi);
                },
                bins);
        }
        if (sectors.empty())
            return BinColumnsQuick(
                px, bin, w, false, [](float, float) { return true; },
                [=](const AngleBounds& b) { return outside(b.MinTwoTheta, b.MaxTwoTheta); }, bins);
        if (sectors.size() == 1) {
            const float p1 = sectors[0].Psi1, p2 = sectors[0].Psi2;
            // InPsiSector without branches.
            return BinColumnsQuick(
                px, bin, w, false,
                [p1, p2](float, float p) {
                    return ((p1 < p2) & (p > p1) & (p < p2)) | ((p1 > p2) & ((p > p1) | (p < p2)));
                },
                [=](const AngleBounds& b) {
                    return outside(b.MinTwoTheta, b.MaxTwoTheta) || OutsidePsiSector(p1, p2, b.MinPsi, b.MaxPsi);
                },
                bins);
        }
    }
    if (r.Axis == ScanAxis::Psi) {
        const float t1 = r.TwoTheta1, t2 = r.TwoTheta2;
        BinColumns<Weighted, Bin>(px, r, bin, w, [t1, t2](float t, float p, auto add) {
            if (t >= t1 && t <= t2) add(0, p);
        }, bins, binCount);
    } else if (sectors.empty()) {
        BinColumns<Weighted, Bin>(px, r, bin, w, [](float t, float, auto add) { add(0, t); }, bins, binCount);
    } else if (sectors.size() == 1) {
        const float p1 = sectors[0].Psi1, p2 = sectors[0].Psi2;
        BinColumns<Weighted, Bin>(px, r, bin, w, [p1, p2](float t, float p, auto add) {
            if (InPsiSector(p, p1, p2)) add(0, t);
        }, bins, binCount);
    } else if (!lows.empty()) {
        BinColumns<Weighted, Bin>(px, r, bin, w, [&](float t, float p, auto add) {
            // The last sector whose lower limit lies below psi is the only
            // one that can hold it.
            const size_t s = static_cast<size_t>(std::lower_bound(lows.begin(), lows.end(), p) - lows.begin());
            if (s > 0 && p < sectors[s - 1].Psi2) add(s - 1, t);
        }, bins, binCount);
    } else {
        BinColumns<Weighted, Bin>(px, r, bin, w, [&](float t, float p, auto add) {
            for (size_t s = 0; s < sectors.size(); ++s)
                if (InPsiSector(p, sectors[s].Psi1, sectors[s].Psi2)) add(s, t);
        }, bins, binCount);
    }
}

} // namespace

std::vector<ScanBins> IntegrateFrame(const FrameStore& px, const IntegrationRequest& r) {
    const size_t binCount = static_cast<size_t>(std::max(r.Grid.Last, 0)) + 1;
    const bool rows = r.Axis == ScanAxis::TwoTheta && r.PsiRows;
    const size_t scans = rows ? static_cast<size_t>(std::max(r.PsiRows->Last, 0)) + 1
                              : r.Axis == ScanAxis::TwoTheta ? std::max<size_t>(r.Sectors.size(), 1) : 1;
    std::vector<ScanBins> result(scans, ScanBins(binCount));
    if (!px.HasGeometry() || !(r.Grid.Step > 0) || r.Grid.Last < 0) return result;
    if (rows && (!(r.PsiRows->Step > 0) || r.PsiRows->Last < 0)) return result;

    const Window w{std::max(r.FirstColumn, 1), std::min(r.LastColumn, px.width()), std::max(r.FirstRow, 1),
                   std::min(r.LastRow, px.height())};
    const int64_t columns = int64_t{w.x2} - w.x1 + 1;
    const int64_t rowCount = int64_t{w.y2} - w.y1 + 1;
    if (columns <= 0 || rowCount <= 0) return result;

    std::vector<float> lows;
    if (r.Axis == ScanAxis::TwoTheta && r.Sectors.size() > 1 && OrderedSectors(r.Sectors))
        for (const PsiSector& s : r.Sectors) lows.push_back(s.Psi1);

    if (!r.FlatWeight) {
        // Whole-number sums: the workers' shares add up exactly in any order.
        // Every worker sums into bins of its own: many scans of many bins
        // take fewer workers, so that their bins stay within 256 MB.
        const int64_t workerBytes = static_cast<int64_t>(scans * binCount * sizeof(CountBin));
        const unsigned workers = std::min<unsigned>(ParallelWorkerCount(columns * rowCount, int64_t{1} << 16),
                                                    static_cast<unsigned>(std::max<int64_t>(1, (int64_t{256} << 20) / workerBytes)));
        std::vector<std::vector<CountBin>> partial(workers);
        // By columns, or by rows when the window has few columns.
        const bool byRows = columns < 4 * int64_t{workers};
        ParallelFor(byRows ? w.y1 : w.x1, byRows ? w.y2 : w.x2, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
            std::vector<CountBin>& bins = partial[worker];
            if (bins.empty()) bins.assign(scans * binCount, CountBin{});
            const Window part = byRows ? Window{w.x1, w.x2, lo, hi} : Window{lo, hi, w.y1, w.y2};
            BinWindow<false>(px, r, part, bins.data(), binCount, lows);
        });
        for (size_t s = 0; s < scans; ++s) {
            ScanBins& total = result[s];
            for (size_t k = 0; k < binCount; ++k) {
                int64_t sum = 0, count = 0;
                for (const std::vector<CountBin>& bins : partial) {
                    if (bins.empty()) continue;
                    sum += bins[s * binCount + k].Sum;
                    count += bins[s * binCount + k].Count;
                }
                total[k] = ScanBin{static_cast<double>(sum), count};
            }
        }
        return result;
    }

    // Weighted sums are sums of fractions, whose rounding depends on the
    // order: the chunks depend on the window alone, so the sums are the same
    // on every machine and for every thread limit.
    constexpr int64_t PixelsPerChunk = 1 << 20;
    const int chunks = static_cast<int>(std::clamp<int64_t>(columns * rowCount / PixelsPerChunk, 1, 8));
    std::vector<std::vector<ScanBin>> partial(static_cast<size_t>(chunks));
    ParallelFor(0, chunks - 1, ParallelWorkerCount(chunks, 1), [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t c = lo; c <= hi; ++c) {
            std::vector<ScanBin>& bins = partial[static_cast<size_t>(c)];
            bins.assign(scans * binCount, ScanBin{});
            Window part = w;
            part.x1 = static_cast<int32_t>(w.x1 + columns * c / chunks);
            part.x2 = static_cast<int32_t>(w.x1 + columns * (c + 1) / chunks - 1);
            BinWindow<true>(px, r, part, bins.data(), binCount, lows);
        }
    });
    for (size_t s = 0; s < scans; ++s) {
        ScanBins& total = result[s];
        std::copy(partial[0].begin() + s * binCount, partial[0].begin() + (s + 1) * binCount, total.begin());
        for (size_t n = 1; n < partial.size(); ++n) {
            const ScanBin* from = partial[n].data() + s * binCount;
            for (size_t k = 0; k < binCount; ++k) {
                total[k].Sum += from[k].Sum;
                total[k].Count += from[k].Count;
            }
        }
    }
    return result;
}

const std::vector<ScanBins>& KeptScans::Integrate(const FrameStore& px, const IntegrationRequest& r) {
    const void* intensity = px.Intensity.data();
    const void* twoTheta = px.TwoTheta.empty() ? nullptr : px.TwoTheta.plane().data();
    const void* psi = px.Psi.empty() ? nullptr : px.Psi.plane().data();
    const void* geometry = px.Geometry();
    if (keeping_) {
        for (const Kept& k : kept_)
            if (k.Intensity == intensity && k.TwoTheta == twoTheta && k.Psi == psi && k.Geometry == geometry &&
                k.Request == r)
                return k.Bins;
    }
    ++made_;
    if (!keeping_) {
        last_ = IntegrateFrame(px, r);
        return last_;
    }
    if (kept_.size() >= MostKept) kept_.erase(kept_.begin());
    kept_.push_back(Kept{r, intensity, twoTheta, psi, geometry, IntegrateFrame(px, r)});
    return kept_.back().Bins;
}

} // namespace orv
