#pragma once
// The frame window's mouse and key handling: the read-outs under the mouse,
// the eraser, the centre pick, the ring points of the circle fit and the
// four-click sector. Mouse positions are screen pixels of Form1.Image1; the
// tool in use comes from Workspace::FrameTools.

#include <cstdint>
#include <string>

namespace orv {

class Host;
struct LabPoint;
struct Workspace;

// The frame pixel under screen pixel (x, y): Round(x g), Round(y g). True
// when it lies in the frame (1..FrameWidth, 1..FrameHeight).
bool ScreenToFrame(const Workspace& ws, double x, double y, int32_t& column, int32_t& row);

// What a mouse-down asks of the windows around the frame window.
struct FrameClick {
    bool ShowZoom = false;          // a frame is loaded: the zoom window is shown
    bool ShowCentreWindow = false;  // a centre was picked ('C' held): "Find pattern center" is shown
};

// TForm1.Image1MouseDown (left button): erasing, the centre pick (its boxes,
// then the centre command through Hooks.FindCentre on the picked centre),
// the ring point of the circle fit and the four-click sector.
FrameClick Image1MouseDown(Workspace& ws, Host& host, int32_t x, int32_t y);
// TForm1.Image1MouseMove: read-outs, zoom, crosshair 1 of the 2-theta scan
// window's working chart at the pixel's 2-theta, and erasing while the
// button is held.
void Image1MouseMove(Workspace& ws, Host& host, int32_t x, int32_t y);
// TForm1.Image1MouseUp: after erasing, the 2-theta scan is made anew.
void Image1MouseUp(Workspace& ws, Host& host);
// The read-outs of the zoom image's pixel (x, y).
void ZoomImageMouseMove(Workspace& ws, int32_t x, int32_t y);
// FormKeyDown / FormKeyUp: the 'A', 'S', 'C' and 'Z' held flags.
void FrameKeyDown(Workspace& ws, int key);
void FrameKeyUp(Workspace& ws, int key);
// Whether `key` is one that the tools hold ('A', 'S', 'C', 'Z').
bool IsToolKey(int key);
// ZoomCircle1Click: only answers "Need to open a file first" without a frame.
void ZoomCircle1Click(Workspace& ws, Host& host);

// Masks the square of half-width Round(EraserSize g) about frame pixel
// (column, row), kept inside the frame, and paints the square of half-width
// EraserSize about screen pixel (x, y) in the masked colour.
void EraseAt(Workspace& ws, int32_t x, int32_t y, int32_t column, int32_t row);
// The brightest pixel above 1 within 5 pixels of (column, row), kept inside
// the frame; the pixel itself when none is above 1.
void FindRingPoint(const Workspace& ws, int32_t column, int32_t row, int32_t& pointColumn, int32_t& pointRow);
// A pixel projected onto the flat detector plane: u = X D / Y, v = Z D / Y
// with D = FlatDistancePixels. False for pixels at or behind 90 degrees
// (Y <= 0), which have no projection.
bool ProjectToFlatPlane(const Workspace& ws, const LabPoint& pixel, double& u, double& v);
// A ring point for the circle fit at frame pixel (column, row): the
// brightest pixel nearby, projected onto the flat plane, is added to
// CurveFit1 and CentrePoints and marked by a dotted blue circle. A point at
// or beyond 90 degrees 2-theta is skipped (false).
bool PickRingPoint(Workspace& ws, int32_t column, int32_t row);
// One click towards a four-click sector at screen (x, y) on frame pixel
// (column, row); the fourth sets the sector, redraws and scans.
void SectorClick(Workspace& ws, Host& host, int32_t x, int32_t y, int32_t column, int32_t row);
// A four-click sector given up before its fourth click (Escape, a click
// beside the frame, another tool, a new frame, a sector set elsewhere): the
// count starts again and the crosses of the clicks so far go. False when no
// click had been made.
bool AbandonSectorClicks(Workspace& ws, Host& host);
// What the next click on the frame does towards a four-click sector, for the
// frame window's status text; empty while no sector tool or key is in use.
std::string SectorClickPrompt(const Workspace& ws);

} // namespace orv
