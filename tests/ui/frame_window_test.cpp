// The frame, zoom, brightness and sector windows on a small frame with
// rings, driven by real mouse and key events.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "../core/frame_test_support.h"
#include "windows_test_support.h"
#include "workspace/frame_display.h"
#include "base/numbers.h"
#include "workspace/sector_overlay.h"
#include "workspace/ui/brightness_window.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/mask_window.h"
#include "workspace/ui/zoom_window.h"
#include "workspace/workspace.h"
#include "../core/pixel_record.h"

namespace orv {
namespace {

// A 300 x 240 flat frame with rings every 2 degrees of 2-theta, shown at
// display width 300 (1:1).
void RingsFrame(Workspace& ws) {
    test::MakeFrame(ws, 300, 240);
    test::FlatGeometry(ws, 150, 120, 200);
    for (int32_t i = 1; i <= 300; ++i) {
        for (int32_t j = 1; j <= 240; ++j) {
            ws.FramePixels.Intensity[i][j] =
                static_cast<int32_t>(20 + 480 * std::pow(std::cos(ws.FramePixels.TwoTheta[i][j] * 3.14159265 / 2), 10));
        }
    }
    ws.MaxIntensity = 500;
    ws.Brightness = 600;
    ws.SectorTwoTheta1 = 10;
    ws.SectorTwoTheta2 = 25;
    ws.SectorPsi1 = 20;
    ws.SectorPsi2 = 120;
}

void Move(QWidget* w, QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
    const QPointF local(at);
    QMouseEvent move(QEvent::MouseMove, local, w->mapToGlobal(local), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void Press(QWidget* w, QPoint at) {
    const QPointF local(at);
    QMouseEvent press(QEvent::MouseButtonPress, local, w->mapToGlobal(local), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

void Release(QWidget* w, QPoint at) {
    const QPointF local(at);
    QMouseEvent release(QEvent::MouseButtonRelease, local, w->mapToGlobal(local), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

void KeyEvent(QWidget* w, QEvent::Type type, int key, const QString& text) {
    QKeyEvent event(type, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &event);
}

// The colour (0x00BBGGRR) of a shown pixel, read back from the widget.
uint32_t Shown(QWidget* view, int x, int y) {
    const QImage image = view->grab().toImage();
    const QRgb c = image.pixel(x, y);
    return MakeColor(qRed(c), qGreen(c), qBlue(c));
}

class FrameWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        RingsFrame(ws);
        RedrawFrame(ws, host);
    }
    // The frame window with its zoom window, shown.
    void Open() {
        frame = std::make_unique<FrameWindow>(ws, host);
        zoom = std::make_unique<ZoomWindow>(ws, host);
        frame->setZoomWindow(zoom.get());
        frame->show();
    }
    Workspace ws;
    test::TestHost host;
    std::unique_ptr<FrameWindow> frame;
    std::unique_ptr<ZoomWindow> zoom;
};

TEST_F(FrameWindowTest, ShowsTheFrameWithTheSectorAndReadsOutUnderTheMouse) {
    Open();
    PictureView* view = frame->view();
    ASSERT_EQ(view->width(), 301);
    ASSERT_EQ(view->height(), 241);

    // Pixel (170, 120) lies 20 pixels right of the beam: 2-theta atan(0.1).
    Move(view, QPoint(170, 120));
    EXPECT_EQ(ws.Form21.Panel4, "X= 170, Y= 120, I= " + std::to_string(ws.FramePixels.Intensity[170][120]));
    EXPECT_EQ(ws.Form21.Panel1, "2Theta= 5.711, Psi= 0");
    EXPECT_EQ(test::Find<QLabel>(zoom.get(), "Panel1")->text(), "2Theta= 5.711, Psi= 0");
    EXPECT_EQ(ws.FrameTools.ZoomX, 170);

    // The sector outline: the inner ring (2-theta 10, 35.3 pixels out) at psi
    // 70 and the outer ring (2-theta 25, 93.3 pixels out) at psi 70 are blue;
    // the middle of the sector is not.
    const double a = 70 * 3.14159265358979 / 180;
    const auto onRing = [&](double radius) {
        return QPoint(static_cast<int>(std::lround(150 + radius * std::cos(a))),
                      static_cast<int>(std::lround(120 - radius * std::sin(a))));
    };
    const QPoint inner = onRing(200 * std::tan(10 * 3.14159265358979 / 180));
    const QPoint outer = onRing(200 * std::tan(25 * 3.14159265358979 / 180));
    const QPoint middle = onRing(200 * std::tan(17 * 3.14159265358979 / 180));
    EXPECT_EQ(Shown(view, inner.x(), inner.y()), BlueColor);
    EXPECT_EQ(Shown(view, outer.x(), outer.y()), BlueColor);
    EXPECT_NE(Shown(view, middle.x(), middle.y()), BlueColor);
    // Outside the sector the frame shows through in its palette colours.
    const orv::test::PixelRecord below = orv::test::PixelAt(ws, 150, 200);
    EXPECT_EQ(Shown(view, 150, 200), IntensityColor(ws.Palette, DisplayScale(ws), below.Intensity));

    // Leaving the frame empties the read-outs.
    Move(view, QPoint(0, 5));
    EXPECT_EQ(ws.Form21.Panel4, "");

    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) {
        QApplication::processEvents();
        frame->grab().save(QString(dir) + "/frame_window.png");
        zoom->grab().save(QString(dir) + "/zoom_window.png");
    }
}

TEST_F(FrameWindowTest, FourClicksWithAHeldMakeASector) {
    Open();
    PictureView* view = frame->view();
    KeyEvent(frame.get(), QEvent::KeyPress, Qt::Key_A, "a");
    EXPECT_TRUE(ws.FrameTools.KeyAHeld);
    for (QPoint p : {QPoint(170, 100), QPoint(200, 60), QPoint(210, 50), QPoint(180, 90)}) {
        Press(view, p);
        Release(view, p);
    }
    EXPECT_TRUE(zoom->isVisible());   // a click shows the zoom window
    KeyEvent(frame.get(), QEvent::KeyRelease, Qt::Key_A, "a");
    EXPECT_FALSE(ws.FrameTools.KeyAHeld);
    EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
    EXPECT_EQ(ws.RectangularSector, 0);
    EXPECT_LT(ws.SectorTwoTheta1, ws.SectorTwoTheta2);
    EXPECT_EQ(ws.FMask.Eth1, FormatNumber(ws.SectorTwoTheta1));
    EXPECT_TRUE(test::Logged(ws, "Angular sector = " + SectorLimitsText(ws.SectorTwoTheta1, ws.SectorPsi1,
                                                                      ws.SectorTwoTheta2, ws.SectorPsi2)));
    // The scan of the new sector was made.
    EXPECT_EQ(ws.LLog.Last(), "2Theta scan calculated and displayed ");
}

TEST_F(FrameWindowTest, EraserMasksWhileDragging) {
    FrameWindow frame(ws, host);
    frame.show();
    PictureView* view = frame.view();
    ws.FrameTools.SBEraser = true;
    ws.FrameTools.EraserSize = 1;
    Press(view, QPoint(50, 50));
    Move(view, QPoint(60, 50), Qt::LeftButton);
    Release(view, QPoint(60, 50));
    EXPECT_EQ(ws.FramePixels.Intensity[50][50], -1);
    EXPECT_NE(ws.FramePixels.Intensity[55][50], -1);   // only where the mouse was
    EXPECT_EQ(ws.FramePixels.Intensity[60][51], -1);
    EXPECT_EQ(Shown(view, 60, 50), MaskedColor);
    EXPECT_FALSE(ws.FrameTools.MouseHeld);
}

TEST_F(FrameWindowTest, AChangeNoticeWithoutAPictureRedraws) {
    FrameWindow frame(ws, host);
    frame.show();
    ws.FramePixels.Intensity[40][40] = -1;   // changed behind the window's back
    ws.Form1.PicturePending = false;
    host.changed(View::Frame);
    EXPECT_EQ(Shown(frame.view(), 40, 40), MaskedColor);
    // Zooming changes the picture's size and the view follows.
    ws.DisplayWidth = 150;
    host.changed(View::Frame);
    EXPECT_EQ(frame.view()->width(), 151);
    EXPECT_EQ(frame.view()->height(), 121);
}

TEST_F(FrameWindowTest, DoubleClickAsksForTheSetupWindow) {
    FrameWindow frame(ws, host);
    int asked = 0;
    QObject::connect(&frame, &FrameWindow::setupWindowRequested, [&] { ++asked; });
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(&frame, &dbl);
    EXPECT_EQ(asked, 1);
}

TEST(ZoomWindowTest, ReadOutOverTheZoomImage) {
    Workspace ws;
    test::TestHost host;
    RingsFrame(ws);
    ZoomWindow zoom(ws, host);
    ws.FrameTools.ZoomX = 100;
    ws.FrameTools.ZoomY = 80;
    DrawZoom(ws);
    zoom.refresh();
    // Magnified twice: image pixel (70, 40) shows column 35 + 100 - 32.
    Move(zoom.view(), QPoint(70, 40));
    EXPECT_EQ(test::Find<QLabel>(&zoom, "Panel4")->text().toStdString(),
              "x, y = 103,68, I = " + std::to_string(ws.FramePixels.Intensity[103][68]));
    EXPECT_EQ(test::Find<QLabel>(&zoom, "Panel1")->text().left(10), "2Theta = 1");
}

TEST(ZoomWindowTest, ReadOutsShowTheirNumbersWhole) {
    Workspace ws;
    test::TestHost host;
    RingsFrame(ws);
    ZoomWindow zoom(ws, host);
    zoom.show();
    // The longest read-outs: a large frame, a wide 2-theta, psi in three digits.
    ws.Form21.Panel4 = "X= 11999, Y= 11999, I= -2147483648";
    ws.Form21.Panel1 = "2Theta= 123.456, Psi= 359";
    zoom.refresh();
    QApplication::processEvents();
    for (const char* name : {"Panel4", "Panel1"}) {
        auto* panel = test::Find<QLabel>(&zoom, name);
        EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()))
            << name << ": " << panel->text().toStdString();
    }
}

TEST(BrightnessWindowTest, TrackBarSetsTheBrightnessAndRedraws) {
    Workspace ws;
    test::TestHost host;
    RingsFrame(ws);
    BrightnessWindow window(ws, host);
    EXPECT_EQ(window.trackBar()->value(), 50);
    window.trackBar()->setValue(0);
    EXPECT_EQ(ws.Brightness, 10);
    EXPECT_EQ(test::Find<QLineEdit>(&window, "Edit1")->text(), "0");
    // A picture at brightness 10: the brightest pixel (500 counts) has index 10.
    EXPECT_EQ(ws.Form1.Image1.Get(150, 120), ws.Palette[10]);
    ws.Form22.TrackBar1 = 77;   // moved by the main window's steps
    host.changed(View::Settings);
    EXPECT_EQ(window.trackBar()->value(), 77);
    test::ExpectButtonHides(&window, "Button1");
}

TEST(MaskWindowTest, ApplyFullRangeAndCancel) {
    Workspace ws;
    test::TestHost host;
    RingsFrame(ws);
    ws.RectangularSector = 1;
    TFMaskWindow window(ws, host);
    window.show();
    test::Type(test::Find<QLineEdit>(&window, "Eth1"), "12");
    test::Type(test::Find<QLineEdit>(&window, "Eth2"), "20");
    EXPECT_EQ(ws.FMask.Eth1, "12");
    test::Find<QPushButton>(&window, "Button1")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(ws.RectangularSector, 0);   // Apply unticked: the angular sector
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 12.0f);
    window.show();
    test::Find<QPushButton>(&window, "BFRange")->click();
    EXPECT_EQ(test::Find<QLineEdit>(&window, "Ex2")->text(), "300");
    EXPECT_EQ(test::Find<QLineEdit>(&window, "EY2")->text(), "240");
    EXPECT_EQ(test::Find<QLineEdit>(&window, "EPsi2")->text(), "360");
    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) window.grab().save(QString(dir) + "/mask_window.png");
    test::ExpectButtonHides(&window, "Button3");
    // A sector picked on the frame shows in the boxes.
    ws.FMask.Eth2 = "33.000";
    host.changed(View::Sector);
    EXPECT_EQ(test::Find<QLineEdit>(&window, "Eth2")->text(), "33.000");
}

} // namespace
} // namespace orv
