#include "scans/psi_scan_window.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scans/scan_analysis.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/run_report.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"
#include "scans/key_codes.h"

namespace orv {

namespace {

constexpr TColor MarkBlue = RGBColor(0, 0, 255);
constexpr uint8_t MarkerCircle = 17;

std::string Fixed3(double v) { return FormatFixed(v, 3); }

double Value(const Workspace& ws, int32_t c) { return ws.PsiScanData[std::clamp(c, 0, PsiLastPoint(ws))]; }

// A psi into [0, 360) (the start of a range) or (0, 360] (its end).
double WrapStart(double x) { return x - 360.0 * std::floor(x / 360.0); }
double WrapEnd(double x) {
    const double w = WrapStart(x);
    return w == 0 ? 360.0 : w;
}

// The scan's line on a chart: from (0, 0) through every point, and on the
// working chart the upper half again at negative psi, so that a range
// through 0 shows whole.
void DrawPsiLine(const Workspace& ws, TRChart& chart, bool negativeCopy) {
    const int32_t n = PsiLastPoint(ws);
    const double step = ws.PsiStep;
    chart.SetDataColor(clBlack);
    chart.MoveTo(0, 0);
    for (int32_t c = 0; c <= n; ++c) chart.LineTo(c * step, ws.PsiScanData[c]);
    if (!negativeCopy) return;
    chart.MoveTo(-180, 0);
    for (int32_t c = 0; c <= n; ++c)
        if (c * step > 180) chart.LineTo(c * step - 360, ws.PsiScanData[c]);
}

// A mark at psi x on the working chart, repeated 360 lower for the upper half.
void AddPsiMarker(TRChart& chart, double x, double y) {
    chart.AddMarker(MarkerCircle, x, y);
    if (x > 180) chart.AddMarker(MarkerCircle, x - 360, y);
}

void VerticalLine(TRChart& chart, double x, double y) {
    chart.MoveTo(x, 0);
    chart.LineTo(x, y);
}

RangeStats MeasurePsiRange(const Workspace& ws, double lo, double hi) {
    RangeStats r;
    for (const auto& [first, last] : PsiRangePieces(ws, lo, hi))
        for (int32_t c = first; c <= last; ++c) r.Add(ws.PsiScanData[c], c * static_cast<double>(ws.PsiStep));
    return r;
}

void MarkOverviewRange(Workspace& ws, double lo, double hi) {
    ws.Form12.RChart1.CrossHair1().SetPosX(WrapStart(lo));
    ws.Form12.RChart1.CrossHair2().SetPosX(WrapEnd(hi));
}

void Changed(Host& host) { host.changed(View::PsiScan); }

} // namespace

int32_t PsiLastPoint(const Workspace& ws) {
    if (!(ws.PsiStep > 0)) return 0;
    const int32_t capacity = static_cast<int32_t>(ws.PsiScanData.size()) - 1;
    return std::clamp(RoundToInt(360.0 / ws.PsiStep), 0, capacity);
}

int32_t PsiPointAt(const Workspace& ws, double x) {
    if (!(ws.PsiStep > 0) || !std::isfinite(x)) return 0;
    return std::clamp(RoundToInt(WrapEnd(x) / ws.PsiStep), 0, PsiLastPoint(ws));
}

std::vector<std::pair<int32_t, int32_t>> PsiRangePieces(const Workspace& ws, double lo, double hi) {
    const int32_t n = PsiLastPoint(ws);
    if (!(ws.PsiStep > 0) || !std::isfinite(lo) || !std::isfinite(hi)) return {};
    if (hi < lo) std::swap(lo, hi);
    if (hi - lo >= 360) return {{0, n}};
    auto point = [&](double x) { return std::clamp(RoundToInt(x / ws.PsiStep), 0, n); };
    const double shift = 360.0 * std::floor(lo / 360.0);
    lo -= shift;
    hi -= shift;
    if (hi <= 360) return {{point(lo), point(hi)}};
    return {{point(lo), n}, {0, point(hi - 360)}};
}

void ShowPsiScan(Workspace& ws, Host& host) {
    const int32_t n = PsiLastPoint(ws);
    double top = 0;
    for (int32_t c = 0; c <= n; ++c) top = std::max(top, static_cast<double>(ws.PsiScanData[c]));
    TRChart& overview = ws.Form12.RChart1;
    TRChart& work = ws.Form12.RChart2;
    overview.ClearItems();
    work.ClearItems();
    overview.SetLayerRange(1, 0, 0, 360, 1.05 * top);
    DrawPsiLine(ws, overview, false);
    overview.ShowItems();
    DrawPsiLine(ws, work, true);
    work.ShowItems();
    if (ws.ShowScanResults) ws.Form12.Visible = true;
    Changed(host);
}

// ---- Peaks ----------------------------------------------------------------

std::string PsiPeakListPath(const Workspace& ws) {
    return JoinPath(ws.OutputDir, FileNameOnly(ws.CurrentFile) + ".PPK");
}

std::vector<std::string> PsiPeakListLines(const Workspace& ws, const PeakTable& table) {
    std::vector<std::string> lines{"2theta range from  " + FormatFixedWidth(ws.SectorTwoTheta1, 5, 3) + "  to  " +
                                       FormatFixedWidth(ws.SectorTwoTheta2, 5, 3),
                                   ws.FSetup.EExperiment, "Peak list in PsiScan",
                                   "Peak#       Psi    Peak_Intensity   Peak_Area   PeakWidth"};
    for (size_t i = 0; i < table.size(); ++i) {
        const PeakRecord& peak = table[i];
        lines.push_back(FormatIntWidth(static_cast<long long>(i) + 1, 11) +
                        FormatFixedColumn(peak.Index * static_cast<double>(ws.PsiStep), 8, 3) +
                        FormatFixedColumn(peak.Intensity, 10, 1) + FormatFixedColumn(peak.Area, 10, 1) +
                        FormatFixedColumn(peak.Width, 8, 3));
    }
    return lines;
}

PsiPeakSummary SummarisePsiPeaks(const PeakTable& table) {
    PsiPeakSummary s;
    s.Count = static_cast<int32_t>(table.size());
    if (s.Count == 0) return s;
    for (const PeakRecord& p : table) {
        s.MeanIntensity += p.Intensity;
        s.MeanArea += p.Area;
    }
    s.MeanIntensity /= s.Count;
    s.MeanArea /= s.Count;
    if (s.Count > 1) {
        for (const PeakRecord& p : table) {
            s.StdevIntensity += (p.Intensity - s.MeanIntensity) * (p.Intensity - s.MeanIntensity);
            s.StdevArea += (p.Area - s.MeanArea) * (p.Area - s.MeanArea);
        }
        s.StdevIntensity = std::sqrt(s.StdevIntensity / (s.Count - 1));
        s.StdevArea = std::sqrt(s.StdevArea / (s.Count - 1));
    }
    return s;
}

std::string PsiSummaryPath(const Workspace& ws) { return JoinPath(ws.OutputDir, ws.FSetup.EExperiment + ".PSU"); }

std::vector<std::string> PsiSummaryHeader(const Workspace& ws) {
    return {"2theta range from " + Fixed3(ws.SectorTwoTheta1) + " to " + Fixed3(ws.SectorTwoTheta2),
            std::string("sample ID") + " NofPeaks.." + " PeakIntensity" + " PeakArea" + "Stdev Peak Int" +
                "Stdev Peak Area"};
}

std::string PsiSummaryLine(const Workspace& ws, const PsiPeakSummary& s) {
    return FileNameOnly(ws.CurrentFile) + FormatIntWidth(s.Count, 10) + FormatFixedColumn(s.MeanIntensity, 10, 0) +
           FormatFixedColumn(s.MeanArea, 10, 0) + FormatFixedColumn(s.StdevIntensity, 10, 0) +
           FormatFixedColumn(s.StdevArea, 10, 0);
}

void ReportPsiPeaks(Workspace& ws, Host& host, const PeakTable& table) {
    TRChart& chart = ws.Form12.RChart2;
    const double step = ws.PsiStep;
    for (size_t i = 0; i < table.size(); ++i) {
        const PeakRecord& peak = table[i];
        const double psi = peak.Index * step;
        chart.SetDataColor(MarkBlue);
        AddPsiMarker(chart, psi, 1.05 * peak.Intensity);
        if (i == 0) {
            ws.LLog.Append("Peak list in PsiScan");
            ws.LLog.Append("2theta range from " + Fixed3(ws.SectorTwoTheta1) + " to " + Fixed3(ws.SectorTwoTheta2));
            ws.LLog.Append("Peak#       Psi    Peak_Intensity   Peak_Area   PeakWidth");
        }
        ws.LLog.Append(std::to_string(i + 1) + "    " + Fixed3(psi) + "     " + FormatFixed(peak.Intensity, 1) +
                       "    " + FormatFixed(peak.Area, 1) + "    " + Fixed3(peak.Width));
        if (ws.ViewIntegrate)
            for (int32_t j = peak.LeftIndex; j <= peak.RightIndex; ++j) VerticalLine(chart, j * step, Value(ws, j));
    }
    const PsiPeakSummary summary = SummarisePsiPeaks(table);
    ws.LLog.Append("Total number of peaks = " + std::to_string(summary.Count) + " , Averaged peak intensity = " +
                   FormatFixed(summary.MeanIntensity, 0) + ", Averaged peak area = " + FormatFixed(summary.MeanArea, 0));
    chart.ShowItems();
    host.changed(View::Logbook);
    Changed(host);
    if (ws.FSetup.PSSPSummary) {
        const std::string path = PsiSummaryPath(ws);
        RefuseFrameOverwrite(ws, path);
        if (FileExists(path)) {
            AppendTextLine(path, PsiSummaryLine(ws, summary));
        } else {
            std::vector<std::string> lines = PsiSummaryHeader(ws);
            lines.push_back(PsiSummaryLine(ws, summary));
            WriteTextLines(path, lines);
        }
    }
    // With no peak the list holds its header alone, so no older one stays.
    if (ws.FSetup.CBPsiScanPeaks) {
        const std::string path = PsiPeakListPath(ws);
        RefuseFrameOverwrite(ws, path);
        WriteTextLines(path, PsiPeakListLines(ws, table));
    }
}

PeakTable FindPsiPeaks(Workspace& ws, Host& host, const TForm6& boxes) {
    const std::optional<PeakSearchParams> read = ReadPeakSearchBoxes(boxes, ws.PsiStep, host);
    if (!read) return {};
    ShowPsiScan(ws, host);
    PeakSearchParams params = *read;
    const int32_t n = PsiLastPoint(ws);
    // A psi scan has no direct beam: every point counts towards its height,
    // so the relative threshold is a share of the scan's height here too.
    params.TopFrom = 1;
    const PeakWork work(ws.PsiScanData.begin(), ws.PsiScanData.begin() + n + 1);
    PeakTable table = SearchScanPeaks(work, params);
    ReportPsiPeaks(ws, host, table);
    return table;
}

// ---- Background -----------------------------------------------------------

bool RemovePsiBackground(Workspace& ws, Host& host, const TForm7& boxes) {
    const std::optional<RollSettings> roll = ReadRollBoxes(boxes, ws.PsiStep, host);
    if (!roll) return false;
    ws.PsiScanBackup = ws.PsiScanData;
    const int32_t n = PsiLastPoint(ws);
    PeakWork work(ws.PsiScanData.begin(), ws.PsiScanData.begin() + n + 1);
    const RollingBackgroundSums sums = RemoveRollingBackground(work, roll->HalfWidth, roll->Height);
    for (int32_t c = 0; c <= n; ++c) ws.PsiScanData[c] = static_cast<float>(std::nearbyint(work[c]));
    ShowPsiScan(ws, host);
    ScanLog(ws, host,
            "Background removed; Total intensity of peaks = " + FormatFixed(RoundHalfEven(sums.PeakSum), 0) +
                " Background = " + FormatFixed(RoundHalfEven(sums.BackgroundSum), 0));
    return true;
}

// ---- The ".pss" file ------------------------------------------------------------

std::vector<std::string> PsiScanLines(const Workspace& ws) {
    std::vector<std::string> lines{
        ws.CurrentFile + "; " + ws.FSetup.EExperiment + "; " + ws.Form28.Ediffractometer + "; " + ws.Form28.EUser,
        "Psi Scan sector using 2Theta = " + FormatFixedWidth(ws.SectorTwoTheta1, 5, 3) + "  to  " +
            FormatFixedWidth(ws.SectorTwoTheta2, 5, 3),
        FormatFixedWidth(ws.Landa, 5, 3)};
    for (int32_t c = 0, n = PsiLastPoint(ws); c <= n; ++c)
        lines.push_back(FormatFixedWidth(static_cast<double>(c) * ws.PsiStep, 5, 3) + "   " +
                        FormatFixedWidth(ws.PsiScanData[c], 8, 3));
    return lines;
}

void SavePsiScan(Workspace& ws, Host& host) {
    const auto name = host.askSaveFileName(ProposedSaveName(ws.CurrentFile, ".pss"),
                                           "PsiScan files (*.pss)|*.PSS|All files (*.*)|*.*");
    if (!name) return;
    try {
        RefuseFrameOverwrite(ws, *name);
        WriteTextLines(*name, PsiScanLines(ws));
    } catch (const FileError& e) {
        host.message(e.what());
    }
}

// ---- The window's other commands ---------------------------------------------

void PsiZoomOut(Workspace& ws) {
    double top = 0;
    for (int32_t c = 0, n = PsiLastPoint(ws); c <= n; ++c) top = std::max(top, static_cast<double>(ws.PsiScanData[c]));
    ws.Form12.RChart2.SetLayerRange(1, 0, 0, 360, 1.1 * top);
    ws.Form12.RChart1.CrossHair1().SetPosX(360);
    ws.Form12.RChart1.CrossHair2().SetPosX(360);
}

void PsiZoomIn(Workspace& ws, TForm5& boxes) {
    double lo = ParseNumber(boxes.EXMin), hi = ParseNumber(boxes.EXmax);
    double yLow = 0, yHigh = 0;
    if (!boxes.CBAMax) {
        yLow = ParseNumber(boxes.EYMin);
        yHigh = ParseNumber(boxes.EYMax);
    }
    if (lo < -180) {
        lo = -180;
        boxes.EXMin = "-180";
    }
    if (hi < lo) std::swap(lo, hi);
    if (boxes.CBAMax) {
        ws.PsiZoom1 = lo;
        ws.PsiZoom2 = hi;
        if (hi < 0) {
            ws.PsiZoom1 += 360;
            ws.PsiZoom2 += 360;
        }
        const RangeStats r = MeasurePsiRange(ws, lo, hi);
        yLow = std::min(r.Smallest, 0.0);
        // Room for the marks of the peaks in the range.
        yHigh = TopAboveMarkers(ws.Form12.RChart2, lo, hi, yLow, 1.1 * r.Largest);
    }
    ws.Form12.RChart2.SetLayerRange(1, lo, yLow, hi, yHigh);
    MarkOverviewRange(ws, lo, hi);
}

void ShowPsiBackground(Workspace& ws) {
    TRChart& chart = ws.Form12.RChart2;
    chart.SetDataColor(clRed);
    chart.MoveTo(0, 0);
    for (int32_t c = 0, n = PsiLastPoint(ws); c <= n; ++c)
        chart.LineTo(c * static_cast<double>(ws.PsiStep), ws.PsiScanBackup[c] - ws.PsiScanData[c]);
    chart.ShowItems();
}

void UnselectPsiPeaks(Workspace& ws) {
    TRChart& chart = ws.Form12.RChart2;
    chart.ClearItems();
    DrawPsiLine(ws, chart, true);
    chart.ShowItems();
}

void UndoPsiBackground(Workspace& ws, Host& host) {
    PsiScan1Click(ws, host);
    ScanLog(ws, host, "Undo background");
}

void PsiKeyDown(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    keys.KeyHeld = true;
    if (key == keycode::A) keys.KeyAHeld = true;
    if (key == keycode::Z) keys.KeyZHeld = true;
}

void PsiKeyUp(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    keys.KeyHeld = false;
    if (key == keycode::A) keys.KeyAHeld = false;
    if (key == keycode::Z) keys.KeyZHeld = false;
    ws.Form12.RChart2.CrossHair3().SetPosX(0);
    ws.Form12.RChart2.CrossHair4().SetPosX(0);
}

void PsiMouseMove(Workspace& ws, double x) {
    TRChart& chart = ws.Form12.RChart2;
    chart.CrossHair1().SetPosX(x);
    chart.SetCaption(Fixed3(x) + ", " + FormatFixed(Value(ws, PsiPointAt(ws, x)), 1));
}

void PsiMouseDown(Workspace& ws, Host& host, double x) {
    FrameToolState& keys = ws.FrameTools;
    TRChart& chart = ws.Form12.RChart2;
    ws.PsiChartClicked = 1;
    if (!keys.KeyAHeld && !keys.KeyZHeld) {
        ++ws.PsiMarkCount;
        const double v = std::nearbyint(Value(ws, PsiPointAt(ws, x)));
        chart.SetDataColor(MarkBlue);
        chart.AddMarker(MarkerCircle, x, 1.1 * v);
        chart.ShowItems();
        if ((x <= 0 ? x + 360 : x) > 0)
            ScanLog(ws, host, std::to_string(ws.PsiMarkCount) + "    " + Fixed3(x) + "         " + FormatFixed(v, 1));
    } else if (ws.ChartRangeClickCount == 0) {
        chart.CrossHair4().SetPosX(ws.PsiRangeFirstClick);
        ws.ChartRangeClickCount = 1;
        chart.CrossHair3().SetPosX(0);
        ws.PsiRangeFirstClick = x;
        chart.CrossHair4().SetPosX(x);
    } else {
        chart.CrossHair4().SetPosX(ws.PsiRangeFirstClick);
        ws.PsiZoom1 = ws.PsiRangeFirstClick;
        ws.PsiZoom2 = x;
        chart.CrossHair3().SetPosX(x);
        ws.ChartRangeClickCount = 0;
        ws.PsiRangeFirstClick = 0;
        if (ws.PsiZoom1 > ws.PsiZoom2) std::swap(ws.PsiZoom1, ws.PsiZoom2);
        if (ws.PsiZoom2 < 0) {
            ws.PsiZoom1 += 360;
            ws.PsiZoom2 += 360;
        }
        const RangeStats r = MeasurePsiRange(ws, ws.PsiZoom1, ws.PsiZoom2);
        const double fwhm = ws.PsiStep * r.Sum / r.Largest;
        const double span = ws.PsiZoom2 - ws.PsiZoom1;
        if (keys.KeyAHeld)
            ScanLog(ws, host, "peak at " + Fixed3(r.LargestAt) + " IntMax = " +
                                  FormatFixed(r.Largest, 0) + " Area = " + FormatFixed(r.Sum, 0) + " FWHM = " +
                                  Fixed3(fwhm) + " PsiL-PsiR = " + Fixed3(span));
        if (keys.KeyZHeld) {
            const double bottom = std::min(r.Smallest, 0.0);
            chart.SetLayerRange(1, ws.PsiZoom1, bottom, ws.PsiZoom2,
                                TopAboveMarkers(chart, ws.PsiZoom1, ws.PsiZoom2, bottom, 1.1 * r.Largest));
            MarkOverviewRange(ws, ws.PsiZoom1, ws.PsiZoom2);
        }
    }
    keys.KeyAHeld = keys.KeyZHeld = false;
    ws.PsiChartClicked = 0;
    Changed(host);
}

} // namespace orv
