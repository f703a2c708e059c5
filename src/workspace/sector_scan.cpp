#include "workspace/sector_scan.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "workspace/host.h"
#include "workspace/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// The nearest bin of a fractional bin position (halves to even), or -1 when
// it falls outside 0..last (NaN included).
inline int32_t NearestBin(double position, int32_t last) {
    const double k = std::nearbyint(position);
    if (!(k >= 0.0 && k <= static_cast<double>(last))) return -1;
    return static_cast<int32_t>(k);
}

struct PixelRange {
    int32_t x1, x2, y1, y2;
};

// The frame's usable columns and rows: never beyond the allocation.
PixelRange WholeFrame(const Workspace& ws) {
    return {1, std::min(ws.FrameWidth, ws.FramePixels.width()), 1,
            std::min(ws.FrameHeight, ws.FramePixels.height())};
}

// Adds every unmasked pixel of `range` that `take` accepts to its 2-theta
// bin, weighted by `weight`. Columns are contiguous in memory, so the rows
// run innermost.
template <typename Take, typename Weight>
void BinTwoTheta(const Workspace& ws, PixelRange range, Take take, Weight weight, int32_t last,
                 double* sum, int32_t* count) {
    const double minTwoTheta = ws.MinTwoTheta;
    const double step = ws.TwoThetaStep;
    for (int32_t i = range.x1; i <= range.x2; ++i) {
        const FramePixel* column = ws.FramePixels[i];
        for (int32_t j = range.y1; j <= range.y2; ++j) {
            const FramePixel& p = column[j];
            if (p.Intensity == MaskedIntensity || !take(p)) continue;
            const int32_t k = NearestBin((static_cast<double>(p.TwoTheta) - minTwoTheta) / step, last);
            if (k < 0) continue;
            ++count[k];
            sum[k] += static_cast<double>(p.Intensity) * weight(p);
        }
    }
}

template <typename Take>
void BinTwoThetaWeighted(const Workspace& ws, PixelRange range, Take take, bool flatWeight, double d3,
                         int32_t last, double* sum, int32_t* count) {
    if (!flatWeight) {
        BinTwoTheta(ws, range, take, [](const FramePixel&) { return 1.0; }, last, sum, count);
        return;
    }
    // The flat-detector correction: the pixel's distance from the sample
    // cubed, relative to the sample-to-detector distance cubed.
    const double divisor = d3 > 0 ? d3 : 1.0;
    BinTwoTheta(
        ws, range, take,
        [divisor](const FramePixel& p) {
            const double x = p.X, y = p.Y, z = p.Z;
            const double r = std::sqrt(x * x + y * y + z * z);
            return r * r * r / divisor;
        },
        last, sum, count);
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

    std::vector<double> sum(static_cast<size_t>(last) + 1, 0.0);
    std::vector<int32_t> count(static_cast<size_t>(last) + 1, 0);
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
        BinTwoThetaWeighted(ws, range, [](const FramePixel&) { return true; }, flatWeight, d3, last,
                            sum.data(), count.data());
    } else {
        const float p1 = ws.SectorPsi1, p2 = ws.SectorPsi2;
        if (p1 < p2)
            BinTwoThetaWeighted(
                ws, frame, [p1, p2](const FramePixel& p) { return p.Psi > p1 && p.Psi < p2; },
                flatWeight, d3, last, sum.data(), count.data());
        else if (p1 > p2)
            BinTwoThetaWeighted(
                ws, frame, [p1, p2](const FramePixel& p) { return p.Psi > p1 || p.Psi < p2; },
                flatWeight, d3, last, sum.data(), count.data());
        // Equal limits hold no pixel.
    }

    // The scan ends at the first bin beyond 90 % of the largest 2-theta that
    // fewer than 20 pixels reached; that bin is its last point.
    const double cutIndex = static_cast<double>(ws.MaxTwoTheta) * 0.9 / step;
    int32_t length = last;
    for (int32_t k = 0; k <= last; ++k) {
        if (k > cutIndex && count[k] < 20) {
            length = k;
            break;
        }
    }
    const bool lorentz = ws.FSetup.CB2thetaLorentz;
    ws.ScanMinIntensity = 100000;
    ws.ScanMaxIntensity = 0;
    for (int32_t k = 0; k <= length; ++k) {
        ProfilePoint& b = ws.SectorScan[k];
        double value = sum[k];
        if (lorentz && count[k] >= 1) value /= count[k];
        b.Intensity = static_cast<float>(value);
        b.Count = count[k];
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
        if (ws.ScriptSearches.DrawStandardOverlay) ws.ScriptSearches.DrawStandardOverlay(ws, host);
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

void PsiScan1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first !");
        return;
    }
    if (ws.RectangularSector) {
        host.message("Define a 2Theta range using the Mask Sector tool !");
        return;
    }
    float psiStep = 0.5f;
    if (ws.FSetup.CBPsiStep) {
        try {
            psiStep = static_cast<float>(ParseNumber(ws.FSetup.EPsiStep));
        } catch (const ConversionError& e) {
            host.message(e.what());
            return;
        }
    }
    if (!(psiStep >= 0.05f)) {
        psiStep = 0.05f;
        ws.FSetup.EPsiStep = "0.05";
        host.changed(View::Settings);
    }
    ws.PsiStep = psiStep;
    const int32_t n = std::min(RoundToInt(360.0 / psiStep), PsiScanLength - 1);

    // 32-bit counts: a bin of a large frame easily holds more than 65535 pixels.
    std::vector<int64_t> sum(static_cast<size_t>(n) + 1, 0);
    std::vector<int32_t> count(static_cast<size_t>(n) + 1, 0);
    int64_t pixels = 0;
    const float t1 = ws.SectorTwoTheta1, t2 = ws.SectorTwoTheta2;
    const double step = psiStep;
    const PixelRange frame = WholeFrame(ws);
    for (int32_t i = frame.x1; i <= frame.x2; ++i) {
        const FramePixel* column = ws.FramePixels[i];
        for (int32_t j = frame.y1; j <= frame.y2; ++j) {
            const FramePixel& p = column[j];
            if (p.Intensity == MaskedIntensity || !(p.TwoTheta >= t1 && p.TwoTheta <= t2)) continue;
            const int32_t k = NearestBin(static_cast<double>(p.Psi) / step, n);
            if (k < 0) continue;
            sum[k] += p.Intensity;
            ++count[k];
            ++pixels;
        }
    }
    std::fill(ws.PsiScanData.begin(), ws.PsiScanData.end(), 0.0f);
    for (int32_t k = 0; k <= n; ++k) ws.PsiScanData[k] = static_cast<float>(sum[k]);
    ws.PsiScanBackup = ws.PsiScanData;
    if (ws.FSetup.CBPsiLorentz) {
        for (int32_t k = 0; k <= n; ++k)
            if (count[k] != 0) ws.PsiScanData[k] = static_cast<float>(static_cast<double>(sum[k]) / count[k]);
    }
    float top = -10000;
    for (int32_t k = 0; k <= n; ++k) top = std::max(top, ws.PsiScanData[k]);

    PlotPsiScanCharts(ws, n, top);
    if (ws.ShowScanResults) {
        ws.Form12.Visible = true;
        ScanLogLine(ws, host, std::to_string(pixels) + " pixels contributing to the Psi scan");
    }
    host.changed(View::PsiScan);
}

} // namespace orv
