#include "chart/ui/chart_painter.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPolygon>
#include <vector>

#include "chart/chart_paint.h"

namespace orv {

QColor ToQColor(TColor color) {
    return QColor(ColorRed(color), ColorGreen(color), ColorBlue(color));
}

QFont ToQFont(const TFont& font) {
    QFont f;
    if (!font.Name.empty()) f.setFamily(QString::fromStdString(font.Name));
    f.setPointSize(font.Size > 0 ? font.Size : 8);
    f.setBold(font.Bold);
    f.setItalic(font.Italic);
    return f;
}

QPainterChartCanvas::QPainterChartCanvas(QPainter& painter) : Painter_(painter) {
    Painter_.setRenderHint(QPainter::Antialiasing, false);
    Painter_.setRenderHint(QPainter::TextAntialiasing, true);
    Pen_ = QPen(Qt::black, 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    Painter_.setPen(Pen_);
    ApplyBrush();
}

void QPainterChartCanvas::SetPen(TColor color, TPenStyle style, int width) {
    Qt::PenStyle qs = Qt::SolidLine;
    switch (style) {
    case psSolid: qs = Qt::SolidLine; break;
    case psDash: qs = Qt::DashLine; break;
    case psDot: qs = Qt::DotLine; break;
    case psDashDot: qs = Qt::DashDotLine; break;
    case psDashDotDot: qs = Qt::DashDotDotLine; break;
    case psClear: qs = Qt::NoPen; break;
    case psInsideFrame: qs = Qt::SolidLine; break;
    }
    // Width 1 lines include both end pixels; wider ones end flat at them.
    Pen_ = QPen(ToQColor(color), width > 1 ? width : 1, qs, width > 1 ? Qt::FlatCap : Qt::SquareCap,
                Qt::MiterJoin);
    Painter_.setPen(Pen_);
}

void QPainterChartCanvas::SetBrush(TColor color, bool clear) {
    BrushColor_ = ToQColor(color);
    BrushClear_ = clear;
    ApplyBrush();
}

void QPainterChartCanvas::SetBrushClear(bool clear) {
    BrushClear_ = clear;
    ApplyBrush();
}

void QPainterChartCanvas::ApplyBrush() {
    Painter_.setBrush(BrushClear_ ? QBrush(Qt::NoBrush) : QBrush(BrushColor_));
}

void QPainterChartCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    if (x2 <= x1 || y2 <= y1) return;
    if (!BrushClear_) Painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), BrushColor_);
    if (Pen_.style() != Qt::NoPen) {
        Painter_.save();
        Painter_.setBrush(Qt::NoBrush);
        // A stroked QRect covers one pixel more than its size in each direction.
        Painter_.drawRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
        Painter_.restore();
    }
}

void QPainterChartCanvas::Line(int x1, int y1, int x2, int y2) {
    Painter_.drawLine(x1, y1, x2, y2);
}

void QPainterChartCanvas::Polyline(const TPoint* points, int count) {
    if (count < 2) return;
    // Repeated points (dense data on one pixel) are dropped: a zero-length
    // last segment would make Qt leave out the final pixel.
    static thread_local std::vector<QPoint> buffer;
    buffer.clear();
    buffer.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        QPoint p(points[i].X, points[i].Y);
        if (buffer.empty() || buffer.back() != p) buffer.push_back(p);
    }
    if (buffer.size() == 1)
        Painter_.drawPoint(buffer[0]);
    else
        Painter_.drawPolyline(buffer.data(), static_cast<int>(buffer.size()));
}

void QPainterChartCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    if (x2 <= x1 || y2 <= y1) return;
    Painter_.drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void QPainterChartCanvas::TextOut(int x, int y, const std::string& text, const TFont& font) {
    Painter_.save();
    QFont f = ToQFont(font);
    Painter_.setFont(f);
    Painter_.setPen(ToQColor(font.Color));
    QFontMetrics metrics(f);
    Painter_.drawText(x, y + metrics.ascent(), QString::fromStdString(text));
    Painter_.restore();
}

TSize QPainterChartCanvas::TextExtent(const std::string& text, const TFont& font) {
    QFontMetrics metrics(ToQFont(font));
    return {metrics.horizontalAdvance(QString::fromStdString(text)), metrics.height()};
}

namespace {

QImage RenderWindow(const TRChart& chart, bool blackAndWhite) {
    QImage window(std::max(chart.Width(), 1), std::max(chart.Height(), 1), QImage::Format_RGB32);
    QPainter painter(&window);
    QPainterChartCanvas canvas(painter);
    PaintWindowStep(chart, canvas, blackAndWhite);
    return window;
}

QImage RenderArea(const TRChart& chart, bool blackAndWhite) {
    TSize size = AreaBitmapSize(chart);
    if (size.cx <= 0 || size.cy <= 0) return {};
    QImage area(size.cx, size.cy, QImage::Format_RGB32);
    QPainter painter(&area);
    QPainterChartCanvas canvas(painter);
    PaintAreaStep(chart, canvas, 0, 0, blackAndWhite);
    PaintRenderStep(chart, canvas, 0, 0, blackAndWhite);
    return area;
}

} // namespace

QImage RenderChartImage(const TRChart& chart, bool withCrossHairs, bool blackAndWhite) {
    QImage window = RenderWindow(chart, blackAndWhite);
    QImage area = RenderArea(chart, blackAndWhite);
    QPainter painter(&window);
    if (!area.isNull()) painter.drawImage(chart.MarginLeft(), chart.MarginTop(), area);
    if (withCrossHairs) {
        QPainterChartCanvas canvas(painter);
        PaintCrossHairs(chart, canvas, 0, 0);
    }
    return window;
}

void CopyChartToClipboard(const TRChart& chart, bool blackAndWhite) {
    QGuiApplication::clipboard()->setImage(RenderChartImage(chart, false, blackAndWhite));
}

void TChartImageCache::Update(const TRChart& chart) {
    if (chart.WindowRevision() != WindowRevision_ || Window_.width() != chart.Width() ||
        Window_.height() != chart.Height()) {
        Window_ = RenderWindow(chart, false);
        WindowRevision_ = chart.WindowRevision();
    }
    if (chart.AreaRevision() != AreaRevision_) {
        Area_ = RenderArea(chart, false);
        AreaRevision_ = chart.AreaRevision();
    }
}

void TChartImageCache::Present(const TRChart& chart, QPainter& painter) {
    painter.drawImage(0, 0, Window_);
    if (!Area_.isNull()) painter.drawImage(chart.MarginLeft(), chart.MarginTop(), Area_);
    QPainterChartCanvas canvas(painter);
    PaintCrossHairs(chart, canvas, 0, 0);
}

} // namespace orv
