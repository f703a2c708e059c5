#include "chart/chart_paint.h"

#include <algorithm>
#include <array>

#include "chart/pixels.h"

namespace orv {

namespace {

int ClampItemPixel(long double p) {
    // Clamped before the conversion to an integer, so no world value overflows.
    return PixelFromReal(std::clamp(p, static_cast<long double>(-kItemPixelLimit),
                                    static_cast<long double>(kItemPixelLimit)));
}

// Collects line-to points and draws them as polylines of at most
// kPolylineBatch points; consecutive batches share their joining point.
class PolylineBuffer {
public:
    explicit PolylineBuffer(TChartCanvas& canvas, TPoint start) : Canvas_(canvas), Current_(start) {}

    void MoveTo(TPoint p) {
        Flush();
        Current_ = p;
    }

    void Append(TPoint p) {
        if (Count_ == 0) Points_[Count_++] = Current_;
        Points_[Count_++] = p;
        if (Count_ == kPolylineBatch) {
            Flush();
            Points_[Count_++] = Current_;
        }
    }

    void Flush() {
        if (Count_ == 0) return;
        if (Count_ > 1) Canvas_.Polyline(Points_.data(), Count_);
        Current_ = Points_[Count_ - 1];
        Count_ = 0;
    }

private:
    TChartCanvas& Canvas_;
    TPoint Current_;
    std::array<TPoint, kPolylineBatch> Points_;
    int Count_ = 0;
};

} // namespace

TSize AreaBitmapSize(const TRChart& chart) {
    return {std::max(chart.PlotWidth() + 1, 0), std::max(chart.PlotHeight() + 1, 0)};
}

void PaintWindowStep(const TRChart& chart, TChartCanvas& canvas, bool blackAndWhite) {
    const int W = chart.Width(), H = chart.Height();
    const TColor wind = blackAndWhite ? clWhite : chart.WindColor();
    canvas.SetPen(wind, psSolid, 1);
    canvas.SetBrush(wind, false);
    canvas.Rectangle(0, 0, W, H);

    if (!chart.Caption().empty()) {
        canvas.SetPen(blackAndWhite ? clBlack : chart.ChartFrameColor(), psSolid, 1);
        canvas.SetBrushClear(true);
        TFont font = chart.Font();
        if (blackAndWhite) font.Color = clBlack;
        int x = chart.CaptionPosX(), y = chart.CaptionPosY();
        switch (chart.CaptionAnchorHoriz()) {
        case cahControlLeft: break;
        case cahChartLeft: x += chart.MarginLeft(); break;
        case cahChartCenter: x += chart.MarginLeft() + chart.PlotWidth() / 2; break;
        case cahChartRight: x += W - chart.MarginRight() - chart.ShadowWidth(); break;
        case cahControlRight: x += W; break;
        }
        switch (chart.CaptionAnchorVert()) {
        case cavControlTop: break;
        case cavChartTop: y += chart.MarginTop(); break;
        case cavChartCenter: y += chart.MarginTop() + chart.PlotHeight() / 2; break;
        case cavChartBottom: y += H - chart.MarginBottom(); break;
        case cavControlBottom: y += H; break;
        }
        int width = canvas.TextExtent(chart.Caption(), font).cx;
        if (chart.CaptionAlignment() == taRightJustify) x -= width;
        else if (chart.CaptionAlignment() == taCenter) x -= width / 2;
        canvas.TextOut(x, y, chart.Caption(), font);
        canvas.SetBrushClear(false);
    }

    auto paintScale = [&](const TScale& scale) {
        if (!blackAndWhite) {
            scale.Paint(canvas);
            return;
        }
        TScale copy = scale;
        copy.SetColorScale(clBlack);
        copy.SetColorBackGnd(clWhite);
        TFont font = copy.Font();
        font.Color = clBlack;
        copy.SetFont(font);
        copy.Paint(canvas);
    };
    for (int n = 1; n <= kChartLayers; ++n) paintScale(chart.ScaleRendererX(n));
    for (int n = 1; n <= kChartLayers; ++n) paintScale(chart.ScaleRendererY(n));
}

void PaintAreaStep(const TRChart& chart, TChartCanvas& canvas, int x0, int y0, bool blackAndWhite) {
    TSize size = AreaBitmapSize(chart);
    if (size.cx <= 0 || size.cy <= 0) return;
    canvas.SetPen(blackAndWhite ? clBlack : chart.ChartFrameColor(), psSolid, 1);
    canvas.SetBrush(blackAndWhite ? clWhite : chart.ChartColor(), false);
    canvas.Rectangle(x0, y0, x0 + size.cx, y0 + size.cy);
}

void PaintRenderStep(const TRChart& chart, TChartCanvas& canvas, int x0, int y0, bool blackAndWhite) {
    TSize size = AreaBitmapSize(chart);
    if (size.cx <= 0 || size.cy <= 0) return;
    const TColor chartColor = blackAndWhite ? clWhite : chart.ChartColor();
    int penWidth = chart.LineWidth();
    TColor penColor = chartColor;
    TPenStyle penStyle = psSolid;
    canvas.SetPen(penColor, penStyle, penWidth);
    canvas.SetBrush(chartColor, false);

    const int dx = x0 - chart.MarginLeft(), dy = y0 - chart.MarginTop();
    PolylineBuffer line(canvas, {x0, y0});
    auto usePen = [&](TColor c, TPenStyle style) {
        if (c == penColor && style == penStyle) return;
        line.Flush();
        penColor = c;
        penStyle = style;
        canvas.SetPen(penColor, penStyle, penWidth);
    };

    for (const ChartItem& item : chart.Items()) {
        if (!chart.ClassVisible(item.Class) || !chart.LayerVisible(item.Layer)) continue;
        if (item.LineWidth != penWidth) {
            line.Flush();
            penWidth = item.LineWidth;
            canvas.SetPen(penColor, penStyle, penWidth);
        }
        long double rx, ry;
        chart.WorldToPixelReal(item.Layer, item.X, item.Y, rx, ry);
        TPoint p{ClampItemPixel(rx) + dx, ClampItemPixel(ry) + dy};
        const TColor c = blackAndWhite ? clBlack : item.Color;
        switch (item.Kind) {
        case kItemMoveTo:
            line.MoveTo(p);
            break;
        case kItemLineTo:
            usePen(c, item.PenStyle);
            line.Append(p);
            break;
        case kItemMarker:
            line.Flush();
            usePen(c, item.PenStyle);
            DrawMarker(canvas, item.MarkerType, p.X, p.Y);
            break;
        default:
            break;
        }
    }
    line.Flush();

    // The frame goes over the data.
    const int pw = chart.PlotWidth(), ph = chart.PlotHeight();
    canvas.SetPen(blackAndWhite ? clBlack : chart.ChartFrameColor(), psSolid, 1);
    const TPoint frame[5] = {{x0, y0}, {x0 + pw, y0}, {x0 + pw, y0 + ph}, {x0, y0 + ph}, {x0, y0}};
    canvas.Polyline(frame, 5);
}

void PaintCrossHairs(const TRChart& chart, TChartCanvas& canvas, int ox, int oy) {
    const int left = chart.MarginLeft(), top = chart.MarginTop();
    const int right = chart.Width() - chart.MarginRight() - chart.ShadowWidth();
    const int bottom = chart.Height() - chart.MarginBottom() - chart.ShadowWidth();
    for (int n = 1; n <= 4; ++n) {
        const TCrossHair& ch = chart.CrossHair(n);
        if (ch.Mode() == chOff) continue;
        int px, py;
        chart.WorldToPixel(ch.Layer(), ch.PosX(), ch.PosY(), px, py);
        canvas.SetPen(ch.Color(), ch.LineType(), ch.LineWid());
        const int half = ch.LineWid() / 2;
        // Only strictly inside the plot area, ending one pixel short of the
        // far edge; a crosshair on the frame or outside is not drawn.
        if ((ch.Mode() == chHoriz || ch.Mode() == chBoth) && top + half < py && py < bottom - half)
            canvas.Line(left + half + 1 - ox, py - oy, right - half - 1 - ox, py - oy);
        if ((ch.Mode() == chVert || ch.Mode() == chBoth) && left + half < px && px < right - half)
            canvas.Line(px - ox, top + half + 1 - oy, px - ox, bottom - half - 1 - oy);
    }
}

void DrawMarker(TChartCanvas& canvas, int /*markerType*/, int x, int y) {
    canvas.SetBrushClear(true);
    canvas.Ellipse(x - 3, y - 3, x + 4, y + 4);
    canvas.SetBrushClear(false);
}

} // namespace orv
