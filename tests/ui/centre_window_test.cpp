// "Find pattern center" and the commands that reach the centre search and
// the reductions from the program's windows.

#include <QAction>
#include <QApplication>
#include <QProgressBar>
#include <QRadioButton>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "../core/centre_test_support.h"
#include "base/numbers.h"
#include "windows_test_support.h"
#include "workspace/ui/application.h"
#include "workspace/ui/centre_window.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/settings_windows.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

TEST(CentreWindowTest, BoxesButtonsAndTheSearch) {
    Workspace ws;
    TestHost host;
    RingFrame f;
    f.Noise = true;
    MakeRingFrame(ws, host, f);
    TForm27Window w(ws, host);
    w.show();
    EXPECT_EQ(w.windowTitle().toStdString(), "Find pattern center");
    const std::pair<const char*, const char*> radios[] = {
        {"RCircle", "EllipseCenter"}, {"RSector", "SectorCenter"}, {"RGravity", "GravityCenter"},
        {"RAuto", "Auto"}, {"RBDBeam", "Direct beam"}};
    for (auto [name, caption] : radios) EXPECT_EQ(Find<QRadioButton>(&w, name)->text().toStdString(), caption);
    EXPECT_TRUE(Find<QRadioButton>(&w, "RAuto")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(&w, "EXoM")->text(), "256");
    EXPECT_EQ(Find<QAbstractButton>(&w, "CBInitPos")->text(), "Init Position");
    EXPECT_EQ(Find<QAbstractButton>(&w, "Button5")->text(), "FindCenter");

    // Typed start, both axes to vary: FindCenter finds the centre.
    Type(Find<QLineEdit>(&w, "EXoM"), QString::fromStdString(FormatNumber(f.Xo + 6)));
    Type(Find<QLineEdit>(&w, "EYoM"), QString::fromStdString(FormatNumber(f.Yo - 6)));
    Find<QAbstractButton>(&w, "CBInitPos")->click();
    Find<QAbstractButton>(&w, "Button5")->click();
    EXPECT_DOUBLE_EQ(ws.Xo, f.Xo);   // nothing to vary: nothing done
    Find<QAbstractButton>(&w, "CBXo")->click();
    Find<QAbstractButton>(&w, "CBYo")->click();
    Find<QAbstractButton>(&w, "Button5")->click();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_NEAR(ws.Xo, f.Xo, 1.0);
    EXPECT_NEAR(ws.Yo, f.Yo, 1.0);
    EXPECT_EQ(Find<QLineEdit>(&w, "EXoM")->text().toStdString(), FormatNumber(ws.Xo));
    EXPECT_EQ(Find<QProgressBar>(&w, "ProgressBar1")->value(), 100);

    // "Set": the typed centre.
    Type(Find<QLineEdit>(&w, "EXoM"), "140.25");
    Find<QAbstractButton>(&w, "BSet")->click();
    EXPECT_EQ(ws.Xo, 140.25);
    EXPECT_EQ(ws.Form32.EXoM, "140.25");

    // EllipseCenter chosen: the user is told how, and the zoom comes up.
    bool zoom = false;
    w.showZoom = [&] { zoom = true; };
    Find<QRadioButton>(&w, "RCircle")->click();
    EXPECT_TRUE(zoom);
    EXPECT_TRUE(ws.Form27.RCircle);
    EXPECT_EQ(host.messages.back(), "Select points along a Debye ring and then press FindCenter button!");
    Find<QAbstractButton>(&w, "Button5")->click();
    EXPECT_EQ(host.messages.back(), "Need to select more points in a ring");
    EXPECT_TRUE(Find<QRadioButton>(&w, "RAuto")->isChecked());
    ExpectButtonHides(&w, "Button1");
}

TEST(CentreWindowTest, CommandsReachTheSearchAndTheReductions) {
    const std::filesystem::path home = std::filesystem::temp_directory_path() /
                                       ("orv-centre-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    setenv("ORVANTIDE_HOME", home.c_str(), 1);
    {
        Application app({std::string(ORV_TEST_DATA) + "/../../data/sample.orv"});
        app.firstShowSetup();
        app.waitForLoading();
        Workspace& ws = app.workspace();
        ASSERT_TRUE(ws.FrameIsLoaded());
        MainWindow& m = app.mainWindow();
        for (CommandId id : {CommandId::PatternCentre, CommandId::CenteringTool, CommandId::IntegrateSector,
                             CommandId::DSpacingVsPsi, CommandId::LineScanX, CommandId::LineScanY,
                             CommandId::XLineScan, CommandId::YLineScan})
            for (QAction* a : m.actionsOf(id)) EXPECT_TRUE(a->isEnabled());
        EXPECT_TRUE(m.trigger(CommandId::PatternCentre));
        EXPECT_TRUE(app.centreWindow().isVisible());
        app.centreWindow().hide();
        Find<QAbstractButton>(&app.detectorSettings(), "BFind")->click();
        EXPECT_TRUE(app.centreWindow().isVisible());

        // The frame window's button: Auto for both axes, whatever "Vary" says.
        ws.Form27.CBXo = ws.Form27.CBYo = false;
        Find<QToolButton>(&app.frameWindow(), "SpeedButton1")->click();
        const std::string found = "New centre at " + FormatNumber(ws.Xo) + ", " + FormatNumber(ws.Yo);
        bool logged = false;
        for (const std::string& l : ws.LLog.Lines()) logged |= l == found;
        EXPECT_TRUE(logged) << found;

        EXPECT_TRUE(m.trigger(CommandId::IntegrateSector));
        bool integrated = false;
        for (const std::string& l : ws.LLog.Lines()) integrated |= l.rfind("PsiMax =", 0) == 0;
        EXPECT_TRUE(integrated);
        EXPECT_TRUE(m.trigger(CommandId::DSpacingVsPsi));
        EXPECT_EQ(ws.DSpacingData.Count, 72);
    }
    std::filesystem::remove_all(home);
}

TEST(CentreWindowScreenshot, FindPatternCenter) {
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (!folder) GTEST_SKIP() << "ORV_SCREENSHOT_DIR not set";
    Workspace ws;
    TestHost host;
    TForm27Window w(ws, host);
    w.show();
    QApplication::processEvents();
    EXPECT_TRUE(w.grab().save(QString(folder) + "/find_pattern_center.png"));
}
