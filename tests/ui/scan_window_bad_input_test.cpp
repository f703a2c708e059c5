// Bad input typed into the scan windows' dialogs and the settings windows
// that feed them, with no frame and with the sample frame: every refusal
// gives a message and leaves the frame, the scans and the settings in force
// as they were.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "scans/ui/scan_windows.h"
#include "windows_test_support.h"
#include "workspace/ui/application.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// What a refused command must leave as it was.
struct Kept {
    double Distance, DSize, Xo, Yo, Landa, TwoThetaD;
    float TwoThetaStep, PsiStep, TwoTheta1, TwoTheta2, Psi1, Psi2;
    int32_t RectangularSector, ScanPoints;
    uint64_t Frame, Scan, PsiScan;
    double ZoomLow, ZoomHigh;
    bool operator==(const Kept&) const = default;
};

uint64_t Mix(uint64_t h, uint64_t v) { return (h ^ v) * 1099511628211ull; }

uint64_t Bits(float f) {
    uint32_t u = 0;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

Kept Snapshot(Workspace& ws) {
    Kept k{ws.Distance,       ws.DSize,          ws.Xo,
           ws.Yo,             ws.Landa,          ws.TwoThetaD,
           ws.TwoThetaStep,   ws.PsiStep,        ws.SectorTwoTheta1,
           ws.SectorTwoTheta2, ws.SectorPsi1,    ws.SectorPsi2,
           ws.RectangularSector, ws.SectorScanPoints, 1469598103934665603ull,
           1469598103934665603ull, 1469598103934665603ull, ws.Form2.RChart1.Scale1X().RangeLow(),
           ws.Form2.RChart1.Scale1X().RangeHigh()};
    for (int32_t i = 1; i <= ws.FrameWidth; ++i)
        for (int32_t j = 1; j <= ws.FrameHeight; ++j) k.Frame = Mix(k.Frame, uint32_t(ws.FramePixels.Intensity[i][j]));
    for (const ProfilePoint& p : ws.SectorScan) k.Scan = Mix(Mix(k.Scan, Bits(p.Intensity)), Bits(p.TwoTheta));
    for (float v : ws.PsiScanData) k.PsiScan = Mix(k.PsiScan, Bits(v));
    return k;
}

QWidget* Window(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) return w;
    throw std::runtime_error(std::string("no window ") + name);
}

// One refusal: the window (opened from the 2-theta scan window's menu when
// `menu` is given), the box ticked first, the box typed into, the button
// pressed, and how the message must begin.
struct Refusal {
    const char* window;
    const char* menu;
    const char* tick;
    const char* box;
    const char* text;
    const char* button;
    const char* message;
};

const Refusal Refusals[] = {
    // The 2-theta scan window's own dialogs.
    {"TForm5", "Zoom/In", nullptr, "EXMin", "nan", "OKZoom", "'nan' is not a valid number"},
    {"TForm5", "Zoom/In", nullptr, "EXmax", "", "OKZoom", "'' is not a valid number"},
    {"TForm6", "Analyze/FindPeaks", nullptr, "EPWidth", "-1e9", "Button1", "Value out of range !"},
    {"TForm6", "Analyze/FindPeaks", nullptr, "EIntPer", "99999999999", "Button1", "'99999999999' is not"},
    {"TForm7", "Analyze/RemoveBackground", nullptr, "EPeakWidth", "-0", "Button1", "The roll width must be"},
    {"TForm7", "Analyze/RemoveBackground", nullptr, "EBHeight", "1e999", "Button1", "'1e999' is not"},
    // Correct2Theta: angles of a half turn or more, and a correction that
    // would put the detector 0.01 mm from the sample.
    {"TF2Theta", "Analyze/Correct2Theta", nullptr, "E2ThetaMeasured", "-1e9", "BOK",
     "Value out of range !\n2Theta measured: -1.000000E+009 degrees"},
    {"TF2Theta", "Analyze/Correct2Theta", nullptr, "E2ThetaCorrect", "99999999999", "BOK",
     "Value out of range !\n2Theta correct"},
    {"TF2Theta", "Analyze/Correct2Theta", nullptr, "E2ThetaCorrect", "89.95", "BOK",
     "Value out of range !\nDistance: "},
    {"TF2Theta", "Analyze/Correct2Theta", nullptr, "E2ThetaMeasured", "abc", "BOK", "'abc' is not"},
    // The scan settings' steps.
    {"TFSetup", nullptr, "CBth2step", "Eth2step", "0", "Button2", "The 2Theta scan step must be above 0"},
    {"TFSetup", nullptr, "CBth2step", "Eth2step", "-1e9", "Button2", "The 2Theta scan step must be above 0"},
    {"TFSetup", nullptr, "CBth2step", "Eth2step", "99999999999", "Button2", "The 2Theta scan step must be"},
    {"TFSetup", nullptr, "CBPsiStep", "EPsiStep", "-0", "Button2", "The Psi scan step must be above 0"},
    {"TFSetup", nullptr, "CBPsiStep", "EPsiStep", "nan", "Button2", "'nan' is not"},
    // The sector dialog: the rectangle's corners are read before it is used.
    {"TFMask", nullptr, "CBRectangle", "EX1", "abc", "Button1", "'abc' is not a valid number"},
    {"TFMask", nullptr, "CBRectangle", "EY2", "99999999999", "Button1", "'99999999999' is not"},
    {"TFMask", nullptr, nullptr, "Eth1", "1e999", "Button1", "'1e999' is not"},
    // Detector Settings.
    {"TForm32", nullptr, "CBDistance", "EDistance", "-1e9", "BApply", "Value out of range !\nDistance"},
    {"TForm32", nullptr, "CBDSize", "EDSize", "0", "BApply", "Value out of range !\nDetector size"},
};

void ExpectRefusals(bool withFrame) {
    const auto home = std::filesystem::temp_directory_path() /
                      ("orv-bad-input-" + std::to_string(::getpid()) + (withFrame ? "-frame" : ""));
    std::filesystem::create_directories(home);
    setenv("ORVANTIDE_HOME", home.c_str(), 1);
    {
        std::vector<std::string> args;
        if (withFrame) args.push_back(std::string(ORV_TEST_DATA) + "/../../data/sample.orv");
        Application app(args);
        app.firstShowSetup();
        app.waitForLoading();
        Workspace& ws = app.workspace();
        ASSERT_EQ(ws.FrameIsLoaded(), withFrame);
        // Messages go to the logbook, where the test reads them.
        app.host().setUnattended(true);
        for (const Refusal& r : Refusals) {
            SCOPED_TRACE(std::string(r.window) + " " + r.box + " = '" + r.text + "'" +
                         (withFrame ? " with the sample frame" : " with no frame"));
            if (r.menu) app.scanWindow().action(r.menu)->trigger();
            QWidget* w = Window(r.window);
            w->show();
            QLineEdit* box = Find<QLineEdit>(w, r.box);
            const QString before = box->text();
            QCheckBox* tick = r.tick ? Find<QCheckBox>(w, r.tick) : nullptr;
            const bool ticked = tick && tick->isChecked();
            if (tick) tick->setChecked(true);
            Type(box, r.text);
            const Kept kept = Snapshot(ws);
            const size_t lines = ws.LLog.Lines().size();
            Find<QPushButton>(w, r.button)->click();
            app.waitForLoading();
            const std::vector<std::string> log = ws.LLog.Lines();
            if (log.size() != lines + 1)
                ADD_FAILURE() << "one message expected, " << log.size() - lines << " given"
                              << (log.size() > lines ? ", the last: " + log.back() : std::string());
            else
                EXPECT_EQ(log.back().rfind(r.message, 0), 0u) << log.back();
            EXPECT_TRUE(Snapshot(ws) == kept);
            // Back as it was for the next row.
            if (!w->isVisible()) w->show();
            Type(box, before);
            if (tick) tick->setChecked(ticked);
            w->hide();
        }
        app.host().setUnattended(false);
    }
    std::filesystem::remove_all(home);
}

} // namespace

TEST(ScanWindowBadInputTest, RefusedWithAMessageAndNothingChangedWithoutAFrame) { ExpectRefusals(false); }

TEST(ScanWindowBadInputTest, RefusedWithAMessageAndNothingChangedOnTheSampleFrame) { ExpectRefusals(true); }
