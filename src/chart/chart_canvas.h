#pragma once
// The drawing surface the chart and its scales paint on. The core decides
// every pixel position; a painter (QPainter on a QImage in the program, a
// recorder in tests) only carries the calls out.

#include <string>

#include "chart/chart_types.h"

namespace orv {

class TChartCanvas {
public:
    virtual ~TChartCanvas() = default;

    // Pen for lines, outlines and text colour of the following calls.
    virtual void SetPen(TColor color, TPenStyle style, int width) = 0;
    // Brush for filled shapes; `clear` draws outlines only.
    virtual void SetBrush(TColor color, bool clear) = 0;
    // Brush style alone, keeping its colour.
    virtual void SetBrushClear(bool clear) = 0;
    // Filled and outlined rectangle covering columns x1..x2-1 and rows y1..y2-1.
    virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
    // A straight line, both end pixels included.
    virtual void Line(int x1, int y1, int x2, int y2) = 0;
    // One connected line through `count` points, every point included.
    virtual void Polyline(const TPoint* points, int count) = 0;
    // Ellipse inside the box x1..x2-1, y1..y2-1, outlined with the pen and
    // filled with the brush.
    virtual void Ellipse(int x1, int y1, int x2, int y2) = 0;
    // Text with its top-left corner at (x, y), no background, in `font`.
    virtual void TextOut(int x, int y, const std::string& text, const TFont& font) = 0;
    // Width and height of `text` in `font`.
    virtual TSize TextExtent(const std::string& text, const TFont& font) = 0;
};

} // namespace orv
