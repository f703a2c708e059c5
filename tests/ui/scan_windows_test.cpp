#include <QAction>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "chart/ui/chart_painter.h"
#include "chart/ui/chart_widget.h"
#include "scans/psi_scan_window.h"
#include "scans/theta_scan_window.h"
#include "scans/ui/scan_dialogs.h"
#include "scans/ui/scan_windows.h"
#include "windows_test_support.h"
#include "base/numbers.h"
#include "workspace/scan_writers.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

QRgb Rgb(TColor c) { return ToQColor(c).rgb(); }

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButtons buttons = Qt::NoButton) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void Key(QWidget* w, QEvent::Type type, int key, const QString& text) {
    QKeyEvent event(type, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &event);
}

// A click: the button goes down and up where the mouse already is.
void ClickAt(QWidget* w, QPoint p) {
    Mouse(w, QEvent::MouseMove, p);
    Mouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, p);
}

// Pixels of `colour` in one column of an image, over the given rows.
int ColumnPixels(const QImage& image, int x, int top, int bottom, TColor colour) {
    int n = 0;
    for (int y = top; y <= bottom; ++y) n += image.pixel(x, y) == Rgb(colour);
    return n;
}

int PixelColumn(const TRChart& chart, double x) {
    int px = 0, py = 0;
    chart.WorldToPixel(1, x, 0, px, py);
    return px;
}

double WorldX(const TRChart& chart, int px) {
    double x = 0, y = 0;
    chart.PixelToWorld(1, px, chart.Height() / 2, x, y);
    return x;
}

void Screenshot(QWidget& w, const char* name) {
    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) w.grab().save(QString(dir) + "/" + name);
}

// A 2-theta scan with the lines of a cubic standard on a falling background.
void MakePowderScan(Workspace& ws) {
    ws.CurrentFile = "/data/run7/silicon.tif";
    ws.Landa = 0.7093;
    ws.TwoThetaStep = 0.02f;
    const double lines[] = {12.98, 21.28, 24.99, 30.30, 33.11, 37.32, 39.68, 43.27};
    const int n = 2250;   // 5..50 degrees
    float top = 0;
    for (int k = 0; k <= n; ++k) {
        const double t = 5 + 0.02 * k;
        double v = 200 + 900 * std::exp(-t / 6);
        for (size_t i = 0; i < std::size(lines); ++i)
            v += (3000.0 / (1 + i % 3)) * std::exp(-std::pow((t - lines[i]) / 0.06, 2));
        ws.SectorScan[k].TwoTheta = static_cast<float>(t);
        ws.SectorScan[k].Intensity = static_cast<float>(v);
        top = std::max(top, ws.SectorScan[k].Intensity);
    }
    ws.SectorScanPoints = n;
    ws.SectorScanBackup = ws.SectorScan;
    ws.SectorTwoTheta1 = 5;
    ws.SectorTwoTheta2 = 50;
    ws.ScanMinIntensity = 0;
    ws.ScanMaxIntensity = top;
    ws.Form2.Caption = "2Theta Scan of silicon.tif";
    ws.Form2.RChart1.SetLayerRange(1, 5, 0, 50, 1.1 * top);
    ws.Form2.RChart2.CrossHair1().SetPosX(5);
    ws.Form2.RChart2.CrossHair2().SetPosX(50);
    PlotScanChart2(ws);
    PlotScanChart1(ws);
}

} // namespace

TEST(ScanWindowsTest, ThetaWindowReadsOutZoomsWithTwoClicksAndFindsPeaks) {
    Workspace ws;
    TestHost host;
    MakePowderScan(ws);
    TForm2Window window(ws, host);
    TForm6Window findPeaks(ws, host);
    TForm7Window background(ws, host);
    TForm5Window zoomIn(ws, host);
    window.setDialogs({&zoomIn, &findPeaks, &background});
    window.show();
    QApplication::processEvents();
    TRChartWidget* work = window.workingChart();
    TRChart& chart = ws.Form2.RChart1;
    TRChart& strip = ws.Form2.RChart2;

    // The read-out under the mouse.
    const QPoint at(chart.MarginLeft() + chart.PlotWidth() / 3, chart.MarginTop() + 40);
    Mouse(work, QEvent::MouseMove, at);
    const double x = WorldX(chart, at.x());
    const int32_t k = ThetaPointAt(ws, x);
    EXPECT_EQ(chart.Caption(), "2Theta = " + FormatFixed(x, 3) + ", d = " + FormatFixed(DSpacing(0.7093, x), 3) +
                                   ", I = " + FormatFixed(ws.SectorScan[k].Intensity, 1));
    EXPECT_DOUBLE_EQ(chart.CrossHair1().PosX(), x);
    // Crosshair 1 is drawn, green and two pixels wide, where the mouse is.
    QApplication::processEvents();
    QImage shown = work->grab().toImage();
    const int plotBottom = chart.MarginTop() + chart.PlotHeight() - 1;
    EXPECT_GT(ColumnPixels(shown, at.x(), chart.MarginTop() + 1, plotBottom, clGreen), chart.PlotHeight() / 2);

    // 'Z' held, two clicks: the working chart shows the range and the strip's
    // crosshairs follow it.
    const QPoint left(chart.MarginLeft() + chart.PlotWidth() / 4, chart.MarginTop() + 60);
    const QPoint right(chart.MarginLeft() + chart.PlotWidth() / 2, chart.MarginTop() + 60);
    const double x1 = WorldX(chart, left.x()), x2 = WorldX(chart, right.x());
    work->setFocus();
    Key(work, QEvent::KeyPress, Qt::Key_Z, "z");
    ClickAt(work, right);
    ClickAt(work, left);
    Key(work, QEvent::KeyRelease, Qt::Key_Z, "z");
    EXPECT_NEAR(chart.Scale1X().RangeLow(), x1, 1e-9);
    EXPECT_NEAR(chart.Scale1X().RangeHigh(), x2, 1e-9);
    EXPECT_NEAR(strip.CrossHair1().PosX(), x1, 1e-9);
    EXPECT_NEAR(strip.CrossHair2().PosX(), x2, 1e-9);
    EXPECT_EQ(ws.PeakCount, 0);   // no hand mark was made
    QApplication::processEvents();
    const QImage overview = window.overviewChart()->grab().toImage();
    const int stripTop = strip.MarginTop() + 1, stripBottom = strip.MarginTop() + strip.PlotHeight() - 1;
    for (double end : {x1, x2})
        EXPECT_GT(ColumnPixels(overview, PixelColumn(strip, end), stripTop, stripBottom, clBlue), 5) << end;

    // "FindPeaks" through its dialog: a width typed there serves one search.
    window.action("Analyze/FindPeaks")->trigger();
    ASSERT_TRUE(findPeaks.isVisible());
    Type(Find<QLineEdit>(&findPeaks, "EPWidth"), "0.4");
    Find<QAbstractButton>(&findPeaks, "Button1")->click();
    EXPECT_FALSE(findPeaks.isVisible());
    EXPECT_EQ(ws.PeakCount, 8);
    EXPECT_EQ(ws.Form6.EPWidth, ws.FSetup.EPWidth);
    EXPECT_EQ(ws.ScanStage, 2);
    window.action("SpeedButton1")->trigger();   // zoom out to the whole scan
    QApplication::processEvents();
    Screenshot(window, "scan_window_peaks.png");

    // The background button. The powder standards' buttons are there but off
    // until the program connects them (ConnectStandardTools).
    window.action("SpeedButton4")->trigger();
    EXPECT_EQ(ws.ScanBackgroundRemoved, 1);
    EXPECT_TRUE(host.messages.empty());
    for (const char* name : {"SpeedButton5", "SBShiftLeft", "SBShiftRight", "SBFB", "SBFF", "SBExpand",
                             "SBContract", "SBAutoAdjust", "SBFit2D", "Analyze/Pattern Search Tool"}) {
        ASSERT_NE(window.action(name), nullptr) << name;
        EXPECT_FALSE(window.action(name)->isEnabled()) << name;
    }
    window.action("View/ShowBackground")->trigger();
    QApplication::processEvents();
    Screenshot(window, "scan_window_background.png");
}

TEST(ScanWindowsTest, PsiWindowReadsOutAndZoomsThroughZero) {
    Workspace ws;
    TestHost host;
    ws.CurrentFile = "/data/run7/texture.tif";
    ws.PsiStep = 0.5f;
    for (int c = 0; c <= 720; ++c) {
        const double psi = c * 0.5;
        ws.PsiScanData[c] = static_cast<float>(300 + 1200 * std::exp(-std::pow((psi - 5) / 8, 2)) +
                                               1200 * std::exp(-std::pow((psi - 365) / 8, 2)) +
                                               900 * std::exp(-std::pow((psi - 60) / 8, 2)) +
                                               700 * std::exp(-std::pow((psi - 185) / 8, 2)));
    }
    TForm12Window window(ws, host);
    TForm6Window findPeaks(ws, host);
    TForm7Window background(ws, host);
    TForm5Window zoomIn(ws, host);
    window.setDialogs({&zoomIn, &findPeaks, &background});
    ShowPsiScan(ws, host);
    ws.Form12.RChart2.SetLayerRange(1, 0, 0, 360, 1600);
    QApplication::processEvents();
    ASSERT_TRUE(window.isVisible());
    TRChartWidget* work = window.workingChart();
    TRChart& chart = ws.Form12.RChart2;
    TRChart& strip = ws.Form12.RChart1;

    const QPoint at(chart.MarginLeft() + chart.PlotWidth() / 2, chart.MarginTop() + 30);
    Mouse(work, QEvent::MouseMove, at);
    const double x = WorldX(chart, at.x());
    EXPECT_EQ(chart.Caption(), FormatFixed(x, 3) + ", " +
                                   FormatFixed(ws.PsiScanData[RoundToInt(x / 0.5)], 1));
    QApplication::processEvents();
    QImage shown = work->grab().toImage();
    EXPECT_GT(ColumnPixels(shown, at.x(), chart.MarginTop() + 1, chart.MarginTop() + chart.PlotHeight() - 1,
                           clBlack),
              chart.PlotHeight() / 2);

    // Zoom In over -30..30 by the dialog, then a 'Z' range inside it.
    window.action("SpeedButton7")->trigger();
    ASSERT_TRUE(zoomIn.isVisible());
    Type(Find<QLineEdit>(&zoomIn, "EXMin"), "-30");
    Type(Find<QLineEdit>(&zoomIn, "EXmax"), "30");
    Find<QAbstractButton>(&zoomIn, "OKZoom")->click();
    EXPECT_DOUBLE_EQ(chart.Scale1X().RangeLow(), -30);
    EXPECT_DOUBLE_EQ(strip.CrossHair1().PosX(), 330);
    EXPECT_DOUBLE_EQ(strip.CrossHair2().PosX(), 30);
    QApplication::processEvents();
    Key(work, QEvent::KeyPress, Qt::Key_Z, "z");
    const QPoint left(chart.MarginLeft() + chart.PlotWidth() / 4, chart.MarginTop() + 60);
    const QPoint right(chart.MarginLeft() + 3 * chart.PlotWidth() / 4, chart.MarginTop() + 60);
    const double x1 = WorldX(chart, left.x()), x2 = WorldX(chart, right.x());
    ClickAt(work, left);
    ClickAt(work, right);
    Key(work, QEvent::KeyRelease, Qt::Key_Z, "z");
    EXPECT_NEAR(chart.Scale1X().RangeLow(), x1, 1e-9);
    EXPECT_NEAR(strip.CrossHair1().PosX(), x1 + 360, 1e-9);
    EXPECT_NEAR(strip.CrossHair2().PosX(), x2, 1e-9);
    QApplication::processEvents();
    const QImage overview = window.overviewChart()->grab().toImage();
    EXPECT_GT(ColumnPixels(overview, PixelColumn(strip, x1 + 360), strip.MarginTop() + 1,
                           strip.MarginTop() + strip.PlotHeight() - 1, clBlue),
              5);

    window.action("SpeedButton1")->trigger();
    ws.Form6.EPWidth = "20";   // a window as wide as the texture maxima
    window.action("SpeedButton6")->trigger();
    QApplication::processEvents();
    std::vector<double> marked;
    for (const ChartItem& item : chart.Items())
        if (item.Kind == kItemMarker) marked.push_back(item.X);
    // A maximum closer to the scan's end than half the window is not searched.
    EXPECT_EQ(marked, (std::vector<double>{60, 185, -175}));   // the upper half also 360 lower
    Screenshot(window, "psi_scan_window.png");
}
