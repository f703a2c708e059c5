#include "workspace/sector_scan.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "workspace/host.h"
#include "workspace/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

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
    BinRule(double origin, double step, int32_t last)
        : origin_(origin), step_(step), inverse_(1.0 / step), last_(last) {}

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

// What one bin received: the (weighted) intensity and the pixel count, side
// by side so that a pixel touches one place. Intensities are whole numbers,
// so unweighted sums are exact in any order; the count is wide, as a psi bin
// of a large frame easily holds more than 65535 pixels.
struct BinTotal {
    double Sum = 0;
    int64_t Count = 0;
};

struct PixelRange {
    int32_t x1, x2, y1, y2;
};

// The frame's usable columns and rows: never beyond the allocation.
PixelRange WholeFrame(const Workspace& ws) {
    return {1, std::min(ws.FrameWidth, ws.FramePixels.width()), 1,
            std::min(ws.FrameHeight, ws.FramePixels.height())};
}

// Adds every unmasked pixel of `range` that `take` accepts to the bin of
// its `key` (2-theta or psi), weighted by `weight`. Columns are contiguous
// in memory, so the rows run innermost.
template <typename Take, typename Key, typename Weight>
void BinPixels(const Workspace& ws, PixelRange range, const BinRule& bin, Take take, Key key, Weight weight,
               BinTotal* bins) {
    for (int32_t i = range.x1; i <= range.x2; ++i) {
        const FramePixel* column = ws.FramePixels[i];
        for (int32_t j = range.y1; j <= range.y2; ++j) {
            const FramePixel& p = column[j];
            if (p.Intensity == MaskedIntensity || !take(p)) continue;
            const int32_t k = bin(key(p));
            if (k < 0) continue;
            bins[k].Sum += static_cast<double>(p.Intensity) * weight(p);
            ++bins[k].Count;
        }
    }
}

// Runs `fill`(columns, bins) over `range` split into column chunks, each
// with bins of its own, and adds the chunks up in order. Large frames are
// split among threads; the split depends only on the frame's size, so the
// totals are the same on every machine.
template <typename Fill>
std::vector<BinTotal> BinInChunks(PixelRange range, size_t binCount, Fill fill) {
    const int64_t columns = int64_t{range.x2} - range.x1 + 1;
    const int64_t rows = int64_t{range.y2} - range.y1 + 1;
    if (columns <= 0 || rows <= 0) return std::vector<BinTotal>(binCount);
    constexpr int64_t PixelsPerChunk = 1 << 20;
    const int chunks = static_cast<int>(std::clamp<int64_t>(columns * rows / PixelsPerChunk, 1, 8));
    std::vector<std::vector<BinTotal>> partial(static_cast<size_t>(chunks), std::vector<BinTotal>(binCount));
    auto run = [&](int c) {
        PixelRange part = range;
        part.x1 = static_cast<int32_t>(range.x1 + columns * c / chunks);
        part.x2 = static_cast<int32_t>(range.x1 + columns * (c + 1) / chunks - 1);
        fill(part, partial[static_cast<size_t>(c)].data());
    };
    std::vector<std::thread> threads;
    int c = 1;
    try {
        for (; c < chunks; ++c) threads.emplace_back(run, c);
    } catch (const std::system_error&) {
        // No thread to be had: the rest runs here.
    }
    for (int rest = c; rest < chunks; ++rest) run(rest);
    run(0);
    for (std::thread& t : threads) t.join();
    std::vector<BinTotal>& total = partial[0];
    for (size_t n = 1; n < partial.size(); ++n)
        for (size_t k = 0; k < binCount; ++k) {
            total[k].Sum += partial[n][k].Sum;
            total[k].Count += partial[n][k].Count;
        }
    return std::move(total);
}

// The 2-theta bins of the pixels of `range` that `take` accepts, weighted
// for a flat detector when `flatWeight`.
template <typename Take>
std::vector<BinTotal> BinTwoTheta(const Workspace& ws, PixelRange range, Take take, bool flatWeight, double d3,
                                  int32_t last) {
    const BinRule bin(ws.MinTwoTheta, ws.TwoThetaStep, last);
    auto twoTheta = [](const FramePixel& p) { return p.TwoTheta; };
    // The flat-detector correction: the pixel's distance from the sample
    // cubed, relative to the sample-to-detector distance cubed.
    const double divisor = d3 > 0 ? d3 : 1.0;
    auto flat = [divisor](const FramePixel& p) {
        const double x = p.X, y = p.Y, z = p.Z;
        const double r = std::sqrt(x * x + y * y + z * z);
        return r * r * r / divisor;
    };
    return BinInChunks(range, static_cast<size_t>(last) + 1, [&](PixelRange part, BinTotal* bins) {
        if (flatWeight)
            BinPixels(ws, part, bin, take, twoTheta, flat, bins);
        else
            BinPixels(ws, part, bin, take, twoTheta, [](const FramePixel&) { return 1.0; }, bins);
    });
}

// The scan's polyline, bins 0..SectorScanPoints, in black.
void DrawScanLine(const Workspace& ws, TRChart& chart) {
    chart.SetDataColor(clBlack);
    const int32_t last = std::clamp(ws.SectorScanPoints, 0, MaxScanPoints);
    chart.MoveTo(ws.SectorScan[0].TwoTheta, ws.SectorScan[0].Intensity);
    for (int32_t k = 1; k <= last; ++k) chart.LineTo(ws.SectorScan[k].TwoTheta, ws.SectorScan[k].Intensity);
}

// Both psi charts: the working chart around the sector (the upper half is
// drawn again at negative psi, so a sector through 0 shows whole), the
// overview 0..360.
void PlotPsiScanCharts(Workspace& ws, int32_t n, float top) {
    const double step = ws.PsiStep;
    const std::vector<float>& data = ws.PsiScanData;
    const double lo = std::min(ws.SectorPsi1, ws.SectorPsi2);
    const double hi = std::max(ws.SectorPsi1, ws.SectorPsi2);
    TRChart& work = ws.Form12.RChart2;
    work.ClearItems();
    if (hi > 270 && lo > 0 && lo < 180)
        work.SetLayerRange(1, hi - 360, 0, lo, 1.1 * top);
    else
        work.SetLayerRange(1, lo, 0, hi, 1.1 * top);
    work.MoveTo(0, data[0]);
    work.SetDataColor(clBlack);
    for (int32_t k = 0; k <= n; ++k) work.LineTo(k * step, data[k]);
    work.MoveTo(-180, 0);
    for (int32_t k = 0; k <= n; ++k)
        if (k * step > 180) work.LineTo(k * step - 360, data[k]);

    TRChart& overview = ws.Form12.RChart1;
    overview.ClearItems();
    overview.SetLayerRange(1, 0, 0, 360, 1.1 * top);
    overview.SetDataColor(clBlack);
    overview.MoveTo(0, 0);
    for (int32_t k = 0; k <= n; ++k) overview.LineTo(k * step, data[k]);
    overview.CrossHair1().SetPosX(lo);
    overview.CrossHair2().SetPosX(hi);
    work.ShowItems();
    overview.ShowItems();
}

void ScanLogLine(Workspace& ws, Host& host, const std::string& line) {
    ws.LLog.Append(line);
    host.changed(View::Logbook);
}

} // namespace

std::array<int32_t, 4> ReadSectorRectangle(Workspace& ws) {
    TFMask& mask = ws.FMask;
    std::array<std::string*, 4> boxes{&mask.EX1, &mask.Ex2, &mask.EY1, &mask.EY2};
    std::array<int32_t, 4> rect{};
    for (size_t n = 0; n < boxes.size(); ++n) rect[n] = ParseInteger(*boxes[n]);
    for (size_t n = 0; n < boxes.size(); ++n) {
        const int32_t size = n < 2 ? ws.FrameWidth : ws.FrameHeight;
        int32_t v = rect[n];
        if (v < 1) v = 1;
        if (v > size) v = std::max(size, 1);
        if (v != rect[n]) {
            rect[n] = v;
            *boxes[n] = std::to_string(v);
        }
    }
    return rect;
}

void ReadSectorLimits(Workspace& ws, Host& host) {
    float t1, t2, p1, p2;
    try {
        t1 = static_cast<float>(ParseNumber(ws.FMask.Eth1));
        p1 = static_cast<float>(ParseNumber(ws.FMask.EPsi1));
        t2 = static_cast<float>(ParseNumber(ws.FMask.Eth2));
        p2 = static_cast<float>(ParseNumber(ws.FMask.EPsi2));
    } catch (const ConversionError& e) {
        host.message(e.what());
        return;
    }
    auto twoTheta = [](float t) { return std::clamp(t, 0.0f, 180.0f); };
    auto psi = [](float p) {
        if (p < -180) p = 0;
        if (p > 360) p = 360;
        if (p < 0) p += 360;
        return p;
    };
    t1 = twoTheta(t1);
    t2 = twoTheta(t2);
    if (t2 < t1) std::swap(t1, t2);
    ws.SectorTwoTheta1 = t1;
    ws.SectorTwoTheta2 = t2;
    ws.SectorPsi1 = psi(p1);
    ws.SectorPsi2 = psi(p2);
    // The frame is redrawn with the new sector, then scanned.
    host.changed(View::Sector);
    host.changed(View::Frame);
    N2ThetaScan1Click(ws, host);
}

void N2ThetaScan1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first");
        return;
    }
    const bool rectangle = ws.RectangularSector != 0;
    std::array<int32_t, 4> rect{};
    if (rectangle) {
        try {
            rect = ReadSectorRectangle(ws);
        } catch (const ConversionError& e) {
            host.message(e.what());
            return;
        }
        if (rect[1] < rect[0]) std::swap(rect[0], rect[1]);
        if (rect[3] < rect[2]) std::swap(rect[2], rect[3]);
        ws.CropRect = rect;
    }

    ws.Form2.Caption = "2Theta Scan of " + FileNameOnly(ws.CurrentFile);
    ws.ScanBackgroundRemoved = 0;

    const int32_t last = std::clamp(ws.ScanPoints, 0, MaxScanPoints);
    const double minTwoTheta = ws.MinTwoTheta;
    const double step = ws.TwoThetaStep;
    // Every bin is cleared and labelled, so nothing of an earlier frame or
    // sector survives anywhere in the row.
    for (int k = 0; k < ProfileLength; ++k) {
        ProfilePoint& b = ws.SectorScan[k];
        b.Intensity = 0;
        b.Count = 0;
        b.TwoTheta = static_cast<float>(k * step + minTwoTheta);
    }

    // Geometric divisor of the flat-detector weight.
    double d3 = ws.Form32.RCylindrical
                    ? ws.DistancePixels
                    : (ws.DSize != 0 ? ws.FrameSize * ws.Distance / ws.DSize : 0.0);
    d3 = d3 * d3 * d3;
    const bool flatWeight = ws.FSetup.cbflat;

    std::vector<BinTotal> bins(static_cast<size_t>(last) + 1);
    const PixelRange frame = WholeFrame(ws);
    float rectMinTwoTheta = 180, rectMaxTwoTheta = 0;
    if (rectangle) {
        PixelRange range{std::max(rect[0], frame.x1), std::min(rect[1], frame.x2),
                         std::max(rect[2], frame.y1), std::min(rect[3], frame.y2)};
        for (int32_t i = range.x1; i <= range.x2; ++i)
            for (int32_t j = range.y1; j <= range.y2; ++j) {
                const float t = ws.FramePixels[i][j].TwoTheta;
                rectMinTwoTheta = std::min(rectMinTwoTheta, t);
                rectMaxTwoTheta = std::max(rectMaxTwoTheta, t);
            }
        bins = BinTwoTheta(ws, range, [](const FramePixel&) { return true; }, flatWeight, d3, last);
    } else {
        const float p1 = ws.SectorPsi1, p2 = ws.SectorPsi2;
        if (p1 < p2)
            bins = BinTwoTheta(
                ws, frame, [p1, p2](const FramePixel& p) { return p.Psi > p1 && p.Psi < p2; }, flatWeight, d3,
                last);
        else if (p1 > p2)
            bins = BinTwoTheta(
                ws, frame, [p1, p2](const FramePixel& p) { return p.Psi > p1 || p.Psi < p2; }, flatWeight, d3,
                last);
        // Equal limits hold no pixel.
    }

    // The scan ends at the first bin beyond 90 % of the largest 2-theta that
    // fewer than 20 pixels reached; that bin is its last point.
    const double cutIndex = static_cast<double>(ws.MaxTwoTheta) * 0.9 / step;
    int32_t length = last;
    for (int32_t k = 0; k <= last; ++k) {
        if (k > cutIndex && bins[k].Count < 20) {
            length = k;
            break;
        }
    }
    const bool lorentz = ws.FSetup.CB2thetaLorentz;
    ws.ScanMinIntensity = 100000;
    ws.ScanMaxIntensity = 0;
    for (int32_t k = 0; k <= length; ++k) {
        ProfilePoint& b = ws.SectorScan[k];
        double value = bins[k].Sum;
        if (lorentz && bins[k].Count >= 1) value /= static_cast<double>(bins[k].Count);
        b.Intensity = static_cast<float>(value);
        b.Count = static_cast<int32_t>(std::min<int64_t>(bins[k].Count, INT32_MAX));
        if (b.TwoTheta > ws.SectorTwoTheta1 && b.TwoTheta < ws.SectorTwoTheta2) {
            ws.ScanMinIntensity = std::min(ws.ScanMinIntensity, b.Intensity);
            ws.ScanMaxIntensity = std::max(ws.ScanMaxIntensity, b.Intensity);
        }
    }
    // Empty bins take the mean of their neighbours' final values.
    for (int32_t k = 0; k <= length; ++k) {
        ProfilePoint& b = ws.SectorScan[k];
        if (b.Intensity != 0) continue;
        const float before = ws.SectorScan[k > 0 ? k - 1 : k].Intensity;
        const float after = ws.SectorScan[k < length ? k + 1 : k].Intensity;
        b.Intensity = 0.5f * before + 0.5f * after;
    }
    ws.SectorScanPoints = length;
    if (ws.SectorScan[0].TwoTheta == 0) ws.SectorScan[0].TwoTheta = 0.001f;
    ws.SectorScanBackup = ws.SectorScan;

    if (rectangle) {
        ws.SectorTwoTheta1 = rectMinTwoTheta;
        ws.SectorTwoTheta2 = rectMaxTwoTheta;
    }
    const double lastTwoTheta = ws.SectorScan[length].TwoTheta;
    const double xHigh = std::min(lastTwoTheta, static_cast<double>(ws.SectorTwoTheta2));
    ws.Form2.RChart1.SetLayerRange(1, ws.SectorTwoTheta1,
                                   std::min(0.0, 1.1 * ws.ScanMinIntensity), xHigh,
                                   1.1 * ws.ScanMaxIntensity);
    ws.Form2.RChart2.CrossHair1().SetPosX(ws.SectorTwoTheta1);
    ws.Form2.RChart2.CrossHair2().SetPosX(xHigh);
    PlotScanChart2(ws);
    PlotScanChart1(ws);
    if (ws.ShowScanResults) {
        ws.Form2.Visible = true;
        if (ws.Hooks.DrawStandardOverlay) ws.Hooks.DrawStandardOverlay(ws, host);
        ScanLogLine(ws, host, "2Theta scan calculated and displayed ");
    }
    host.changed(View::Scan);
    ws.ScanStage = 0;
}

void PlotScanChart2(Workspace& ws) {
    TRChart& chart = ws.Form2.RChart2;
    chart.ClearItems();
    chart.CrossHair2().SetPosX(0);
    DrawScanLine(ws, chart);
    double minX = 180, maxX = 0, minY = 1000000, maxY = -100000;
    const int32_t last = std::clamp(ws.SectorScanPoints, 0, MaxScanPoints);
    for (int32_t k = 0; k <= last; ++k) {
        const ProfilePoint& b = ws.SectorScan[k];
        minX = std::min(minX, static_cast<double>(b.TwoTheta));
        maxX = std::max(maxX, static_cast<double>(b.TwoTheta));
        minY = std::min(minY, static_cast<double>(b.Intensity));
        maxY = std::max(maxY, static_cast<double>(b.Intensity));
    }
    chart.SetLayerRange(1, minX, std::min(0.0, 1.1 * minY), maxX, 1.1 * maxY);
    chart.ShowItems();
}

void PlotScanChart1(Workspace& ws) {
    TRChart& chart = ws.Form2.RChart1;
    chart.ClearItems();
    DrawScanLine(ws, chart);
    chart.ShowItems();
}

std::string TwoThetaScanRefusal(const Workspace& ws) {
    if (!ws.FrameIsLoaded()) return "Need to open a file first";
    if (ws.RectangularSector) {
        int32_t v = 0;
        for (const std::string* box : {&ws.FMask.EX1, &ws.FMask.Ex2, &ws.FMask.EY1, &ws.FMask.EY2})
            if (!TryParseInteger(*box, v)) return ConversionError(*box).what();
    }
    return {};
}

std::string PsiScanRefusal(const Workspace& ws) {
    if (!ws.FrameIsLoaded()) return "Need to open a file first !";
    if (ws.RectangularSector) return "Define a 2Theta range using the Mask Sector tool !";
    double step = 0;
    if (ws.FSetup.CBPsiStep && !TryParseNumber(ws.FSetup.EPsiStep, step))
        return ConversionError(ws.FSetup.EPsiStep).what();
    return {};
}

bool PsiScan1Click(Workspace& ws, Host& host) {
    if (const std::string refusal = PsiScanRefusal(ws); !refusal.empty()) {
        host.message(refusal);
        return false;
    }
    float psiStep = 0.5f;
    if (ws.FSetup.CBPsiStep) psiStep = static_cast<float>(ParseNumber(ws.FSetup.EPsiStep));
    if (!(psiStep >= 0.05f)) {
        psiStep = 0.05f;
        ws.FSetup.EPsiStep = "0.05";
        host.changed(View::Settings);
    }
    ws.PsiStep = psiStep;
    const int32_t n = std::min(RoundToInt(360.0 / psiStep), PsiScanLength - 1);

    const float t1 = ws.SectorTwoTheta1, t2 = ws.SectorTwoTheta2;
    const BinRule bin(0.0, psiStep, n);
    const std::vector<BinTotal> bins =
        BinInChunks(WholeFrame(ws), static_cast<size_t>(n) + 1, [&](PixelRange part, BinTotal* b) {
            BinPixels(
                ws, part, bin, [t1, t2](const FramePixel& p) { return p.TwoTheta >= t1 && p.TwoTheta <= t2; },
                [](const FramePixel& p) { return p.Psi; }, [](const FramePixel&) { return 1.0; }, b);
        });
    int64_t pixels = 0;
    for (const BinTotal& b : bins) pixels += b.Count;
    std::fill(ws.PsiScanData.begin(), ws.PsiScanData.end(), 0.0f);
    for (int32_t k = 0; k <= n; ++k) ws.PsiScanData[k] = static_cast<float>(bins[k].Sum);
    ws.PsiScanBackup = ws.PsiScanData;
    if (ws.FSetup.CBPsiLorentz) {
        for (int32_t k = 0; k <= n; ++k)
            if (bins[k].Count != 0)
                ws.PsiScanData[k] = static_cast<float>(bins[k].Sum / static_cast<double>(bins[k].Count));
    }
    float top = -10000;
    for (int32_t k = 0; k <= n; ++k) top = std::max(top, ws.PsiScanData[k]);

    PlotPsiScanCharts(ws, n, top);
    if (ws.ShowScanResults) {
        ws.Form12.Visible = true;
        ScanLogLine(ws, host, std::to_string(pixels) + " pixels contributing to the Psi scan");
    }
    host.changed(View::PsiScan);
    return true;
}

} // namespace orv
