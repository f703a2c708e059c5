#include <gtest/gtest.h>

#include "scan_support.h"
#include "workspace/host.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

TEST(ScanPsiTest, BinsByNearestPsiStepWithInclusiveTwoThetaLimits) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 6, 1);
    ws.SectorTwoTheta1 = 5;
    ws.SectorTwoTheta2 = 10;
    ws.FSetup.CBPsiLorentz = false;
    SetPixel(ws, 1, 1, 3, 5.0f, 10.25f);    // limit included; 20.5 -> bin 20
    SetPixel(ws, 2, 1, 7, 10.0f, 10.75f);   // limit included; 21.5 -> bin 22
    SetPixel(ws, 3, 1, 11, 7.0f, 10.2f);    // 20.4 -> bin 20
    SetPixel(ws, 4, 1, 1000, 4.99f, 10.0f); // outside the 2-theta range
    SetPixel(ws, 5, 1, MaskedIntensity, 7.0f, 10.0f);
    SetPixel(ws, 6, 1, 13, 7.0f, 359.9f);   // 719.8 -> bin 720, the last
    PsiScan1Click(ws, host);
    EXPECT_FLOAT_EQ(ws.PsiStep, 0.5f);
    EXPECT_FLOAT_EQ(ws.PsiScanData[20], 14);
    EXPECT_FLOAT_EQ(ws.PsiScanData[22], 7);
    EXPECT_FLOAT_EQ(ws.PsiScanData[720], 13);
    EXPECT_FLOAT_EQ(ws.PsiScanData[21], 0);
    EXPECT_EQ(ws.LLog.Last(), "4 pixels contributing to the Psi scan");
}

TEST(ScanPsiTest, LorentzDividesAfterTheBackupIsTaken) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 3, 1);
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 90;
    for (int i = 1; i <= 3; ++i) SetPixel(ws, i, 1, 10 * i, 20, 45);
    PsiScan1Click(ws, host);
    EXPECT_FLOAT_EQ(ws.PsiScanBackup[90], 60);
    EXPECT_FLOAT_EQ(ws.PsiScanData[90], 20);
}

TEST(ScanPsiTest, MoreThan65535PixelsInOneBinAreCountedInFull) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 300, 300);
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 90;
    for (int i = 1; i <= 300; ++i)
        for (int j = 1; j <= 300; ++j) SetPixel(ws, i, j, (i + j) % 2 ? 3 : 7, 20, 10);
    PsiScan1Click(ws, host);
    EXPECT_FLOAT_EQ(ws.PsiScanData[20], 5);   // the mean of 45000 threes and 45000 sevens
    EXPECT_FLOAT_EQ(ws.PsiScanBackup[20], 450000);
}

TEST(ScanPsiTest, StepBelowTheFinestIsRaisedAndShown) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 1, 1);
    ws.FSetup.CBPsiStep = true;
    ws.FSetup.EPsiStep = "0.02";
    SetPixel(ws, 1, 1, 9, 20, 359.99f);
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 90;
    PsiScan1Click(ws, host);
    EXPECT_FLOAT_EQ(ws.PsiStep, 0.05f);
    EXPECT_EQ(ws.FSetup.EPsiStep, "0.05");
    EXPECT_FLOAT_EQ(ws.PsiScanData[7200], 9);   // 359.99 / 0.05 = 7199.8
    ws.FSetup.EPsiStep = "2.5";
    PsiScan1Click(ws, host);
    EXPECT_FLOAT_EQ(ws.PsiStep, 2.5f);
    EXPECT_FLOAT_EQ(ws.PsiScanData[144], 9);
    EXPECT_FLOAT_EQ(ws.PsiScanData[7200], 0);   // nothing left of the finer scan
    ws.FSetup.EPsiStep = "fine";
    PsiScan1Click(ws, host);
    EXPECT_EQ(host.messages.back(), "'fine' is not a valid number");
    EXPECT_FLOAT_EQ(ws.PsiStep, 2.5f);
}

TEST(ScanPsiTest, RectangleSectorIsRefused) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 2, 2);
    ws.RectangularSector = 1;
    ws.PsiScanData[3] = 42;
    PsiScan1Click(ws, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Define a 2Theta range using the Mask Sector tool !"});
    EXPECT_FLOAT_EQ(ws.PsiScanData[3], 42);
}

TEST(ScanPsiTest, ChartsDrawTheScanAndItsMirrorAtNegativePsi) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 2, 1);
    ws.FSetup.CBPsiStep = true;
    ws.FSetup.EPsiStep = "90";   // bins 0..4 at 0, 90, 180, 270, 360
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 90;
    ws.SectorPsi1 = 300;
    ws.SectorPsi2 = 60;
    SetPixel(ws, 1, 1, 40, 20, 90);
    SetPixel(ws, 2, 1, 20, 20, 270);
    PsiScan1Click(ws, host);
    const TRChart& work = ws.Form12.RChart2;
    // MoveTo(0, bin 0), LineTo bins 0..4, MoveTo(-180, 0), LineTo bins 3, 4 shifted.
    ASSERT_EQ(work.ItemCount(), 1 + 5 + 1 + 2);
    EXPECT_EQ(work.Item(0).Kind, kItemMoveTo);
    EXPECT_EQ(work.Item(2).X, 90);
    EXPECT_EQ(work.Item(2).Y, 40);
    EXPECT_EQ(work.Item(6).Kind, kItemMoveTo);
    EXPECT_EQ(work.Item(6).X, -180);
    EXPECT_EQ(work.Item(7).X, -90);
    EXPECT_EQ(work.Item(7).Y, 20);
    EXPECT_EQ(work.Item(8).X, 0);
    // A sector through 0 (hi 300 > 270, lo 60 in 0..180) is shown from -60 to 60.
    TRChart& w = ws.Form12.RChart2;
    EXPECT_DOUBLE_EQ(w.Scale1X().RangeLow(), -60);
    EXPECT_DOUBLE_EQ(w.Scale1X().RangeHigh(), 60);
    EXPECT_NEAR(w.Scale1Y().RangeHigh(), 44, 1e-4);
    TRChart& overview = ws.Form12.RChart1;
    EXPECT_DOUBLE_EQ(overview.Scale1X().RangeHigh(), 360);
    EXPECT_DOUBLE_EQ(overview.CrossHair1().PosX(), 60);
    EXPECT_DOUBLE_EQ(overview.CrossHair2().PosX(), 300);
    EXPECT_TRUE(ws.Form12.Visible);
}
