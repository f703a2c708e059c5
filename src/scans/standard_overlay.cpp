#include "scans/standard_overlay.h"

#include <algorithm>
#include <cmath>

#include "base/numbers.h"
#include "chart/rchart.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "scans/mineral_match.h"
#include "workspace/host.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr TColor StickRed = RGBColor(255, 0, 0);
constexpr double PeakReach = 0.5;     // degrees: AA looks for a line's peak this close to it
constexpr double LabelReach = 0.1;    // degrees: the read-out names a line this close to the mouse
constexpr double LabelMinD = 0.1;

// The pattern's lines that have a 2-theta: (line index, 2-theta).
std::vector<std::pair<int32_t, double>> LinesWithTwoTheta(const MineralRecord& pattern, double landa, double minD) {
    std::vector<std::pair<int32_t, double>> lines;
    const int32_t count = std::clamp(pattern.LineCount, 0, MaxMineralLines);
    for (int32_t i = 0; i < count; ++i) {
        double t = 0;
        if (MineralLineTwoTheta(landa, pattern.Line[static_cast<size_t>(i)].D, minD, t)) lines.emplace_back(i, t);
    }
    return lines;
}

const MineralRecord* Pattern(const Workspace& ws, int32_t pattern) {
    if (pattern < 1 || pattern > ws.MineralCount || static_cast<size_t>(pattern) >= ws.MineralTable.size())
        return nullptr;
    return &ws.MineralTable[static_cast<size_t>(pattern)];
}

void Stick(TRChart& chart, double x, double height) {
    chart.MoveTo(x, 0);
    chart.LineTo(x, height);
}

// The selected standard, or 0 after telling the user there is none.
int32_t NeedStandard(const Workspace& ws, Host& host) {
    const int32_t m = SelectedStandard(ws);
    if (m < 1) host.message("Need to select a standard!");
    return m;
}

void Redraw(Workspace& ws, Host& host, int32_t pattern, const std::string& logLine) {
    PlotScanChart1(ws);
    DrawStandardLines(ws, pattern, ws.StandardScale, ws.StandardShift);
    ws.LLog.Append(logLine);
    host.changed(View::Logbook);
    host.changed(View::Scan);
}

std::string ShiftLine(const Workspace& ws) { return "2Theta Shift = " + FormatFixed(ws.StandardShift, 4); }

// The highest point (strictly above 0, the first of equal ones) within
// PeakReach of `t`; 0 when none.
int32_t PeakNear(const std::vector<float>& twoTheta, const std::vector<float>& intensity, double t) {
    const size_t n = std::min(twoTheta.size(), intensity.size());
    float best = 0;
    int32_t at = 0;
    for (size_t k = 1; k < n; ++k) {
        if (std::abs(twoTheta[k] - t) < PeakReach && intensity[k] > best) {
            best = intensity[k];
            at = static_cast<int32_t>(k);
        }
    }
    return at;
}

} // namespace

double StandardReferenceTwoTheta(const MineralRecord& pattern, double landa) {
    const auto lines = LinesWithTwoTheta(pattern, landa, StandardMinD);
    return lines.empty() ? 0 : lines.front().second;
}

double StandardStickHeight(double top, double intensity) { return RoundHalfEven(0.9 * top * intensity / 100); }

double StandardLinePixel(double placed, int32_t frameSize, int32_t frameWidth, double twoThetaD) {
    const double p = RoundHalfEven(placed * frameSize / 50);
    return twoThetaD > 10 ? frameWidth - p : p;
}

void DrawStandardLines(Workspace& ws, int32_t pattern, double scale, double shift) {
    ws.StandardLinePixels[0] = pattern;
    if (ws.Hooks.DrawStandardOnLineScan) ws.Hooks.DrawStandardOnLineScan(ws, pattern, scale, shift);
    const MineralRecord* p = Pattern(ws, pattern);
    if (!p || !ws.SomethingOpened()) return;
    TRChart& chart = ws.Form2.RChart1;
    const double top = chart.ScaleY(1).RangeHigh();
    const double r = StandardReferenceTwoTheta(*p, ws.Landa);
    chart.SetDataColor(StickRed);
    chart.SetLineWidth(2);
    for (const auto& [i, t] : LinesWithTwoTheta(*p, ws.Landa, StandardMinD))
        Stick(chart, PlacedTwoTheta(t, r, scale, shift),
              StandardStickHeight(top, p->Line[static_cast<size_t>(i)].Intensity));
    chart.SetLineWidth(1);
    chart.ShowItems();
}

void DrawStandardLinesOnLineScan(Workspace& ws, TRChart& chart, int32_t pattern, double scale, double shift) {
    // A line not drawn has no position: none left from another pattern or
    // placement may be picked or enter a calibration.
    std::fill(ws.StandardLinePixels.begin() + 1, ws.StandardLinePixels.end(), NoStandardLinePixel);
    const MineralRecord* p = Pattern(ws, pattern);
    if (!p) return;
    const double top = chart.ScaleY(1).RangeHigh();
    const double r = StandardReferenceTwoTheta(*p, ws.Landa);
    chart.SetDataColor(StickRed);
    chart.SetLineWidth(2);
    for (const auto& [i, t] : LinesWithTwoTheta(*p, ws.Landa, StandardMinD)) {
        const double pixel =
            StandardLinePixel(PlacedTwoTheta(t, r, scale, shift), ws.FrameSize, ws.FrameWidth, ws.TwoThetaD);
        ws.StandardLinePixels[static_cast<size_t>(i) + 1] = pixel;
        Stick(chart, pixel, StandardStickHeight(top, p->Line[static_cast<size_t>(i)].Intensity));
    }
    chart.SetLineWidth(1);
    chart.ShowItems();
}

bool ShiftStandard(Workspace& ws, Host& host, double degrees) {
    const int32_t m = NeedStandard(ws, host);
    if (m < 1) return false;
    ws.StandardShift += degrees;
    Redraw(ws, host, m, ShiftLine(ws));
    return true;
}

bool ScaleStandard(Workspace& ws, Host& host, double factor) {
    const int32_t m = NeedStandard(ws, host);
    if (m < 1) return false;
    ws.StandardScale *= factor;
    Redraw(ws, host, m, "Compression Scale = " + FormatFixed(ws.StandardScale, 4));
    return true;
}

StandardAdjustment AdjustStandardToScan(const std::vector<float>& twoTheta, const std::vector<float>& intensity,
                                        const MineralRecord& pattern, double landa, double low, double high) {
    StandardAdjustment a;
    const auto lines = LinesWithTwoTheta(pattern, landa, StandardMinD);
    // The strongest line (the first of equal ones) among those passing `keep`.
    auto strongest = [&](auto keep) -> std::optional<double> {
        double best = 0;
        std::optional<double> at;
        for (const auto& [i, t] : lines) {
            const double strength = pattern.Line[static_cast<size_t>(i)].Intensity;
            if (t > low && t < high && keep(t) && strength > best) {
                best = strength;
                at = t;
            }
        }
        return at;
    };
    const std::optional<double> l1 = strongest([](double) { return true; });
    if (!l1) return a;
    const int32_t p1 = PeakNear(twoTheta, intensity, *l1);
    if (p1 < 1) return a;
    a.Found = true;
    a.L1 = *l1;
    a.S1 = twoTheta[static_cast<size_t>(p1)];

    const double apart = std::abs(low - high) / 4;
    if (const std::optional<double> l2 = strongest([&](double t) { return std::abs(t - *l1) > apart; })) {
        if (const int32_t p2 = PeakNear(twoTheta, intensity, *l2); p2 >= 1) {
            a.L2 = *l2;
            a.S2 = twoTheta[static_cast<size_t>(p2)];
            const double s = std::abs(a.L2 - a.L1) > 1 ? std::abs((a.S2 - a.S1) / (a.L2 - a.L1)) : 1;
            if (s > 0.9 && s < 1.1) a.Scale = s;
        }
    }
    // The placement of L1 is S1 whatever the scale.
    const double r = StandardReferenceTwoTheta(pattern, landa);
    a.Shift = a.S1 - r - a.Scale * (a.L1 - r);
    return a;
}

bool AutoAdjustStandard(Workspace& ws, Host& host) {
    const int32_t m = NeedStandard(ws, host);
    if (m < 1) return false;
    const int32_t n = std::clamp(ws.SectorScanPoints, 0, MaxScanPoints);
    std::vector<float> twoTheta(static_cast<size_t>(n) + 1), intensity(static_cast<size_t>(n) + 1);
    for (int32_t k = 0; k <= n; ++k) {
        twoTheta[static_cast<size_t>(k)] = ws.SectorScan[static_cast<size_t>(k)].TwoTheta;
        intensity[static_cast<size_t>(k)] = ws.SectorScan[static_cast<size_t>(k)].Intensity;
    }
    // The scan's range as the window shows it.
    const double low = n >= 1 ? std::max<double>(twoTheta[1], ws.SectorTwoTheta1) : 0;
    const double high = n >= 1 ? std::min<double>(twoTheta[static_cast<size_t>(n)], ws.SectorTwoTheta2) : 0;
    const StandardAdjustment a =
        AdjustStandardToScan(twoTheta, intensity, ws.MineralTable[static_cast<size_t>(m)], ws.Landa, low, high);
    if (!a.Found) {
        host.message("No line of the standard lies on the scan within its 2Theta range");
        return false;
    }
    ws.StandardShift = a.Shift;
    ws.StandardScale = a.Scale;
    Redraw(ws, host, m,
           "Auto Adjusted 2Theta Shift = " + FormatFixed(ws.StandardShift, 4) +
               " ; Compression Scale = " + FormatFixed(ws.StandardScale, 4));
    return true;
}

bool StandardSelected(Workspace& ws, Host& host, int32_t pattern) {
    ws.StandardScale = 1;
    ws.StandardShift = 0;
    if (!ws.FrameIsLoaded() || !ws.Form2.Visible || !Pattern(ws, pattern)) return false;
    PlotScanChart1(ws);
    DrawStandardLines(ws, pattern, ws.StandardScale, ws.StandardShift);
    host.changed(View::Scan);
    return true;
}

void DrawMatchSticks(Workspace& ws, Host& host, const MineralMatchScore& score) {
    PlotScanChart1(ws);
    TRChart& chart = ws.Form2.RChart1;
    chart.SetDataColor(StickRed);
    chart.SetLineWidth(2);
    for (const MineralStick& s : score.Sticks) Stick(chart, s.TwoTheta, s.Height);
    chart.SetLineWidth(1);
    chart.ShowItems();
    host.changed(View::Scan);
}

void DrawSelectedStandard(Workspace& ws, Host& host) {
    const int32_t m = SelectedStandard(ws);
    if (m < 1 || !ws.Form18.Visible) return;
    DrawStandardLines(ws, m, ws.StandardScale, ws.StandardShift);
    host.changed(View::Scan);
}

std::optional<std::string> StandardLineLabel(const Workspace& ws, double x) {
    const MineralRecord* p = Pattern(ws, SelectedStandard(ws));
    if (!p) return std::nullopt;
    // The line whose stick is drawn under the mouse.
    const double r = StandardReferenceTwoTheta(*p, ws.Landa);
    std::optional<std::string> label;
    for (const auto& [i, t] : LinesWithTwoTheta(*p, ws.Landa, LabelMinD))
        if (std::abs(PlacedTwoTheta(t, r, ws.StandardScale, ws.StandardShift) - x) < LabelReach)
            label = p->Name + " " + p->Line[static_cast<size_t>(i)].Hkl + " ";
    return label;
}

} // namespace orv
