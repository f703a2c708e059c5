#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include <gtest/gtest.h>

#include "chart/ui/chart_widget.h"
#include "scans/line_scan_tool.h"
#include "scans/mineral_list.h"
#include "scans/standard_overlay.h"
#include "scans/ui/line_scan_window.h"
#include "windows_test_support.h"
#include "workspace/geometry.h"
#include "workspace/sector_reductions.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

void Screenshot(QWidget& w, const char* name) {
    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) w.grab().save(QString(dir) + "/" + name);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

int PixelColumn(const TRChart& chart, double x) {
    int px = 0, py = 0;
    chart.WorldToPixel(1, x, 0, px, py);
    return px;
}

constexpr double Landa = 0.7093;
const double SiliconD[] = {3.1355, 1.9201, 1.6375, 1.3577, 1.2459, 1.1086};

double TwoThetaOf(double d) { return 2 * std::asin(Landa / (2 * d)) * 180 / std::numbers::pi; }

// A silicon frame of a flat detector 400 pixels from the sample, its rings
// rendered through the program's geometry; the pattern selected.
void SiliconFrame(Workspace& ws, Host& host) {
    const int w = 1024, h = 96;
    ws.FramePixels.Blank(w, h);
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FrameSize = w;
    ws.Xo = 100.3;
    ws.Yo = 48;
    ws.Distance = 100;
    ws.DSize = 256;
    ws.Landa = Landa;
    ws.LastFileIndex = 0;
    ws.CurrentFile = "/data/si.tif";
    ws.Form1.Caption = "si.tif";
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    for (int i = 1; i <= w; ++i)
        for (int j = 1; j <= h; ++j) {
            double v = 30 + 20 * std::exp(-ws.FramePixels.TwoTheta[i][j] / 10);
            for (size_t k = 0; k < std::size(SiliconD); ++k)
                v += (1000.0 - 120 * k) *
                     std::exp(-std::pow((ws.FramePixels.TwoTheta[i][j] - TwoThetaOf(SiliconD[k])) / 0.12, 2));
            ws.FramePixels.Intensity[i][j] = static_cast<int32_t>(std::lround(v));
        }
    MineralRecord& p = ws.MineralTable[1];
    p.Name = "Si";
    p.LineCount = static_cast<int32_t>(std::size(SiliconD));
    const char* hkl[] = {"1 1 1", "2 2 0", "3 1 1", "4 0 0", "3 3 1", "4 2 2"};
    for (size_t k = 0; k < std::size(SiliconD); ++k) p.Line[k] = {hkl[k], SiliconD[k], 100.0 - 12 * k};
    ws.MineralCount = 1;
    ShowAllMinerals(ws);
    SelectMineralRow(ws, 0);
    ws.Form32.EYoM = "48";
}

} // namespace

// The sticks dragged with the mouse onto the rings, snapped, and the
// distance found from them and applied.
TEST(LineScanWindowTest, SticksDraggedSnappedAndCalibrated) {
    Workspace ws;
    TestHost host;
    SiliconFrame(ws, host);
    TForm34Window window(ws, host);
    ASSERT_TRUE(ShowLineScan(ws, host, true, std::string("1")));
    window.refresh();
    ASSERT_TRUE(window.isVisible());
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), " X  Line Scan at Y = 48");
    EXPECT_EQ(Find<QLabel>(&window, "Panel3")->text(), "si.tif");

    // The standard from the list: sticks where the overlay puts them.
    DrawStandardOnLineScan(ws, 1, 1, 0);
    window.refresh();
    EXPECT_EQ(Find<QLabel>(&window, "PName")->text(), "Si");
    const double placed = ws.StandardLinePixels[1];

    // Drag line 1, and the whole pattern with it, onto the first ring.
    TRChartWidget* chart = window.chart();
    TRChart& c = ws.Form34.RChart1;
    const int y = c.MarginTop() + c.PlotHeight() / 2;
    auto ring = [](size_t k) { return 100.3 + 400 * std::tan(TwoThetaOf(SiliconD[k]) * std::numbers::pi / 180); };
    auto drag = [&](double fromX, double toX, Qt::MouseButton button) {
        const QPoint from(PixelColumn(c, fromX), y), to(PixelColumn(c, toX), y);
        Mouse(chart, QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
        Mouse(chart, QEvent::MouseButtonPress, from, button, button);
        Mouse(chart, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
        Mouse(chart, QEvent::MouseMove, to, Qt::NoButton, button);
        Mouse(chart, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
    };
    const double sixth = ws.StandardLinePixels[6];
    drag(placed, ring(0), Qt::LeftButton);
    EXPECT_EQ(Find<QLabel>(&window, "PName")->text(), "Si 1 1 1");
    EXPECT_FALSE(ws.Form34.AnchorPicked);
    EXPECT_NEAR(ws.StandardLinePixels[1], ring(0), 3);
    EXPECT_NEAR(ws.StandardLinePixels[6] - sixth, ws.StandardLinePixels[1] - placed, 1e-9);

    // Stretch the pattern about line 1 with the right button until line 6
    // reaches its ring; then, with 'S' held, each line between onto its own.
    drag(ws.StandardLinePixels[6], ring(5), Qt::RightButton);
    EXPECT_NEAR(ws.StandardLinePixels[6], ring(5), 3);
    EXPECT_NEAR(ws.StandardLinePixels[1], ring(0), 3);
    QKeyEvent pressS(QEvent::KeyPress, Qt::Key_S, Qt::NoModifier, "s");
    QApplication::sendEvent(chart, &pressS);
    for (size_t k = 1; k <= 4; ++k) drag(ws.StandardLinePixels[k + 1], ring(k), Qt::LeftButton);
    QKeyEvent releaseS(QEvent::KeyRelease, Qt::Key_S, Qt::NoModifier, "s");
    QApplication::sendEvent(chart, &releaseS);
    EXPECT_FALSE(ws.FrameTools.KeySHeld);
    EXPECT_NEAR(ws.StandardLinePixels[1], ring(0), 3);

    // Snapped onto the rings' crests, between pixels.
    window.action("SBAdjustPeaks")->trigger();
    for (size_t k = 0; k < std::size(SiliconD); ++k) EXPECT_NEAR(ws.StandardLinePixels[k + 1], ring(k), 0.05) << k;
    QApplication::processEvents();
    Screenshot(window, "line_scan_window.png");

    // "Distance" applies the distance and the centre along the line.
    ws.Distance = 110;
    ws.Xo = 104;
    host.yes = true;
    window.action("SBDistance")->trigger();
    EXPECT_NEAR(ws.Distance, 100, 0.01);
    EXPECT_NEAR(ws.Xo, 100.3, 0.05);
    EXPECT_TRUE(host.messages.empty());
    window.action("Analyze/Calculate Wavelength")->trigger();
    EXPECT_NEAR(ws.Landa, Landa, 0.003);
}
