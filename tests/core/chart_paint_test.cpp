#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chart/chart_paint.h"
#include "chart/rchart.h"
#include "chart/scale.h"

using namespace orv;

namespace {

// Records every drawing call; text is 6 pixels per character and 12 high.
class RecordingCanvas : public TChartCanvas {
public:
    struct PolylineCall {
        std::vector<TPoint> Points;
        TColor Color;
        TPenStyle Style;
        int Width;
    };
    struct LineCall {
        int X1, Y1, X2, Y2;
        TColor Color;
        int Width;
    };
    struct TextCall {
        int X, Y;
        std::string Text;
    };
    struct Shape {
        int X1, Y1, X2, Y2;
        TColor Pen, Brush;
        bool BrushClear;
    };

    void SetPen(TColor color, TPenStyle style, int width) override {
        PenColor = color;
        PenStyle = style;
        PenWidth = width;
    }
    void SetBrush(TColor color, bool clear) override {
        BrushColor = color;
        BrushClear = clear;
    }
    void SetBrushClear(bool clear) override { BrushClear = clear; }
    void Rectangle(int x1, int y1, int x2, int y2) override {
        Rectangles.push_back({x1, y1, x2, y2, PenColor, BrushColor, BrushClear});
    }
    void Line(int x1, int y1, int x2, int y2) override {
        Lines.push_back({x1, y1, x2, y2, PenColor, PenWidth});
    }
    void Polyline(const TPoint* points, int count) override {
        Polylines.push_back({std::vector<TPoint>(points, points + count), PenColor, PenStyle, PenWidth});
    }
    void Ellipse(int x1, int y1, int x2, int y2) override {
        Ellipses.push_back({x1, y1, x2, y2, PenColor, BrushColor, BrushClear});
    }
    void TextOut(int x, int y, const std::string& text, const TFont&) override {
        Texts.push_back({x, y, text});
    }
    TSize TextExtent(const std::string& text, const TFont&) override {
        return {6 * static_cast<int>(text.size()), 12};
    }

    const TextCall* FindText(const std::string& s) const {
        for (const auto& t : Texts)
            if (t.Text == s) return &t;
        return nullptr;
    }

    TColor PenColor = -1, BrushColor = -1;
    TPenStyle PenStyle = psSolid;
    int PenWidth = 0;
    bool BrushClear = false;
    std::vector<PolylineCall> Polylines;
    std::vector<LineCall> Lines;
    std::vector<TextCall> Texts;
    std::vector<Shape> Rectangles, Ellipses;
};

// Default chart (plot columns 50..260, rows 20..160) with one world unit per
// pixel: world (x, y) lies at control pixel (50 + x, 160 - y).
void OneUnitPerPixel(TRChart& chart) { chart.SetLayerRange(1, 0, 0, 210, 140); }

// Render-step pixel of world (x, y) on an area bitmap at offset (0, 0).
TPoint AreaPixel(double x, double y) {
    return {static_cast<int>(x), static_cast<int>(140 - y)};
}

} // namespace

TEST(ChartPaintTest, LongRunsAreDrawnInBatchesThatShareTheirEnds) {
    TRChart chart;
    OneUnitPerPixel(chart);
    // 450 points: a move-to and 449 line-to items.
    chart.MoveTo(0, 0);
    for (int i = 1; i < 450; ++i) chart.LineTo(i * 0.4, (i % 7) * 10);
    RecordingCanvas canvas;
    PaintRenderStep(chart, canvas, 0, 0);
    // The frame is the last polyline.
    ASSERT_EQ(canvas.Polylines.size(), 4u);
    EXPECT_EQ(canvas.Polylines[0].Points.size(), 200u);
    EXPECT_EQ(canvas.Polylines[1].Points.size(), 200u);
    EXPECT_EQ(canvas.Polylines[2].Points.size(), 52u);
    EXPECT_EQ(canvas.Polylines[0].Points.front(), AreaPixel(0, 0));
    EXPECT_EQ(canvas.Polylines[1].Points.front(), canvas.Polylines[0].Points.back());
    EXPECT_EQ(canvas.Polylines[2].Points.front(), canvas.Polylines[1].Points.back());
    EXPECT_EQ(canvas.Polylines[2].Points.back(), AreaPixel(std::nearbyint(449 * 0.4), (449 % 7) * 10));
}

TEST(ChartPaintTest, AFullScanIsAboutOneHundredTwentyPolylines) {
    TRChart chart;
    chart.SetBounds(0, 0, 800, 500);
    chart.SetLayerRange(1, 0, 0, 24000, 1000);
    chart.MoveTo(0, 0);
    for (int i = 1; i < 24000; ++i) chart.LineTo(i, 500 + 400 * std::sin(i * 0.01));
    RecordingCanvas canvas;
    PaintRenderStep(chart, canvas, 0, 0);
    EXPECT_EQ(canvas.Polylines.size(), 121u + 1u);   // + the frame
}

TEST(ChartPaintTest, LineTakesTheColourOfItsLineToItems) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.SetDataColor(clRed);
    chart.MoveTo(10, 10);
    chart.SetDataColor(clBlue);
    chart.LineTo(20, 10);
    chart.LineTo(30, 20);
    chart.SetDataColor(clGreen);
    chart.SetLineWidth(2);
    chart.LineTo(40, 20);
    RecordingCanvas canvas;
    PaintRenderStep(chart, canvas, 0, 0);
    ASSERT_EQ(canvas.Polylines.size(), 3u);
    EXPECT_EQ(canvas.Polylines[0].Color, clBlue);
    EXPECT_EQ(canvas.Polylines[0].Points, (std::vector<TPoint>{{10, 130}, {20, 130}, {30, 120}}));
    // A new colour and width start a new polyline at the last point.
    EXPECT_EQ(canvas.Polylines[1].Color, clGreen);
    EXPECT_EQ(canvas.Polylines[1].Width, 2);
    EXPECT_EQ(canvas.Polylines[1].Points, (std::vector<TPoint>{{30, 120}, {40, 120}}));
    // The frame over the data: the plot's edges, one pixel each.
    EXPECT_EQ(canvas.Polylines[2].Color, clBlack);
    EXPECT_EQ(canvas.Polylines[2].Points,
              (std::vector<TPoint>{{0, 0}, {210, 0}, {210, 140}, {0, 140}, {0, 0}}));
}

TEST(ChartPaintTest, MarkerBreaksALineWhichGoesOnFromItsLastPoint) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.MoveTo(10, 10);
    chart.LineTo(20, 20);
    chart.SetDataColor(clBlue);
    chart.AddMarker(17, 100, 100);
    chart.SetDataColor(clBlack);
    chart.LineTo(30, 10);
    RecordingCanvas canvas;
    PaintRenderStep(chart, canvas, 0, 0);
    ASSERT_EQ(canvas.Polylines.size(), 3u);
    EXPECT_EQ(canvas.Polylines[0].Points, (std::vector<TPoint>{{10, 130}, {20, 120}}));
    EXPECT_EQ(canvas.Polylines[1].Points, (std::vector<TPoint>{{20, 120}, {30, 130}}));
    ASSERT_EQ(canvas.Ellipses.size(), 1u);
    const auto& e = canvas.Ellipses[0];
    EXPECT_EQ(e.X1, 97);
    EXPECT_EQ(e.Y1, 37);
    EXPECT_EQ(e.X2, 104);     // 7 pixels across, centred on (100, 40)
    EXPECT_EQ(e.Y2, 44);
    EXPECT_EQ(e.Pen, clBlue);
    EXPECT_TRUE(e.BrushClear);
}

TEST(ChartPaintTest, FarPointsAreClampedAndOffsetsApplied) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.MoveTo(10, 70);
    chart.LineTo(1e9, 70);                      // 10^9 pixels to the right
    chart.LineTo(1e300, -1e300);
    RecordingCanvas canvas;
    PaintRenderStep(chart, canvas, 50, 20);     // drawn at control coordinates
    ASSERT_GE(canvas.Polylines.size(), 1u);
    const auto& p = canvas.Polylines[0].Points;
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0], (TPoint{60, 90}));
    EXPECT_EQ(p[1], (TPoint{30000, 90}));
    EXPECT_EQ(p[2], (TPoint{30000, 30000}));
}

TEST(ChartPaintTest, BlackAndWhiteDrawsItemsInBlack) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.SetDataColor(clRed);
    chart.MoveTo(0, 0);
    chart.LineTo(5, 5);
    RecordingCanvas canvas;
    PaintRenderStep(chart, canvas, 0, 0, true);
    ASSERT_EQ(canvas.Polylines.size(), 2u);
    EXPECT_EQ(canvas.Polylines[0].Color, clBlack);
}

TEST(ChartPaintTest, AreaStepFillsAndOutlinesThePlot) {
    TRChart chart;
    chart.SetChartColor(clYellow);
    RecordingCanvas canvas;
    EXPECT_EQ(AreaBitmapSize(chart).cx, 211);
    EXPECT_EQ(AreaBitmapSize(chart).cy, 141);
    PaintAreaStep(chart, canvas, 0, 0);
    ASSERT_EQ(canvas.Rectangles.size(), 1u);
    const auto& r = canvas.Rectangles[0];
    EXPECT_EQ(r.X2, 211);
    EXPECT_EQ(r.Y2, 141);
    EXPECT_EQ(r.Brush, clYellow);
    EXPECT_EQ(r.Pen, clBlack);
    // No room: nothing is drawn.
    chart.SetMarginLeft(500);
    RecordingCanvas none;
    PaintAreaStep(chart, none, 0, 0);
    PaintRenderStep(chart, none, 0, 0);
    EXPECT_TRUE(none.Rectangles.empty());
    EXPECT_TRUE(none.Polylines.empty());
}

TEST(ChartPaintTest, CrossHairsAreDrawnOnlyStrictlyInsideThePlot) {
    TRChart chart;
    OneUnitPerPixel(chart);
    TCrossHair& c1 = chart.CrossHair1();
    c1.SetMode(chVert);
    c1.SetColor(clGreen);
    c1.SetPosX(0);              // on the left frame column 50
    TCrossHair& c2 = chart.CrossHair2();
    c2.SetMode(chVert);
    c2.SetLayer(1);             // crosshair n starts on layer n
    c2.SetPosX(1);              // column 51: the first inside
    TCrossHair& c3 = chart.CrossHair3();
    c3.SetMode(chHoriz);
    c3.SetLayer(1);
    c3.SetPosY(70);             // row 90
    c3.SetLineWid(3);
    TCrossHair& c4 = chart.CrossHair4();
    c4.SetMode(chBoth);
    c4.SetLayer(1);
    c4.SetPosX(500);            // right of the plot: vertical line not drawn
    c4.SetPosY(139);            // row 21

    RecordingCanvas canvas;
    PaintCrossHairs(chart, canvas, 0, 0);
    ASSERT_EQ(canvas.Lines.size(), 3u);
    const auto& v2 = canvas.Lines[0];
    EXPECT_EQ(v2.X1, 51);
    EXPECT_EQ(v2.X2, 51);
    EXPECT_EQ(v2.Y1, 21);
    EXPECT_EQ(v2.Y2, 159);      // ends one pixel short of the bottom frame row
    const auto& h3 = canvas.Lines[1];
    EXPECT_EQ(h3.Y1, 90);
    EXPECT_EQ(h3.X1, 50 + 1 + 1);
    EXPECT_EQ(h3.X2, 260 - 1 - 1);
    EXPECT_EQ(h3.Width, 3);
    const auto& h4 = canvas.Lines[2];
    EXPECT_EQ(h4.Y1, 21);

    // A wide pen needs room for half its width.
    c2.SetLineWid(2);
    RecordingCanvas wide;
    PaintCrossHairs(chart, wide, 0, 0);
    EXPECT_EQ(wide.Lines.size(), 2u);

    // Drawn into the area bitmap, the lines shift by the margins.
    RecordingCanvas area;
    c2.SetLineWid(1);
    PaintCrossHairs(chart, area, 50, 20);
    EXPECT_EQ(area.Lines[0].X1, 1);
    EXPECT_EQ(area.Lines[0].Y1, 1);
}

TEST(ChartPaintTest, WindowStepDrawsCaptionAndScales) {
    TRChart chart;
    chart.SetLayerRange(1, 0, 0, 100, 4000);
    chart.SetCaption("12.345, 678.9");
    chart.Scale1X().SetCaption("2Theta (deg.)");
    RecordingCanvas canvas;
    PaintWindowStep(chart, canvas);
    ASSERT_FALSE(canvas.Rectangles.empty());
    EXPECT_EQ(canvas.Rectangles[0].X2, 280);
    EXPECT_EQ(canvas.Rectangles[0].Y2, 200);
    EXPECT_EQ(canvas.Rectangles[0].Brush, clBtnFace);

    // Title right-aligned on the plot's right edge, 16 pixels above its top.
    const auto* title = canvas.FindText("12.345, 678.9");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->X, 260 - 6 * 13);
    EXPECT_EQ(title->Y, 4);

    // x labels: 7 pixels below the axis, centred on their ticks.
    const auto* x40 = canvas.FindText("40");
    ASSERT_NE(x40, nullptr);
    EXPECT_EQ(x40->Y, 160 + 7);
    EXPECT_EQ(x40->X, 134 - 6);
    // The last x label still fits centred.
    const auto* x100 = canvas.FindText("100");
    ASSERT_NE(x100, nullptr);
    EXPECT_EQ(x100->X, 260 - 9);
    // y labels: right edge 8 pixels left of the axis, centred on the tick.
    const auto* y2000 = canvas.FindText("2000");
    ASSERT_NE(y2000, nullptr);
    EXPECT_EQ(y2000->X, 50 - 24 - 8);
    EXPECT_EQ(y2000->Y, 90 - 6);
    // The x caption is centred under the plot, 22 pixels below the axis.
    const auto* caption = canvas.FindText("2Theta (deg.)");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->X, 50 + (280 - 50 - 19) / 2 - 6 * 13 / 2);
    EXPECT_EQ(caption->Y, 160 + 22);

    // Long x ticks: 7 pixels down from the axis at their columns; y ticks 6
    // pixels to the left.
    bool foundX = false, foundY = false;
    for (const auto& l : canvas.Lines) {
        if (l.X1 == 134 && l.X2 == 134 && l.Y1 == 160 && l.Y2 == 166) foundX = true;
        if (l.Y1 == 90 && l.Y2 == 90 && l.X1 == 50 && l.X2 == 45) foundY = true;
    }
    EXPECT_TRUE(foundX);
    EXPECT_TRUE(foundY);

    // A hidden axis draws nothing.
    chart.Scale1Y().SetVisible(false);
    RecordingCanvas noY;
    PaintWindowStep(chart, noY);
    EXPECT_EQ(noY.FindText("2000"), nullptr);
}

TEST(ChartPaintTest, LabelNearTheRightEdgeStaysInside) {
    TRChart chart;
    chart.SetMarginRight(2);
    chart.SetLayerRange(1, 0, 0, 100000, 1);
    RecordingCanvas canvas;
    PaintWindowStep(chart, canvas);
    const auto* last = canvas.FindText("100000");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->X + 36, 280 - 2);
    for (const auto& t : canvas.Texts) {
        EXPECT_GE(t.X, 2) << t.Text;
        EXPECT_LE(t.X + 6 * static_cast<int>(t.Text.size()), 278) << t.Text;
    }
}
