// The powder standards in the running program: the pattern list and the
// overlay from the 2-theta scan window's buttons, and the fitting tool run on
// its worker from its own buttons, on the sample frame moved off its geometry.

#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/numbers.h"
#include "scans/ui/calibration_window.h"
#include "scans/ui/mineral_windows.h"
#include "scans/ui/scan_windows.h"
#include "windows_test_support.h"
#include "workspace/geometry.h"
#include "workspace/sector_scan.h"
#include "workspace/ui/application.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

namespace fs = std::filesystem;

void Screenshot(QWidget& w, const char* name) {
    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) w.grab().save(QString(dir) + "/" + name);
}

int RedSticks(const TRChart& chart) {
    int n = 0;
    for (int k = 0; k < chart.ItemCount(); ++k)
        if (chart.Item(k).Color == RGBColor(255, 0, 0) && chart.Item(k).LineWidth == 2 && chart.Item(k).Y > 0) ++n;
    return n;
}

} // namespace

TEST(CalibrationProgramTest, StandardsFromTheScanWindowAndTheFitOnItsWorker) {
    const fs::path home = fs::temp_directory_path() / ("orv-fit-" + std::to_string(::getpid()));
    fs::create_directories(home);
    setenv("ORVANTIDE_HOME", home.c_str(), 1);
    Application app({std::string(ORV_TEST_DATA) + "/../../data/sample.orv"});
    app.firstShowSetup();
    app.waitForLoading();
    app.host().setUnattended(true);   // a message would wait for a click
    Workspace& ws = app.workspace();
    TForm2Window& scan = app.scanWindow();
    const double xo = ws.Xo, distance = ws.Distance;

    // The sample frame's geometry moved off: 3 per cent too far, 4 pixels left.
    ws.Distance *= 1.03;
    ws.Xo += 4;
    ASSERT_TRUE(ComputeFrameGeometry(ws, app.host()));
    N2ThetaScan1Click(ws, app.host());

    // Without a standard the overlay's buttons say so.
    scan.action("SBShiftRight")->trigger();
    EXPECT_EQ(ws.LLog.Last(), "Need to select a standard!");
    // The list from the window's button; clicking silicon draws its lines.
    scan.action("SpeedButton5")->trigger();
    TForm18Window& list = app.mineralList();
    ASSERT_TRUE(list.isVisible());
    const auto rows = list.mineralList()->findItems("Si silicon", Qt::MatchStartsWith);
    ASSERT_FALSE(rows.empty());
    list.mineralList()->setCurrentItem(rows[0]);
    EXPECT_EQ(RedSticks(ws.Form2.RChart1), 11);   // every silicon line, drawn once
    scan.action("SBShiftRight")->trigger();
    EXPECT_DOUBLE_EQ(ws.StandardShift, ws.TwoThetaStep);
    scan.action("SBAutoAdjust")->trigger();
    EXPECT_EQ(ws.LLog.Last().rfind("Auto Adjusted 2Theta Shift = ", 0), 0u) << ws.LLog.Last();
    EXPECT_EQ(RedSticks(ws.Form2.RChart1), 11);

    // "Fit" opens the tool with the geometry in force.
    scan.action("SBFit2D")->trigger();
    TForm41FitWindow& tool = app.fitTool();
    ASSERT_TRUE(tool.isVisible());
    EXPECT_EQ(Find<QLineEdit>(&tool, "EDistancemm")->text().toStdString(), FormatNumber(ws.Distance));
    EXPECT_EQ(Find<QLabel>(&tool, "Label3")->text(), "Distance(mm)");
    for (const char* box : {"CBXo", "CBYo", "CBdistance", "CBPK", "cbbck"}) Find<QCheckBox>(&tool, box)->click();
    Find<QCheckBox>(&tool, "CBDSize")->click();   // excludes the distance
    EXPECT_FALSE(ws.Form41Fit.CBdistance);
    Find<QCheckBox>(&tool, "CBdistance")->click();
    EXPECT_FALSE(ws.Form41Fit.CBDSize);
    EXPECT_FALSE(Find<QWidget>(&tool, "EXoffset")->isEnabled());   // a flat detector

    auto* start = Find<QPushButton>(&tool, "BStart");
    start->click();
    ASSERT_TRUE(tool.running());
    EXPECT_EQ(start->text(), "Stop");
    EXPECT_FALSE(Find<QPushButton>(&tool, "BApply")->isEnabled());
    tool.waitForFit();
    EXPECT_EQ(start->text(), "Start");
    EXPECT_NE(ws.LLog.Last().find("Beam coord = "), std::string::npos);
    QApplication::processEvents();
    Screenshot(scan, "scan_window_standard.png");
    Screenshot(tool, "fitting_standard_tool.png");

    Find<QPushButton>(&tool, "BApply")->click();
    EXPECT_NEAR(ws.Distance / distance, 1, 0.002);
    EXPECT_NEAR(ws.Xo, xo, 0.5);
    EXPECT_EQ(ws.StandardShift, 0);

    // Gold on the silicon frame: the fit says the standard does not match,
    // and Apply asks first (nobody at the screen answers No), so the
    // geometry stays.
    const auto gold = list.mineralList()->findItems("Au gold", Qt::MatchStartsWith);
    ASSERT_FALSE(gold.empty());
    list.mineralList()->setCurrentItem(gold[0]);
    scan.action("SBFit2D")->trigger();
    start->click();
    tool.waitForFit();
    const std::vector<std::string> lines = ws.LLog.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find("The standard does not match the frame") != std::string::npos;
    }));
    const double fitted = ws.Distance;
    Find<QPushButton>(&tool, "BApply")->click();
    EXPECT_NE(ws.LLog.Last().find("Apply it all the same? - answered No"), std::string::npos) << ws.LLog.Last();
    EXPECT_EQ(ws.Distance, fitted);
    fs::remove_all(home);
}
