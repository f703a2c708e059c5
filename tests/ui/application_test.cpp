#include <QApplication>
#include <QImage>
#include <QInputDialog>
#include <QTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <cstdlib>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "chart/rchart.h"
#include "scans/line_scan_tool.h"
#include "workspace/frame_display.h"
#include "workspace/main_commands.h"
#include "workspace/ui/application.h"
#include "scans/ui/scan_windows.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/logbook_window.h"
#include "workspace/ui/main_window.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// A program folder of its own for each test.
struct ProgramHome {
    std::filesystem::path dir;
    ProgramHome() {
        dir = std::filesystem::temp_directory_path() / ("orv-app-" + std::to_string(::getpid()) + "-" +
                                                         std::to_string(rand()));
        std::filesystem::create_directories(dir);
        setenv("ORVANTIDE_HOME", dir.c_str(), 1);
    }
    ~ProgramHome() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

std::string SampleFrame() { return std::string(ORV_TEST_DATA) + "/../../data/sample.orv"; }

int DistinctColours(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

} // namespace

TEST(ApplicationTest, CommandLineFrameIsLoadedShownAndScanned) {
    ProgramHome home;
    Application app({SampleFrame()});
    app.firstShowSetup();
    app.waitForLoading();
    Workspace& ws = app.workspace();
    ASSERT_TRUE(ws.FrameIsLoaded());
    EXPECT_EQ(ws.FrameWidth, 512);
    EXPECT_EQ(ws.FramesLoaded, 1);
    EXPECT_TRUE(std::filesystem::exists(home.dir / "didediver.set"));
    EXPECT_TRUE(std::filesystem::is_directory(home.dir / "Data"));
    // The frame window shows the frame in colour, the scan window the scan.
    const QImage picture = ImageOf(ws.Form1.Image1);
    EXPECT_EQ(picture.width(), ws.DisplayWidth + 1);
    EXPECT_GT(DistinctColours(picture), 20);
    EXPECT_GT(ws.Form2.RChart1.ItemCount(), 100);
    EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::FileOpen));
}

TEST(ApplicationTest, ASecondLoadIsRefusedWhileOneRuns) {
    ProgramHome home;
    Application app({SampleFrame()});
    app.firstShowSetup();
    if (app.loading()) {
        EXPECT_FALSE(app.mainWindow().commandEnabled(CommandId::FileOpen));
        EXPECT_FALSE(app.startLoading());
    }
    app.waitForLoading();
    EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::FileOpen));
    EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::StopBatch));
}

TEST(ApplicationTest, TheBackgroundRemovalBlocksFrameCommandsWhileItRuns) {
    ProgramHome home;
    Application app({SampleFrame()});
    app.firstShowSetup();
    app.waitForLoading();
    Workspace& ws = app.workspace();
    ASSERT_TRUE(ws.FrameIsLoaded());
    const int64_t before = [&] {
        int64_t sum = 0;
        for (int32_t i = 1; i <= ws.FrameWidth; ++i)
            for (int32_t j = 1; j <= ws.FrameHeight; ++j) sum += std::max(0, ws.FramePixels.Intensity[i][j]);
        return sum;
    }();
    ASSERT_TRUE(app.mainWindow().trigger(CommandId::RemoveFrameBackground));
    // Until it has finished, nothing else may change the frame.
    if (app.removingBackground()) {
        EXPECT_FALSE(app.mainWindow().commandEnabled(CommandId::FileOpen));
        EXPECT_FALSE(app.mainWindow().commandEnabled(CommandId::Merge));
        EXPECT_FALSE(app.startLoading());
    }
    app.waitForLoading();
    EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::FileOpen));
    EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::RemoveFrameBackground));
    const auto lines = ws.LLog.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Background of Frame removed");
    int64_t after = 0;
    for (int32_t i = 1; i <= ws.FrameWidth; ++i)
        for (int32_t j = 1; j <= ws.FrameHeight; ++j) after += std::max(0, ws.FramePixels.Intensity[i][j]);
    EXPECT_LT(after, before);
    EXPECT_EQ(ws.Form20.ProgressBar1, 100);
}

// The series, d-spacing and line-scan windows from the main window on the
// sample frame (the line scan with the width asked for).
TEST(ApplicationTest, SeriesDSpacingAndLineScanWindowsOpenFromTheMenus) {
    ProgramHome home;
    Application app({SampleFrame()});
    app.firstShowSetup();
    app.waitForLoading();
    Workspace& ws = app.workspace();
    ASSERT_TRUE(ws.FrameIsLoaded());
    auto shown = [](const char* name) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name) return w->isVisible();
        return false;
    };
    ASSERT_TRUE(app.mainWindow().trigger(CommandId::ShowScanSeries));
    EXPECT_TRUE(shown("TForm9"));
    EXPECT_EQ(ws.Form9.LPWD, std::vector<std::string>{ws.CurrentFile});
    EXPECT_GT(ws.Form9.RChart1.ItemCount(), 100);

    ASSERT_TRUE(app.mainWindow().trigger(CommandId::DSpacingVsPsi));
    EXPECT_TRUE(shown("TForm10"));
    EXPECT_EQ(ws.Form10.RChart1.ItemCount(), 73);

    QTimer::singleShot(0, [] {
        if (auto* d = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
            d->setTextValue("2");
            d->accept();
        }
    });
    ASSERT_TRUE(app.mainWindow().trigger(CommandId::LineScanY));
    EXPECT_TRUE(shown("TForm34"));
    EXPECT_EQ(ws.LineScanWidth, 2);
    EXPECT_EQ(LineProfileLength(ws), ws.FrameWidth);
    EXPECT_GT(ws.Form34.RChart1.ItemCount(), ws.FrameWidth - 1);
}

TEST(ApplicationTest, AnInteractiveBatchEndsShowingItsLastFrameScanLogbookAndProgress) {
    // Twelve frames: more than the history holds. While the batch runs the
    // windows catch up now and then; at its end they must show where it ended.
    ProgramHome home;
    std::vector<std::string> files;
    for (int k = 0; k < 12; ++k) {
        const auto path = home.dir / ("batch" + std::to_string(k) + ".orv");
        std::filesystem::copy_file(SampleFrame(), path);
        files.push_back(path.string());
    }
    Application app({});
    app.firstShowSetup();
    app.start();
    Workspace& ws = app.workspace();
    ASSERT_TRUE(OpenFiles(ws, files));
    ws.FSetup.CB2ThScan = true;
    ws.OutputDir = home.dir.string();
    ASSERT_TRUE(app.mainWindow().trigger(CommandId::RunBatch));
    app.waitForLoading();
    ASSERT_EQ(ws.FramesLoaded, 12);
    EXPECT_EQ(ws.CurrentFile, files.back());
    EXPECT_TRUE(std::filesystem::exists(home.dir / "batch11.orv.xy") ||
                std::filesystem::exists(home.dir / "batch11.xy"));

    // The frame window: the last frame with its sector, as a redraw makes it.
    EXPECT_EQ(app.frameWindow().windowTitle().toStdString(), "batch11.orv");
    const std::vector<uint32_t> shown = ws.Form1.Image1.Pixels;
    RedrawFramePicture(ws, app.host());
    EXPECT_TRUE(shown == ws.Form1.Image1.Pixels);
    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) {
        QApplication::processEvents();
        app.frameWindow().grab().save(QString(dir) + "/batch_frame_window.png");
        app.scanWindow().grab().save(QString(dir) + "/batch_scan_window.png");
        app.mainWindow().grab().save(QString(dir) + "/batch_main_window.png");
        if (QScreen* screen = QGuiApplication::primaryScreen())
            screen->grabWindow(0).save(QString(dir) + "/batch_screen.png");
    }
    // The scan window: the last frame's scan.
    EXPECT_TRUE(app.scanWindow().isVisible());
    EXPECT_EQ(app.scanWindow().windowTitle().toStdString(), "2Theta Scan of batch11.orv");
    EXPECT_GT(ws.Form2.RChart1.ItemCount(), 100);
    // Every logbook line, and the progress at its end.
    QStringList lines;
    for (const std::string& line : ws.LLog.Lines()) lines << QString::fromStdString(line);
    EXPECT_EQ(app.logbook().findChild<QPlainTextEdit*>("LLog")->toPlainText(), lines.join('\n'));
    EXPECT_NE(lines.join('\n').indexOf("batch11.orv"), -1);
    EXPECT_EQ(app.mainWindow().findChild<QProgressBar*>("ProgressBar1")->value(), 100);
    // The history: the last ten frames, each on its own picture.
    QWidget* history = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "TForm17") history = w;
    ASSERT_NE(history, nullptr);
    std::set<QString> captions;
    for (int k = 1; k <= 10; ++k) {
        const QLabel* picture = history->findChild<QLabel*>(QString("Image%1").arg(k));
        ASSERT_NE(picture, nullptr);
        EXPECT_FALSE(picture->pixmap().isNull()) << k;
        captions.insert(history->findChild<QLabel*>(QString("Pan%1").arg(k))->text());
    }
    for (int k = 2; k < 12; ++k) EXPECT_EQ(captions.count(QString("batch%1.orv").arg(k)), 1u) << k;
}
