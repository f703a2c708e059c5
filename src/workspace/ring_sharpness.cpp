#include "workspace/ring_sharpness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

#include "base/numbers.h"
#include "base/parallel.h"
#include "workspace/geometry.h"

namespace orv {

namespace {

constexpr double DegPerRad = 180.0 / std::numbers::pi;
constexpr int64_t MaxSamples = 60000;       // pixels scored on whole-pixel grids
constexpr int64_t MaxCoarseSamples = 20000;  // on coarser grids
constexpr int Searches = 3;                  // discs searched before the sharpest must be its own disc's centre
constexpr int32_t MaxBins = 200000;
constexpr int Followed = 6;         // grid maxima followed to the next grid
constexpr double CoarseSteps = 6;   // the first grid spans the reach in about this many steps

// The 2-theta of every point (a, b), a = 1 - M .. width + M, b = 1 - M ..
// height + M, as the mapping in force gives it: the 2-theta of pixel
// (a + dx, b + dy) about the centre moved by (dx, dy).
struct TrialTable {
    int32_t Margin = 0, Stride = 0;
    std::vector<float> TwoTheta;
    float Low = 0, High = 0;
    int64_t Index(int32_t a, int32_t b) const {
        return int64_t{a - 1 + Margin} * Stride + (b - 1 + Margin);
    }
};

TrialTable MakeTable(const DetectorMapping& mapping, int32_t width, int32_t height, int32_t margin) {
    TrialTable t;
    t.Margin = margin;
    t.Stride = height + 2 * margin;
    const int32_t columns = width + 2 * margin;
    t.TwoTheta.resize(static_cast<size_t>(columns) * static_cast<size_t>(t.Stride));
    const unsigned workers = ParallelWorkerCount(int64_t{columns} * t.Stride, 1 << 15);
    std::vector<std::pair<float, float>> range(workers, {1e30f, -1e30f});
    ParallelFor(1 - margin, width + margin, workers, [&](unsigned worker, int32_t from, int32_t to) {
        auto& [low, high] = range[worker];
        for (int32_t a = from; a <= to; ++a) {
            float* column = t.TwoTheta.data() + t.Index(a, 1 - margin);
            MapTwoThetaColumn(mapping, a, 1 - margin, t.Stride, column);
            for (int32_t b = 0; b < t.Stride; ++b) {
                low = std::min(low, column[b]);
                high = std::max(high, column[b]);
            }
        }
    });
    t.Low = 1e30f;
    t.High = -1e30f;
    for (const auto& [low, high] : range) {
        t.Low = std::min(t.Low, low);
        t.High = std::max(t.High, high);
    }
    return t;
}

// The sampled pixels: where each lies in the table, its intensity and square.
struct Sample {
    std::vector<int64_t> Index;
    std::vector<double> Value, Square;
};

Sample MakeSample(const FrameStore& px, int32_t width, int32_t height, const TrialTable& table, float lower,
                  float upper, int64_t most) {
    auto usable = [&](int32_t i, int32_t j) {
        const float t = px.TwoTheta[i][j];
        return px.Intensity[i][j] != MaskedIntensity && t > lower && t < upper;
    };
    int64_t count = 0;
    for (int32_t i = 1; i <= width; ++i)
        for (int32_t j = 1; j <= height; ++j) count += usable(i, j);
    // A regular lattice of every s-th column and row.
    int32_t stride = 1;
    while (count / (int64_t{stride} * stride) > most) ++stride;
    Sample s;
    for (int32_t i = 1; i <= width; i += stride)
        for (int32_t j = 1; j <= height; j += stride) {
            if (!usable(i, j)) continue;
            const double v = px.Intensity[i][j];
            s.Index.push_back(table.Index(i, j));
            s.Value.push_back(v);
            s.Square.push_back(v * v);
        }
    return s;
}

struct Bins {
    std::vector<double> Sum, Square, Weight, Weight2;
};

// Bins of `binDegrees`; each pixel's intensity is shared between the two
// bins nearest its 2-theta in proportion to its distance from their middles,
// so that the score changes smoothly with the centre.
class SharpnessScorer {
public:
    SharpnessScorer(const TrialTable& table, const Sample& sample, double binDegrees)
        : table_(table), sample_(sample) {
        const double span = std::max(0.0, static_cast<double>(table.High) - table.Low);
        binDegrees = std::max(binDegrees, span / (MaxBins - 3));
        inverse_ = 1 / binDegrees;
        bins_ = static_cast<int32_t>(span * inverse_) + 3;
    }

    // The sharpness of the centre moved by whole pixels (dx, dy).
    double Score(int32_t dx, int32_t dy, Bins& w) const {
        w.Sum.assign(static_cast<size_t>(bins_), 0.0);
        w.Square.assign(static_cast<size_t>(bins_), 0.0);
        w.Weight.assign(static_cast<size_t>(bins_), 0.0);
        w.Weight2.assign(static_cast<size_t>(bins_), 0.0);
        const int64_t shift = int64_t{dx} * table_.Stride + dy;
        const float* t = table_.TwoTheta.data();
        const double low = table_.Low;
        for (size_t k = 0; k < sample_.Index.size(); ++k) {
            const double f = (t[sample_.Index[k] - shift] - low) * inverse_ + 0.5;
            if (!(f >= 0 && f < bins_ - 1)) continue;
            const size_t b = static_cast<size_t>(f);
            const double upper = f - static_cast<double>(b), lower = 1 - upper;
            const double v = sample_.Value[k], q = sample_.Square[k];
            w.Sum[b] += lower * v;
            w.Square[b] += lower * lower * q;
            w.Weight[b] += lower;
            w.Weight2[b] += lower * lower;
            w.Sum[b + 1] += upper * v;
            w.Square[b + 1] += upper * upper * q;
            w.Weight[b + 1] += upper;
            w.Weight2[b + 1] += upper * upper;
        }
        // Per bin (S^2 - Q) N / (N^2 - N2): on average N times the square of
        // the bin's mean, whatever the noise.
        double score = 0;
        for (size_t b = 0; b < w.Sum.size(); ++b) {
            const double n = w.Weight[b], spread = n * n - w.Weight2[b];
            if (spread > 1e-9 * n * n && n >= 1) score += (w.Sum[b] * w.Sum[b] - w.Square[b]) * n / spread;
        }
        return score;
    }

private:
    const TrialTable& table_;
    const Sample& sample_;
    double inverse_ = 1;
    int32_t bins_ = 1;
};

using Offset = std::pair<int32_t, int32_t>;

// Scores remembered by offset; new ones worked out in parallel.
class TrialScores {
public:
    TrialScores(const SharpnessScorer& scorer, int32_t limit) : scorer_(scorer), limit_(limit) {}

    bool Allowed(Offset o) const { return std::abs(o.first) <= limit_ && std::abs(o.second) <= limit_; }

    void Evaluate(const std::vector<Offset>& offsets) {
        std::vector<Offset> fresh;
        for (const Offset& o : offsets)
            if (Allowed(o) && !known_.count(o)) {
                known_[o] = 0;
                fresh.push_back(o);
            }
        if (fresh.empty()) return;
        std::vector<double> scores(fresh.size());
        const unsigned workers = ParallelWorkerCount(static_cast<int64_t>(fresh.size()), 1);
        std::vector<Bins> work(workers);
        ParallelFor(0, static_cast<int32_t>(fresh.size()) - 1, workers, [&](unsigned worker, int32_t from, int32_t to) {
            for (int32_t k = from; k <= to; ++k)
                scores[static_cast<size_t>(k)] =
                    scorer_.Score(fresh[static_cast<size_t>(k)].first, fresh[static_cast<size_t>(k)].second, work[worker]);
        });
        for (size_t k = 0; k < fresh.size(); ++k) known_[fresh[k]] = scores[k];
    }

    bool Has(Offset o) const { return known_.count(o) != 0; }
    double At(Offset o) const { return known_.at(o); }

private:
    const SharpnessScorer& scorer_;
    int32_t limit_;
    std::map<Offset, double> known_;
};

struct Candidate {
    Offset At;
    double Score;
};

// The best offsets first, none within `apart` of a better one, at most `keep`.
std::vector<Candidate> Strongest(std::vector<Candidate> c, int32_t apart, size_t keep) {
    std::sort(c.begin(), c.end(), [](const Candidate& a, const Candidate& b) { return a.Score > b.Score; });
    std::vector<Candidate> kept;
    for (const Candidate& x : c) {
        bool near = false;
        for (const Candidate& k : kept)
            near |= std::abs(k.At.first - x.At.first) <= apart && std::abs(k.At.second - x.At.second) <= apart;
        if (!near) kept.push_back(x);
        if (kept.size() == keep) break;
    }
    return kept;
}

// Walks each candidate over the (2n + 1)^2 offsets at `step` about it to
// their best until it stays put (the patches of all worked out together).
void Climb(TrialScores& scores, std::vector<Candidate>& candidates, int32_t step, int32_t n) {
    std::vector<bool> moving(candidates.size(), true);
    for (int walk = 0; walk < 16; ++walk) {
        std::vector<Offset> patches;
        for (size_t c = 0; c < candidates.size(); ++c)
            if (moving[c])
                for (int32_t p = -n; p <= n; ++p)
                    for (int32_t q = -n; q <= n; ++q)
                        patches.push_back({candidates[c].At.first + p * step, candidates[c].At.second + q * step});
        if (patches.empty()) break;
        scores.Evaluate(patches);
        for (size_t c = 0; c < candidates.size(); ++c) {
            if (!moving[c]) continue;
            Candidate best = candidates[c];
            if (scores.Has(best.At)) best.Score = scores.At(best.At);
            for (int32_t p = -n; p <= n; ++p)
                for (int32_t q = -n; q <= n; ++q) {
                    const Offset o{candidates[c].At.first + p * step, candidates[c].At.second + q * step};
                    if (scores.Has(o) && scores.At(o) > best.Score) best = {o, scores.At(o)};
                }
            moving[c] = best.At != candidates[c].At;
            candidates[c] = best;
        }
    }
}

// The vertex of the parabola through three values at -1, 0, +1, kept
// within half a step.
double Vertex(double minus, double middle, double plus) {
    const double curvature = minus - 2 * middle + plus;
    if (!(curvature < 0)) return 0;
    return std::clamp(0.5 * (minus - plus) / curvature, -0.5, 0.5);
}

// The grids of one search, each with bins of its own.
class SharpnessSearch {
public:
    SharpnessSearch(const TrialTable& table, const Sample& fine, const Sample& coarse, double distancePixels,
                    double reach, int32_t limit)
        : table_(table), fine_(fine), coarse_(coarse), distance_(distancePixels), reach_(reach), limit_(limit) {
        while (top_ * 2 <= reach / CoarseSteps) top_ *= 2;
    }

    // The sharpest whole-pixel offset within reach of `base`: the disc's
    // grid at the top step (its points on multiples of the step, so that
    // searches share them), its best maxima followed down to whole pixels.
    Candidate Search(Offset base) {
        TrialScores& top = Level(top_);
        const int32_t n = static_cast<int32_t>(reach_ / top_) + 1;
        const int32_t bx = base.first / top_, by = base.second / top_;
        std::vector<Offset> grid;
        for (int32_t p = bx - n; p <= bx + n; ++p)
            for (int32_t q = by - n; q <= by + n; ++q) {
                const Offset o{p * top_, q * top_};
                if (std::hypot(o.first - base.first, o.second - base.second) <= reach_ && top.Allowed(o)) grid.push_back(o);
            }
        top.Evaluate(grid);
        std::vector<Candidate> candidates;
        for (const Offset& o : grid) {
            bool best = true;
            for (int32_t p = -1; p <= 1 && best; ++p)
                for (int32_t q = -1; q <= 1 && best; ++q) {
                    const Offset m{o.first + p * top_, o.second + q * top_};
                    if ((p || q) && top.Has(m) && top.At(m) > top.At(o)) best = false;
                }
            if (best) candidates.push_back({o, top.At(o)});
        }
        candidates = Strongest(candidates, top_, Followed);
        // Finer grids with finer bins, down to whole pixels.
        for (int32_t s = top_ / 2; s >= 1; s /= 2) {
            Climb(Level(s), candidates, s, s > 1 ? 2 : 1);
            candidates = Strongest(candidates, s, Followed);
        }
        if (top_ == 1) Climb(Level(1), candidates, 1, 1);
        candidates = Strongest(candidates, 1, 1);
        return candidates.empty() ? Candidate{base, 0} : candidates.front();
    }

    // The scores of the grid of `step` pixels.
    TrialScores& Level(int32_t step) {
        auto& level = levels_[step];
        if (!level.Scorer) {
            // Bins as wide as the grid's step: a ring the trials miss by a
            // fraction of a step still stands out.
            const double bin = step / distance_ * DegPerRad;
            level.Scorer = std::make_unique<SharpnessScorer>(table_, step > 1 ? coarse_ : fine_, bin);
            level.Scores = std::make_unique<TrialScores>(*level.Scorer, limit_);
        }
        return *level.Scores;
    }

private:
    struct Grid {
        std::unique_ptr<SharpnessScorer> Scorer;
        std::unique_ptr<TrialScores> Scores;
    };
    const TrialTable& table_;
    const Sample& fine_;
    const Sample& coarse_;
    double distance_, reach_;
    int32_t limit_;
    int32_t top_ = 1;
    std::map<int32_t, Grid> levels_;
};

} // namespace

SharpestCentre SearchSharpestCentre(const FrameStore& px, int32_t width, int32_t height, double reach,
                                    double distancePixels, float lower, float upper) {
    SharpestCentre result;
    const FrameGeometry* g = px.Geometry();
    width = std::min({width, px.Intensity.width(), px.TwoTheta.width()});
    height = std::min({height, px.Intensity.height(), px.TwoTheta.height()});
    if (!px.HasGeometry() || !g || width < 1 || height < 1) {
        result.Problem = "The frame has no 2Theta values; no centre found";
        return result;
    }
    using Kind = DetectorMapping::Kind;
    if (g->Mapping.Mapper == Kind::None || g->Mapping.Mapper == Kind::Merged || !(distancePixels > 0) ||
        !(reach >= 1) || !(reach < 1e5)) {
        result.Problem = "The rings cannot be tried about other centres on this detector; no centre found";
        return result;
    }
    // Room for the discs about the start and about the best of each search
    // (no further than the frame's size beyond its edges).
    const int32_t limit = std::min(static_cast<int32_t>(std::ceil(Searches * reach)) + 2, std::max(width, height));
    const TrialTable table = MakeTable(g->Mapping, width, height, limit + 1);
    const float widen = static_cast<float>(std::atan(Searches * reach / distancePixels) * DegPerRad);
    const Sample fine = MakeSample(px, width, height, table, lower - widen, upper + widen, MaxSamples);
    const Sample coarse = MakeSample(px, width, height, table, lower - widen, upper + widen, MaxCoarseSamples);
    if (fine.Index.size() < 100) {
        result.Problem = "Too few pixels between 2Theta " + FormatNumber(lower) + " and " + FormatNumber(upper) +
                         "; no centre found";
        return result;
    }
    SharpnessSearch search(table, fine, coarse, distancePixels, reach, limit);

    // The sharpest centre is the sharpest of the disc about itself: a
    // search whose best lies away from its disc's centre is repeated about
    // that best, so that a centre sharper than all its neighbours but
    // beside a sharper one beyond the first disc is not taken.
    Offset base{0, 0};
    Candidate best{base, 0};
    bool settled = false;
    for (int round = 0; round < Searches && !settled; ++round) {
        best = search.Search(base);
        settled = std::hypot(best.At.first - base.first, best.At.second - base.second) <= 1.5;
        base = best.At;
    }
    const auto [dx, dy] = best.At;
    TrialScores& unit = search.Level(1);
    unit.Evaluate({{dx, dy}, {dx - 1, dy}, {dx + 1, dy}, {dx, dy - 1}, {dx, dy + 1}});
    auto value = [&](int32_t a, int32_t b) { return unit.Has({a, b}) ? unit.At({a, b}) : unit.At(best.At); };
    const double fx = Vertex(value(dx - 1, dy), value(dx, dy), value(dx + 1, dy));
    const double fy = Vertex(value(dx, dy - 1), value(dx, dy), value(dx, dy + 1));
    result.Found = true;
    result.X = g->Mapping.Xo + dx + fx;
    result.Y = g->Mapping.Yo + dy + fy;
    result.Settled = settled;
    return result;
}

// ---- Roundness ---------------------------------------------------------------------

namespace {

constexpr int Sectors = 12;
constexpr double RadiusBin = 0.25;      // pixels
constexpr int MaxShift = 12;            // bins: 3 pixels
constexpr int Smooth = 16;              // bins either side of the running mean taken off
constexpr double GoodMatch = 0.5;       // correlation of a sector with rings
constexpr double RoundOffset = 0.25;    // pixels

// A profile with its running mean over +-Smooth bins taken off (NaN where it
// has no value).
std::vector<double> HighPass(const std::vector<double>& v) {
    const size_t n = v.size();
    std::vector<double> sum(n + 1, 0), count(n + 1, 0), out(n, std::nan(""));
    for (size_t b = 0; b < n; ++b) {
        sum[b + 1] = sum[b] + (std::isnan(v[b]) ? 0 : v[b]);
        count[b + 1] = count[b] + (std::isnan(v[b]) ? 0 : 1);
    }
    for (size_t b = 0; b < n; ++b) {
        if (std::isnan(v[b])) continue;
        const size_t lo = b >= Smooth ? b - Smooth : 0, hi = std::min(n, b + Smooth + 1);
        out[b] = v[b] - (sum[hi] - sum[lo]) / (count[hi] - count[lo]);
    }
    return out;
}

// The correlation of a(b) with r(b + s) over the bins where both have values.
double Correlation(const std::vector<double>& a, const std::vector<double>& r, int s, int& overlap) {
    double sa = 0, sr = 0, saa = 0, srr = 0, sar = 0;
    overlap = 0;
    const int n = static_cast<int>(a.size());
    for (int b = std::max(0, -s); b < std::min(n, n - s); ++b) {
        const double x = a[static_cast<size_t>(b)], y = r[static_cast<size_t>(b + s)];
        if (std::isnan(x) || std::isnan(y)) continue;
        sa += x;
        sr += y;
        saa += x * x;
        srr += y * y;
        sar += x * y;
        ++overlap;
    }
    if (overlap < 3) return 0;
    const double m = overlap;
    const double va = saa - sa * sa / m, vr = srr - sr * sr / m;
    if (!(va > 0) || !(vr > 0)) return 0;
    return (sar - sa * sr / m) / std::sqrt(va * vr);
}

} // namespace

RingRoundness CheckRingsRound(const FrameStore& px, int32_t width, int32_t height, double distancePixels,
                              float lower, float upper) {
    RingRoundness result;
    width = std::min({width, px.Intensity.width(), px.TwoTheta.width()});
    height = std::min({height, px.Intensity.height(), px.TwoTheta.height()});
    const float top = std::min(upper, 75.0f);
    if (!px.HasGeometry() || !(distancePixels > 0) || width < 1 || height < 1) {
        result.Problem = "The frame has no 2Theta values; the rings cannot be checked";
        return result;
    }
    auto radius = [&](double t) { return distancePixels * std::tan(t / DegPerRad); };
    const FrameGeometry* g = px.Geometry();
    const double from = std::max<double>(lower, g->MinTwoTheta), to = std::min<double>(top, g->MaxTwoTheta);
    const double low = from > 0 ? radius(from) : 0, high = to > from ? radius(to) : low;
    const int bins = static_cast<int>((high - low) / RadiusBin) + 1;
    if (bins < 2 * MaxShift || bins > 4 * MaxBins) {
        result.Problem = "Too few rings to check that they are round; no centre found";
        return result;
    }
    // Per worker, per bin: the sums and counts of the sectors and of all.
    using Row = std::array<double, 2 * (Sectors + 1)>;
    const unsigned workers = ParallelWorkerCount(int64_t{width} * height, 1 << 16);
    std::vector<std::vector<Row>> parts(workers, std::vector<Row>(static_cast<size_t>(bins), Row{}));
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        std::vector<Row>& mine = parts[worker];
        for (int32_t i = lo; i <= hi; ++i) {
            const int32_t* intensity = px.Intensity[i];
            const float* twoTheta = px.TwoTheta[i];
            const float* psi = px.Psi[i];
            for (int32_t j = 1; j <= height; ++j) {
                const float t = twoTheta[j];
                const int32_t v = intensity[j];
                if (v == MaskedIntensity || !(t > lower && t < top)) continue;
                const int b = std::clamp(static_cast<int>((radius(t) - low) / RadiusBin), 0, bins - 1);
                const int k = std::clamp(static_cast<int>(psi[j] / (360.0 / Sectors)), 0, Sectors - 1);
                Row& r = mine[static_cast<size_t>(b)];
                r[static_cast<size_t>(k)] += v;
                r[static_cast<size_t>(Sectors + 1 + k)] += 1;
                r[Sectors] += v;
                r[2 * Sectors + 1] += 1;
            }
        }
    });
    std::vector<Row>& all = parts[0];
    for (size_t w = 1; w < parts.size(); ++w)
        for (size_t b = 0; b < all.size(); ++b)
            for (size_t c = 0; c < all[b].size(); ++c) all[b][c] += parts[w][b][c];
    auto sum = [&](size_t b, int k) { return all[b][static_cast<size_t>(k)]; };
    auto count = [&](size_t b, int k) { return all[b][static_cast<size_t>(Sectors + 1 + k)]; };

    // Each sector is matched against the others, whose rings move with the
    // centre too: a sector's rings move by d . (u - w) against theirs, u its
    // direction and w the mean direction of the others, weighted by their
    // pixels.
    std::array<double, Sectors> pixels{};
    double allPixels = 0, allX = 0, allY = 0;
    auto direction = [](int k) {
        const double psi = (k + 0.5) * (360.0 / Sectors) / DegPerRad;
        return std::pair<double, double>{std::cos(psi), -std::sin(psi)};
    };
    for (int k = 0; k < Sectors; ++k) {
        for (size_t b = 0; b < all.size(); ++b) pixels[static_cast<size_t>(k)] += count(b, k);
        allPixels += pixels[static_cast<size_t>(k)];
        allX += pixels[static_cast<size_t>(k)] * direction(k).first;
        allY += pixels[static_cast<size_t>(k)] * direction(k).second;
    }
    struct Match {
        double Shift, Ux, Uy;
    };
    std::vector<Match> matches;
    bool atLimit = false;
    for (int k = 0; k < Sectors; ++k) {
        std::vector<double> own(static_cast<size_t>(bins)), rest(static_cast<size_t>(bins));
        for (size_t b = 0; b < own.size(); ++b) {
            const double n = count(b, k), others = count(b, Sectors) - n;
            own[b] = n >= 2 ? sum(b, k) / n : std::nan("");
            rest[b] = others >= 2 ? (sum(b, Sectors) - sum(b, k)) / others : std::nan("");
        }
        own = HighPass(own);
        rest = HighPass(rest);
        std::array<double, 2 * MaxShift + 1> c{};
        std::array<int, 2 * MaxShift + 1> overlap{};
        int bestShift = -MaxShift;
        for (int s = -MaxShift; s <= MaxShift; ++s) {
            const size_t at = static_cast<size_t>(s + MaxShift);
            c[at] = Correlation(own, rest, s, overlap[at]);
            if (c[at] > c[static_cast<size_t>(bestShift + MaxShift)]) bestShift = s;
        }
        const double peak = c[static_cast<size_t>(bestShift + MaxShift)];
        if (!(peak >= GoodMatch) || overlap[static_cast<size_t>(bestShift + MaxShift)] < 4 * Smooth) continue;
        if (std::abs(bestShift) == MaxShift) {
            atLimit = true;
            continue;
        }
        const double fine =
            bestShift + Vertex(c[static_cast<size_t>(bestShift + MaxShift - 1)], peak, c[static_cast<size_t>(bestShift + MaxShift + 1)]);
        // own(b) matches rest(b + s): this sector's rings lie s bins further in.
        const auto [ux, uy] = direction(k);
        const double others = allPixels - pixels[static_cast<size_t>(k)];
        const double wx = others > 0 ? (allX - pixels[static_cast<size_t>(k)] * ux) / others : 0;
        const double wy = others > 0 ? (allY - pixels[static_cast<size_t>(k)] * uy) / others : 0;
        matches.push_back({-fine * RadiusBin, ux - wx, uy - wy});
    }
    result.Sectors = static_cast<int>(matches.size());
    // The offset d that moves the sectors' rings as they lie.
    double nxx = 0, nxy = 0, nyy = 0, bx = 0, by = 0;
    for (const Match& m : matches) {
        nxx += m.Ux * m.Ux;
        nxy += m.Ux * m.Uy;
        nyy += m.Uy * m.Uy;
        bx += m.Ux * m.Shift;
        by += m.Uy * m.Shift;
    }
    const double det = nxx * nyy - nxy * nxy;
    const double smallest = 0.5 * (nxx + nyy) - std::sqrt(0.25 * (nxx - nyy) * (nxx - nyy) + nxy * nxy);
    if (atLimit) {
        result.Problem = "The rings are not round about the centre found: they lie more than 3 pixels apart on "
                         "opposite sides; no centre found";
        return result;
    }
    if (matches.size() < 3 || !(smallest >= 0.4) || !(det > 0)) {
        result.Problem = "Too few rings around the centre found to check that they are round; no centre found";
        return result;
    }
    result.OffsetX = (nyy * bx - nxy * by) / det;
    result.OffsetY = (nxx * by - nxy * bx) / det;
    double worst = 0;
    for (const Match& m : matches) worst = std::max(worst, std::abs(m.Shift - (result.OffsetX * m.Ux + result.OffsetY * m.Uy)));
    const double offset = std::hypot(result.OffsetX, result.OffsetY);
    result.Round = offset <= RoundOffset && worst <= 1.0;
    if (!result.Round)
        result.Problem = "The rings are not round about the centre found (they are round about one " +
                         FormatNumber(offset) + " pixels away); no centre found";
    return result;
}

} // namespace orv
