#pragma once
// The scan-series window ("2ThetaScanSeries") and the d-spacing window
// ("d-spacing").
//
// The series keeps the 2-theta scans of the latest ScanSeriesSlots frames
// loaded: list row r (Form9.LPWD[r]) names the scan in ScanSeries[r], and
// when a scan arrives with every slot taken the oldest leaves with its name,
// so rows and curves never part. The window overlays them (the selected one
// in red), reads a scan's value under a click, zooms to a two-click range
// and saves them all as one table.
//
// The d-spacing window plots DSpacingData (sector_reductions.h) against psi,
// reads it under the mouse and saves it as a table; both use the d-spacing
// table's own step and row count, never the psi scan's step.

#include <cstdint>
#include <string>
#include <vector>

#include "chart/rchart.h"

namespace orv {

class Host;
struct DSpacingTable;
struct Workspace;

// Scans the series keeps.
constexpr int ScanSeriesSlots = 21;

// "2ThetaScanSeries"
struct TForm9 {
    TRChart RChart1;
    std::vector<std::string> LPWD;   // the list: row r names the scan in ScanSeries[r]
    int ItemIndex = -1;              // the selected row, -1 when none
    double SeriesMax = 0;            // the largest intensity of the last redraw (the zoom-out top)
    float SeriesValue = 0;           // the selected scan's intensity at the last click
    double SeriesMarkX = 0;          // the 2-theta of the last click
    double RangeFirstClick = 0;      // x of the first click of a two-click zoom
    bool RedrawOwed = false;         // the chart is to be drawn anew (SettleScanSeries)
};

// "d-spacing"
struct TForm10 {
    TRChart RChart1;
    bool Visible = false;            // the d-spacing command shows the window
};

// ---- The scan series --------------------------------------------------------

// The loading worker's step after each frame's 2-theta scan: SectorScan is
// stored under CurrentFile (the oldest scan leaving when the series is full)
// and drawn on the series chart, in red with width 2 for the first frame of
// the program and grey otherwise, its range grown to the extremes of every
// scan drawn since the last File Open. When a scan left the series, or the
// chart was cleared, the chart is drawn anew from the listed scans.
// `redrawLater`: a run nobody watches leaves the redraws of a full series
// (every later frame draws it anew again) to SettleScanSeries.
void AddScanToSeries(Workspace& ws, bool redrawLater = false);
// The redraw a run left for later, when one is owed.
void SettleScanSeries(Workspace& ws);

// Redraws every listed scan, points 1..ScanPoints each from (0, 0): grey,
// the selected one red with width 2 and drawn once more on top. SeriesMax
// becomes the largest intensity drawn.
void PlotScanSeries(Workspace& ws);
// Showing the window and Zoom > "Out": the redraw, then 2-theta over the
// frame profile's range (its extrema brought up to date) and intensity
// 0..1.05 x SeriesMax.
void ShowScanSeries(Workspace& ws);
// Clicking list row `row`; a row outside the list selects nothing.
void SelectSeriesRow(Workspace& ws, int row);
// Keys over the chart: Down selects the next row (after the last, the
// first), Up the previous (before the first, the last), each with a redraw;
// 'Z' is held for a zoom; any key counts as held.
void SeriesKeyDown(Workspace& ws, int key);
void SeriesKeyUp(Workspace& ws, int key);
// The read-out: 2-theta, d-spacing, the value of the last click and where
// it was.
void SeriesMouseMove(Workspace& ws, double x);
// A click: the selected scan's value at x (its last point at or left of x;
// nothing changes left of its first point); without 'A' or 'Z' held the mark
// moves to x; with 'Z' one end of a two-click zoom, whose second click shows
// the range up to the largest value of any listed scan inside it.
void SeriesMouseDown(Workspace& ws, double x);

// The series table: an empty line, the first 2-theta, the step and the
// wavelength; the listed names; then one line per point 0..ScanPoints with
// its 2-theta and the intensity of every listed scan (without line ends).
std::vector<std::string> SeriesTableLines(const Workspace& ws);
// File > "SaveScanToFile": asks for the name and writes the table; a file
// that cannot be written is reported.
void SaveScanSeries(Workspace& ws, Host& host);

// ---- d-spacing against psi ---------------------------------------------------

// The row a psi x reads: x rounded to whole degrees, then to the nearest
// row, kept inside the table; psi 360 reads row 0, the same direction. -1
// for an empty table.
int32_t DSpacingRowAt(const DSpacingTable& table, double x);
// Draws DSpacingData on the d-spacing chart (red, from (0, 0), psi 0..360,
// d from 0 to 1.1 x the largest) and makes the window visible.
void PlotDSpacing(Workspace& ws);
// The read-out: whole degrees of psi and the d-spacing there.
void DSpacingMouseMove(Workspace& ws, double x);
// The d-spacing table: the frame's path, "Psi angle", then psi = i x step
// and the d-spacing for rows i = 1..count, the last (360 degrees) reading
// row 0 (without line ends).
std::vector<std::string> DSpacingTableLines(const Workspace& ws);
// File > "SaveToFile".
void SaveDSpacingTable(Workspace& ws, Host& host);

// Crosshairs and axis captions of the two charts; the batch's d-spacing
// step plots its result too.
void SetUpSeriesWindows(Workspace& ws);

} // namespace orv
