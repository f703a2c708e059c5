#include <gtest/gtest.h>

#include <set>

#include "workspace/command_table.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {
void Loaded(Workspace& ws, int w, int h) {
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FrameSize = std::max(w, h);
    ws.LastFileIndex = 0;
    ws.FileList = {"a"};
}
} // namespace

TEST(ZoomTest, ZoomInStopsAtFourTimesTheFrameAnd8004) {
    Workspace ws;
    Loaded(ws, 1024, 1024);
    ws.DisplayWidth = 4000;
    EXPECT_FALSE(ZoomIn(ws));   // 4800 > 4096
    EXPECT_EQ(ws.DisplayWidth, 4000);
    ws.DisplayWidth = 1000;
    EXPECT_TRUE(ZoomIn(ws));
    EXPECT_EQ(ws.DisplayWidth, 1200);
    Loaded(ws, 4096, 4096);
    ws.DisplayWidth = 6700;
    EXPECT_FALSE(ZoomIn(ws));   // 8040 > 8004
}

TEST(ZoomTest, ZoomOutLimits) {
    Workspace ws;
    Loaded(ws, 1024, 2048);   // taller than wide: the limit is 256
    ws.DisplayWidth = 400;
    EXPECT_TRUE(ZoomOut(ws));
    EXPECT_EQ(ws.DisplayWidth, 333);
    ws.DisplayWidth = 300;
    EXPECT_FALSE(ZoomOut(ws));   // 250 < 256
    EXPECT_EQ(ws.DisplayWidth, 300);
    Loaded(ws, 2048, 1024);
    ws.DisplayWidth = 600;
    EXPECT_FALSE(ZoomOut(ws));   // 500 < 512
    Workspace none;
    EXPECT_FALSE(ZoomIn(none));
    EXPECT_FALSE(Scale100(none));
    EXPECT_TRUE(Scale100(ws));
    EXPECT_EQ(ws.DisplayWidth, 2048);
}

TEST(ListSteppingTest, PrevAndNextStopAtTheEnds) {
    Workspace ws;
    ASSERT_TRUE(OpenFiles(ws, {"/d/a.tif", "/d/b.tif", "/d/c.tif"}));
    EXPECT_EQ(ws.LastFileIndex, 2);
    EXPECT_EQ(ws.FileToOpen, "/d/a.tif");
    EXPECT_FALSE(PrevFile(ws));
    EXPECT_TRUE(NextFile(ws));
    EXPECT_EQ(ws.FileToOpen, "/d/b.tif");
    EXPECT_TRUE(NextFile(ws));
    EXPECT_EQ(ws.FileToOpen, "/d/c.tif");
    EXPECT_FALSE(NextFile(ws));
    EXPECT_EQ(ws.CurrentFileIndex, 2);
    EXPECT_TRUE(PrevFile(ws));
    EXPECT_EQ(ws.FileToOpen, "/d/b.tif");
}

TEST(ListSteppingTest, CancelledOpenKeepsEverything) {
    Workspace ws;
    OpenFiles(ws, {"/d/a.tif"});
    EXPECT_FALSE(OpenFiles(ws, {}));
    EXPECT_EQ(ws.FileList, std::vector<std::string>{"/d/a.tif"});
    EXPECT_EQ(ws.LastFileIndex, 0);
    Workspace empty;
    EXPECT_FALSE(NextFile(empty));
    EXPECT_FALSE(PrevFile(empty));
}

TEST(RunBatchTest, Decision) {
    Workspace ws;
    EXPECT_EQ(RunBatchDecision(ws), RunBatchAction::Nothing);
    OpenFiles(ws, {"a", "b"});
    EXPECT_EQ(RunBatchDecision(ws), RunBatchAction::AskForAction);
    ws.FSetup.CBdspacing = true;   // not one of the boxes that start a batch
    EXPECT_EQ(RunBatchDecision(ws), RunBatchAction::AskForAction);
    ws.FSetup.CBSectors = true;
    EXPECT_EQ(RunBatchDecision(ws), RunBatchAction::StartBatch);
    ws.ScriptLoaded = 1;
    EXPECT_EQ(RunBatchDecision(ws), RunBatchAction::RunScript);
    RecordingHost host;
    ws.Form20.EScript = "s.txt";
    ws.BatchRunning = 1;
    StopBatch(ws, host);
    EXPECT_EQ(ws.BatchRunning, 0);
    EXPECT_EQ(ws.ScriptLoaded, 0);
    EXPECT_TRUE(ws.Form20.EScript.empty());
}

TEST(CommandTableTest, EveryMenuItemAndButtonIsPresent) {
    struct Row {
        const char* menu;
        const char* caption;
    };
    const Row expected[] = {
        {"File", "Open"}, {"File", "Merge"}, {"File", "SaveFrame"}, {"File", "Load Background"},
        {"File", "Save As Background"}, {"File", "SaveFrameAsBMP"}, {"File", "SaveLogbook"}, {"File", "Exit"},
        {"Edit", "CopyFrame"}, {"View", "Show Full Size Frame"}, {"View", "Adjust Brightness"},
        {"View", "Zoom Tool"}, {"View", "History"}, {"View", "Logbook"}, {"View", "Frame Info"},
        {"View", "2ThetaScanSeries"}, {"Diffractometer", "Load Settings"}, {"Diffractometer", "Save Settings"},
        {"Diffractometer", "Set or Find pattern center"}, {"Diffractometer", "Wavelength"},
        {"Diffractometer", "Detector Settings"}, {"Diffractometer", "Model and User info"},
        {"Diffractometer", "Detector rotations"}, {"Math", "AddConstant"}, {"Math", "MultiplybyConstant"},
        {"Math", "AddFrames"}, {"Math", "SubtractFrames"}, {"Select area", "Define Sector"},
        {"Select area", "Delete Sector"}, {"Select area", "Mask pixels above a value"},
        {"Select area", "Mask pixels below a value"}, {"Select area", "Load Mask"}, {"Select area", "Save Mask"},
        {"Select area", "Select Rectangle as Active Area"}, {"Select area", "Find and Mask single crystal spots"},
        {"Analyze", "Remove Frame Background"}, {"Analyze", "Load Background File"}, {"Analyze", "Smooth Frame"},
        {"Analyze", "2Theta Scan of Selected Sector"}, {"Analyze", "Psi Scan of Selected Sector"},
        {"Analyze", "Integrate Sector and Calculate FWHM"}, {"Analyze", "d-spacing vs Psi angle in sector"},
        {"Analyze", "PoleFigure Generation and Analysis"}, {"Analyze/Line scan", "Y Constant"},
        {"Analyze/Line scan", "X Constant"}, {"Scan settings", "Scan settings"},
        {"Batch Processing", "New Batch Project"}, {"Script", "Load Script"}, {"Script", "Run Script"},
        {"Help", "About"},
        {"Button", "Load file"}, {"Button", "Prev File"}, {"Button", "Next File"}, {"Button", "Run Batch"},
        {"Button", "Stop Batch"}, {"Button", "Psi scan of masked sector"}, {"Button", "2Theta scan of masked sector"},
        {"Button", "Define Sector"}, {"Button", "Integrate sector"}, {"Button", "Delete Sector"},
        {"Button", "Add frame"}, {"Button", "Substract frame"}, {"Button", "Multiply by factor"},
        {"Button", "Add constant"}, {"Button", "Logbook"}, {"Button", "Find and Mask spots"},
        {"Button", "Scan settings"}, {"Button", "Batch Process"}, {"Button", "Centering tool"},
        {"Button", "Remove Frame Background"}, {"Button", "X Line scan"}, {"Button", "Y Line scan"},
        {"Button", "Help"}, {"Button", "Smooth Frame"}, {"Button", "Wavelength"}, {"Button", "Detector Settings"},
        {"Button", "New Pole Figure"}, {"Button", "Pole Figure Analysis Tool"}, {"Button", "Rotate 90 deg"},
        {"Button", "Zoom In"}, {"Button", "Zoom Out"}, {"Button", "100 % scale"}, {"Button", "Brightness Up"},
        {"Button", "Brightness Down"}, {"Button", "Point"}, {"Button", "Select rectangle"}, {"Button", "Eraser"},
    };
    std::set<std::pair<std::string, std::string>> present;
    for (const auto& e : CommandTable()) present.insert({e.Menu, e.Caption});
    for (const Row& r : expected) EXPECT_TRUE(present.count({r.menu, r.caption})) << r.menu << " / " << r.caption;

    // The same command behind a menu item and a button runs the same target.
    auto target = [](const std::string& menu, const std::string& caption) {
        for (const auto& e : CommandTable())
            if (e.Menu == menu && e.Caption == caption) return e.Target;
        return std::string();
    };
    EXPECT_EQ(target("Analyze", "2Theta Scan of Selected Sector"), "TForm1.N2ThetaScan1Click");
    EXPECT_EQ(target("Button", "2Theta scan of masked sector"), "TForm1.N2ThetaScan1Click");
    EXPECT_EQ(target("Button", "X Line scan"), target("Analyze/Line scan", "Y Constant"));
    EXPECT_EQ(target("Button", "Y Line scan"), target("Analyze/Line scan", "X Constant"));
    EXPECT_EQ(target("File", "SaveFrame"), "TForm1.FileSave1Click");
    EXPECT_EQ(CommandsOf("Button").size(), 39u);   // two "New Pole Figure" buttons
}

TEST(BrightnessStepTest, MovesTheTrackBarByTwoWithinItsEnds) {
    Workspace ws;
    RecordingHost host;
    EXPECT_FALSE(BrightnessStep(ws, host, +2));   // nothing opened
    Loaded(ws, 64, 64);
    ws.FramePixels.Blank(64, 64);
    ws.Form22.TrackBar1 = 89;
    ASSERT_TRUE(BrightnessStep(ws, host, +2));
    EXPECT_EQ(ws.Form22.TrackBar1, 91);
    // trunc((91 x 7400 - 370000) / 50) + 600 = 6668, doubled for 75, 80, 85, 87, 90
    EXPECT_EQ(ws.Brightness, 6668 * 32);
    ws.Form22.TrackBar1 = 99;
    EXPECT_FALSE(BrightnessStep(ws, host, +2));
    ws.Form22.TrackBar1 = 1;
    EXPECT_FALSE(BrightnessStep(ws, host, -2));
    ws.Form22.TrackBar1 = 2;
    ws.FrameTools.SBEraser = true;
    EXPECT_TRUE(BrightnessStep(ws, host, -2));
    EXPECT_EQ(ws.Brightness, 10);   // position 0
    EXPECT_FALSE(ws.FrameTools.SBEraser);
}

TEST(MouseToolTest, OneToolAtATimeAndTheEraserToggles) {
    Workspace ws;
    RecordingHost host;
    SelectMouseTool(ws, host, MouseTool::SelectRect);
    EXPECT_TRUE(ws.FrameTools.SBSelectRect);
    EXPECT_FALSE(ws.FrameTools.SBPoint);
    EXPECT_TRUE(ws.FMask.CBRectangle);
    SelectMouseTool(ws, host, MouseTool::SelectAng);
    EXPECT_TRUE(ws.FrameTools.SBSelectAng);
    EXPECT_FALSE(ws.FrameTools.SBSelectRect);
    EXPECT_FALSE(ws.FMask.CBRectangle);
    SelectMouseTool(ws, host, MouseTool::Eraser);
    EXPECT_TRUE(ws.FrameTools.SBEraser);
    EXPECT_FALSE(ws.FrameTools.SBSelectAng);
    SelectMouseTool(ws, host, MouseTool::Eraser);
    EXPECT_FALSE(ws.FrameTools.SBEraser);
    SetEraserSize(ws, 4);
    EXPECT_EQ(ws.FrameTools.EraserSize, 8);
    SetEraserSize(ws, 9);
    EXPECT_EQ(ws.FrameTools.EraserSize, 8);
}
