// The pole-figure windows driven through real Qt events.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "../../tools/format_fixture_writers.h"

#include "polefig/pole_files.h"
#include "polefig/pole_viewer.h"
#include "polefig/pole_worker.h"
#include "polefig/ui/pole_generator_window.h"
#include "polefig/ui/pole_windows.h"
#include "windows_test_support.h"
#include "workspace/text_files.h"
#include "workspace/ui/application.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/main_window.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// A whole turn of 72 frames whose slices grow with psi.
std::string WriteSeries(const QTemporaryDir& dir) {
    std::vector<std::string> lines{SliceFileHeader(10, 11, 1)};
    for (int m = 0; m < 72; ++m) {
        std::vector<int32_t> sums(360);
        for (int d = 0; d < 360; ++d) sums[static_cast<size_t>(d)] = 10 * (d % 90) + m;
        lines.push_back(SliceFileLine("s." + std::string(m < 10 ? "00" : "0") + std::to_string(m), sums));
    }
    const std::string path = dir.filePath("series.slc").toStdString();
    WriteTextLines(path, lines);
    return path;
}

} // namespace

TEST(PoleWindowsTest, ViewerShowsItsFiguresAndAnswersTheMouseAndButtons) {
    QTemporaryDir dir;
    Workspace ws;
    TestHost host;
    TFPoleFWindow w(ws, host);
    w.show();
    OpenPoleFigures(ws, host, {WriteSeries(dir)});
    ASSERT_TRUE(host.messages.empty()) << host.messages[0];
    EXPECT_EQ(Find<QLabel>(&w, "panelp1")->text(), "series.slc");
    EXPECT_EQ(ImageOf(ws.FPoleF.Image[0]).size(), QSize(303, 303));

    PictureView* panel = w.panel(0);
    Click(panel, QPoint(186, 102));
    EXPECT_EQ(Find<QLineEdit>(&w, "EPSI")->text(), "36");
    EXPECT_EQ(Find<QLineEdit>(&w, "EPHI")->text(), "53");
    EXPECT_TRUE(Find<QLineEdit>(&w, "EPSI")->styleSheet().contains("rgb(166, 202, 240)"));
    EXPECT_GT(ws.FPoleF.RChart1.ItemCount(), 10);
    Click(panel, QPoint(150, 150 - 150 / 2));
    EXPECT_EQ(Find<QLineEdit>(&w, "EPSI3")->text(), "45");
    Find<QPushButton>(&w, "Angle")->click();
    EXPECT_EQ(Find<QLineEdit>(&w, "Eangle")->text(), ws.FPoleF.Eangle.c_str());
    EXPECT_FALSE(ws.FPoleF.Eangle.empty());

    QMouseEvent move(QEvent::MouseMove, QPointF(160, 150), panel->mapToGlobal(QPointF(160, 150)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(panel, &move);
    EXPECT_TRUE(Find<QLabel>(&w, "panelout")->text().startsWith("psi = 6 phi = 360 I = "));

    Find<QPushButton>(&w, "Button2")->click();
    EXPECT_EQ(Find<QLineEdit>(&w, "Edit2")->text(), "5");
    Find<QPushButton>(&w, "Button4")->click();
    EXPECT_FALSE(Find<QPushButton>(&w, "Button4")->isEnabled());
    EXPECT_TRUE(w.findChild<QAction*>("Generate1")->isEnabled());

    // Typing a rotation total that is not a number is answered, not obeyed.
    Type(Find<QLineEdit>(&w, "Edit2"), "x");
    Find<QPushButton>(&w, "Button3")->click();
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back(), "'x' is not a valid number");
    ExpectButtonHides(&w, "Button1");
}

TEST(PoleWindowsTest, SettingsOkHandsThePhiAxisOnAndHides) {
    Workspace ws;
    TestHost host;
    TForm14Window w(ws, host);
    w.show();
    Type(Find<QLineEdit>(&w, "EPhiAxis"), "90.5");
    EXPECT_FALSE(Find<QLineEdit>(&w, "Eincph")->isEnabled());
    Find<QPushButton>(&w, "Button1")->click();
    EXPECT_EQ(ws.Form32.EPhiAxis, "90.5");
    EXPECT_EQ(ws.Form16.EPhiAxis, "90.5");
    EXPECT_FALSE(w.isVisible());
    Find<QRadioButton>(&w, "RadioButton2")->click();
    EXPECT_FALSE(ws.Form14.RadioButton1);
}

TEST(PoleWindowsTest, MainWindowOpensTheViewerAndTheGenerator) {
    Application app({});
    MainWindow& m = app.mainWindow();
    EXPECT_TRUE(m.commandEnabled(CommandId::PoleFigureAnalysis));
    ASSERT_TRUE(m.commandEnabled(CommandId::NewPoleFigure));
    app.workspace().SectorTwoTheta1 = 12.5f;
    EXPECT_TRUE(m.trigger(CommandId::NewPoleFigure));
    EXPECT_TRUE(app.poleGenerator().isVisible());
    EXPECT_EQ(Find<QLineEdit>(&app.poleGenerator(), "Edit3")->text(), "12.500");
    app.poleGenerator().hide();
    app.workspace().FPoleF.panelp[0] = "old";
    app.workspace().Poles.PoleCount = 2;
    EXPECT_TRUE(m.trigger(CommandId::PoleFigureAnalysis));
    EXPECT_TRUE(app.poleFigures().isVisible());
    EXPECT_EQ(app.workspace().Poles.PoleCount, 0);
    EXPECT_EQ(Find<QLabel>(&app.poleFigures(), "panelp1")->text(), "");
    app.poleFigures().hide();
}

namespace {

// A host whose open dialog answers with the given files.
class FramesHost : public TestHost {
public:
    std::vector<std::string> askOpenFileNames(const std::string&, bool) override { return openAnswer; }
    std::vector<std::string> openAnswer;
};

// Frames of 256 x 256 pixels on a flat detector 256 pixels from the sample
// (beam at the middle): a ring at 2-theta 10..20 degrees whose counts
// follow the azimuth and the frame, nothing elsewhere.
std::vector<std::string> WriteRingFrames(const QTemporaryDir& dir, int count) {
    std::vector<std::string> paths;
    for (int m = 0; m < count; ++m) {
        fixtures::Image img{256, 256, std::vector<int64_t>(256 * 256, 0)};
        for (int r = 0; r < 256; ++r)
            for (int c = 0; c < 256; ++c) {
                const double dx = c + 1 - 128.5, up = 128.5 - (r + 1);
                const double twoTheta = std::atan(std::hypot(dx, up) / 256) * 180 / 3.14159265358979;
                const double psi = std::atan2(up, dx) * 180 / 3.14159265358979;
                if (twoTheta > 10 && twoTheta < 20) img.at(r, c) = 200 + std::lround(100 * (1 + std::sin((psi + 10 * m) * 0.05)));
            }
        char name[16];
        std::snprintf(name, sizeof name, "ring.%03d", m);
        paths.push_back(dir.filePath(name).toStdString());
        WriteFileAtomically(paths.back(), fixtures::WriteTiff(img, 16, 1, 256));
    }
    return paths;
}

void UseRingDetector(Workspace& ws) {
    ws.Form32.EXoM = "128.5";
    ws.Form32.EYoM = "128.5";
    ws.Form32.EDistance = "100";
    ws.Form32.EDSize = "100";
}

} // namespace

TEST(PoleWindowsTest, ProgramEndsWhileARunGoesOn) {
    QTemporaryDir dir;
    const std::vector<std::string> frames = WriteRingFrames(dir, 40);
    {
        Application app({});
        Workspace& ws = app.workspace();
        UseRingDetector(ws);
        PoleFramesChosen(ws, app.host(), frames);
        app.mainWindow().trigger(CommandId::NewPoleFigure);
        Find<QPushButton>(&app.poleGenerator(), "Button1")->click();
        EXPECT_TRUE(app.poleGenerator().running());
        while (!FileExists(dir.filePath("Polefig1.slc").toStdString())) QApplication::processEvents();
    }
    // The run ended with the program, between two frames: whole lines only.
    const std::vector<std::string> lines = ReadTextLines(dir.filePath("Polefig1.slc").toStdString());
    ASSERT_GE(lines.size(), 2u);
    for (size_t k = 1; k < lines.size(); ++k) EXPECT_EQ(lines[k].size(), 9u + 3600u) << k;
}

TEST(PoleWindowsTest, GeneratorMakesASliceFileFromTheViewersMenuAndShowsItsPreview) {
    QTemporaryDir dir;
    Workspace ws;
    UseRingDetector(ws);
    ws.SectorTwoTheta1 = 10;
    ws.SectorTwoTheta2 = 20;
    FramesHost host;
    host.openAnswer = WriteRingFrames(dir, 8);
    TFPoleFWindow viewer(ws, host);
    TForm16Window generator(ws, host);
    viewer.makePoleFigure = [&] {
        Generate1Click(ws, host);
        generator.showRestored();
    };
    viewer.show();
    viewer.findChild<QAction*>("Generate1")->trigger();
    ASSERT_TRUE(generator.isVisible());
    EXPECT_EQ(Find<QLineEdit>(&generator, "Edit3")->text(), "10.000");
    EXPECT_EQ(Find<QLineEdit>(&generator, "edit4")->text(), "20.000");

    Find<QPushButton>(&generator, "Files")->click();
    EXPECT_EQ(Find<QLineEdit>(&generator, "Edit2")->text(), "8");
    EXPECT_EQ(Find<QLineEdit>(&generator, "Edit1")->text(), dir.path() + "/");
    EXPECT_TRUE(Find<QPlainTextEdit>(&generator, "Memo1")->toPlainText().startsWith("ring.000\nring.001\n"));
    Type(Find<QLineEdit>(&generator, "edit5"), "rings");

    QPushButton* generate = Find<QPushButton>(&generator, "Button1");
    generate->click();
    // Disabled from the start of the run until its end.
    EXPECT_FALSE(generate->isEnabled());
    generator.waitForRun();
    EXPECT_TRUE(generate->isEnabled());
    ASSERT_TRUE(host.messages.empty()) << host.messages[0];
    const std::string path = dir.filePath("rings.slc").toStdString();
    const std::vector<std::string> lines = ReadTextLines(path);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[8].substr(0, 9), "ring.007 ");
    // The run is done: the bar says so (the last frame's own step is 96).
    EXPECT_EQ(Find<QProgressBar>(&generator, "ProgressBar1")->value(), 100);
    EXPECT_EQ(ws.Form20.ProgressBar1, 100);
    // The preview: coloured pixels inside the plot of 200 pixels.
    const QImage preview = Find<PictureView>(&generator, "Image1")->grab().toImage();
    EXPECT_EQ(preview.size(), QSize(203, 203));
    int coloured = 0;
    for (int y = 0; y < preview.height(); ++y)
        for (int x = 0; x < preview.width(); ++x) {
            const QColor c = preview.pixelColor(x, y);
            coloured += c.red() != c.green() || c.green() != c.blue();
        }
    EXPECT_GT(coloured, 2000);   // 8 frames: 16 phi rows of the 72
    EXPECT_EQ(ws.LLog.Lines().back(), "pole figure rings.slc displayed");
    ExpectButtonHides(&generator, "Button3");
}

namespace {

// A textured series: intensity around a few poles of the plot, written as
// the slices of 72 frames (phi axis 0) that put it there.
std::string WriteTexturedSeries(const QTemporaryDir& dir, const std::string& name, double twist) {
    const double poles[][2] = {{0, 0}, {54.7, 45 + twist}, {54.7, 135 + twist}, {54.7, 225 + twist},
                               {54.7, 315 + twist}, {90, 0 + twist}, {90, 90 + twist}};
    auto texture = [&](double psi, double phi) {
        double sum = 5;
        for (const auto& p : poles) {
            const double dpsi = psi - p[0];
            double dphi = std::fmod(std::fabs(phi - p[1]), 360.0);
            dphi = std::min(dphi, 360 - dphi) * std::sin(std::max(psi, p[0]) * 3.14159265 / 180);
            sum += 100 * std::exp(-(dpsi * dpsi + dphi * dphi) / 120);
        }
        return sum;
    };
    std::vector<std::string> lines{SliceFileHeader(10, 11, 1)};
    for (int m = 0; m < 72; ++m) {
        std::vector<int32_t> sums(360, 0);
        const double phi = (72 - (m + 36) % 72) * 5.0;
        for (int d = 0; d <= 90; ++d) sums[static_cast<size_t>(d)] = static_cast<int32_t>(texture(d, phi) * 30);
        lines.push_back(SliceFileLine("tex." + std::string(m < 10 ? "00" : "0") + std::to_string(m), sums));
    }
    const std::string path = dir.filePath(QString::fromStdString(name)).toStdString();
    WriteTextLines(path, lines);
    return path;
}

} // namespace

TEST(PoleWindowsScreenshot, FiguresWithAMarkedPoleAndItsProfiles) {
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (!folder) GTEST_SKIP() << "ORV_SCREENSHOT_DIR not set";
    QTemporaryDir dir;
    Workspace ws;
    TestHost host;
    TFPoleFWindow w(ws, host);
    w.show();
    ws.Form14.EPhiAxis = "0";
    ws.Form14.RadioButton1 = false;
    OpenPoleFigures(ws, host, {WriteTexturedSeries(dir, "cube.slc", 0), WriteTexturedSeries(dir, "turned.slc", 20)});
    SavePoleFigures(ws, host, dir.filePath("both.epf").toStdString());
    ws.Form14.RadioButton1 = true;
    OpenPoleFigures(ws, host, {WriteTexturedSeries(dir, "cube.slc", 0), WriteTexturedSeries(dir, "turned.slc", 20),
                               dir.filePath("both.epf").toStdString()});
    Click(w.panel(0), QPoint(150 + 64, 150 - 64));
    QApplication::processEvents();
    EXPECT_TRUE(w.grab().save(QString(folder) + "/pole_figures.png"));
    TForm14Window settings(ws, host);
    settings.show();
    QApplication::processEvents();
    EXPECT_TRUE(settings.grab().save(QString(folder) + "/pole_settings.png"));
}
