#pragma once
// How a chart turns its state into drawing calls. A paint of the whole
// control is: window step on the window bitmap (Width x Height), area step
// and render step on the area bitmap (AreaBitmapSize), the area bitmap put
// at (MarginLeft, MarginTop), then the crosshairs on top.

#include "chart/chart_canvas.h"
#include "chart/rchart.h"

namespace orv {

// Line-to points are drawn as polylines of at most this many points.
constexpr int kPolylineBatch = 200;
// Item points are clamped this far around the control before drawing.
constexpr int kItemPixelLimit = 30000;

// The plot-area bitmap: one pixel larger than the plot area, never negative.
TSize AreaBitmapSize(const TRChart& chart);

// Background, chart caption and the 32 axis scales.
void PaintWindowStep(const TRChart& chart, TChartCanvas& canvas, bool blackAndWhite = false);
// The plot area filled with ChartColor and outlined in ChartFrameColor, its
// top-left corner at (x0, y0).
void PaintAreaStep(const TRChart& chart, TChartCanvas& canvas, int x0, int y0,
                   bool blackAndWhite = false);
// Every visible item (line-to runs in polylines of up to 200 points,
// markers), then the plot frame over the data. Black-and-white draws every
// item in black.
void PaintRenderStep(const TRChart& chart, TChartCanvas& canvas, int x0, int y0,
                     bool blackAndWhite = false);
// The crosshairs that are on, drawn only strictly inside the plot area, on a
// bitmap whose top-left corner lies at control pixel (ox, oy).
void PaintCrossHairs(const TRChart& chart, TChartCanvas& canvas, int ox, int oy);
// One marker centred on (x, y) with the current pen; type 17 (the one the
// program uses, and the stand-in for every other type) is an open circle 7
// pixels across.
void DrawMarker(TChartCanvas& canvas, int markerType, int x, int y);

} // namespace orv
