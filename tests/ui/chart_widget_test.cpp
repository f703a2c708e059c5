#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <vector>

#include <gtest/gtest.h>

#include "chart/rchart.h"
#include "chart/ui/chart_widget.h"

using namespace orv;

namespace {

QRgb Rgb(TColor c) { return ToQColor(c).rgb(); }

void SendMouse(QWidget& w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(p), w.mapToGlobal(QPointF(p)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

void Move(QWidget& w, QPoint p, Qt::MouseButtons buttons) {
    SendMouse(w, QEvent::MouseMove, p, Qt::NoButton, buttons);
}

} // namespace

TEST(ChartWidgetTest, WidgetSizeBecomesTheChartSize) {
    TRChart chart;
    TRChartWidget widget(chart);
    widget.resize(640, 300);
    widget.show();
    QApplication::processEvents();
    EXPECT_EQ(chart.Width(), 640);
    EXPECT_EQ(chart.Height(), 300);
    EXPECT_EQ(chart.PlotWidth(), 640 - 70);
}

TEST(ChartWidgetTest, ShowItemsRepaintsTheWidget) {
    TRChart chart;
    TRChartWidget widget(chart);
    widget.resize(280, 200);
    widget.show();
    chart.SetLayerRange(1, 0, 0, 210, 140);
    QApplication::processEvents();
    EXPECT_EQ(widget.grab().toImage().pixel(150, 90), Rgb(clWhite));
    chart.SetDataColor(clRed);
    chart.MoveTo(0, 70);
    chart.LineTo(210, 70);
    chart.ShowItems();
    QApplication::processEvents();
    EXPECT_EQ(widget.grab().toImage().pixel(150, 90), Rgb(clRed));
}

TEST(ChartWidgetTest, DraggingACrossHairWithTheMouse) {
    TRChart chart;
    TRChartWidget widget(chart);
    widget.resize(280, 200);
    widget.show();
    QApplication::processEvents();
    chart.SetLayerRange(1, 0, 0, 210, 140);
    chart.SetMouseAction(maDragCrossH);
    chart.CrossHair1().SetMode(chVert);
    chart.CrossHair1().SetColor(clGreen);
    chart.CrossHair1().SetPosX(100);
    std::vector<double> inChart;
    chart.OnMouseMoveInChart = [&](TRChart&, bool in, TShiftState, double x, double) {
        if (in) inChart.push_back(x);
    };
    int downs = 0, ups = 0;
    chart.OnMouseDown = [&](TRChart&, TMouseButton b, TShiftState s, int, int) {
        downs += b == TMouseButton::mbLeft && (s & ssLeft);
    };
    chart.OnMouseUp = [&](TRChart&, TMouseButton, TShiftState, int, int) { ++ups; };

    SendMouse(widget, QEvent::MouseButtonPress, {152, 80}, Qt::LeftButton, Qt::LeftButton);
    Move(widget, {152, 80}, Qt::LeftButton);     // picks
    EXPECT_EQ(chart.CrossHair1().PosX(), 100);
    Move(widget, {180, 80}, Qt::LeftButton);     // moves
    EXPECT_EQ(chart.CrossHair1().PosX(), 130);
    SendMouse(widget, QEvent::MouseButtonRelease, {180, 80}, Qt::LeftButton, Qt::NoButton);
    Move(widget, {200, 80}, Qt::NoButton);
    EXPECT_EQ(chart.CrossHair1().PosX(), 130);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(inChart, (std::vector<double>{102, 130, 150}));

    QApplication::processEvents();
    QImage shown = widget.grab().toImage();
    EXPECT_EQ(shown.pixel(180, 100), Rgb(clGreen));
    EXPECT_EQ(shown.pixel(150, 100), Rgb(clWhite));
}

TEST(ChartWidgetTest, KeysReachTheChartAsWindowsKeyCodes) {
    TRChart chart;
    TRChartWidget widget(chart);
    std::vector<int> keys;
    chart.OnKeyDown = [&](TRChart&, int& key, TShiftState) { keys.push_back(key); };
    chart.OnKeyUp = [&](TRChart&, int& key, TShiftState) { keys.push_back(-key); };
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(&widget, &release);
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(&widget, &left);
    EXPECT_EQ(keys, (std::vector<int>{65, -65, 37}));
    EXPECT_EQ(TRChartWidget::VirtualKeyFromQt(Qt::Key_Z), 90);
    EXPECT_EQ(TRChartWidget::VirtualKeyFromQt(Qt::Key_F2), 113);
}

TEST(ChartWidgetTest, CopyBitmapToClipboardGoesThroughTheWidget) {
    TRChartWidget widget;
    TRChart& chart = widget.Chart();
    chart.SetLayerRange(1, 0, 0, 210, 140);
    chart.SetDataColor(clBlue);
    chart.MoveTo(0, 70);
    chart.LineTo(210, 70);
    QGuiApplication::clipboard()->clear();
    chart.CopyBitmapToClipboard(false);
    QImage copy = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(copy.isNull());
    EXPECT_EQ(copy.pixel(150, 90), Rgb(clBlue));
}

TEST(ChartWidgetTest, ChartOutlivingItsWidgetStopsCallingIt) {
    TRChart chart;
    {
        TRChartWidget widget(chart);
        EXPECT_TRUE(static_cast<bool>(chart.OnRepaint));
    }
    EXPECT_FALSE(static_cast<bool>(chart.OnRepaint));
    chart.ShowItems();    // no widget to update: nothing happens
}
