#pragma once
// The powder-standard overlay: the lines of the standard selected in the
// pattern list drawn as red sticks over the 2-theta scan (and over the
// line-scan chart while that window is visible), moved and stretched by the
// scan window's buttons or laid onto the scan by "AA". The calibration fit
// places its rings by the same mapping.
//
// A line of 2-theta T (2 arcsin(Landa / 2d)) is drawn at
//   T' = StandardShift + r + StandardScale x (T - r),
// r being the 2-theta of the pattern's first line that has one.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class Host;
class TRChart;
struct MineralMatchScore;
struct MineralRecord;
struct Workspace;

// Lines of d-spacing 0.5 A or less take no part in the overlay.
constexpr double StandardMinD = 0.5;

// The reference 2-theta r: that of the pattern's first line with a 2-theta
// (d above 0.5 A and Landa / 2d at most 1); 0 when no line has one.
double StandardReferenceTwoTheta(const MineralRecord& pattern, double landa);

// Where a line of 2-theta `t` is drawn for the reference `r`.
inline double PlacedTwoTheta(double t, double r, double scale, double shift) { return shift + r + scale * (t - r); }

// A stick's height on a chart whose y axis reaches `top`, for a line of
// relative intensity `intensity` (0..100): 0.9 x top x intensity / 100,
// rounded to a whole number.
double StandardStickHeight(double top, double intensity);

// The pixel of the line-scan chart a line placed at `placed` degrees is drawn
// at: placed x frameSize / 50, rounded, and mirrored (frameWidth - P) when
// the detector stands above 10 degrees.
double StandardLinePixel(double placed, int32_t frameSize, int32_t frameWidth, double twoThetaD);

// Draws pattern `pattern` (an index of MineralTable) with `scale` and
// `shift`: StandardLinePixels[0] := the pattern; with something loaded, one
// red stick (width 2) per line over the 2-theta scan chart, and, through
// Hooks.DrawStandardOnLineScan, over the visible line-scan chart.
void DrawStandardLines(Workspace& ws, int32_t pattern, double scale, double shift);

// StandardLinePixels entry of a line with no stick on the line-scan chart.
constexpr double NoStandardLinePixel = std::numeric_limits<double>::quiet_NaN();

// The line-scan window's part: StandardLinePixels[1..100] := none, then one
// red stick per line at StandardLinePixel(T') on `chart` (height from the
// chart's y axis), its pixel stored in StandardLinePixels[line]; the chart
// is shown. For the line-scan window, which calls it while it is visible.
void DrawStandardLinesOnLineScan(Workspace& ws, TRChart& chart, int32_t pattern, double scale, double shift);

// ---- The scan window's buttons ------------------------------------------------
// Each needs a selected standard ("Need to select a standard!" otherwise,
// changing nothing), replots the scan, draws the lines and writes the
// logbook line. They return whether they did anything.

// "Shift left" / "Shift right" (a scan step), "<<" / ">>" (0.5 degrees).
bool ShiftStandard(Workspace& ws, Host& host, double degrees);
// "Expand" (x 1.005) and "Contract" (x 0.995).
bool ScaleStandard(Workspace& ws, Host& host, double factor);

// What "AA" finds on a scan.
struct StandardAdjustment {
    bool Found = false;     // a line of the pattern lies on the scan
    double Shift = 0, Scale = 1;
    double L1 = 0, S1 = 0;  // the strongest line and the scan's peak next to it
    double L2 = 0, S2 = 0;  // the strongest line far from L1 and its peak (0 when none)
};
// The scan's points 1..n: twoTheta[k], intensity[k] (index 0 unused).
// `low` and `high`: the range the lines are taken from (strictly inside).
// The strongest line L1 is laid onto the highest point within 0.5 degrees of
// it (S1); the strongest line farther than a quarter of the range from it,
// L2, onto its own (S2). The scale is |S2 - S1| / |L2 - L1| when that lies
// strictly between 0.9 and 1.1 (and |L2 - L1| > 1), else 1; the shift then
// puts L1 exactly on S1.
StandardAdjustment AdjustStandardToScan(const std::vector<float>& twoTheta, const std::vector<float>& intensity,
                                        const MineralRecord& pattern, double landa, double low, double high);
// "AA": the adjustment on the current scan, over its 2-theta range. A
// pattern with no line on the scan is refused with a message.
bool AutoAdjustStandard(Workspace& ws, Host& host);

// ---- The pattern list's hooks ----------------------------------------------------

// A row of the list was clicked: the placement starts afresh (shift 0,
// scale 1) and, with a frame loaded and the 2-theta scan shown, the scan is
// replotted with the pattern over it. Returns whether it was drawn.
bool StandardSelected(Workspace& ws, Host& host, int32_t pattern);
// "Find Match" listed a pattern: the scan replotted with the simulated
// lines of its score over it (at their 2-theta, full strength).
void DrawMatchSticks(Workspace& ws, Host& host, const MineralMatchScore& score);
// After every 2-theta scan: the selected standard over it, while the list is
// shown.
void DrawSelectedStandard(Workspace& ws, Host& host);

// The text under the mouse at 2-theta x over the scan: the selected
// pattern's name and the hkl of a line drawn within 0.1 degrees of x (the
// last such line); nothing when none is.
std::optional<std::string> StandardLineLabel(const Workspace& ws, double x);

} // namespace orv
