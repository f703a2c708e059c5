#include "workspace/sector_scan.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "workspace/host.h"
#include "workspace/integration.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

struct PixelRange {
    int32_t x1, x2, y1, y2;
};

// The frame's usable columns and rows: never beyond the allocation.
PixelRange WholeFrame(const Workspace& ws) {
    return {1, std::min(ws.FrameWidth, ws.FramePixels.width()), 1,
            std::min(ws.FrameHeight, ws.FramePixels.height())};
}

// The 2-theta scan request of the current frame over `range`: the frame's
// 2-theta grid up to bin `last`, weighted for a flat detector when the
// setup asks for it.
IntegrationRequest TwoThetaScanRequest(const Workspace& ws, PixelRange range, int32_t last) {
    IntegrationRequest r;
    r.FirstColumn = range.x1;
    r.LastColumn = range.x2;
    r.FirstRow = range.y1;
    r.LastRow = range.y2;
    r.Axis = ScanAxis::TwoTheta;
    r.Grid = ScanGrid{ws.MinTwoTheta, ws.TwoThetaStep, last};
    // Geometric divisor of the flat-detector weight.
    double d3 = ws.Form32.RCylindrical ? ws.DistancePixels
                                       : (ws.DSize != 0 ? ws.FrameSize * ws.Distance / ws.DSize : 0.0);
    d3 = d3 * d3 * d3;
    r.FlatWeight = ws.FSetup.cbflat;
    r.WeightDivisor = d3 > 0 ? d3 : 1.0;
    return r;
}

// The bins of the current frame's 2-theta grid: 0..ScanPoints.
int32_t ScanLast(const Workspace& ws) { return std::clamp(ws.ScanPoints, 0, MaxScanPoints); }

// Finishes the bins of one sector as the 2-theta scan shows them, into
// `scan` (every bin of the row cleared and labelled first): the scan ends at
// the first bin beyond 90 % of the largest 2-theta that fewer than 20
// pixels reached, which is its last point; 1/count when ticked; empty bins
// take the mean of their neighbours' final values. Answers the last bin and
// the extremes of the intensities inside the sector's 2-theta limits.
struct ScanExtent {
    int32_t Length = 0;
    float Min = 100000, Max = 0;
};
ScanExtent FinishTwoThetaScan(const Workspace& ws, const ScanBins& bins, ProfileRow& scan) {
    const int32_t last = ScanLast(ws);
    const double minTwoTheta = ws.MinTwoTheta;
    const double step = ws.TwoThetaStep;
    // Nothing of an earlier frame or sector survives anywhere in the row.
    for (int k = 0; k < ProfileLength; ++k) {
        ProfilePoint& b = scan[k];
        b.Intensity = 0;
        b.Count = 0;
        b.TwoTheta = static_cast<float>(k * step + minTwoTheta);
    }
    const double cutIndex = static_cast<double>(ws.MaxTwoTheta) * 0.9 / step;
    ScanExtent e;
    e.Length = last;
    for (int32_t k = 0; k <= last; ++k) {
        if (k > cutIndex && bins[k].Count < 20) {
            e.Length = k;
            break;
        }
    }
    const bool lorentz = ws.FSetup.CB2thetaLorentz;
    for (int32_t k = 0; k <= e.Length; ++k) {
        ProfilePoint& b = scan[k];
        double value = bins[k].Sum;
        if (lorentz && bins[k].Count >= 1) value /= static_cast<double>(bins[k].Count);
        b.Intensity = static_cast<float>(value);
        b.Count = static_cast<int32_t>(std::min<int64_t>(bins[k].Count, INT32_MAX));
        if (b.TwoTheta > ws.SectorTwoTheta1 && b.TwoTheta < ws.SectorTwoTheta2) {
            e.Min = std::min(e.Min, b.Intensity);
            e.Max = std::max(e.Max, b.Intensity);
        }
    }
    for (int32_t k = 0; k <= e.Length; ++k) {
        ProfilePoint& b = scan[k];
        if (b.Intensity != 0) continue;
        const float before = scan[k > 0 ? k - 1 : k].Intensity;
        const float after = scan[k < e.Length ? k + 1 : k].Intensity;
        b.Intensity = 0.5f * before + 0.5f * after;
    }
    if (scan[0].TwoTheta == 0) scan[0].TwoTheta = 0.001f;
    return e;
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

std::array<float, 4> RepairedSectorLimits(const TFMask& boxes) {
    float t1 = static_cast<float>(ParseNumber(boxes.Eth1));
    const float p1 = static_cast<float>(ParseNumber(boxes.EPsi1));
    float t2 = static_cast<float>(ParseNumber(boxes.Eth2));
    const float p2 = static_cast<float>(ParseNumber(boxes.EPsi2));
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
    return {t1, psi(p1), t2, psi(p2)};
}

void ReadSectorLimits(Workspace& ws, Host& host) {
    std::array<float, 4> limits{};
    try {
        limits = RepairedSectorLimits(ws.FMask);
    } catch (const ConversionError& e) {
        host.message(e.what());
        return;
    }
    ws.SectorTwoTheta1 = limits[0];
    ws.SectorPsi1 = limits[1];
    ws.SectorTwoTheta2 = limits[2];
    ws.SectorPsi2 = limits[3];
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

    const PixelRange frame = WholeFrame(ws);
    float rectMinTwoTheta = 180, rectMaxTwoTheta = 0;
    PixelRange range = frame;
    std::vector<PsiSector> sectors;
    if (rectangle) {
        range = PixelRange{std::max(rect[0], frame.x1), std::min(rect[1], frame.x2), std::max(rect[2], frame.y1),
                           std::min(rect[3], frame.y2)};
        if (ws.FramePixels.HasGeometry())
            for (int32_t i = range.x1; i <= range.x2; ++i) {
                const float* twoTheta = ws.FramePixels.TwoTheta[i];
                for (int32_t j = range.y1; j <= range.y2; ++j) {
                    rectMinTwoTheta = std::min(rectMinTwoTheta, twoTheta[j]);
                    rectMaxTwoTheta = std::max(rectMaxTwoTheta, twoTheta[j]);
                }
            }
    } else {
        sectors.push_back(PsiSector{ws.SectorPsi1, ws.SectorPsi2});
    }
    IntegrationRequest request = TwoThetaScanRequest(ws, range, ScanLast(ws));
    request.Sectors = std::move(sectors);
    const std::vector<ScanBins>& bins = ws.FrameScans.Integrate(ws.FramePixels, request);
    const ScanExtent extent = FinishTwoThetaScan(ws, bins[0], ws.SectorScan);
    const int32_t length = extent.Length;
    ws.ScanMinIntensity = extent.Min;
    ws.ScanMaxIntensity = extent.Max;
    ws.SectorScanPoints = length;
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

std::vector<std::vector<float>> SectorTwoThetaScans(Workspace& ws, const std::vector<PsiSector>& sectors) {
    PixelRange range = WholeFrame(ws);
    IntegrationRequest request;
    if (ws.RectangularSector) {
        std::array<int32_t, 4> rect = ReadSectorRectangle(ws);
        if (rect[1] < rect[0]) std::swap(rect[0], rect[1]);
        if (rect[3] < rect[2]) std::swap(rect[2], rect[3]);
        range = PixelRange{std::max(rect[0], range.x1), std::min(rect[1], range.x2), std::max(rect[2], range.y1),
                           std::min(rect[3], range.y2)};
        request = TwoThetaScanRequest(ws, range, ScanLast(ws));
    } else {
        request = TwoThetaScanRequest(ws, range, ScanLast(ws));
        request.Sectors = sectors;
    }
    const std::vector<ScanBins> bins = IntegrateFrame(ws.FramePixels, request);
    std::vector<std::vector<float>> scans;
    ProfileRow scan = MakeProfileRow();
    for (size_t s = 0; s < sectors.size(); ++s) {
        const ScanExtent extent = FinishTwoThetaScan(ws, bins[ws.RectangularSector ? 0 : s], scan);
        std::vector<float>& values = scans.emplace_back();
        for (int32_t k = 0; k <= extent.Length; ++k) values.push_back(scan[static_cast<size_t>(k)].Intensity);
    }
    return scans;
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

    const PixelRange frame = WholeFrame(ws);
    IntegrationRequest request;
    request.FirstColumn = frame.x1;
    request.LastColumn = frame.x2;
    request.FirstRow = frame.y1;
    request.LastRow = frame.y2;
    request.Axis = ScanAxis::Psi;
    request.Grid = ScanGrid{0.0, psiStep, n};
    request.TwoTheta1 = ws.SectorTwoTheta1;
    request.TwoTheta2 = ws.SectorTwoTheta2;
    const ScanBins& bins = ws.FrameScans.Integrate(ws.FramePixels, request)[0];
    int64_t pixels = 0;
    for (const ScanBin& b : bins) pixels += b.Count;
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
