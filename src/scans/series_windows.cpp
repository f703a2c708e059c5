#include "scans/series_windows.h"

#include <algorithm>
#include <cmath>

#include "base/numbers.h"
#include "scans/scan_analysis.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/run_report.h"
#include "workspace/scan_writers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"
#include "scans/key_codes.h"

namespace orv {

namespace {

constexpr TColor SeriesRed = RGBColor(255, 0, 0);
constexpr TColor SeriesGrey = RGBColor(128, 128, 128);
constexpr TColor CrossHairDashDot = 6257476;

int32_t SeriesRows(const Workspace& ws) {
    return static_cast<int32_t>(std::min<size_t>(ws.Form9.LPWD.size(), ws.ScanSeries.size()));
}

// The last point the series draws and saves.
int32_t SeriesLastPoint(const Workspace& ws) { return std::clamp(ws.ScanPoints, 0, MaxScanPoints); }

bool RowSelected(const Workspace& ws) { return ws.Form9.ItemIndex >= 0 && ws.Form9.ItemIndex < SeriesRows(ws); }

void DrawSeriesScan(Workspace& ws, int32_t row, bool selected) {
    TRChart& chart = ws.Form9.RChart1;
    chart.SetDataColor(selected ? SeriesRed : SeriesGrey);
    chart.SetLineWidth(selected ? 2 : 1);
    chart.MoveTo(0, 0);
    const ProfileRow& scan = ws.ScanSeries[static_cast<size_t>(row)];
    for (int32_t k = 1, last = SeriesLastPoint(ws); k <= last; ++k) {
        const ProfilePoint& p = scan[static_cast<size_t>(k)];
        chart.LineTo(p.TwoTheta, p.Intensity);
        ws.Form9.SeriesMax = std::max(ws.Form9.SeriesMax, static_cast<double>(p.Intensity));
    }
}

void SetSeriesRange(Workspace& ws) {
    ws.Form9.RChart1.SetLayerRange(1, ws.SeriesMinTwoTheta, std::min(0.0, 1.1 * ws.SeriesMinIntensity),
                                   ws.SeriesMaxTwoTheta, 1.1 * ws.SeriesMaxIntensity);
}

// A table under the name the user gives; a failure to write is reported.
void SaveTable(const Workspace& ws, Host& host, const std::vector<std::string>& lines) {
    const auto name = host.askSaveFileName(ProposedSaveName(ws.CurrentFile, ".txt"),
                                           "Text files (*.txt)|*.TXT|All files (*.*)|*.*");
    if (!name) return;
    try {
        RefuseFrameOverwrite(ws, *name);
        WriteTextLines(*name, lines);
    } catch (const FileError& e) {
        host.message(e.what());
    }
}

} // namespace

// ---- The scan series --------------------------------------------------------

void AddScanToSeries(Workspace& ws, bool redrawLater) {
    TForm9& f = ws.Form9;
    TRChart& chart = f.RChart1;
    if (ws.ScanSeries.size() < ScanSeriesSlots) ws.ScanSeries.resize(ScanSeriesSlots, MakeProfileRow());
    if (f.LPWD.size() > ScanSeriesSlots) f.LPWD.resize(ScanSeriesSlots);
    // A full series lets its oldest scan go, name and curve together.
    const bool full = f.LPWD.size() == ScanSeriesSlots;
    if (!full) SettleScanSeries(ws);
    if (full) {
        f.LPWD.erase(f.LPWD.begin());
        std::rotate(ws.ScanSeries.begin(), ws.ScanSeries.begin() + 1, ws.ScanSeries.begin() + ScanSeriesSlots);
        if (f.ItemIndex >= 0) --f.ItemIndex;
    }
    const size_t row = f.LPWD.size();
    f.LPWD.push_back(ws.CurrentFile);
    ws.ScanSeries[row] = ws.SectorScan;

    chart.CrossHair2().SetPosX(0);
    const int32_t last = std::clamp(ws.SectorScanPoints, 0, MaxScanPoints + 1);
    for (int32_t k = 0; k < last; ++k) {
        const ProfilePoint& p = ws.SectorScan[static_cast<size_t>(k)];
        ws.SeriesMinTwoTheta = std::min(ws.SeriesMinTwoTheta, p.TwoTheta);
        ws.SeriesMaxTwoTheta = std::max(ws.SeriesMaxTwoTheta, p.TwoTheta);
        ws.SeriesMinIntensity = std::min(ws.SeriesMinIntensity, p.Intensity);
        ws.SeriesMaxIntensity = std::max(ws.SeriesMaxIntensity, p.Intensity);
    }
    if (full && redrawLater) {
        f.RedrawOwed = true;
    } else if (full || (row > 0 && chart.ItemCount() == 0)) {
        // The chart shows the listed scans: it loses one that left the list,
        // and a chart cleared at the start of a run gets the earlier ones back.
        PlotScanSeries(ws);
    } else {
        chart.SetLineWidth(1);
        if (ws.FramesLoaded == 1) {
            chart.SetDataColor(SeriesRed);
            chart.SetLineWidth(2);
        } else {
            chart.SetDataColor(SeriesGrey);
        }
        chart.MoveTo(0, 0);
        for (int32_t k = 0; k < last; ++k) {
            const ProfilePoint& p = ws.SectorScan[static_cast<size_t>(k)];
            chart.LineTo(p.TwoTheta, p.Intensity);
        }
        chart.SetLineWidth(1);
    }
    SetSeriesRange(ws);
    chart.ShowItems();
}

void SettleScanSeries(Workspace& ws) {
    if (!ws.Form9.RedrawOwed) return;
    PlotScanSeries(ws);
    SetSeriesRange(ws);
    ws.Form9.RChart1.ShowItems();
}

void PlotScanSeries(Workspace& ws) {
    TForm9& f = ws.Form9;
    f.RedrawOwed = false;
    f.RChart1.ClearItems();
    f.SeriesMax = 0;
    for (int32_t row = 0, rows = SeriesRows(ws); row < rows; ++row) DrawSeriesScan(ws, row, row == f.ItemIndex);
    if (RowSelected(ws)) DrawSeriesScan(ws, f.ItemIndex, true);
    f.RChart1.SetLineWidth(1);
    f.RChart1.ShowItems();
}

void ShowScanSeries(Workspace& ws) {
    PlotScanSeries(ws);
    // The frame profile's range as it stands now (its extrema are not
    // brought up to date by every load); without bins, the series' own.
    UpdateProfileExtrema(ws);
    double low = ws.ProfileMinTwoTheta, high = ws.ProfileMaxTwoTheta;
    if (!(low < high)) {
        low = ws.SeriesMinTwoTheta;
        high = ws.SeriesMaxTwoTheta;
    }
    ws.Form9.RChart1.SetLayerRange(1, low, 0, high, 1.05 * ws.Form9.SeriesMax);
    ws.Form9.RChart1.ShowItems();
}

void SelectSeriesRow(Workspace& ws, int row) {
    ws.Form9.ItemIndex = row >= 0 && row < SeriesRows(ws) ? row : -1;
    PlotScanSeries(ws);
}

void SeriesKeyDown(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    keys.KeyHeld = true;
    if (key == keycode::Z) keys.KeyZHeld = true;
    const int rows = SeriesRows(ws);
    if (rows == 0 || (key != keycode::Up && key != keycode::Down)) return;
    int row = ws.Form9.ItemIndex + (key == keycode::Down ? 1 : -1);
    if (row >= rows) row = 0;
    if (row < 0) row = rows - 1;
    SelectSeriesRow(ws, row);
}

void SeriesKeyUp(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    keys.KeyHeld = false;
    if (key == keycode::Z) keys.KeyZHeld = false;
}

void SeriesMouseMove(Workspace& ws, double x) {
    const TForm9& f = ws.Form9;
    TRChart& chart = ws.Form9.RChart1;
    chart.CrossHair1().SetPosX(x);
    if (!(x >= ws.TwoThetaStep / 2.0)) return;
    chart.SetCaption(FormatFixed(x, 3) + ", " + FormatFixed(DSpacing(ws.Landa, x), 3) + ", " +
                     FormatFixed(f.SeriesValue, 3) + "  at " + FormatFixed(f.SeriesMarkX, 3));
}

void SeriesMouseDown(Workspace& ws, double x) {
    TForm9& f = ws.Form9;
    TRChart& chart = f.RChart1;
    FrameToolState& keys = ws.FrameTools;
    ws.ChartClicked = 1;
    if (RowSelected(ws)) {
        const ProfileRow& scan = ws.ScanSeries[static_cast<size_t>(f.ItemIndex)];
        for (int32_t k = 1, last = SeriesLastPoint(ws); k <= last && scan[static_cast<size_t>(k)].TwoTheta <= x; ++k)
            f.SeriesValue = scan[static_cast<size_t>(k)].Intensity;
    }
    if (!keys.KeyAHeld && !keys.KeyZHeld) {
        f.SeriesMarkX = x;
        chart.CrossHair2().SetPosX(x);
    } else if (keys.KeyZHeld) {
        chart.CrossHair4().SetPosX(f.RangeFirstClick);
        if (ws.ChartRangeClickCount == 0) {
            ws.ChartRangeClickCount = 1;
            chart.CrossHair3().SetPosX(0);
            f.RangeFirstClick = x;
            chart.CrossHair4().SetPosX(x);
        } else {
            ws.ChartRangeClickCount = 0;
            chart.CrossHair3().SetPosX(x);
            const double lo = std::min(f.RangeFirstClick, x), hi = std::max(f.RangeFirstClick, x);
            double top = 0;
            for (int32_t row = 0, rows = SeriesRows(ws); row < rows; ++row) {
                const ProfileRow& scan = ws.ScanSeries[static_cast<size_t>(row)];
                for (int32_t k = 1, last = SeriesLastPoint(ws); k <= last; ++k) {
                    const ProfilePoint& p = scan[static_cast<size_t>(k)];
                    if (p.TwoTheta > lo && p.TwoTheta < hi) top = std::max(top, static_cast<double>(p.Intensity));
                }
            }
            chart.SetLayerRange(1, lo, 0, hi, top);
        }
    }
    keys.KeyHeld = keys.KeyAHeld = keys.KeyZHeld = false;
    ws.ChartClicked = 0;
}

std::vector<std::string> SeriesTableLines(const Workspace& ws) {
    const double first = ws.SectorScan[0].TwoTheta;
    std::vector<std::string> lines{"", FormatFixedWidth(first, 5, 3), FormatFixedWidth(ws.TwoThetaStep, 5, 3),
                                   FormatFixedWidth(ws.Landa, 5, 3)};
    const int32_t rows = SeriesRows(ws);
    for (int32_t row = 0; row < rows; ++row) lines.push_back(ws.Form9.LPWD[static_cast<size_t>(row)]);
    for (int32_t p = 0, last = SeriesLastPoint(ws); p <= last; ++p) {
        std::string line = FormatFixedWidth(p * static_cast<double>(ws.TwoThetaStep) + first, 9, 3);
        for (int32_t row = 0; row < rows; ++row)
            line += FormatFixedWidth(ws.ScanSeries[static_cast<size_t>(row)][static_cast<size_t>(p)].Intensity, 9, 3);
        lines.push_back(std::move(line));
    }
    return lines;
}

void SaveScanSeries(Workspace& ws, Host& host) { SaveTable(ws, host, SeriesTableLines(ws)); }

// ---- d-spacing against psi ---------------------------------------------------

int32_t DSpacingRowAt(const DSpacingTable& table, double x) {
    const int32_t count = std::clamp<int32_t>(table.Count, 0, static_cast<int32_t>(table.D.size()));
    if (count == 0 || !(table.Step > 0) || !std::isfinite(x)) return -1;
    const int32_t row = RoundToInt(RoundHalfEven(x) / table.Step);
    return row == count ? 0 : std::clamp(row, 0, count - 1);
}

void PlotDSpacing(Workspace& ws) {
    const DSpacingTable& table = ws.DSpacingData;
    TRChart& chart = ws.Form10.RChart1;
    chart.ClearItems();
    chart.SetDataColor(SeriesRed);
    chart.MoveTo(0, 0);
    double top = 0;
    const int32_t count = std::clamp<int32_t>(table.Count, 0, static_cast<int32_t>(table.D.size()));
    for (int32_t r = 0; r < count; ++r) {
        const double d = table.D[static_cast<size_t>(r)];
        chart.LineTo(r * static_cast<double>(table.Step), d);
        top = std::max(top, d);
    }
    chart.SetLayerRange(1, 0, 0, 360, 1.1 * top);
    chart.ShowItems();
    ws.Form10.Visible = true;
}

void DSpacingMouseMove(Workspace& ws, double x) {
    TRChart& chart = ws.Form10.RChart1;
    chart.CrossHair1().SetPosX(x);
    const int32_t row = DSpacingRowAt(ws.DSpacingData, x);
    if (!(x > 0) || row < 0) return;
    chart.SetCaption(FormatFixed(RoundHalfEven(x), 0) + ", " +
                     FormatFixed(ws.DSpacingData.D[static_cast<size_t>(row)], 3));
}

std::vector<std::string> DSpacingTableLines(const Workspace& ws) {
    const DSpacingTable& table = ws.DSpacingData;
    std::vector<std::string> lines{ws.CurrentFile, "Psi angle"};
    const int32_t count = std::clamp<int32_t>(table.Count, 0, static_cast<int32_t>(table.D.size()));
    for (int32_t i = 1; i <= count; ++i)
        lines.push_back(FormatFixedWidth(i * static_cast<double>(table.Step), 5, 3) + "   " +
                        FormatFixedWidth(table.D[static_cast<size_t>(i % count)], 5, 3));
    return lines;
}

void SaveDSpacingTable(Workspace& ws, Host& host) { SaveTable(ws, host, DSpacingTableLines(ws)); }

void SetUpSeriesWindows(Workspace& ws) {
    // The batch's d-spacing is plotted as the menu command plots it.
    ws.Batch.CalculateDSpacing = [compute = ws.Batch.CalculateDSpacing](Workspace& w, Host& h) {
        if (compute) compute(w, h);
        PlotDSpacing(w);
        h.changed(View::Scan);
    };
    SetCrossHairs(ws.Form9.RChart1, {{chVert, clBlack, psSolid, 1, 1},
                                     {chVert, clBlue, psSolid, 1, 1},
                                     {chVert, clNavy, psDot, 1, 1},
                                     {chVert, clNavy, psDot, 1, 1}});
    ws.Form9.RChart1.Scale1X().SetCaption("2Theta (deg.)");
    TRChart& d = ws.Form10.RChart1;
    SetCrossHairs(d, {{chVert, clBlack, psSolid, 1, 1},
                      {chVert, clRed, psSolid, 1, 1},
                      {chVert, CrossHairDashDot, psDashDot, 1, 1},
                      {chVert, CrossHairDashDot, psDashDot, 1, 1}});
    d.SetMouseAction(maDragCrossH);
    d.Scale1X().SetCaption("Psi (deg.)");
    d.Scale1Y().SetCaption("d (A)");
}

} // namespace orv
