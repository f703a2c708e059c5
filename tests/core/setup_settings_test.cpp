#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"
#include "workspace/host.h"
#include "workspace/setup_settings.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

namespace {
// Tests that change the current folder put it back.
struct KeepCurrentFolder {
    std::filesystem::path saved = std::filesystem::current_path();
    ~KeepCurrentFolder() { std::filesystem::current_path(saved); }
};
} // namespace

TEST(SetupSettingsTest, SliceWidthRule) {
    EXPECT_FLOAT_EQ(AcceptedSliceWidth(2.5), 2.5f);
    EXPECT_FLOAT_EQ(AcceptedSliceWidth(2.4), 5.0f);
    EXPECT_FLOAT_EQ(AcceptedSliceWidth(1.2), 1.2f);   // rounds to 1
    EXPECT_FLOAT_EQ(AcceptedSliceWidth(0.5), 5.0f);   // rounds to 0
    EXPECT_FLOAT_EQ(AcceptedSliceWidth(10), 10.0f);
    EXPECT_FLOAT_EQ(AcceptedSliceWidth(1.5), 5.0f);   // rounds to 2
}

TEST(SetupSettingsTest, ApplyWithExistingFoldersKeepsWorkDirAndRewritesSettingsTxt) {
    KeepCurrentFolder keep;
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "work");
    std::filesystem::create_directories(dir.path() / "out");
    Workspace ws;
    RecordingHost host;
    ws.InstallDir = dir.path().string();
    ws.WorkDir = "/old/work";
    ws.OutputDir = "/old/out";
    WriteTextLines(dir.file("Settings.txt"), {"/x/last.set", "a", "b"});
    ws.FSetup.EWorkDir = dir.file("work");
    ws.FSetup.EOutputdir = dir.file("out");
    ws.FSetup.CB2ThScan = true;
    SetupApplyBatch(ws, host);
    EXPECT_EQ(ws.WorkDir, "/old/work");
    EXPECT_EQ(ws.OpenDialogFolder, dir.file("work"));
    EXPECT_EQ(host.messages, std::vector<std::string>{"New experiment defined"});
    EXPECT_EQ(test::ReadBytes(dir.file("Settings.txt")), "/x/last.set\r\n/old/work\r\n/old/out\r\n");
    EXPECT_TRUE(ws.StatusLightRed);
    EXPECT_EQ(ws.Form23.EWorDir, dir.file("work"));
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir.file("out")));
}

TEST(SetupSettingsTest, ApplyCreatesMissingFoldersAndTheSliceFile) {
    KeepCurrentFolder keep;
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ws.FSetup.EWorkDir = dir.file("newwork");
    ws.FSetup.EOutputdir = dir.path().string();
    ws.FSetup.CBIntegrateslides = true;
    ws.FSetup.ESliceWidth = "2.4";
    ws.FSetup.EExperiment = "Exp9";
    ws.SectorTwoTheta1 = 10;
    ws.SectorTwoTheta2 = 12.5f;
    SetupApplyBatch(ws, host);
    ASSERT_GE(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0], dir.file("newwork") + "created");
    EXPECT_EQ(ws.WorkDir, dir.file("newwork"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("newwork")));
    EXPECT_FLOAT_EQ(ws.SliceWidth, 5.0f);
    EXPECT_EQ(test::ReadBytes(dir.file("Exp9.slc")),
              "2Theta integration range =10.000 to 12.500 Psi range = 0 to 360; SlicesWidth = 5.000\r\n");
    EXPECT_TRUE(ws.StatusLightRed);   // slices count as a batch output
}

TEST(SetupSettingsTest, PsiSummaryClickEmptiesTheFileEachTime) {
    KeepCurrentFolder keep;
    TempDir dir;
    std::filesystem::current_path(dir.path());
    Workspace ws;
    RecordingHost host;
    ws.SectorTwoTheta1 = 5;
    ws.SectorTwoTheta2 = 40;
    SetupPsiSummaryClick(ws, host);
    SetupPsiSummaryClick(ws, host);
    EXPECT_EQ(test::ReadBytes(dir.file("Exp1.PSU")),
              "2theta range from 5.000 to 40.000\r\nsample ID NofPeaks.. PeakIntensity PeakArea\r\n");
    EXPECT_TRUE(ws.FSetup.CBPsiScanPeaks);
}

TEST(SetupSettingsTest, ScanApplyWithoutFrameOnlyCopiesAndSetsSteps) {
    Workspace ws;
    RecordingHost host;
    ws.FSetup.CBth2step = true;
    ws.FSetup.Eth2step = "0.02";
    ws.FSetup.EPWidth = "0.50";
    ws.FSetup.CBMinValue = true;
    SetupApplyScan(ws, host);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, 0.02f);
    EXPECT_EQ(ws.Form6.EPWidth, "0.50");
    EXPECT_TRUE(ws.Form6.CBMinValue);
    EXPECT_TRUE(host.messages.empty());
}

TEST(SetupSettingsTest, AdjustAngleOutsideSectorWarns) {
    Workspace ws;
    RecordingHost host;
    ws.SectorTwoTheta1 = 20;
    ws.SectorTwoTheta2 = 30;
    ws.FSetup.E2ThetaMax = "15.000";
    SetupAdjust2ThetaClick(ws, host);
    ws.FSetup.E2ThetaMax = "25";
    SetupAdjust2ThetaClick(ws, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"WARNING: Value outside 2theta range selected !"});
}
