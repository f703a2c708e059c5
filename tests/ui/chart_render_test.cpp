#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "chart/chart_paint.h"
#include "chart/rchart.h"
#include "chart/ui/chart_painter.h"

using namespace orv;

namespace {

QRgb Rgb(TColor c) { return ToQColor(c).rgb(); }

// A 280 x 200 chart with one world unit per pixel: world (x, y) lies at
// control pixel (50 + x, 160 - y); the plot's frame runs along columns 50
// and 260 and rows 20 and 160.
void OneUnitPerPixel(TRChart& chart) { chart.SetLayerRange(1, 0, 0, 210, 140); }

int CountColour(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) ++n;
    return n;
}

void SaveIfAsked(const QImage& image, const char* name) {
    if (const char* dir = std::getenv("ORV_CHART_PICTURES")) image.save(QString(dir) + "/" + name);
}

} // namespace

TEST(ChartRenderTest, BackgroundPlotAreaAndFrame) {
    TRChart chart;
    OneUnitPerPixel(chart);
    QImage image = RenderChartImage(chart, true);
    SaveIfAsked(image, "empty.png");
    ASSERT_EQ(image.width(), 280);
    ASSERT_EQ(image.height(), 200);
    EXPECT_EQ(image.pixel(2, 2), Rgb(clBtnFace));
    EXPECT_EQ(image.pixel(155, 90), Rgb(clWhite));
    // Frame on all four edges of the plot.
    EXPECT_EQ(image.pixel(50, 90), Rgb(clBlack));
    EXPECT_EQ(image.pixel(260, 90), Rgb(clBlack));
    EXPECT_EQ(image.pixel(155, 20), Rgb(clBlack));
    EXPECT_EQ(image.pixel(155, 160), Rgb(clBlack));
    EXPECT_EQ(image.pixel(51, 21), Rgb(clWhite));
    EXPECT_EQ(image.pixel(259, 159), Rgb(clWhite));
    // Outside the frame: window colour (a tick or label aside).
    EXPECT_EQ(image.pixel(261, 90), Rgb(clBtnFace));
    EXPECT_EQ(image.pixel(155, 19), Rgb(clBtnFace));
}

TEST(ChartRenderTest, LongCurveHasNoGapsBetweenBatches) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.SetDataColor(clRed);
    // 450 points along row 90, two to a pixel column, crossing two batch joins.
    chart.MoveTo(0, 70);
    for (int i = 1; i < 450; ++i) chart.LineTo(i * 0.45, 70);
    QImage image = RenderChartImage(chart, false);
    SaveIfAsked(image, "line.png");
    for (int x = 51; x <= 50 + 202; ++x) EXPECT_EQ(image.pixel(x, 90), Rgb(clRed)) << x;
    EXPECT_EQ(image.pixel(150, 89), Rgb(clWhite));
    EXPECT_EQ(image.pixel(150, 91), Rgb(clWhite));
}

TEST(ChartRenderTest, MarkerIsAnOpenCircleOfSevenPixels) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.SetDataColor(clBlue);
    chart.AddMarker(17, 100, 70);      // centre (150, 90)
    QImage image = RenderChartImage(chart, false);
    SaveIfAsked(image, "marker.png");
    EXPECT_EQ(image.pixel(150, 90), Rgb(clWhite));
    EXPECT_EQ(image.pixel(147, 90), Rgb(clBlue));
    EXPECT_EQ(image.pixel(153, 90), Rgb(clBlue));
    EXPECT_EQ(image.pixel(150, 87), Rgb(clBlue));
    EXPECT_EQ(image.pixel(150, 93), Rgb(clBlue));
    EXPECT_EQ(image.pixel(146, 90), Rgb(clWhite));
    EXPECT_EQ(image.pixel(154, 90), Rgb(clWhite));
}

TEST(ChartRenderTest, CrossHairsOnlyStrictlyInsideThePlot) {
    TRChart chart;
    OneUnitPerPixel(chart);
    TCrossHair& inside = chart.CrossHair1();
    inside.SetMode(chVert);
    inside.SetColor(clGreen);
    inside.SetPosX(30);                 // column 80
    TCrossHair& outside = chart.CrossHair2();
    outside.SetLayer(1);
    outside.SetMode(chVert);
    outside.SetColor(clRed);
    outside.SetPosX(250);               // right of the plot
    TCrossHair& onFrame = chart.CrossHair3();
    onFrame.SetLayer(1);
    onFrame.SetMode(chHoriz);
    onFrame.SetColor(clFuchsia);
    onFrame.SetPosY(0);                 // on the bottom frame row
    QImage image = RenderChartImage(chart, true);
    SaveIfAsked(image, "crosshairs.png");
    EXPECT_EQ(image.pixel(80, 21), Rgb(clGreen));
    EXPECT_EQ(image.pixel(80, 90), Rgb(clGreen));
    EXPECT_EQ(image.pixel(80, 159), Rgb(clGreen));
    EXPECT_EQ(image.pixel(80, 160), Rgb(clBlack));   // the frame is left alone
    EXPECT_EQ(CountColour(image, Rgb(clRed)), 0);
    EXPECT_EQ(CountColour(image, Rgb(clFuchsia)), 0);
}

TEST(ChartRenderTest, HugeValuesAreClampedNotLost) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.SetDataColor(clRed);
    chart.MoveTo(10, 70);
    chart.LineTo(1e12, 70);
    chart.MoveTo(100, -1e300);
    chart.LineTo(100, 1e300);
    QImage image = RenderChartImage(chart, false);
    for (int x = 60; x < 260; x += 10) EXPECT_EQ(image.pixel(x, 90), Rgb(clRed)) << x;
    for (int y = 30; y < 160; y += 10) EXPECT_EQ(image.pixel(150, y), Rgb(clRed)) << y;
    // Nothing is drawn outside the plot area.
    EXPECT_EQ(image.pixel(270, 90), Rgb(clBtnFace));
}

TEST(ChartRenderTest, ClipboardCopyHasNoCrossHairs) {
    TRChart chart;
    OneUnitPerPixel(chart);
    chart.SetCaption("copy");
    chart.CrossHair1().SetMode(chVert);
    chart.CrossHair1().SetColor(clGreen);
    chart.CrossHair1().SetPosX(30);
    chart.SetDataColor(clBlue);
    chart.MoveTo(0, 20);
    chart.LineTo(210, 20);
    CopyChartToClipboard(chart, false);
    QImage copy = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copy.isNull());
    ASSERT_EQ(copy.width(), 280);
    EXPECT_EQ(copy.pixel(80, 90), Rgb(clWhite));
    EXPECT_EQ(copy.pixel(120, 140), Rgb(clBlue));
    EXPECT_EQ(CountColour(copy, Rgb(clGreen)), 0);
    // The screen picture has it.
    EXPECT_EQ(RenderChartImage(chart, true).pixel(80, 90), Rgb(clGreen));

    // Black and white: items in black on white.
    CopyChartToClipboard(chart, true);
    QImage bw = QGuiApplication::clipboard()->image();
    EXPECT_EQ(bw.pixel(120, 140), Rgb(clBlack));
    EXPECT_EQ(bw.pixel(2, 2), Rgb(clWhite));
    EXPECT_EQ(CountColour(bw, Rgb(clBlue)), 0);
}

TEST(ChartRenderTest, AxisLabelsAreDrawnInTheAxisColour) {
    TRChart chart;
    chart.SetLayerRange(1, 0, 0, 100, 4000);
    chart.Scale1X().SetColorScale(clRed);
    chart.Scale1Y().SetColorScale(clBlue);
    QImage image = RenderChartImage(chart, false);
    SaveIfAsked(image, "axes.png");
    // Ticks: x below the bottom frame row, y left of the left frame column.
    EXPECT_EQ(image.pixel(134, 163), Rgb(clRed));
    EXPECT_EQ(image.pixel(47, 90), Rgb(clBlue));
    // The x labels below the ticks are reddish, the y labels left of them bluish
    // (text is smoothed, so only its hue is certain).
    auto reddish = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 120 && qBlue(c) < 120; };
    auto bluish = [](QRgb c) { return qBlue(c) > 150 && qRed(c) < 120 && qGreen(c) < 120; };
    int redLabel = 0, blueLabel = 0;
    for (int y = 167; y < 190; ++y)
        for (int x = 0; x < 280; ++x) redLabel += reddish(image.pixel(x, y));
    for (int y = 15; y < 170; ++y)
        for (int x = 0; x < 42; ++x) blueLabel += bluish(image.pixel(x, y));
    EXPECT_GT(redLabel, 20);
    EXPECT_GT(blueLabel, 20);
}

TEST(ChartRenderTest, ImageCacheRedrawsOnlyWhatChanged) {
    TRChart chart;
    OneUnitPerPixel(chart);
    TChartImageCache cache;
    QImage screen(280, 200, QImage::Format_RGB32);
    auto present = [&] {
        QPainter p(&screen);
        cache.Update(chart);
        cache.Present(chart, p);
    };
    present();
    EXPECT_EQ(screen.pixel(150, 90), Rgb(clWhite));
    chart.SetDataColor(clRed);
    chart.MoveTo(0, 70);
    chart.LineTo(210, 70);
    chart.ShowItems();
    present();
    EXPECT_EQ(screen.pixel(150, 90), Rgb(clRed));
    chart.CrossHair1().SetMode(chVert);
    chart.CrossHair1().SetColor(clGreen);
    chart.CrossHair1().SetPosX(100);
    present();
    EXPECT_EQ(screen.pixel(150, 50), Rgb(clGreen));
    chart.CrossHair1().SetPosX(110);
    present();
    EXPECT_EQ(screen.pixel(150, 50), Rgb(clWhite));
    EXPECT_EQ(screen.pixel(160, 50), Rgb(clGreen));
}
