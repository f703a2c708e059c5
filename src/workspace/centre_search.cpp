#include "workspace/centre_search.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "base/numbers.h"
#include "base/parallel.h"
#include "chart/chart_errors.h"
#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/ring_sharpness.h"
#include "workspace/run_report.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr int RingRows = 72;             // psi rows of 5 degrees
constexpr int MinRingPoints = 4;
constexpr int32_t DirectBeamHalfBox = 5; // 11 x 11 pixels
constexpr int MaxAutoPasses = 12;
constexpr double SettledMove = 0.02;     // pixels
constexpr double SearchReach = 0.06;     // of the distance in pixels: Auto's coarse stage

int32_t UsedWidth(const Workspace& ws) { return std::min(ws.FrameWidth, ws.FramePixels.width()); }
int32_t UsedHeight(const Workspace& ws) { return std::min(ws.FrameHeight, ws.FramePixels.height()); }

CentreCandidate Failure(std::string problem) {
    CentreCandidate c;
    c.Problem = std::move(problem);
    return c;
}

CentreCandidate At(double x, double y) {
    CentreCandidate c;
    c.Found = true;
    c.X = x;
    c.Y = y;
    return c;
}

void SelectAuto(TForm27& f) {
    f.RCircle = f.RSector = f.RGravity = f.RBDBeam = false;
    f.RAuto = true;
}

void SetProgress(Workspace& ws, Host& host, int value) {
    ws.Form27.ProgressBar1 = value;
    host.changed(View::Progress);
}

// The centre on a flat plane of ring points: the circle through them gives
// the offset of the beam from the centre in force.
CentreCandidate CircleCentre(Workspace& ws) {
    double radius = 0, cu = 0, cv = 0;
    try {
        ws.CurveFit1.CalcCircleFit(radius, cu, cv);
    } catch (const EVemoMath2Error&) {
        return Failure("The ring points lie on one straight line or at one place; no centre found");
    }
    return At(ws.Xo - cu, ws.Yo + cv);
}

// The brightest pixel of one psi row: larger intensity wins, then the
// earlier column, then the earlier row.
struct RingPoint {
    int32_t Intensity = 0;
    int32_t Column = 0, Row = 0;
    bool Before(const RingPoint& o) const {
        if (Intensity != o.Intensity) return Intensity > o.Intensity;
        if (Column != o.Column) return Column < o.Column;
        return Row < o.Row;
    }
};

// The distance of the flat plane of ring points, in pixels.
double ProjectionDistance(const Workspace& ws) {
    return ws.Form32.RCylindrical ? ws.DistancePixels : static_cast<double>(ws.FlatDistancePixels);
}

// The strongest ring of the frame profile strictly inside the sector's
// 2-theta limits: the bin with the largest intensity x pixel count among
// bins ScanPoints div 50 .. ScanPoints; false when none holds any.
bool StrongestRing(const Workspace& ws, double& twoTheta) {
    const int32_t last = std::clamp(ws.ScanPoints, 0, MaxScanPoints);
    double best = 0;
    bool found = false;
    for (int32_t k = last / 50; k <= last; ++k) {
        const ProfilePoint& p = ws.FrameProfileCopy[static_cast<size_t>(k)];
        if (!(p.TwoTheta > ws.SectorTwoTheta1 && p.TwoTheta < ws.SectorTwoTheta2)) continue;
        const double weight = static_cast<double>(p.Intensity) * p.Count;
        if (weight > best) {
            best = weight;
            twoTheta = p.TwoTheta;
            found = true;
        }
    }
    return found;
}

bool Inside(double v, double lo, double hi) { return v >= lo && v <= hi; }

struct PlanePoint {
    double U, V;
};

// The points become the circle fit's points and CentrePoints.
void HandToFit(Workspace& ws, const std::vector<PlanePoint>& points) {
    ClearRingPoints(ws);
    for (const PlanePoint& p : points) {
        ws.CurveFit1.AddPoint(p.U, p.V);
        if (ws.CentrePointCount < MaxCentrePoints) {
            ++ws.CentrePointCount;
            ws.CentrePoints[static_cast<size_t>(ws.CentrePointCount)] = {RoundToInt(p.U), RoundToInt(p.V)};
        }
    }
}

// The psi row of 5 degrees a psi lies in; at or above 357.5 degrees row 0.
int32_t RingRow(float psi) {
    const int32_t row = RoundToInt(psi / 5.0);
    return row >= RingRows || row < 0 ? 0 : row;
}

// Whether a row's brightest pixel lies on the ring's crest: no neighbour of
// its row is brighter, and none is masked or off the frame. Where the
// frame's edge, a mask or the band's end cuts the ring, the brightest pixel
// left is on the ring's flank, pixels away from the crest, and would pull
// the circle off the centre.
bool RingPeak(const FrameStore& px, int32_t width, int32_t height, const RingPoint& p) {
    const int32_t row = RingRow(px.Psi[p.Column][p.Row]);
    for (int32_t i = p.Column - 1; i <= p.Column + 1; ++i)
        for (int32_t j = p.Row - 1; j <= p.Row + 1; ++j) {
            if (i < 1 || j < 1 || i > width || j > height) return false;
            const int32_t v = px.Intensity[i][j];
            if (v == MaskedIntensity) return false;
            if (v > p.Intensity && RingRow(px.Psi[i][j]) == row) return false;
        }
    return true;
}

// The brightest pixel lies up to half a pixel (and, on a noisy frame, a
// pixel or more) off the ring's crest. The crest is found on the ring's
// profile across its psi row: the row's pixels binned by 2-theta, then the
// centroid of the intensity above the profile's floor in a window of 2
// pixels either side of the crest, the window centred again on the centroid
// until it stays (a window that is not centred on the crest pulls the
// centroid towards its own middle). The point then moves along its radius
// to the crest: its distance from the centre on the plane is multiplied by
// the ratio of the tangents.
constexpr int CrestBinsPerPixel = 4;
constexpr int CrestWindow = 2 * CrestBinsPerPixel;   // bins either side
constexpr int CrestReach = 4 * CrestWindow;          // bins collected either side of the brightest pixel

struct CrestBin {
    double Count = 0, Sum = 0, Angle = 0, Moment = 0;   // pixels, intensity, 2-theta, intensity x 2-theta
};

// One psi row's profile about its brightest pixel.
struct RowProfile {
    double First = 0;   // 2-theta of the start of bin 0
    std::array<CrestBin, 2 * CrestReach + 1> Bins{};
};

double CrestTwoTheta(const RowProfile& row, double own, double binDegrees) {
    double c = own;
    for (int iteration = 0; iteration < 8; ++iteration) {
        const int middle = static_cast<int>(std::floor((c - row.First) / binDegrees));
        const int from = std::max(middle - CrestWindow, 0), to = std::min(middle + CrestWindow, 2 * CrestReach);
        if (from > to) return own;
        double floor = std::numeric_limits<double>::infinity();
        for (int b = from; b <= to; ++b) {
            const CrestBin& x = row.Bins[static_cast<size_t>(b)];
            if (x.Count > 0) floor = std::min(floor, x.Sum / x.Count);
        }
        // Each bin by its mean, so that a row cut by the frame's edge or a
        // mask, with fewer pixels on one side of the crest, is not pulled.
        double weights = 0, moment = 0;
        for (int b = from; b <= to; ++b) {
            const CrestBin& x = row.Bins[static_cast<size_t>(b)];
            if (!(x.Count > 0)) continue;
            const double above = x.Sum / x.Count - floor;
            weights += above;
            moment += above * x.Angle / x.Count;
        }
        if (!(weights > 0)) return own;
        const double next = moment / weights;
        if (!std::isfinite(next) || std::abs(next - own) > (CrestReach - CrestWindow) * binDegrees) return own;
        const bool settled = std::abs(next - c) < 0.01 * binDegrees;
        c = next;
        if (settled) break;
    }
    return c;
}

} // namespace

void ClearRingPoints(Workspace& ws) {
    ws.CurveFit1.ClearPoints();
    ws.CentrePointCount = 0;
}

// ---- GravityCenter ------------------------------------------------------------

CentreCandidate IntensityCentroid(Workspace& ws) {
    int32_t x1 = 1, x2 = UsedWidth(ws), y1 = 1, y2 = UsedHeight(ws);
    const bool rectangle = ws.RectangularSector != 0;
    if (rectangle) {
        std::array<int32_t, 4> r{};
        try {
            r = ReadSectorRectangle(ws);
        } catch (const ConversionError& e) {
            return Failure(e.what());
        }
        x1 = r[0];
        x2 = std::min(r[1], UsedWidth(ws));
        y1 = r[2];
        y2 = std::min(r[3], UsedHeight(ws));
    } else if (!ws.FramePixels.HasGeometry()) {
        return Failure("The frame has no 2Theta values; no centre found");
    }
    const float lo = ws.SectorTwoTheta1, hi = ws.SectorTwoTheta2;
    struct Moments {
        __int128 Sum = 0, Column = 0, Row = 0;
    };
    const unsigned workers = ParallelWorkerCount(int64_t{std::max(x2 - x1 + 1, 0)} * std::max(y2 - y1 + 1, 0), 1 << 16);
    std::vector<Moments> parts(workers);
    ParallelFor(x1, x2, workers, [&](unsigned worker, int32_t from, int32_t to) {
        Moments& m = parts[worker];
        for (int32_t i = from; i <= to; ++i) {
            const int32_t* intensity = ws.FramePixels.Intensity[i];
            const float* twoTheta = rectangle ? nullptr : ws.FramePixels.TwoTheta[i];
            for (int32_t j = y1; j <= y2; ++j) {
                const int32_t v = intensity[j];
                if (v == MaskedIntensity) continue;
                if (twoTheta && !(twoTheta[j] > lo && twoTheta[j] < hi)) continue;
                m.Sum += v;
                m.Column += static_cast<__int128>(v) * i;
                m.Row += static_cast<__int128>(v) * j;
            }
        }
    });
    Moments total;
    for (const Moments& m : parts) {
        total.Sum += m.Sum;
        total.Column += m.Column;
        total.Row += m.Row;
    }
    if (total.Sum <= 0) return Failure("No intensity in the sector; no centre found");
    const double sum = static_cast<double>(total.Sum);
    return At(static_cast<double>(total.Column) / sum, static_cast<double>(total.Row) / sum);
}

// ---- Ring points ----------------------------------------------------------------

CentreCandidate RingPointsCentre(Workspace& ws, double threshold, double upper, double lower) {
    ClearRingPoints(ws);
    const FrameStore& px = ws.FramePixels;
    if (!px.HasGeometry()) return Failure("The frame has no 2Theta values; no centre found");
    const int32_t width = UsedWidth(ws), height = UsedHeight(ws);
    const unsigned workers = ParallelWorkerCount(int64_t{width} * height, 1 << 16);
    std::vector<std::array<RingPoint, RingRows>> parts(workers);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t from, int32_t to) {
        std::array<RingPoint, RingRows>& best = parts[worker];
        for (int32_t i = from; i <= to; ++i) {
            const int32_t* intensity = px.Intensity[i];
            const float* twoTheta = px.TwoTheta[i];
            const float* psi = px.Psi[i];
            for (int32_t j = 1; j <= height; ++j) {
                const int32_t v = intensity[j];
                if (v == MaskedIntensity || !(v > threshold)) continue;
                if (!(twoTheta[j] > lower && twoTheta[j] < upper)) continue;
                RingPoint& b = best[static_cast<size_t>(RingRow(psi[j]))];
                if (v <= b.Intensity) continue;
                // A pixel at or beyond 90 degrees has no place on the plane.
                if (!(px.Lab(i, j).Y > 0)) continue;
                b = RingPoint{v, i, j};
            }
        }
    });
    std::array<RingPoint, RingRows> best{};
    for (const auto& part : parts)
        for (int r = 0; r < RingRows; ++r)
            if (part[r].Intensity > 0 && (best[r].Intensity == 0 || part[r].Before(best[r]))) best[r] = part[r];

    const double D = ProjectionDistance(ws);
    // The rows' profiles about their brightest pixels, in bins of a quarter
    // of a pixel at the distance.
    constexpr double RadPerDeg = 3.14159265358979323846 / 180.0;
    const double binDegrees = 1 / (CrestBinsPerPixel * std::max(D, 1.0) * RadPerDeg);
    std::vector<RowProfile> rows(RingRows);
    std::array<bool, RingRows> crest{};
    for (int r = 0; r < RingRows; ++r) {
        const RingPoint& p = best[static_cast<size_t>(r)];
        crest[static_cast<size_t>(r)] = p.Intensity > 0 && RingPeak(px, width, height, p);
        rows[static_cast<size_t>(r)].First = px.TwoTheta[p.Column][p.Row] - (CrestReach + 0.5) * binDegrees;
    }
    std::vector<std::vector<RowProfile>> profiles(workers, rows);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t from, int32_t to) {
        std::vector<RowProfile>& mine = profiles[worker];
        for (int32_t i = from; i <= to; ++i) {
            const int32_t* intensity = px.Intensity[i];
            const float* twoTheta = px.TwoTheta[i];
            const float* psi = px.Psi[i];
            for (int32_t j = 1; j <= height; ++j) {
                const int32_t v = intensity[j];
                const double t = twoTheta[j];
                if (v == MaskedIntensity || !(t > lower && t < upper)) continue;
                const int32_t r = RingRow(psi[j]);
                if (!crest[static_cast<size_t>(r)]) continue;
                RowProfile& row = mine[static_cast<size_t>(r)];
                const double f = (t - row.First) / binDegrees;
                if (!(f >= 0 && f < 2 * CrestReach + 1)) continue;
                CrestBin& bin = row.Bins[static_cast<size_t>(f)];
                bin.Count += 1;
                bin.Sum += v;
                bin.Angle += t;
                bin.Moment += v * t;
            }
        }
    });
    std::vector<PlanePoint> points;
    for (int r = 0; r < RingRows; ++r) {
        if (!crest[static_cast<size_t>(r)]) continue;
        RowProfile row = rows[static_cast<size_t>(r)];
        for (const auto& part : profiles)
            for (size_t b = 0; b < row.Bins.size(); ++b) {
                const CrestBin& x = part[static_cast<size_t>(r)].Bins[b];
                row.Bins[b].Count += x.Count;
                row.Bins[b].Sum += x.Sum;
                row.Bins[b].Angle += x.Angle;
                row.Bins[b].Moment += x.Moment;
            }
        const RingPoint& p = best[static_cast<size_t>(r)];
        const LabPoint lab = px.Lab(p.Column, p.Row);
        const double own = px.TwoTheta[p.Column][p.Row];
        const double top = CrestTwoTheta(row, own, binDegrees);
        const double scale = own > 0.01 ? std::tan(top * RadPerDeg) / std::tan(own * RadPerDeg) : 1;
        points.push_back({static_cast<double>(lab.X) * D / lab.Y * scale, static_cast<double>(lab.Z) * D / lab.Y * scale});
    }
    if (static_cast<int>(points.size()) < MinRingPoints) {
        return Failure("Too few points on the ring between 2Theta " + FormatNumber(lower) + " and " +
                       FormatNumber(upper) + " (" + std::to_string(points.size()) + " found, " +
                       std::to_string(MinRingPoints) + " needed); no centre found");
    }
    HandToFit(ws, points);
    const CentreCandidate c = CircleCentre(ws);
    ClearRingPoints(ws);
    return c;
}

CentreCandidate FitRingCircle(Workspace& ws) {
    CentreCandidate c = CircleCentre(ws);
    ClearRingPoints(ws);
    if (c.Found) {
        ws.Form27.EXoM = FormatNumber(c.X);
        ws.Form27.EYoM = FormatNumber(c.Y);
    }
    return c;
}

// ---- Direct beam ----------------------------------------------------------------

BoxPeak BrightestBox(const FramePlane<int32_t>& intensity, int32_t width, int32_t height, int32_t half) {
    BoxPeak peak;
    width = std::min(width, intensity.width());
    height = std::min(height, intensity.height());
    if (width < 1 || height < 1 || half < 0) return peak;
    // table[i][j]: the sum over columns 1..i and rows 1..j, column-major with
    // a zero row and column in front.
    const size_t stride = static_cast<size_t>(height) + 1;
    // Not zero-filled: every cell is written below, by the worker that
    // first touches its page.
    const std::unique_ptr<int64_t[]> table(new int64_t[(static_cast<size_t>(width) + 1) * stride]);
    auto at = [&](int32_t i, int32_t j) -> int64_t& { return table[static_cast<size_t>(i) * stride + static_cast<size_t>(j)]; };
    const unsigned workers = ParallelWorkerCount(int64_t{width} * height, 1 << 16);
    std::fill(&at(0, 0), &at(0, 0) + stride, int64_t{0});
    // Down each column, then across the columns a block of rows at a time.
    ParallelFor(1, width, workers, [&](unsigned, int32_t from, int32_t to) {
        for (int32_t i = from; i <= to; ++i) {
            const int32_t* column = intensity[i];
            int64_t running = 0;
            at(i, 0) = 0;
            for (int32_t j = 1; j <= height; ++j) {
                if (column[j] != MaskedIntensity) running += column[j];
                at(i, j) = running;
            }
        }
    });
    ParallelFor(1, height, workers, [&](unsigned, int32_t from, int32_t to) {
        for (int32_t i = 2; i <= width; ++i)
            for (int32_t j = from; j <= to; ++j) at(i, j) += at(i - 1, j);
    });

    std::vector<BoxPeak> parts(workers);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t from, int32_t to) {
        BoxPeak& best = parts[worker];
        for (int32_t i = from; i <= to; ++i) {
            const int32_t left = std::max(i - half, 1) - 1, right = std::min(i + half, width);
            for (int32_t j = 1; j <= height; ++j) {
                const int32_t below = std::max(j - half, 1) - 1, above = std::min(j + half, height);
                const int64_t sum = at(right, above) - at(left, above) - at(right, below) + at(left, below);
                if (!best.Found || sum > best.Sum) best = BoxPeak{true, i, j, sum};
            }
        }
    });
    for (const BoxPeak& p : parts) {
        if (!p.Found) continue;
        const bool earlier = p.Column < peak.Column || (p.Column == peak.Column && p.Row < peak.Row);
        if (!peak.Found || p.Sum > peak.Sum || (p.Sum == peak.Sum && earlier)) peak = p;
    }
    if (peak.Sum <= 0) peak.Found = false;
    return peak;
}

CentreCandidate DirectBeamCentre(const Workspace& ws) {
    const BoxPeak peak = BrightestBox(ws.FramePixels.Intensity, UsedWidth(ws), UsedHeight(ws), DirectBeamHalfBox);
    if (!peak.Found) return Failure("No intensity on the frame; no direct beam found");
    return At(peak.Column, peak.Row);
}

// ---- Auto ---------------------------------------------------------------------

CentreCandidate AutoAdjustCenter(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) return Failure("Need to open a file first");
    const double oldX = ws.Xo, oldY = ws.Yo;
    // The threshold: the frame's intensity over FrameSize squared pixels.
    int64_t sum = 0;
    const int32_t width = UsedWidth(ws), height = UsedHeight(ws);
    for (int32_t i = 1; i <= width; ++i) {
        const int32_t* column = ws.FramePixels.Intensity[i];
        for (int32_t j = 1; j <= height; ++j)
            if (column[j] != MaskedIntensity) sum += column[j];
    }
    const double size = std::max(ws.FrameSize, 1);
    const double mean = static_cast<double>(sum) / (size * size);

    double x = ws.FrameWidth / 2, y = ws.FrameHeight / 2;
    if (ws.Form27.CBInitPos) {
        if (!TryParseNumber(ws.Form27.EXoM, x)) return Failure(ConversionError(ws.Form27.EXoM).what());
        if (!TryParseNumber(ws.Form27.EYoM, y)) return Failure(ConversionError(ws.Form27.EYoM).what());
    }
    auto restore = [&](std::string problem) {
        ws.Xo = oldX;
        ws.Yo = oldY;
        ComputeFrameGeometry(ws, host, oldX, oldY);
        return Failure(std::move(problem));
    };
    ws.Xo = x;
    ws.Yo = y;
    if (!ComputeFrameGeometry(ws, host, x, y)) return restore("The geometry cannot be computed; no centre found");
    const std::string noRing = "No ring between 2Theta " + FormatNumber(ws.SectorTwoTheta1) + " and " +
                               FormatNumber(ws.SectorTwoTheta2) + "; no centre found";
    if (double t = 0; !StrongestRing(ws, t)) return restore(noRing);
    const double D = ProjectionDistance(ws);

    // The coarse stage: the centre within reach about which the rings are
    // sharpest. The passes below only refine a centre already close.
    const SharpestCentre sharp = SearchSharpestCentre(ws.FramePixels, width, height, SearchReach * D, D,
                                                      ws.SectorTwoTheta1, ws.SectorTwoTheta2);
    if (sharp.Found) {
        if (!sharp.Settled)
            return restore("The rings are sharpest about no centre within " + FormatNumber(SearchReach * D) +
                           " pixels of the start: start nearer the centre; no centre found");
        ws.Xo = sharp.X;
        ws.Yo = sharp.Y;
        ComputeFrameGeometry(ws, host, ws.Xo, ws.Yo);
    }

    // Three passes with bands of +-0.75, 0.5 and 0.25 degrees about the
    // strongest ring, then more at 0.25 until the centre stays put: a start
    // far off smears the ring over 2-theta, and the bands catch only part
    // of it at first.
    bool moved = false;
    double lastMove = 0;
    for (int pass = 1; pass <= MaxAutoPasses; ++pass) {
        double t = 0;
        if (!StrongestRing(ws, t)) {
            if (!moved) return restore(noRing);
            break;
        }
        const double h = pass <= 3 ? (4 - pass) * 0.25 : 0.25;
        const CentreCandidate c = RingPointsCentre(ws, mean, t + h, t - h);
        if (c.Found) {
            lastMove = std::hypot(c.X - ws.Xo, c.Y - ws.Yo);
            ws.Xo = c.X;
            ws.Yo = c.Y;
            moved = true;
        } else if (!moved) {
            return restore(c.Problem);
        } else {
            lastMove = 0;
        }
        ComputeFrameGeometry(ws, host, ws.Xo, ws.Yo);
        SetProgress(ws, host, 15 * std::min(pass, 3));
        if (pass >= 3 && lastMove < SettledMove) break;
    }
    // A centre is reported only where the rings are round about it.
    const RingRoundness round = CheckRingsRound(ws.FramePixels, width, height, D, ws.SectorTwoTheta1, ws.SectorTwoTheta2);
    if (!round.Round) return restore(round.Problem);
    return At(ws.Xo, ws.Yo);
}

// ---- The centre command ---------------------------------------------------------

std::string FindCentre(Workspace& ws, Host& host, bool pickMode) {
    if (!ws.FrameIsLoaded()) return "Need to load a file first";
    TForm27& f = ws.Form27;
    const double oldX = ws.Xo, oldY = ws.Yo;
    CentreCandidate c;
    if (pickMode) {
        double x = 0, y = 0;
        if (!TryParseNumber(f.EXoM, x)) return ConversionError(f.EXoM).what();
        if (!TryParseNumber(f.EYoM, y)) return ConversionError(f.EYoM).what();
        c = At(x, y);
    } else if (f.RGravity) {
        c = IntensityCentroid(ws);
    } else if (f.RCircle) {
        if (ws.CurveFit1.NumData() < 3) {
            SelectAuto(f);
            host.changed(View::Settings);
            return "Need to select more points in a ring";
        }
        c = FitRingCircle(ws);
    } else if (f.RSector) {
        c = RingPointsCentre(ws, 1, ws.SectorTwoTheta2, ws.SectorTwoTheta1);
    } else if (f.RBDBeam) {
        c = DirectBeamCentre(ws);
    } else {
        c = AutoAdjustCenter(ws, host);
    }
    if (c.Found && !(Inside(c.X, -2.5 * ws.FrameWidth, 2.5 * ws.FrameWidth) &&
                     Inside(c.Y, -2.5 * ws.FrameHeight, 2.5 * ws.FrameHeight)))
        c = Failure("The centre found (" + FormatNumber(c.X) + ", " + FormatNumber(c.Y) +
                    ") lies far outside the frame; the centre was not changed");

    const bool moved = ws.Xo != oldX || ws.Yo != oldY;   // Auto's passes move the centre
    if (!c.Found) {
        if (moved) {
            ws.Xo = oldX;
            ws.Yo = oldY;
            ComputeFrameGeometry(ws, host, oldX, oldY);
        }
        ClearRingPoints(ws);
        SelectAuto(f);
        SetProgress(ws, host, 100);
        host.changed(View::Settings);
        return c.Problem;
    }

    // An axis whose "Vary" box is clear keeps its old value.
    ws.Xo = f.CBXo ? c.X : oldX;
    ws.Yo = f.CBYo ? c.Y : oldY;
    if (f.CBXo) ws.Form32.EXoM = ws.Form23.EXo = f.EXoM = FormatNumber(c.X);
    if (f.CBYo) ws.Form32.EYoM = ws.Form23.EYo = f.EYoM = FormatNumber(c.Y);
    SetProgress(ws, host, 50);
    const bool mapped = ComputeFrameGeometry(ws, host, ws.Xo, ws.Yo);
    host.changed(View::Settings);
    host.changed(View::FrameInfo);
    if (mapped) {
        RedrawSectorThenScan(ws, host);
        UpdateProfileExtrema(ws);
    }
    ws.LLog.Append("New centre at " + FormatNumber(ws.Xo) + ", " + FormatNumber(ws.Yo));
    host.changed(View::Logbook);
    ClearRingPoints(ws);
    SelectAuto(f);
    SetProgress(ws, host, 100);
    host.changed(View::Settings);
    return {};
}

void BCenterClick(Workspace& ws, Host& host, bool pickMode) {
    if (const std::string problem = FindCentre(ws, host, pickMode); !problem.empty()) host.message(problem);
}

void Form27FindCenterClick(Workspace& ws, Host& host) {
    SetProgress(ws, host, 0);
    if (ws.Form27.CBXo || ws.Form27.CBYo) BCenterClick(ws, host, false);
}

void BSetClick(Workspace& ws, Host& host) {
    TForm27& f = ws.Form27;
    if (!f.CBXo && !f.CBYo) return;
    double x = ws.Xo, y = ws.Yo;
    if (f.CBXo && !TryParseNumber(f.EXoM, x)) return host.message(ConversionError(f.EXoM).what());
    if (f.CBYo && !TryParseNumber(f.EYoM, y)) return host.message(ConversionError(f.EYoM).what());
    ws.Xo = x;
    ws.Yo = y;
    if (f.CBXo) ws.Form32.EXoM = ws.Form23.EXo = f.EXoM;
    if (f.CBYo) ws.Form32.EYoM = ws.Form23.EYo = f.EYoM;
    host.changed(View::Settings);
    host.changed(View::FrameInfo);
    if (!ws.FrameIsLoaded()) return;
    const bool mapped = ComputeFrameGeometry(ws, host, x, y);
    ws.Form20.ProgressBar1 = 50;
    host.changed(View::Progress);
    if (!mapped) return;
    RedrawFrame(ws, host);
    ws.Form20.ProgressBar1 = 100;
    host.changed(View::Progress);
    N2ThetaScan1Click(ws, host);
}

void Form27RCircleClick(Workspace& ws, Host& host) {
    ClearRingPoints(ws);
    host.message("Select points along a Debye ring and then press FindCenter button!");
}

void Form27RSectorClick(Workspace&, Host& host) {
    host.message(
        "If you have not please select a 2theta range using Mask tool or A-pressed + mouseclick and press FindCenter "
        "button!");
}

// ---- Auto for both axes ------------------------------------------------------------

namespace {

// The centre Auto found into every box that shows it, and the logbook.
void ShowAutoCentre(Workspace& ws, Host& host) {
    const std::string x = FormatNumber(ws.Xo), y = FormatNumber(ws.Yo);
    ws.Form23.EXo = ws.Form27.EXoM = ws.Form32.EXoM = x;
    ws.Form23.EYo = ws.Form27.EYoM = ws.Form32.EYoM = y;
    ws.LLog.Append("New centre at " + x + ", " + y);
    host.changed(View::Settings);
    host.changed(View::FrameInfo);
    host.changed(View::Logbook);
}

} // namespace

bool SpeedButton1Click(Workspace& ws, Host& host) {
    if (ws.FrameSize == 0 || !ws.FrameIsLoaded()) {
        host.message("Need to open a file first!");
        return false;
    }
    SetProgress(ws, host, 0);
    const CentreCandidate c = AutoAdjustCenter(ws, host);
    if (!c.Found) {
        SetProgress(ws, host, 100);
        host.message(c.Problem);
        return false;
    }
    ShowAutoCentre(ws, host);
    RedrawSectorThenScan(ws, host);
    SetProgress(ws, host, 100);
    return true;
}

void AdjustCentreOfFrame(Workspace& ws, Host& host) {
    const CentreCandidate c = AutoAdjustCenter(ws, host);
    if (!c.Found) {
        ReportRunProblem(ws, host, RunProblem::Command,
                         FileNameOnly(ws.CurrentFile) + ": AdjustCenter: " + c.Problem);
        return;
    }
    ShowAutoCentre(ws, host);
}

void SetUpCentreSearch(Workspace& ws) {
    ws.Hooks.FindCentre = [](Workspace& w, Host& h, bool typedCentre) { return FindCentre(w, h, typedCentre); };
    ws.Batch.AdjustCentre = [](Workspace& w, Host& h) { AdjustCentreOfFrame(w, h); };
}

} // namespace orv
