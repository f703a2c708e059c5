#include "scans/scan_analysis.h"

#include <algorithm>

#include "scans/psi_scan_window.h"
#include "scans/theta_scan_window.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr TColor CrossHairDashDot = 6257476;

// The working charts: crosshair 1 follows the mouse, 2 marks a point, 3 and
// 4 the ends of a range; the user drags the nearest one.
void SetWorkingChart(TRChart& chart, TColor first, int firstWidth) {
    SetCrossHairs(chart, {{chVert, first, psSolid, firstWidth, 1},
                          {chVert, clRed, psSolid, 1, 1},
                          {chVert, CrossHairDashDot, psDashDot, 1, 1},
                          {chVert, CrossHairDashDot, psDashDot, 1, 1}});
    chart.SetMouseAction(maDragCrossH);
}

// The overview strips: crosshairs 1 and 2 show the range the working chart displays.
void SetOverviewChart(TRChart& chart) {
    SetCrossHairs(chart, {{chVert, clBlue, psDot, 1, 1},
                          {chVert, clBlue, psDot, 1, 1},
                          {chOff, clBlack, psSolid, 1, 3},
                          {chOff, clBlack, psSolid, 1, 4}});
}

// A batch step of a scan window: a box that is not a number or a file that
// cannot be written is reported, and the run goes on with its next output.
template <typename Step>
void BatchStep(Host& host, Step step) {
    try {
        step();
    } catch (const ConversionError& e) {
        host.message(e.what());
    } catch (const FileError& e) {
        host.message(e.what());
    }
}

} // namespace

void SetCrossHairs(TRChart& chart, const CrossHairLook (&looks)[4]) {
    for (int n = 1; n <= 4; ++n) {
        const CrossHairLook& look = looks[n - 1];
        TCrossHair& c = chart.CrossHair(n);
        c.SetMode(look.Mode);
        c.SetColor(look.Color);
        c.SetLineType(look.Style);
        c.SetLineWid(look.Width);
        c.SetLayer(look.Layer);
    }
}

std::optional<PeakSearchParams> ReadPeakSearchBoxes(const TForm6& boxes, double step, Host& host) {
    const double width = ParseNumber(boxes.EPWidth);
    PeakSearchParams p;
    p.Percent = ParseInteger(boxes.EIntPer);
    p.Absolute = boxes.CBMinValue;
    if (p.Absolute) p.Minimum = ParseInteger(boxes.EMinValue);
    if (!(width >= 0) || !(step > 0)) {
        host.message("Value out of range !");
        return std::nullopt;
    }
    p.Window = RoundToInt(width / step);
    p.Step = step;
    return p;
}

std::optional<RollSettings> ReadRollBoxes(const TForm7& boxes, double step, Host& host) {
    const double width = ParseNumber(boxes.EPeakWidth);
    RollSettings r;
    r.Height = ParseInteger(boxes.EBHeight);
    r.HalfWidth = step > 0 ? RoundToInt(width / step) : 0;
    if (r.HalfWidth < 1) {
        host.message("The roll width must be at least one scan step (" + FormatFixed(step, 3) + " deg.)");
        return std::nullopt;
    }
    if (r.Height < 0) {
        host.message("The roll height can not be negative");
        return std::nullopt;
    }
    return r;
}

TForm6 BatchPeakBoxes(const Workspace& ws) {
    TForm6 boxes = ws.Form6;
    boxes.EPWidth = ws.FSetup.EPWidth;
    boxes.EIntPer = ws.FSetup.EIntPer;
    boxes.EMinValue = ws.FSetup.EMinValue;
    boxes.CBMinValue = ws.FSetup.CBMinValue;
    return boxes;
}

TForm7 BatchRollBoxes(const Workspace& ws) {
    TForm7 boxes;
    boxes.EPeakWidth = ws.FSetup.EpeakWidth;
    boxes.EBHeight = ws.FSetup.EBHeight;
    return boxes;
}

void SetUpScanAnalysis(Workspace& ws) {
    SetWorkingChart(ws.Form2.RChart1, clGreen, 2);
    SetOverviewChart(ws.Form2.RChart2);
    SetWorkingChart(ws.Form12.RChart2, clBlack, 1);
    SetOverviewChart(ws.Form12.RChart1);
    ws.Form2.RChart1.Scale1X().SetCaption("2Theta (deg.)");
    ws.Form12.RChart2.Scale1X().SetCaption("Psi (deg.)");

    BatchHooks& batch = ws.Batch;
    batch.RemoveThetaBackground = [](Workspace& w, Host& h) {
        BatchStep(h, [&] {
            if (RemoveThetaBackground(w, h, BatchRollBoxes(w))) w.ScanBackgroundRemoved = 1;
        });
    };
    batch.FindThetaPeaks = [](Workspace& w, Host& h) {
        BatchStep(h, [&] { FindThetaPeaks(w, h, BatchPeakBoxes(w)); });
    };
    batch.RemovePsiBackground = [](Workspace& w, Host& h) {
        BatchStep(h, [&] { RemovePsiBackground(w, h, BatchRollBoxes(w)); });
    };
    batch.FindPsiPeaks = [](Workspace& w, Host& h) {
        BatchStep(h, [&] { FindPsiPeaks(w, h, BatchPeakBoxes(w)); });
    };
}

std::string IntensitiesFilePath(const Workspace& ws) {
    if (!ws.IntensitiesFile.empty()) return ws.IntensitiesFile;
    return ws.OutputDir.empty() ? std::string() : JoinPath(ws.OutputDir, "intensities.out");
}

void StartIntensitiesFile(Workspace& ws) {
    const std::string path = JoinPath(ws.OutputDir, "intensities.out");
    try {
        WriteTextLines(path, {});
        ws.IntensitiesFile = path;
    } catch (const FileError& e) {
        ws.IntensitiesFile.clear();
        ws.LLog.Append(e.what());
    }
}

void ScanLog(Workspace& ws, Host& host, const std::string& line) {
    ws.LLog.Append(line);
    host.changed(View::Logbook);
}

double TopAboveMarkers(const TRChart& chart, double xLow, double xHigh, double bottom, double top) {
    constexpr double Reach = 5;   // pixels kept free above a marker's point
    const double h = chart.PlotHeight();
    if (h <= 2 * Reach || !(top > bottom)) return top;
    if (xHigh < xLow) std::swap(xLow, xHigh);
    double raised = top;
    for (const ChartItem& item : chart.Items()) {
        if (item.Kind != kItemMarker || item.X < xLow || item.X > xHigh) continue;
        // top - y must span Reach pixels of the plot's h for (top - bottom).
        const double needed = (item.Y * h - Reach * bottom) / (h - Reach);
        raised = std::max(raised, needed);
    }
    return raised;
}

} // namespace orv
