#pragma once
// Painting a TRChart with QPainter: the canvas the core's paint steps draw
// on, whole-chart images, the cached images a widget shows, and the
// clipboard copy.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

#include "chart/chart_canvas.h"
#include "chart/rchart.h"

namespace orv {

QColor ToQColor(TColor color);
QFont ToQFont(const TFont& font);

// Carries the core's drawing calls out on a QPainter (aliased, as the
// pixel positions are exact).
class QPainterChartCanvas : public TChartCanvas {
public:
    explicit QPainterChartCanvas(QPainter& painter);

    void SetPen(TColor color, TPenStyle style, int width) override;
    void SetBrush(TColor color, bool clear) override;
    void SetBrushClear(bool clear) override;
    void Rectangle(int x1, int y1, int x2, int y2) override;
    void Line(int x1, int y1, int x2, int y2) override;
    void Polyline(const TPoint* points, int count) override;
    void Ellipse(int x1, int y1, int x2, int y2) override;
    void TextOut(int x, int y, const std::string& text, const TFont& font) override;
    TSize TextExtent(const std::string& text, const TFont& font) override;

private:
    void ApplyBrush();
    QPainter& Painter_;
    QPen Pen_;
    QColor BrushColor_ = Qt::white;
    bool BrushClear_ = false;
};

// The whole chart as one picture: caption, scales, plot area, data, frame
// and, when asked, the crosshairs.
QImage RenderChartImage(const TRChart& chart, bool withCrossHairs, bool blackAndWhite = false);

// Renders the chart without crosshairs and puts it on the clipboard.
void CopyChartToClipboard(const TRChart& chart, bool blackAndWhite);

// The window and area pictures of one chart, redrawn only when the chart's
// revisions say they changed; a scan redraw thus leaves the 32 scales alone.
class TChartImageCache {
public:
    // Brings both pictures up to date.
    void Update(const TRChart& chart);
    // Draws them and the crosshairs with `painter` at control pixel (0, 0).
    void Present(const TRChart& chart, QPainter& painter);

private:
    QImage Window_, Area_;
    uint64_t WindowRevision_ = 0, AreaRevision_ = 0;
};

} // namespace orv
