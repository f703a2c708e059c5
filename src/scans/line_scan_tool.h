#pragma once
// The line-scan tool ("X Line scan"): the intensity profile along one frame
// row or column (LineScanData, made by XLineScan / YLineScan), the sticks of
// a powder standard over it, and the detector settings derived from them.
//
// The sticks are placed by the overlay (DrawStandardLines) and then moved
// here: StandardLinePixels[i] is line i's position in pixels along the
// profile (NoStandardLinePixel when it has no stick). The left button picks
// a line and drags the pattern (with 'S' held, that line alone); the right
// button picks a second line and stretches the pattern about the first
// (the anchor); "Adjust Std lines to peaks" snaps every stick to the
// highest point within 10 pixels and then to the vertex of the parabola
// through it and its two neighbours, between pixels. With 'A' or 'Z' held two left clicks mark
// a range, which the chart shows and whose centroid is logged; only sticks
// strictly inside the marked range enter a calibration.
//
// The calibrations fit straight lines through the sticks, seen along the
// scanned direction:
//   flat detector (and a cylinder along its axis):
//       p = c + k tan(2-theta + s t)
//   cylinder across its axis (profile along X):
//       p = c + k 2-theta
// p the stick's pixel, c the beam centre, |k| the distance in pixels (or
// pixels per degree), s = +1 where the profile runs away from the beam as
// 2-theta grows and -1 where it runs towards it, t the detector angle where
// the detector is swung in the scanned direction (0 otherwise). Each result
// goes to the logbook and, after ", Apply?" is answered Yes, through the
// Detector Settings' Apply, which changes that value (the detector size and
// the distance together with the centre c along the profile) and recomputes
// the geometry, the picture and the scan.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chart/rchart.h"

namespace orv {

class Host;
struct Workspace;

// "X Line scan"
struct TForm34 {
    TRChart RChart1;
    std::string Caption = "X Line scan";   // " X  Line Scan at Y = ..." once a scan is shown
    std::string Panel3;                    // "Y = " / "X = " and the row or column, or the frame's caption
    std::string PName;                     // the standard's name, or the picked line
    bool Visible = false;
    int32_t AnchorLine = 0;                // the line last picked with the left button (0: none yet)
    int32_t StretchLine = 0;               // the line picked with the right button
    bool AnchorPicked = false, StretchPicked = false;
    bool LeftButtonDown = false, RightButtonDown = false;
    double LineRangeFirstClick = 0;        // x of the first click of a two-click range
};

// What a calibration request computes.
enum class LineScanRequest { DetectorSize, Distance, Centre };

// ---- The profile and its window ---------------------------------------------------

// Values of the profile (LineScanData[1..n]).
int32_t LineProfileLength(const Workspace& ws);
// The profile's value at a pixel x along it, the index rounded and kept
// inside the profile; 0 without one.
double LineProfileValue(const Workspace& ws, double x);
// Showing the window: nothing held or picked, no range begun, the marks
// over the whole profile; a detector that is not flat clears FlatDetector.
void LineScanFormShow(Workspace& ws);
// Draws the profile (black) over the marked range, the window's caption and
// crosshairs 2..4, then the sticks.
void PlotLineScan(Workspace& ws);
// The sticks of the standard drawn on this chart, in red, width 2, each as
// high as 0.9 of the chart's y range times the line's relative intensity.
void DrawLineScanSticks(Workspace& ws);
// A line scan made from the menus: the scan as the frame window's command
// makes it, then the window shown with it. False when no scan was made.
bool ShowLineScan(Workspace& ws, Host& host, bool alongX, const std::optional<std::string>& widthAnswer);

// Keys over the window (Windows key codes): 'S' held moves one line only,
// 'A' or 'Z' held make left clicks mark a range; the arrows step the row
// (Up, Down: a profile along X) or column (Left, Right: along Y) and scan it.
void LineScanKeyDown(Workspace& ws, Host& host, int key);
void LineScanKeyUp(Workspace& ws, int key);

// ---- Mouse: picking, dragging, stretching, marking -----------------------------------

// The pick reach around a stick: 10 pixels on frames of 2500 pixels and more, else 5.
double LineScanPickReach(const Workspace& ws);
void LineScanMouseMove(Workspace& ws, double x);
// `left`: the left button, else the right. A right click on a line while no
// line was ever picked with the left button is refused with a message: a
// stretch needs its fixed line.
void LineScanMouseDown(Workspace& ws, Host& host, bool left, double x);
void LineScanMouseUp(Workspace& ws, bool left, double x);
// Zoom > "Out": the marks over the whole profile.
void LineScanZoomOut(Workspace& ws);
// "Adjust Std lines to peaks": each stick to the highest positive point
// within 10 pixels (inside the marks; the first of equal ones), or where it
// is when there is none; the chart then shows the marked range.
void SnapStandardLines(Workspace& ws);

// ---- Calibrations -----------------------------------------------------------------------

// What a calibration found; Ok false with the reason when it could not.
struct LineScanFit {
    bool Ok = false;
    std::string Reason;
    double Slope = 0, Intercept = 0, R2 = 0;
    int32_t Lines = 0;
};

// The wavelength: for each stick inside the marks, 2 d sin(2-theta / 2) with
// the 2-theta of its pixel on the scanned row or column; their mean.
// "Wavelength = ..." is logged and offered. Returns whether it was applied.
bool WavelengthFromStandard(Workspace& ws, Host& host);
// The detector angle (flat detector): 2-theta of each line against
// atan((p - centre) / distance in pixels); the fitted line reaches 2-theta 0
// at the angle. Along X it is the detector's 2-theta, along Y its tilt about
// the X axis; it is applied where the detector is swung in that direction.
bool DetectorAngleFromStandard(Workspace& ws, Host& host);
// The detector size, the distance (camera radius) or the centre along the
// scanned direction from the fit described above; every request applies
// the centre it found too.
bool CalibrateFromStandard(Workspace& ws, Host& host, LineScanRequest request);
// The fits themselves, without reporting: the points of the sticks inside
// the marks and the straight line through them.
LineScanFit DetectorAngleFit(const Workspace& ws, int32_t pattern);
LineScanFit LineScanCalibrationFit(const Workspace& ws, int32_t pattern);

// ---- The ".pxs" file ----------------------------------------------------------------

// The frame's path, "Intensity profile at Y = <row>" (or "at X = <column>"),
// then "<i>  <value>" for every pixel, the value rounded and right-aligned
// in 10 characters (without line ends).
std::vector<std::string> LineScanFileLines(const Workspace& ws);
// File > "Save Scan To File": the chosen name with ".pxs" appended.
void SaveLineScan(Workspace& ws, Host& host);

// The overlay's part on this chart (Hooks.DrawStandardOnLineScan, and a
// standard clicked in the pattern list): while the window is visible the
// profile is redrawn with the pattern's sticks placed afresh; while it is
// hidden no line keeps a position.
void DrawStandardOnLineScan(Workspace& ws, int32_t pattern, double scale, double shift);

// The chart's look, no line of a standard placed yet, and the overlay's hook.
void SetUpLineScanTool(Workspace& ws);

} // namespace orv
