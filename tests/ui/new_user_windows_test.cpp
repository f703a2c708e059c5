// The windows as a new user meets them: on the screen, with progress that
// ends at 100, four-click sectors that start again, an Open that survives an
// unreadable file, a logbook keys cannot change, peak marks inside the plot,
// and an exit that can be taken back.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "base/numbers.h"
#include "scans/psi_scan_window.h"
#include "scans/theta_scan_window.h"
#include "scans/ui/scan_windows.h"
#include "windows_test_support.h"
#include "workspace/frame_display.h"
#include "workspace/frame_tools.h"
#include "workspace/main_commands.h"
#include "workspace/sector_dialog.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/ui/application.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/logbook_window.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/screen_placement.h"
#include "workspace/window_placement.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

namespace fs = std::filesystem;

// A program folder and a scratch folder of their own for each test.
struct Home {
    fs::path dir;
    Home() {
        dir = fs::temp_directory_path() / ("orv-newuser-" + std::to_string(::getpid()) + "-" + std::to_string(rand()));
        fs::create_directories(dir / "home");
        setenv("ORVANTIDE_HOME", (dir / "home").c_str(), 1);
    }
    ~Home() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }
};

std::string SampleFrame() { return std::string(ORV_TEST_DATA) + "/../../data/sample.orv"; }

// Lets the event loop run for a while (timers included).
void Settle(int milliseconds) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

ScreenRect RectOf(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

struct LoadedApp {
    Home home;
    Application app{{SampleFrame()}};
    LoadedApp() {
        app.firstShowSetup();
        app.waitForLoading();
    }
};

} // namespace

// ---- On the screen -----------------------------------------------------------

TEST(NewUserWindowsTest, EveryWindowAndDialogOpensWhollyOnTheScreen) {
    LoadedApp t;
    Application& app = t.app;
    ASSERT_TRUE(app.workspace().FrameIsLoaded());
    app.start();
    app.mainWindow().trigger(CommandId::ShowScanSeries);
    Settle(50);
    int checked = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowType() != Qt::Window && w->windowType() != Qt::Dialog) continue;
        if (w->objectName().isEmpty() || w->objectName() == "TForm30") continue;   // not the splash
        w->show();
        Settle(300);   // the second look, once a window manager would have framed it
        const QRect area = AvailableArea(w);
        // A window that cannot be made as small as the screen (the test's
        // screen is smaller than a desktop's) at least starts on it.
        const QSize least = w->minimumSizeHint().expandedTo(w->minimumSize());
        if (least.width() > area.width() || least.height() > area.height()) {
            EXPECT_TRUE(area.contains(w->frameGeometry().topLeft())) << w->objectName().toStdString();
            continue;
        }
        EXPECT_TRUE(Inside(RectOf(w->frameGeometry()), RectOf(area)))
            << w->objectName().toStdString() << " at " << w->frameGeometry().x() << "," << w->frameGeometry().y()
            << " " << w->frameGeometry().width() << "x" << w->frameGeometry().height() << " on " << area.width()
            << "x" << area.height();
        ++checked;
    }
    EXPECT_GE(checked, 25);

    // The frame window stands below the whole main window, so both menus
    // and the main window's buttons can be reached.
    EXPECT_GE(app.frameWindow().frameGeometry().top(), app.mainWindow().frameGeometry().bottom());
    // The scan-series window leaves the 2-theta window's menu bar free.
    QWidget* series = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "TForm9") series = w;
    ASSERT_NE(series, nullptr);
    app.mainWindow().trigger(CommandId::ShowScanSeries);
    Settle(50);
    const QMenuBar* bar = app.scanWindow().findChild<QMenuBar*>();
    ASSERT_NE(bar, nullptr);
    const QRect menus(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    EXPECT_FALSE(series->frameGeometry().intersects(menus));
}

// ---- Progress ----------------------------------------------------------------
// The pole-figure generator's bar is checked where its run is
// (PoleWindowsTest); the main bar ends with it at 100.

// ---- Four-click sectors --------------------------------------------------------

TEST(NewUserWindowsTest, FourClickSectorStartsAgainWhenAbandoned) {
    LoadedApp t;
    Application& app = t.app;
    Workspace& ws = app.workspace();
    FrameWindow& frame = app.frameWindow();
    frame.show();
    PictureView* view = frame.view();
    QLabel* prompt = Find<QLabel>(&frame, "SectorPrompt");
    // Four points on the frame's picture, well inside it.
    const int w = ws.Form1.Image1.Width, h = ws.Form1.Image1.Height;
    const QPoint points[] = {{w / 4, h / 5}, {3 * w / 4, h / 4}, {2 * w / 3, 3 * h / 4}, {w / 5, 2 * h / 3}};
    auto psiAt = [&](QPoint p) {
        int32_t column = 0, row = 0;
        EXPECT_TRUE(ScreenToFrame(ws, p.x(), p.y(), column, row));
        return ws.FramePixels.Pixel(column, row).Psi;
    };
    auto twoClicks = [&] {
        app.mainWindow().trigger(CommandId::ToolSelectAng);
        EXPECT_FALSE(prompt->text().isEmpty());
        const QString before = prompt->text();
        Click(view, points[2]);
        Click(view, points[3]);
        ASSERT_EQ(ws.FrameTools.SectorClicks, 2);
        EXPECT_NE(prompt->text(), before);   // it tells the next corner
    };
    struct Case {
        const char* how;
        std::function<void()> abandon;
    };
    const Case cases[] = {
        {"Escape", [&] { SendKey(&frame, Qt::Key_Escape, QString()); }},
        {"a click beside the frame", [&] { Click(view, QPoint(0, 0)); }},
        {"another tool", [&] { app.mainWindow().trigger(CommandId::ToolSelectRect); }},
        {"the sector dialog", [&] { FMaskButton1Click(ws, app.host()); }},
        {"a frame opened", [&] {
             app.openFiles({SampleFrame()});
             app.waitForLoading();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        twoClicks();
        c.abandon();
        EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
        // Four new clicks make the sector of those four clicks alone.
        app.mainWindow().trigger(CommandId::ToolSelectAng);
        for (QPoint p : points) Click(view, p);
        EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
        EXPECT_EQ(ws.RectangularSector, 0);
        EXPECT_FLOAT_EQ(ws.SectorPsi1, psiAt(points[1]));
        EXPECT_FLOAT_EQ(ws.SectorPsi2, psiAt(points[2]));
    }
    app.mainWindow().trigger(CommandId::ToolPoint);
    EXPECT_TRUE(prompt->text().isEmpty());
}

// ---- Open with an unreadable file ------------------------------------------------

TEST(NewUserWindowsTest, OpenLeavesOutUnreadableFilesAndKeepsTheCharts) {
    LoadedApp t;
    Application& app = t.app;
    Workspace& ws = app.workspace();
    app.host().setUnattended(true);   // the message goes to the logbook
    const std::string slices = t.home.file("series.slc");
    WriteTextLines(slices, {"10.000 11.000 1.000", "ring.000 1 2 3"});
    const std::string a = t.home.file("a.orv"), b = t.home.file("b.orv");
    fs::copy_file(SampleFrame(), a);
    fs::copy_file(SampleFrame(), b);
    const std::vector<ChartItem> chart = ws.Form2.RChart1.Items();
    ASSERT_FALSE(chart.empty());
    const std::string shown = ws.CurrentFile;

    // Nothing readable: nothing changes, and the file is named.
    size_t logged = ws.LLog.Count();
    EXPECT_FALSE(app.openFiles({slices}));
    app.waitForLoading();
    EXPECT_EQ(ws.CurrentFile, shown);
    ASSERT_EQ(ws.Form2.RChart1.Items().size(), chart.size());
    for (size_t i = 0; i < chart.size(); ++i) EXPECT_EQ(ws.Form2.RChart1.Items()[i].Y, chart[i].Y) << i;
    ASSERT_GT(ws.LLog.Count(), logged);
    EXPECT_NE(ws.LLog.Lines()[logged].find("series.slc"), std::string::npos);

    // Among frames: they are listed and the first is loaded; one message
    // names the unreadable one.
    logged = ws.LLog.Count();
    EXPECT_TRUE(app.openFiles({slices, a, b}));
    app.waitForLoading();
    EXPECT_EQ(ws.FileList, (std::vector<std::string>{a, b}));
    EXPECT_EQ(ws.CurrentFile, a);
    EXPECT_TRUE(ws.FrameIsLoaded());
    int naming = 0;
    for (size_t i = logged; i < ws.LLog.Count(); ++i)
        naming += ws.LLog.Lines()[i].find("series.slc") != std::string::npos;
    EXPECT_EQ(naming, 1);
}

// ---- The logbook -----------------------------------------------------------------

TEST(NewUserWindowsTest, LogbookKeysReachTheToolsAndNewLinesAreFollowed) {
    LoadedApp t;
    Application& app = t.app;
    Workspace& ws = app.workspace();
    TForm11Window& logbook = app.logbook();
    logbook.hide();
    // Lines that come while it is hidden are in view when it is shown.
    for (int i = 0; i < 300; ++i) ws.LLog.Append("step " + std::to_string(i));
    app.host().changed(View::Logbook);
    logbook.show();
    Settle(20);
    QPlainTextEdit* memo = logbook.memo();
    QScrollBar* bar = memo->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    const QString text = memo->toPlainText();
    const std::vector<std::string> lines = ws.LLog.Lines();
    memo->setFocus();
    struct Key {
        int code;
        const char* text;
        bool* held;   // the tool flag the key holds, if any
    };
    const Key keys[] = {{Qt::Key_A, "A", &ws.FrameTools.KeyAHeld}, {Qt::Key_S, "s", &ws.FrameTools.KeySHeld},
                        {Qt::Key_Z, "z", &ws.FrameTools.KeyZHeld}, {Qt::Key_X, "x", nullptr},
                        {Qt::Key_Backspace, "", nullptr},          {Qt::Key_Return, "\r", nullptr}};
    for (const Key& k : keys) {
        SCOPED_TRACE(k.text);
        QKeyEvent press(QEvent::KeyPress, k.code, Qt::NoModifier, k.text);
        QApplication::sendEvent(memo, &press);
        if (k.held) {
            EXPECT_TRUE(*k.held);   // the tool got the key
        }
        QKeyEvent release(QEvent::KeyRelease, k.code, Qt::NoModifier, k.text);
        QApplication::sendEvent(memo, &release);
        if (k.held) {
            EXPECT_FALSE(*k.held);
        }
        EXPECT_EQ(memo->toPlainText(), text);
        EXPECT_EQ(ws.LLog.Lines(), lines);
    }
}

// ---- Peak marks --------------------------------------------------------------------

TEST(NewUserWindowsTest, PeakMarksStayInsideThePlotAfterZooms) {
    LoadedApp t;
    Application& app = t.app;
    Workspace& ws = app.workspace();
    Host& host = app.host();
    app.scanWindow().show();
    PsiScan1Click(ws, host);
    app.psiScanWindow().show();
    Settle(20);
    FindThetaPeaks(ws, host, ws.Form6);
    // A powder's psi scan has no peaks to speak of: a hand mark at its
    // highest point stands for the tallest peak's.
    int32_t top = 0;
    for (int32_t c = 0; c <= PsiLastPoint(ws); ++c)
        if (ws.PsiScanData[c] > ws.PsiScanData[top]) top = c;
    PsiMouseDown(ws, host, top * ws.PsiStep);

    auto marksInside = [](const TRChart& chart, double lo, double hi) {
        int marks = 0;
        for (const ChartItem& item : chart.Items()) {
            if (item.Kind != kItemMarker || item.X < lo || item.X > hi) continue;
            int px = 0, py = 0;
            chart.WorldToPixel(1, item.X, item.Y, px, py);
            // The circle reaches 3 pixels above its point.
            EXPECT_TRUE(chart.InPlotArea(px, py - 3)) << "mark at " << item.X << ", " << item.Y;
            ++marks;
        }
        return marks;
    };
    const TRChart& theta = ws.Form2.RChart1;
    const TRChart& psi = ws.Form12.RChart2;
    const double first = ws.SectorScan[1].TwoTheta, last = ws.SectorScan[ws.ScanPoints].TwoTheta;
    struct Case {
        const char* how;
        std::function<void()> zoom;
        const TRChart& chart;
        double lo, hi;
    };
    const Case cases[] = {
        {"2-theta Zoom In, AutoMax",
         [&] {
             ws.Form5.EXMin = FormatNumber(first);
             ws.Form5.EXmax = FormatNumber(last);
             ws.Form5.CBAMax = true;
             ThetaZoomIn(ws, ws.Form5);
         },
         theta, first, last},
        {"2-theta Z zoom",
         [&] {
             for (double x : {first, last}) {
                 ThetaKeyDown(ws, 'Z');
                 ThetaMouseDown(ws, host, x);
             }
         },
         theta, first, last},
        {"psi Zoom In, AutoMax",
         [&] {
             ws.Form5.EXMin = "0";
             ws.Form5.EXmax = "360";
             ws.Form5.CBAMax = true;
             PsiZoomIn(ws, ws.Form5);
         },
         psi, 0, 360},
        {"psi Z zoom",
         [&] {
             for (double x : {0.0, 360.0}) {
                 PsiKeyDown(ws, 'Z');
                 PsiMouseDown(ws, host, x);
             }
         },
         psi, 0, 360},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        c.zoom();
        EXPECT_GT(marksInside(c.chart, c.lo, c.hi), 0);
    }
}

// ---- Leaving -------------------------------------------------------------------------

TEST(NewUserWindowsTest, CancelOnExitKeepsTheProgramAndTheDialogSaysWhatItSaves) {
    LoadedApp t;
    Application& app = t.app;
    Workspace& ws = app.workspace();
    for (int i = 0; i < 10; ++i) ws.LLog.Append("step " + std::to_string(i));
    MainWindow& main = app.mainWindow();
    main.show();
    // Answers the question box with `reply` and cancels the save dialog.
    QString dialogTitle;
    QMessageBox::StandardButton reply = QMessageBox::Cancel;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(reply)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialogTitle = dialog->windowTitle();
            dialog->reject();
        }
    });
    watcher.start();
    main.close();
    EXPECT_TRUE(main.isVisible());
    // Yes, then the save dialog cancelled: still running.
    reply = QMessageBox::Yes;
    main.close();
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(dialogTitle.contains("logbook")) << dialogTitle.toStdString();
}
