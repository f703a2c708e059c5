#include "scans/line_scan_tool.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include "base/numbers.h"
#include "chart/chart_errors.h"
#include "chart/curve_fit.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "scans/scan_analysis.h"
#include "scans/standard_overlay.h"
#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "workspace/run_report.h"
#include "workspace/sector_reductions.h"
#include "workspace/setting_ranges.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"
#include "scans/key_codes.h"

namespace orv {

namespace {

constexpr TColor StickRed = RGBColor(255, 0, 0);
constexpr TColor MarkBlue = RGBColor(0, 0, 255);
constexpr uint8_t MarkerCircle = 17;
constexpr double RadPerDegree = std::numbers::pi / 180.0;
constexpr int SnapReach = 10;   // pixels either side of a stick

const char* const NoStandard = "Need to select a standard!";

bool Usable(double pixel) { return std::isfinite(pixel); }

// The pattern whose sticks are on the chart, or none.
const MineralRecord* DrawnPattern(const Workspace& ws) {
    const double index = ws.StandardLinePixels[0];
    if (!std::isfinite(index)) return nullptr;
    const int32_t m = RoundToInt(index);
    if (m < 1 || m > ws.MineralCount || static_cast<size_t>(m) >= ws.MineralTable.size()) return nullptr;
    return &ws.MineralTable[static_cast<size_t>(m)];
}

int32_t DrawnLineCount(const Workspace& ws) {
    const MineralRecord* p = DrawnPattern(ws);
    return p ? std::clamp(p->LineCount, 0, MaxMineralLines) : 0;
}

const MineralLine& LineOf(const MineralRecord& pattern, int32_t i) { return pattern.Line[static_cast<size_t>(i) - 1]; }

bool AlongX(const Workspace& ws) { return ws.LineScanAlongX != 0 || ws.LineScanAlongY == 0; }

void Log(Workspace& ws, Host& host, const std::string& line) {
    ws.LLog.Append(line);
    host.changed(View::Logbook);
}

// The profile on the chart, black, over the marked range.
void PlotProfile(Workspace& ws) {
    TForm34& f = ws.Form34;
    TRChart& chart = f.RChart1;
    const int32_t n = LineProfileLength(ws);
    chart.ClearItems();
    chart.CrossHair2().SetPosX(0);
    chart.CrossHair3().SetPosX(ws.LineMark1);
    chart.CrossHair4().SetPosX(ws.LineMark2);
    chart.SetDataColor(clBlack);
    chart.SetLineWidth(1);
    double smallest = 0, largest = 0;
    bool any = false;
    for (int32_t i = 1; i <= n; ++i) {
        const double v = ws.LineScanData[static_cast<size_t>(i)];
        if (i == 1) chart.MoveTo(i, v);
        else chart.LineTo(i, v);
        if (i > ws.LineMark1 && i < ws.LineMark2) {
            smallest = any ? std::min(smallest, v) : v;
            largest = any ? std::max(largest, v) : v;
            any = true;
        }
    }
    chart.SetLayerRange(1, ws.LineMark1, std::min(smallest, 0.0), ws.LineMark2, 1.1 * largest);
    f.Caption = (AlongX(ws) ? " X  Line Scan at Y = " : " Y  Line Scan at X = ") + std::to_string(ws.LineScanIndex);
}

void DrawStick(Workspace& ws, const MineralRecord& pattern, int32_t i) {
    TRChart& chart = ws.Form34.RChart1;
    const double x = RoundHalfEven(ws.StandardLinePixels[static_cast<size_t>(i)]);
    const double height = StandardStickHeight(chart.Scale1Y().RangeHigh(), LineOf(pattern, i).Intensity);
    chart.SetDataColor(StickRed);
    chart.SetLineWidth(2);
    chart.MoveTo(x, 0);
    chart.LineTo(x, height);
    chart.SetLineWidth(1);
}

void Redraw(Workspace& ws) {
    PlotProfile(ws);
    DrawLineScanSticks(ws);
}

// Every usable stick moved by `e` pixels; only `line` with `onlyLine`.
void MoveSticks(Workspace& ws, int32_t line, double e, bool onlyLine) {
    for (int32_t i = 1, n = DrawnLineCount(ws); i <= n; ++i) {
        double& p = ws.StandardLinePixels[static_cast<size_t>(i)];
        if (Usable(p) && (i == line || !onlyLine)) p += e;
    }
}

// Every usable stick's distance from `anchor` scaled by `ratio`.
void StretchSticks(Workspace& ws, double anchor, double ratio) {
    if (!std::isfinite(ratio)) return;
    for (int32_t i = 1, n = DrawnLineCount(ws); i <= n; ++i) {
        double& p = ws.StandardLinePixels[static_cast<size_t>(i)];
        if (Usable(p)) p = anchor + (p - anchor) * ratio;
    }
}

bool LineUsable(const Workspace& ws, int32_t line) {
    return line >= 1 && line <= DrawnLineCount(ws) && Usable(ws.StandardLinePixels[static_cast<size_t>(line)]);
}

// The last usable stick within the pick reach of x, 0 when none.
int32_t PickLine(const Workspace& ws, double x) {
    const double at = RoundHalfEven(x), reach = LineScanPickReach(ws);
    int32_t picked = 0;
    for (int32_t i = 1, n = DrawnLineCount(ws); i <= n; ++i) {
        const double p = ws.StandardLinePixels[static_cast<size_t>(i)];
        if (Usable(p) && std::abs(at - p) < reach) picked = i;
    }
    return picked;
}

std::string PatternName(const Workspace& ws) {
    const MineralRecord* p = DrawnPattern(ws);
    return p ? p->Name : std::string();
}

// The picked line in PName: the name (cut to 31 characters with its blank)
// and the line's hkl, the whole at most 42.
void ShowPickedLine(Workspace& ws, int32_t line) {
    const MineralRecord* p = DrawnPattern(ws);
    if (!p) return;
    ws.Form34.PName = ((p->Name + " ").substr(0, 31) + LineOf(*p, line).Hkl).substr(0, 42);
}

void HoldCrossHair(TRChart& chart, bool held) {
    chart.CrossHair1().SetColor(held ? clRed : clBlack);
    chart.CrossHair1().SetLineWid(held ? 2 : 1);
}

// Where between pixels the peak whose highest pixel is `top` lies: the
// vertex of the parabola through the logarithms of that pixel and its two
// neighbours above `floor` (exact for a Gaussian peak, however narrow), or,
// where a neighbour does not stand above the floor, of the parabola through
// the three values. 0 where the three do not bend down, as on a flat top or
// at the profile's ends.
double PeakFraction(const Workspace& ws, int32_t top, double floor) {
    if (top <= 1 || top >= LineProfileLength(ws)) return 0;
    double left = ws.LineScanData[static_cast<size_t>(top - 1)], middle = ws.LineScanData[static_cast<size_t>(top)],
           right = ws.LineScanData[static_cast<size_t>(top + 1)];
    if (left > floor && right > floor) {
        left = std::log(left - floor);
        middle = std::log(middle - floor);
        right = std::log(right - floor);
    }
    const double bend = left - 2 * middle + right;
    if (!(bend < 0)) return 0;
    return std::clamp(0.5 * (left - right) / bend, -0.5, 0.5);
}

// The second click of a two-click range: the marks, the chart's range and
// the range's centroid in the logbook.
void MarkRange(Workspace& ws, Host& host, double first, double second) {
    const int32_t n = LineProfileLength(ws);
    ws.LineMark1 = std::clamp(std::min(first, second), 1.0, static_cast<double>(std::max(n, 1)));
    ws.LineMark2 = std::clamp(std::max(first, second), 1.0, static_cast<double>(std::max(n, 1)));
    double smallest = 10000, largest = 0, sum = 0, moment = 0;
    const int32_t from = RoundToInt(ws.LineMark1), to = RoundToInt(ws.LineMark2);
    for (int32_t j = std::max(from, 1); j <= std::min(to, n); ++j) {
        const double v = ws.LineScanData[static_cast<size_t>(j)];
        smallest = std::min(smallest, v);
        largest = std::max(largest, v);
        sum += v;
        moment += j * v;
    }
    const double centre = std::abs(sum) > 0 ? std::abs(moment / sum) : (to + from) / 2.0;
    ws.Form34.RChart1.SetLayerRange(1, ws.LineMark1, std::min(smallest, 0.0), ws.LineMark2, 1.1 * largest);
    Log(ws, host, "peak center at = " + FormatNumber(centre));
}

// ---- Calibrations ---------------------------------------------------------------

// A stick strictly inside the marks whose line has a 2-theta.
struct StickLine {
    double Pixel = 0;
    double D = 0;
    double TwoTheta = 0;   // degrees
};

std::vector<StickLine> SticksInsideMarks(const Workspace& ws, const MineralRecord& pattern) {
    std::vector<StickLine> lines;
    for (int32_t i = 1, n = std::clamp(pattern.LineCount, 0, MaxMineralLines); i <= n; ++i) {
        const double p = ws.StandardLinePixels[static_cast<size_t>(i)];
        double t = 0;
        if (!Usable(p) || !(p > ws.LineMark1 && p < ws.LineMark2)) continue;
        if (!MineralLineTwoTheta(ws.Landa, LineOf(pattern, i).D, StandardMinD, t)) continue;
        lines.push_back({p, LineOf(pattern, i).D, t});
    }
    return lines;
}

const char* const NoLinesInside = "No line of the standard lies strictly inside the marked range";

LineScanFit FailedFit(const std::string& reason) {
    LineScanFit fit;
    fit.Reason = reason;
    return fit;
}

// The straight line through the fitter's points; a failure says why.
LineScanFit FitLine(const TCurveFit& fitter) {
    if (fitter.NumData() < 2)
        return FailedFit(std::string(NoLinesInside) + " beyond one: a straight line needs two");
    LineScanFit fit;
    try {
        fitter.CalcLinFit(fit.Slope, fit.Intercept, fit.R2);
    } catch (const EVemoMath2Error&) {
        return FailedFit("The lines inside the marked range all lie at one place: no straight line fits them");
    }
    if (fit.Slope == 0 || !std::isfinite(fit.Slope) || !std::isfinite(fit.Intercept))
        return FailedFit("The lines inside the marked range give a fit without slope: nothing can be computed");
    fit.Ok = true;
    fit.Lines = fitter.NumData();
    return fit;
}

// The standard for a calibration: the selected one, its sticks those on
// the chart. 0 after telling the user there is none.
int32_t NeedStandard(const Workspace& ws, Host& host) {
    const int32_t m = SelectedStandard(ws);
    if (m < 1) host.message(NoStandard);
    return m;
}

// Detector settings applied through the Detector Settings' Apply, all in
// one: each box set (and, when it has one, its Apply box ticked for this
// Apply only). Values Apply refuses leave the boxes as they were.
struct Setting {
    std::string* Box;
    bool* Tick;
    std::string Value;
};

bool ApplySettings(Workspace& ws, Host& host, const std::vector<Setting>& settings) {
    std::vector<std::string> before;
    std::vector<bool> ticked;
    for (const Setting& s : settings) {
        before.push_back(*s.Box);
        ticked.push_back(s.Tick && *s.Tick);
        *s.Box = s.Value;
        if (s.Tick) *s.Tick = true;
    }
    const bool applied = ApplyDetectorSettings(ws, host);
    for (size_t k = 0; k < settings.size(); ++k) {
        if (settings[k].Tick) *settings[k].Tick = ticked[k];
        if (!applied) *settings[k].Box = before[k];
    }
    host.changed(View::Settings);
    return applied;
}

bool ApplySetting(Workspace& ws, Host& host, std::string& box, bool* tick, const std::string& value) {
    return ApplySettings(ws, host, {{&box, tick, value}});
}

// Logs a result and asks whether to apply it.
bool Offer(Workspace& ws, Host& host, const std::string& text) {
    Log(ws, host, text);
    return host.confirm(text + ", Apply?");
}

// Whether the detector is swung in the direction of the profile.
bool TiltAlongProfile(const Workspace& ws) { return AlongX(ws) != ws.Form28.CBVertical; }

} // namespace

// ---- The profile and its window ---------------------------------------------------

int32_t LineProfileLength(const Workspace& ws) {
    return ws.LineScanData.empty() ? 0 : static_cast<int32_t>(ws.LineScanData.size()) - 1;
}

double LineProfileValue(const Workspace& ws, double x) {
    const int32_t n = LineProfileLength(ws);
    if (n < 1 || !std::isfinite(x)) return 0;
    return ws.LineScanData[static_cast<size_t>(std::clamp(RoundToInt(x), 1, n))];
}

void LineScanFormShow(Workspace& ws) {
    TForm34& f = ws.Form34;
    FrameToolState& keys = ws.FrameTools;
    keys.KeySHeld = keys.KeyAHeld = false;
    f.AnchorPicked = f.StretchPicked = false;
    f.LeftButtonDown = f.RightButtonDown = false;
    ws.RangeClickCount = 0;
    ws.LineMark1 = 1.0;
    ws.LineMark2 = std::max(LineProfileLength(ws), 1);
    if (!ws.Form32.RFlat) ws.FlatDetector = 0;
}

void PlotLineScan(Workspace& ws) {
    Redraw(ws);
    ws.Form34.RChart1.ShowItems();
}

void DrawLineScanSticks(Workspace& ws) {
    const MineralRecord* pattern = DrawnPattern(ws);
    if (!pattern) return;
    for (int32_t i = 1, n = DrawnLineCount(ws); i <= n; ++i)
        if (LineUsable(ws, i)) DrawStick(ws, *pattern, i);
}

bool ShowLineScan(Workspace& ws, Host& host, bool alongX, const std::optional<std::string>& widthAnswer) {
    if (!LineScanCommand(ws, host, alongX, widthAnswer).Made) return false;
    LineScanFormShow(ws);
    ws.Form34.Panel3 = ws.Form1.Caption;
    ws.Form34.Visible = true;
    PlotLineScan(ws);
    host.changed(View::Scan);
    return true;
}

void LineScanKeyDown(Workspace& ws, Host& host, int key) {
    FrameToolState& keys = ws.FrameTools;
    if (key == keycode::S) keys.KeySHeld = true;
    if (key == keycode::A || key == keycode::Z) keys.KeyAHeld = true;
    if (key < keycode::Left || key > keycode::Down || !ws.FrameIsLoaded()) return;
    const bool rows = key == keycode::Up || key == keycode::Down;
    const int32_t size = rows ? ws.FrameHeight : ws.FrameWidth;
    int32_t& index = ws.LineScanIndex;
    if (key == keycode::Up || key == keycode::Left) {
        if (index <= 1) return;
        index = std::min(index, size) - 1;
    } else if (index < size) {
        ++index;
    } else {
        index = size;
        return;
    }
    // The line of the last scan leaves the frame's picture.
    ws.Form1.Image1 = ws.Form1.Image2;
    if (!(rows ? XLineScan(ws, host, index) : YLineScan(ws, host, index)).Made) return;
    ws.Form34.Panel3 = (rows ? "Y = " : "X = ") + std::to_string(index);
    PlotLineScan(ws);
    host.changed(View::Scan);
}

void LineScanKeyUp(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    if (key == keycode::S) keys.KeySHeld = false;
    if (key == keycode::A || key == keycode::Z) keys.KeyAHeld = false;
}

// ---- Mouse ------------------------------------------------------------------------

double LineScanPickReach(const Workspace& ws) { return ws.FrameSize >= 2500 ? 10 : 5; }

void LineScanMouseMove(Workspace& ws, double x) {
    TForm34& f = ws.Form34;
    TRChart& chart = f.RChart1;
    if (!(x > 1)) return;
    chart.CrossHair1().SetPosX(x);
    chart.SetCaption(std::to_string(RoundToInt(x)) + ", " + std::to_string(RoundToInt64(LineProfileValue(ws, x))));
    if (f.LeftButtonDown && f.AnchorPicked && LineUsable(ws, f.AnchorLine)) {
        HoldCrossHair(chart, false);
        const double e = RoundHalfEven(x - ws.StandardLinePixels[static_cast<size_t>(f.AnchorLine)]);
        if (std::abs(e) > 2) {
            MoveSticks(ws, f.AnchorLine, e, ws.FrameTools.KeySHeld);
            PlotLineScan(ws);
        }
    }
    if (f.RightButtonDown && f.StretchPicked && LineUsable(ws, f.AnchorLine) && LineUsable(ws, f.StretchLine)) {
        HoldCrossHair(chart, false);
        const double a = ws.StandardLinePixels[static_cast<size_t>(f.AnchorLine)];
        const double s = ws.StandardLinePixels[static_cast<size_t>(f.StretchLine)];
        if (std::abs(x - a) > 1 && std::abs(s - a) > 1) {
            StretchSticks(ws, a, (x - a) / (s - a));
            PlotLineScan(ws);
        }
    }
}

void LineScanMouseDown(Workspace& ws, Host& host, bool left, double x) {
    TForm34& f = ws.Form34;
    TRChart& chart = f.RChart1;
    FrameToolState& keys = ws.FrameTools;
    if (!std::isfinite(x)) return;
    if (left && !f.AnchorPicked) {
        f.LeftButtonDown = true;
        chart.SetDataColor(MarkBlue);
        f.PName = PatternName(ws);
        if (const int32_t line = PickLine(ws, x)) {
            f.AnchorLine = line;
            f.AnchorPicked = true;
            HoldCrossHair(chart, true);
            ShowPickedLine(ws, line);
        } else if (!keys.KeyAHeld) {
            chart.AddMarker(MarkerCircle, x, 1.1 * LineProfileValue(ws, x));
            chart.ShowItems();
            Log(ws, host, "Marked point at " + std::to_string(RoundToInt(x)) + " pixels");
        }
    }
    if (!left && !f.StretchPicked) {
        f.RightButtonDown = true;
        f.Panel3 = "X = " + std::to_string(RoundToInt(x));
        f.PName = PatternName(ws);
        if (const int32_t line = PickLine(ws, x)) {
            if (!LineUsable(ws, f.AnchorLine)) {
                // A stretch keeps one line in place: without it there is none.
                f.RightButtonDown = false;
                host.message("Pick the line that stays in place with the left button first; then stretch with the "
                             "right button");
                return;
            }
            f.StretchLine = line;
            f.StretchPicked = true;
            HoldCrossHair(chart, true);
            ShowPickedLine(ws, line);
        }
    }
    if (left && (keys.KeyAHeld || keys.KeyZHeld)) {
        chart.CrossHair4().SetPosX(f.LineRangeFirstClick);
        if (ws.RangeClickCount == 0) {
            chart.CrossHair3().SetPosX(0);
            f.LineRangeFirstClick = x;
            chart.CrossHair4().SetPosX(x);
        }
        if (++ws.RangeClickCount >= 2) {
            chart.CrossHair3().SetPosX(x);
            ws.RangeClickCount = 0;
            MarkRange(ws, host, f.LineRangeFirstClick, x);
        }
    }
}

void LineScanMouseUp(Workspace& ws, bool left, double x) {
    TForm34& f = ws.Form34;
    f.LeftButtonDown = f.RightButtonDown = false;
    if (!std::isfinite(x)) x = 0;
    if (left && f.AnchorPicked) {
        f.AnchorPicked = false;
        HoldCrossHair(f.RChart1, false);
        if (LineUsable(ws, f.AnchorLine)) {
            const double a = ws.StandardLinePixels[static_cast<size_t>(f.AnchorLine)];
            MoveSticks(ws, f.AnchorLine, RoundHalfEven(x - a), ws.FrameTools.KeySHeld);
        }
        PlotLineScan(ws);
    }
    if (!left && f.StretchPicked) {
        f.StretchPicked = false;
        HoldCrossHair(f.RChart1, false);
        if (LineUsable(ws, f.AnchorLine) && LineUsable(ws, f.StretchLine)) {
            const double a = ws.StandardLinePixels[static_cast<size_t>(f.AnchorLine)];
            const double s = ws.StandardLinePixels[static_cast<size_t>(f.StretchLine)];
            StretchSticks(ws, a, std::abs(s - a) > 0 ? (x - a) / (s - a) : 0);
        }
        PlotLineScan(ws);
    }
}

void LineScanZoomOut(Workspace& ws) {
    ws.LineMark1 = 1.0;
    ws.LineMark2 = std::max(LineProfileLength(ws), 1);
    PlotLineScan(ws);
}

void SnapStandardLines(Workspace& ws) {
    PlotProfile(ws);
    const int32_t n = LineProfileLength(ws);
    const MineralRecord* pattern = DrawnPattern(ws);
    for (int32_t i = 1, lines = DrawnLineCount(ws); i <= lines; ++i) {
        if (!LineUsable(ws, i)) continue;
        double& p = ws.StandardLinePixels[static_cast<size_t>(i)];
        const double c = RoundHalfEven(p);
        const int32_t from = std::max(RoundToInt(std::max(c - SnapReach, ws.LineMark1)), 1);
        const int32_t to = std::min(RoundToInt(std::min(c + SnapReach, ws.LineMark2)), n);
        double best = 0, floor = std::numeric_limits<double>::infinity();
        int32_t top = 0;
        for (int32_t j = from; j <= to; ++j) {
            const double v = ws.LineScanData[static_cast<size_t>(j)];
            floor = std::min(floor, v);
            if (v > best) {
                best = v;
                top = j;
            }
        }
        // The lowest point in reach stands for the background under the peak.
        p = top > 0 ? top + PeakFraction(ws, top, floor) : c;
        DrawStick(ws, *pattern, i);
    }
    double smallest = 10000, largest = 0;
    for (int32_t j = std::max(RoundToInt(ws.LineMark1), 1); j <= std::min(RoundToInt(ws.LineMark2), n); ++j) {
        smallest = std::min(smallest, ws.LineScanData[static_cast<size_t>(j)]);
        largest = std::max(largest, ws.LineScanData[static_cast<size_t>(j)]);
    }
    ws.Form34.RChart1.SetLayerRange(1, ws.LineMark1, std::min(smallest, 0.0), ws.LineMark2, 1.1 * largest);
    ws.Form34.RChart1.ShowItems();
}

// ---- Calibrations -----------------------------------------------------------------------

bool WavelengthFromStandard(Workspace& ws, Host& host) {
    if (NeedStandard(ws, host) < 1) return false;
    const MineralRecord* pattern = DrawnPattern(ws);
    const std::vector<StickLine> lines = pattern ? SticksInsideMarks(ws, *pattern) : std::vector<StickLine>{};
    const bool alongX = AlongX(ws);
    double sum = 0;
    int32_t count = 0;
    for (const StickLine& l : lines) {
        const int32_t along = RoundToInt(l.Pixel);
        const int32_t i = alongX ? along : ws.LineScanIndex, j = alongX ? ws.LineScanIndex : along;
        if (!ws.FramePixels.HasGeometry() || i < 1 || j < 1 || i > ws.FrameWidth || j > ws.FrameHeight) continue;
        sum += 2 * l.D * std::sin(ws.FramePixels.TwoTheta[i][j] * RadPerDegree / 2);
        ++count;
    }
    if (count == 0) {
        host.message(std::string(NoLinesInside) + " on the frame: no wavelength can be computed");
        return false;
    }
    const double landa = sum / count;
    if (!(landa >= TypedWavelengthMin && landa <= TypedWavelengthMax)) {
        host.message("Wavelength = " + FormatWavelength(landa) + " is not between " + FormatGeneral(TypedWavelengthMin) +
                     " and " + FormatGeneral(TypedWavelengthMax) + " angstrom: the sticks do not lie on their lines");
        return false;
    }
    if (!Offer(ws, host, "Wavelength = " + FormatWavelength(landa))) return false;
    return ApplySetting(ws, host, ws.Form32.ELanda, &ws.Form32.CBlanda, FormatWavelength(landa));
}

LineScanFit DetectorAngleFit(const Workspace& ws, int32_t pattern) {
    if (pattern < 1 || pattern > ws.MineralCount || static_cast<size_t>(pattern) >= ws.MineralTable.size())
        return FailedFit(NoStandard);
    const double k = ws.DSize > 0 ? ws.FrameSize * ws.Distance / ws.DSize : 0;
    if (!(k > 0) || !std::isfinite(k))
        return FailedFit("The distance and detector size give no distance in pixels: no angle can be computed");
    const double centre = AlongX(ws) ? ws.Xo : ws.Yo;
    TCurveFit fitter;
    const MineralRecord& record = ws.MineralTable[static_cast<size_t>(pattern)];
    for (const StickLine& l : SticksInsideMarks(ws, record))
        fitter.AddPoint(std::atan((l.Pixel - centre) / k) / RadPerDegree, l.TwoTheta);
    return FitLine(fitter);
}

bool DetectorAngleFromStandard(Workspace& ws, Host& host) {
    if (NeedStandard(ws, host) < 1) return false;
    if (!ws.FlatDetector) {
        host.message("The detector angle is found on a flat detector only");
        return false;
    }
    const int32_t drawn = DrawnPattern(ws) ? RoundToInt(ws.StandardLinePixels[0]) : 0;
    const LineScanFit fit = DetectorAngleFit(ws, drawn);
    if (!fit.Ok) {
        host.message(fit.Reason);
        return false;
    }
    // The line reaches 2-theta 0 at the detector's angle, on either side of the beam.
    const double angle = fit.Slope > 0 ? -fit.Intercept : fit.Intercept;
    const bool alongX = AlongX(ws);
    const std::string text = std::string(alongX ? " 2Theta detector = " : "Tilting around X axis = ") +
                             FormatNumber(angle) + " " + FormatNumber(fit.R2);
    if (!TiltAlongProfile(ws)) {
        Log(ws, host, text);
        host.message(text + "\nThe detector is swung in the other direction (Diffractometer Settings, vertical): "
                            "this angle is not one of its settings and was not applied");
        return false;
    }
    if (!Offer(ws, host, text)) return false;
    // The box holds the angle without the offset that Apply adds to it.
    double offset = 0;
    if (!TryParseNumber(ws.Form32.Eth2offset, offset)) offset = 0;
    return ApplySetting(ws, host, ws.Form32.E2thetaD, &ws.Form32.CB2thetaD, FormatNumber(angle - offset));
}

LineScanFit LineScanCalibrationFit(const Workspace& ws, int32_t pattern) {
    if (pattern < 1 || pattern > ws.MineralCount || static_cast<size_t>(pattern) >= ws.MineralTable.size())
        return FailedFit(NoStandard);
    const TForm32& f = ws.Form32;
    if (!f.RFlat && !f.RCylindrical)
        return FailedFit("The calibrations from a line scan need a flat or cylindrical detector");
    const bool arc = f.RCylindrical && AlongX(ws);
    const double t = f.RFlat && TiltAlongProfile(ws) ? ws.TwoThetaD : 0;
    const std::vector<StickLine> lines = SticksInsideMarks(ws, ws.MineralTable[static_cast<size_t>(pattern)]);
    // Whether the profile runs away from the beam as 2-theta grows.
    double meanPixel = 0, meanTwoTheta = 0, covariance = 0;
    for (const StickLine& l : lines) {
        meanPixel += l.Pixel / static_cast<double>(lines.size());
        meanTwoTheta += l.TwoTheta / static_cast<double>(lines.size());
    }
    for (const StickLine& l : lines) covariance += (l.Pixel - meanPixel) * (l.TwoTheta - meanTwoTheta);
    const double side = covariance >= 0 ? 1 : -1;
    TCurveFit fitter;
    for (const StickLine& l : lines) {
        const double g = l.TwoTheta + side * t;
        if (arc) fitter.AddPoint(l.TwoTheta, l.Pixel);
        else if (std::abs(g) < 90) fitter.AddPoint(std::tan(g * RadPerDegree), l.Pixel);
    }
    return FitLine(fitter);
}

bool CalibrateFromStandard(Workspace& ws, Host& host, LineScanRequest request) {
    if (NeedStandard(ws, host) < 1) return false;
    const int32_t drawn = DrawnPattern(ws) ? RoundToInt(ws.StandardLinePixels[0]) : 0;
    const LineScanFit fit = LineScanCalibrationFit(ws, drawn);
    if (!fit.Ok) {
        host.message(fit.Reason);
        return false;
    }
    TForm32& f = ws.Form32;
    const bool alongX = AlongX(ws);
    const bool cylinder = f.RCylindrical;
    const bool arc = cylinder && alongX;
    const double k = std::abs(fit.Slope), c = fit.Intercept;
    const std::string axis = alongX ? "X" : "Y";
    const std::string centreText = " " + axis + "center = " + FormatNumber(c, 7, 1) + " " + FormatNumber(fit.R2);
    // The cylinder's length and radius as the boxes hold them.
    double length = 0, radius = 0;
    if (cylinder && (!TryParseNumber(f.ELength, length) || !TryParseNumber(f.ERadius, radius) || !(length > 0) ||
                     !(radius > 0))) {
        host.message("The detector's length and radius must be numbers above 0");
        return false;
    }
    const double width = ws.FrameWidth;
    // Size: the cylinder's length (across its axis: pixels per degree; along
    // it: the radius in pixels), else the side FrameSize pixels span.
    const double size = arc ? radius * (width / k) * std::numbers::pi / 180
                       : cylinder ? radius * width / k
                                  : ws.FrameSize * ws.Distance / k;
    std::string text, value;
    std::string* box = nullptr;
    bool* tick = nullptr;
    double result = c;
    switch (request) {
    case LineScanRequest::DetectorSize:
        result = size;
        text = "detector size in " + axis + " = " + FormatNumber(size) + centreText;
        box = cylinder ? &f.ELength : &f.EDSize;
        tick = cylinder ? nullptr : &f.CBDSize;
        break;
    case LineScanRequest::Distance:
        result = cylinder ? (arc ? length * radius / size : k * length / width) : ws.DSize * k / ws.FrameSize;
        text = (cylinder ? "Radius of Camera = " : "distance = ") + FormatNumber(result) + centreText;
        box = cylinder ? &f.ERadius : &f.EDistance;
        tick = cylinder ? nullptr : &f.CBDistance;
        break;
    case LineScanRequest::Centre:
        text = centreText;
        box = alongX ? &f.EXoM : &f.EYoM;
        tick = alongX ? &f.CBXo : &f.CBYo;
        break;
    }
    if (!std::isfinite(result) || (request != LineScanRequest::Centre && !(result > 0))) {
        host.message("The fit gives no usable value: " + text);
        return false;
    }
    value = request == LineScanRequest::Centre ? FormatNumber(result, 7, 1) : FormatNumber(result);
    if (!Offer(ws, host, text)) return false;
    // Every request applies the centre along the profile with its value.
    std::vector<Setting> settings{{box, tick, value}};
    const std::string centre = FormatNumber(c, 7, 1);
    if (request != LineScanRequest::Centre)
        settings.push_back({alongX ? &f.EXoM : &f.EYoM, alongX ? &f.CBXo : &f.CBYo, centre});
    if (!ApplySettings(ws, host, settings)) return false;
    (alongX ? ws.Form27.EXoM : ws.Form27.EYoM) = centre;
    if (request == LineScanRequest::Centre) {
        // The standard placed afresh about the new centre.
        PlotProfile(ws);
        if (const int32_t m = SelectedStandard(ws); m >= 1) DrawStandardLines(ws, m, ws.StandardScale, ws.StandardShift);
        ws.Form34.RChart1.ShowItems();
    }
    return true;
}

// ---- The ".pxs" file ----------------------------------------------------------------

std::vector<std::string> LineScanFileLines(const Workspace& ws) {
    const bool alongX = AlongX(ws);
    std::vector<std::string> lines{ws.CurrentFile, std::string("Intensity profile at ") + (alongX ? "Y = " : "X = ") +
                                                       std::to_string(ws.LineScanIndex)};
    const int32_t n = std::min(LineProfileLength(ws), alongX ? ws.FrameWidth : ws.FrameHeight);
    for (int32_t i = 1; i <= n; ++i)
        lines.push_back(std::to_string(i) + "  " + FormatIntWidth(RoundToInt64(ws.LineScanData[static_cast<size_t>(i)]), 10));
    return lines;
}

void SaveLineScan(Workspace& ws, Host& host) {
    if (LineProfileLength(ws) < 1 || (!ws.LineScanAlongX && !ws.LineScanAlongY)) {
        host.message("Make a line scan first");
        return;
    }
    const auto name = host.askSaveFileName(ProposedSaveName(ws.CurrentFile, ".pxs"),
                                           "Intensity profiles (*.pxs)|*.PXS|All files (*.*)|*.*");
    if (!name) return;
    try {
        const std::string path = WithExtension(*name, ".pxs");
        RefuseFrameOverwrite(ws, path);
        WriteTextLines(path, LineScanFileLines(ws));
    } catch (const FileError& e) {
        host.message(e.what());
    }
}

void DrawStandardOnLineScan(Workspace& ws, int32_t pattern, double scale, double shift) {
    if (!ws.Form34.Visible) {
        // Positions are placed only on the chart they are drawn on.
        std::fill(ws.StandardLinePixels.begin() + 1, ws.StandardLinePixels.end(), NoStandardLinePixel);
        return;
    }
    ws.StandardLinePixels[0] = pattern;
    PlotProfile(ws);
    DrawStandardLinesOnLineScan(ws, ws.Form34.RChart1, pattern, scale, shift);
    ws.Form34.PName = PatternName(ws);
}

void SetUpLineScanTool(Workspace& ws) {
    std::fill(ws.StandardLinePixels.begin() + 1, ws.StandardLinePixels.end(), NoStandardLinePixel);
    TRChart& chart = ws.Form34.RChart1;
    SetCrossHairs(chart, {{chVert, clBlack, psSolid, 1, 1},
                          {chVert, clGreen, psSolid, 1, 1},
                          {chVert, clBlack, psDot, 1, 1},
                          {chVert, clBlack, psDot, 1, 1}});
    chart.SetMouseAction(maDragCrossH);
    chart.SetMarginRight(20);
    chart.SetMarginTop(20);
    chart.SetMarginBottom(40);
    chart.Scale1X().SetCaption("Pixels");
    chart.Scale1X().SetRangeHigh(512);
    chart.Scale1X().SetMinTicks(5);
    chart.Scale1X().SetShortTicks(true);
    chart.Scale1Y().SetRangeHigh(4000);
    chart.Scale1Y().SetMinTicks(3);
    ws.Hooks.DrawStandardOnLineScan = DrawStandardOnLineScan;
}

} // namespace orv
