#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "chart/rchart.h"

using namespace orv;

namespace {

// A default chart: 280 x 200, margins left 50, right 20, top 20, bottom 40,
// so the plot runs from column 50 to column 260 and from row 20 to row 160.
constexpr int kLeft = 50, kRight = 260, kTop = 20, kBottom = 160;

int PixelX(const TRChart& chart, double x, int layer = 1) {
    int px, py;
    chart.WorldToPixel(layer, x, 0, px, py);
    return px;
}

int PixelY(const TRChart& chart, double y, int layer = 1) {
    int px, py;
    chart.WorldToPixel(layer, 0, y, px, py);
    return py;
}

} // namespace

TEST(ChartModelTest, NewChartHasTheDocumentedGeometryAndAxes) {
    TRChart chart;
    EXPECT_EQ(chart.Width(), 280);
    EXPECT_EQ(chart.Height(), 200);
    EXPECT_EQ(chart.PlotWidth(), kRight - kLeft);
    EXPECT_EQ(chart.PlotHeight(), kBottom - kTop);
    EXPECT_TRUE(chart.Scale1X().Visible());
    EXPECT_TRUE(chart.Scale1Y().Visible());
    for (int n = 2; n <= 16; ++n) {
        EXPECT_FALSE(chart.ScaleX(n).Visible()) << n;
        EXPECT_FALSE(chart.ScaleY(n).Visible()) << n;
    }
    // Layer colours follow the sixteen standard colours.
    EXPECT_EQ(chart.ScaleX(1).ColorScale(), clBlack);
    EXPECT_EQ(chart.ScaleY(10).ColorScale(), clRed);
    EXPECT_EQ(chart.ScaleX(16).ColorScale(), clWhite);
    // Layers 5..16 keep their construction places: pairs stacked 30 (x) and
    // 50 (y) pixels further out, odd layers bottom/left, even ones top/right.
    EXPECT_EQ(chart.ScaleX(5).ScalePos(), 60);
    EXPECT_EQ(chart.ScaleX(5).ScaleLocation(), slBottom);
    EXPECT_EQ(chart.ScaleX(6).ScaleLocation(), slTop);
    EXPECT_EQ(chart.ScaleY(8).ScalePos(), 150);
    EXPECT_EQ(chart.ScaleY(8).ScaleLocation(), slRight);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(chart.CrossHair(n).Layer(), n);
        EXPECT_EQ(chart.CrossHair(n).Mode(), chOff);
    }
    EXPECT_EQ(chart.ScaleX(1).MinRange(), 1e-10);
}

TEST(ChartModelTest, TransformPlacesTheRangeOnThePlotEdges) {
    TRChart chart;
    chart.SetLayerRange(1, 0, 0, 100, 50);
    EXPECT_EQ(PixelX(chart, 0), kLeft);
    EXPECT_EQ(PixelX(chart, 100), kRight);
    EXPECT_EQ(PixelX(chart, 50), (kLeft + kRight) / 2);
    EXPECT_EQ(PixelY(chart, 0), kBottom);    // y grows upward
    EXPECT_EQ(PixelY(chart, 50), kTop);
    EXPECT_EQ(PixelY(chart, 25), (kTop + kBottom) / 2);
    // One world unit per pixel: half pixels go to the even neighbour.
    chart.SetLayerRange(1, 0, 0, 210, 140);
    EXPECT_EQ(PixelX(chart, 20.5), 70);
    EXPECT_EQ(PixelX(chart, 21.5), 72);
    EXPECT_EQ(PixelY(chart, 0.5), 160);
    EXPECT_EQ(PixelY(chart, 1.5), 158);
}

TEST(ChartModelTest, PixelToWorldInvertsWorldToPixel) {
    TRChart chart;
    chart.SetBounds(0, 0, 800, 500);
    chart.SetLayerRange(1, 12.5, -300, 87.25, 41000);
    for (int px = 0; px < 800; px += 7) {
        for (int py = 0; py < 500; py += 11) {
            double x, y;
            chart.PixelToWorld(1, px, py, x, y);
            int bx, by;
            chart.WorldToPixel(1, x, y, bx, by);
            EXPECT_EQ(bx, px);
            EXPECT_EQ(by, py);
        }
    }
    // World to pixel to world stays within half a pixel of world units.
    const double unitX = (87.25 - 12.5) / chart.PlotWidth();
    for (double x = 12.5; x <= 87.25; x += 0.37) {
        int px, py;
        chart.WorldToPixel(1, x, 0, px, py);
        double wx, wy;
        chart.PixelToWorld(1, px, py, wx, wy);
        EXPECT_LE(std::fabs(wx - x), 0.5 * unitX + 1e-12);
    }
}

TEST(ChartModelTest, EqualBoundsAreMovedApartByHalfTheMinimumRange) {
    TRChart chart;
    chart.SetLayerRange(1, 5, 0, 5, 100);
    EXPECT_DOUBLE_EQ(chart.Scale1X().RangeLow(), 5 - 0.5e-10);
    EXPECT_DOUBLE_EQ(chart.Scale1X().RangeHigh(), 5 + 0.5e-10);
    EXPECT_EQ(chart.Scale1Y().RangeLow(), 0);
    EXPECT_EQ(chart.Scale1Y().RangeHigh(), 100);
    EXPECT_EQ(PixelX(chart, 5), (kLeft + kRight) / 2);
}

TEST(ChartModelTest, EqualBoundsFarFromZeroStillGiveAUsableRange) {
    // Half of 1e-10 is below the precision of these values.
    for (double v : {5e5, 1e6, -3.5e9, 1e15, 1e200}) {
        TRChart chart;
        chart.SetLayerRange(1, v, v, v, v);
        const auto& x = chart.Scale1X();
        EXPECT_LT(x.RangeLow(), v) << v;
        EXPECT_GT(x.RangeHigh(), v) << v;
        const auto& t = chart.Transform(1);
        EXPECT_TRUE(std::isfinite(static_cast<double>(t.XFactor))) << v;
        EXPECT_TRUE(std::isfinite(static_cast<double>(t.YOffset))) << v;
        EXPECT_NE(t.XFactor, 0) << v;
        EXPECT_EQ(PixelX(chart, v), (kLeft + kRight) / 2) << v;
        EXPECT_EQ(PixelY(chart, v), (kTop + kBottom) / 2) << v;
    }
}

TEST(ChartModelTest, ReversedRangeRunsTheAxisTheOtherWay) {
    TRChart chart;
    chart.SetLayerRange(1, 100, 10, 0, 0);
    EXPECT_EQ(chart.Scale1X().RangeLow(), 100);
    EXPECT_EQ(chart.Scale1X().RangeHigh(), 0);
    EXPECT_EQ(PixelX(chart, 100), kLeft);
    EXPECT_EQ(PixelX(chart, 0), kRight);
    EXPECT_EQ(PixelY(chart, 10), kBottom);
    EXPECT_EQ(PixelY(chart, 0), kTop);
    EXPECT_LT(PixelX(chart, 80), PixelX(chart, 20));
}

TEST(ChartModelTest, LayerZeroSetsEveryLayer) {
    TRChart chart;
    chart.SetLayerRange(3, 7, 7, 9, 9);
    chart.SetLayerRange(0, -1, 2, 1, 4);
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(chart.ScaleX(n).RangeLow(), -1) << n;
        EXPECT_EQ(chart.ScaleX(n).RangeHigh(), 1) << n;
        EXPECT_EQ(chart.ScaleY(n).RangeLow(), 2) << n;
        EXPECT_EQ(chart.ScaleY(n).RangeHigh(), 4) << n;
        EXPECT_EQ(PixelX(chart, 1, n), kRight) << n;
    }
    // A layer outside 0..16 changes nothing.
    chart.SetLayerRange(17, 0, 0, 5, 5);
    EXPECT_EQ(chart.ScaleX(16).RangeHigh(), 1);
}

TEST(ChartModelTest, RangesThatAreNotNumbersAreRefused) {
    TRChart chart;
    chart.SetLayerRange(1, 0, 0, 10, 20);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    chart.SetLayerRange(1, nan, 0, 5, std::numeric_limits<double>::infinity());
    EXPECT_EQ(chart.Scale1X().RangeHigh(), 10);
    EXPECT_EQ(chart.Scale1Y().RangeHigh(), 20);
}

TEST(ChartModelTest, PixelsBeyondThe32BitRangeAreClamped) {
    TRChart chart;
    chart.SetLayerRange(1, 0, 0, 1, 1);
    int px, py;
    chart.WorldToPixel(1, 1e300, -1e300, px, py);
    EXPECT_EQ(px, 2147483647);
    EXPECT_EQ(py, 2147483647);   // y grows upward: a very low y lies far down
    chart.WorldToPixel(1, -1e300, 1e300, px, py);
    EXPECT_EQ(px, -2147483647);
    EXPECT_EQ(py, -2147483647);
    chart.WorldToPixel(1, std::numeric_limits<double>::quiet_NaN(), 0, px, py);
    EXPECT_EQ(px, 0);
}

TEST(ChartModelTest, ChartNarrowerThanItsMarginsMapsEveryXToTheMiddle) {
    TRChart chart;
    chart.SetLayerRange(1, 0, 0, 100, 100);
    chart.SetMarginLeft(400);
    for (double x : {-50.0, 0.0, 33.0, 100.0, 1e9}) EXPECT_EQ(PixelX(chart, x), 140) << x;
    // The mouse over such a chart reads the middle of the range, not NaN.
    double x, y;
    chart.PixelToWorld(1, 17, 50, x, y);
    EXPECT_EQ(x, 50);
}

TEST(ChartModelTest, LogarithmicAxisPutsZeroAndNegativesOnItsLowEdge) {
    TRChart chart;
    chart.SetLayerRange(1, 1, 1, 1000, 1000);
    chart.Scale1X().SetLogarithmic(true);
    chart.Scale1Y().SetLogarithmic(true);
    ASSERT_TRUE(chart.Scale1X().Logarithmic());
    EXPECT_EQ(PixelX(chart, 1), kLeft);
    EXPECT_EQ(PixelX(chart, 1000), kRight);
    EXPECT_EQ(PixelX(chart, 10), kLeft + 70);    // one decade of three
    EXPECT_EQ(PixelX(chart, 0), 0);
    EXPECT_EQ(PixelX(chart, -5), 0);
    EXPECT_EQ(PixelY(chart, 0), 200);
    double x, y;
    chart.PixelToWorld(1, kLeft + 140, kTop, x, y);
    EXPECT_NEAR(x, 100, 1e-9);
    EXPECT_NEAR(y, 1000, 1e-9);
    // A range reaching below 1e-100 refuses the logarithmic switch.
    chart.Scale2X().SetRangeLow(0);
    chart.Scale2X().SetLogarithmic(true);
    EXPECT_FALSE(chart.Scale2X().Logarithmic());
}

TEST(ChartModelTest, DisplayListGrowsInAllocSizeStepsAndClearReleasesIt) {
    TRChart chart;
    chart.SetDataColor(clRed);
    chart.SetLineWidth(2);
    chart.MoveTo(0, 0);
    for (int i = 1; i < 1000; ++i) chart.LineTo(i, i);
    EXPECT_EQ(chart.ItemCount(), 1000);
    EXPECT_EQ(chart.ItemCapacity(), 1000);
    chart.AddMarker(17, 5, 6);
    EXPECT_EQ(chart.ItemCount(), 1001);
    EXPECT_EQ(chart.ItemCapacity(), 2000);

    const ChartItem& first = chart.Item(0);
    EXPECT_EQ(first.Kind, kItemMoveTo);
    EXPECT_EQ(chart.Item(1).Kind, kItemLineTo);
    const ChartItem& marker = chart.Item(1000);
    EXPECT_EQ(marker.Kind, kItemMarker);
    EXPECT_EQ(marker.MarkerType, 17);
    EXPECT_EQ(marker.X, 5);
    EXPECT_EQ(marker.Y, 6);
    EXPECT_EQ(marker.Color, clRed);
    EXPECT_EQ(marker.LineWidth, 2);
    EXPECT_EQ(marker.Layer, 1);
    EXPECT_EQ(marker.FillColor, 0);

    chart.ClearItems();
    EXPECT_EQ(chart.ItemCount(), 0);
    EXPECT_EQ(chart.ItemCapacity(), 0);
    EXPECT_EQ(chart.Items().capacity(), 0u);

    chart.SetAllocSize(0);          // outside 1..1000000: ignored
    chart.SetAllocSize(1000001);
    EXPECT_EQ(chart.AllocSize(), 1000);
    chart.SetAllocSize(3);
    for (int i = 0; i < 7; ++i) chart.LineTo(i, i);
    EXPECT_EQ(chart.ItemCapacity(), 9);
}

TEST(ChartModelTest, ItemsTakeTheSettingsOfTheirMoment) {
    TRChart chart;
    chart.SetDataColor(clBlue);
    chart.MoveTo(0, 0);
    chart.SetDataColor(clGreen);
    chart.SetClassDefault(255);     // ignored
    chart.SetClassDefault(4);
    chart.LineTo(1, 1);
    EXPECT_EQ(chart.Item(0).Color, clBlue);
    EXPECT_EQ(chart.Item(0).Class, 0);
    EXPECT_EQ(chart.Item(1).Color, clGreen);
    EXPECT_EQ(chart.Item(1).Class, 4);
}

TEST(ChartModelTest, SetBoundsRaisesSizesBelowTheMargins) {
    TRChart chart;
    chart.SetBounds(0, 0, 10, 10);
    EXPECT_EQ(chart.Width(), 80 + 50 + 20);
    EXPECT_EQ(chart.Height(), 20 + 40 + 20);
    chart.SetShadowWidth(40);                   // clamped to 32
    EXPECT_EQ(chart.ShadowWidth(), 32);
    chart.SetBounds(3, 4, 10, 10);
    EXPECT_EQ(chart.Width(), 150 + 32);
    EXPECT_EQ(chart.Left(), 3);
    chart.SetBounds(0, 0, 640, 480);
    EXPECT_EQ(chart.Width(), 640);
    EXPECT_EQ(chart.Height(), 480);
}

TEST(ChartModelTest, RepaintsAreAskedForWhereTheChartWouldRedraw) {
    TRChart chart;
    int paints = 0;
    chart.OnRepaint = [&] { ++paints; };
    chart.ClearItems();
    chart.SetDataColor(clRed);
    chart.SetLineWidth(3);
    chart.MoveTo(1, 1);
    chart.LineTo(2, 2);
    EXPECT_EQ(paints, 0);            // the old picture stays until ShowItems
    chart.ShowItems();
    EXPECT_EQ(paints, 1);
    chart.SetCaption("1.234, 5.0");
    EXPECT_EQ(paints, 2);
    chart.CrossHair1().SetPosX(3);
    EXPECT_EQ(paints, 3);
    chart.SetLayerRange(1, 0, 0, 1, 1);
    EXPECT_GE(paints, 4);

    chart.SetAutoRedraw(false);
    paints = 0;
    chart.SetCaption("x");
    chart.CrossHair1().SetPosX(4);
    EXPECT_EQ(paints, 0);
    chart.ShowItems();               // shows the whole control without AutoRedraw
    EXPECT_EQ(paints, 1);
}

TEST(ChartModelTest, RevisionsTellPaintersWhatChanged) {
    TRChart chart;
    const uint64_t window = chart.WindowRevision(), area = chart.AreaRevision();
    chart.LineTo(1, 1);
    EXPECT_EQ(chart.WindowRevision(), window);   // the scales need no redraw
    EXPECT_GT(chart.AreaRevision(), area);
    chart.CrossHair2().SetPosX(5);
    chart.SetCaption("title");
    EXPECT_GT(chart.WindowRevision(), window);
    const uint64_t w2 = chart.WindowRevision(), a2 = chart.AreaRevision();
    chart.SetLayerRange(1, 0, 0, 5, 5);
    EXPECT_GT(chart.WindowRevision(), w2);
    EXPECT_GT(chart.AreaRevision(), a2);
}

TEST(ChartModelTest, AxisPropertiesFollowTheirSetterRules) {
    TRChart chart;
    TScaleProps& y = chart.Scale1Y();
    y.SetRangeHigh(4000);
    EXPECT_EQ(y.RangeHigh(), 4000);
    EXPECT_EQ(PixelY(chart, 4000), kTop);           // the chart re-applied the range
    EXPECT_EQ(chart.ScaleRendererY(1).RangeHigh(), 4000);

    y.SetRangeHigh(0);                              // span below MinRange
    EXPECT_EQ(y.RangeHigh(), 0);
    EXPECT_DOUBLE_EQ(y.RangeLow(), -1e-10);
    y.SetRangeLow(2e6);
    y.SetRangeHigh(2e6);                            // MinRange is lost at 2e6
    EXPECT_LT(y.RangeLow(), y.RangeHigh());

    y.SetDecPlaces(20);
    EXPECT_EQ(y.DecPlaces(), 12);
    y.SetDecPlaces(-9);
    EXPECT_EQ(y.DecPlaces(), -3);
    y.SetLabelType(ftTime);
    EXPECT_EQ(y.DecPlaces(), 4);

    y.SetMinRange(0);                               // ignored
    EXPECT_EQ(y.MinRange(), 1e-10);
    TScaleProps& x = chart.Scale1X();
    x.SetRangeLow(10);
    x.SetRangeHigh(10.5);
    x.SetMinRange(2);                               // re-centred on 10.25
    EXPECT_DOUBLE_EQ(x.RangeLow(), 9.25);
    EXPECT_DOUBLE_EQ(x.RangeHigh(), 11.25);

    x.SetScaleLocation(slLeft);                     // not a horizontal place
    EXPECT_EQ(x.ScaleLocation(), slBottom);
    x.SetScaleLocation(slTop);
    EXPECT_EQ(x.ScaleLocation(), slTop);
}

TEST(ChartModelTest, ScalesLieOnThePlotEdgesShiftedByScalePos) {
    TRChart chart;
    const TScale& x = chart.ScaleRendererX(1);
    const TScale& y = chart.ScaleRendererY(1);
    EXPECT_EQ(x.ScaleType(), sctXT);
    EXPECT_EQ(x.BaseLine(), kBottom);
    EXPECT_EQ(y.ScaleType(), sctYR);
    EXPECT_EQ(y.BaseLine(), kLeft);
    chart.SetLayerRange(1, 0, 0, 100, 100);
    // The scale's own transform agrees with the chart's.
    for (double v : {0.0, 12.5, 50.0, 100.0}) {
        EXPECT_EQ(x.ValueToPixel(v), PixelX(chart, v)) << v;
        EXPECT_EQ(y.ValueToPixel(v), PixelY(chart, v)) << v;
    }
    chart.Scale1X().SetScalePos(10);
    chart.Scale1Y().SetScalePos(5);
    EXPECT_EQ(x.BaseLine(), kBottom + 10);
    EXPECT_EQ(y.BaseLine(), kLeft - 5);
    chart.Scale1X().SetScaleLocation(slTop);
    chart.Scale1Y().SetScaleLocation(slRight);
    EXPECT_EQ(x.ScaleType(), sctXB);
    EXPECT_EQ(x.BaseLine(), kTop - 10);
    EXPECT_EQ(y.ScaleType(), sctYL);
    EXPECT_EQ(y.BaseLine(), kRight + 5);
    // Axis fonts take the axis colour.
    chart.Scale1X().SetColorScale(clNavy);
    EXPECT_EQ(x.Font().Color, clNavy);
}

TEST(ChartModelTest, CrossHairLayerIsClamped) {
    TRChart chart;
    chart.CrossHair1().SetLayer(0);
    EXPECT_EQ(chart.CrossHair1().Layer(), 1);
    chart.CrossHair1().SetLayer(20);
    EXPECT_EQ(chart.CrossHair1().Layer(), 16);
    EXPECT_EQ(&chart.CrossHair(9), &chart.CrossHair4());
}

TEST(ChartModelTest, ClipboardCopyIsHandedToTheWidget) {
    TRChart chart;
    chart.CopyBitmapToClipboard(false);             // headless: nothing happens
    int copies = 0;
    bool bw = true;
    chart.OnCopyBitmap = [&](TRChart&, bool blackAndWhite) {
        ++copies;
        bw = blackAndWhite;
    };
    chart.CopyBitmapToClipboard(false);
    EXPECT_EQ(copies, 1);
    EXPECT_FALSE(bw);
}
