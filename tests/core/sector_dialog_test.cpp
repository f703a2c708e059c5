#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "workspace/host.h"
#include "workspace/sector_dialog.h"
#include "workspace/workspace.h"

namespace orv {
namespace {

TEST(MaskDialog, ApplyUntickedSelectsTheAngularSector) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 32, 32);
    ws.RectangularSector = 1;   // left by an earlier rectangle
    ws.SectorPsi1 = 10;
    ws.SectorPsi2 = 200;
    // Limits out of order and a negative psi: the logbook gives them as
    // they are put in force, not as typed nor as they were before.
    ws.FMask.Eth1 = "30";
    ws.FMask.Eth2 = "12.5";
    ws.FMask.EPsi1 = "-45";
    FMaskButton1Click(ws, host);
    EXPECT_EQ(ws.RectangularSector, 0);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 12.5f);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 30.0f);
    EXPECT_FLOAT_EQ(ws.SectorPsi1, 315.0f);
    EXPECT_FLOAT_EQ(ws.SectorPsi2, 360.0f);
    EXPECT_TRUE(test::Logged(ws, "Sector = 12.500, 315.000, 30.000, 360.000"));
}

TEST(MaskDialog, ApplyTickedSelectsTheRectangle) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 32, 32);
    ws.FMask.CBRectangle = true;
    ws.FMask.EX1 = "3";
    ws.FMask.EY1 = "4";
    ws.FMask.Ex2 = "20";
    ws.FMask.EY2 = "21";
    ws.SectorTwoTheta1 = 1;
    FMaskButton1Click(ws, host);
    EXPECT_EQ(ws.RectangularSector, 1);
    EXPECT_TRUE(test::Logged(ws, "Rectangular Sector = 3, 4, 20, 21"));
}

TEST(MaskDialog, ApplyWithABadBoxChangesNothing) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 32, 32);
    ws.RectangularSector = 1;
    ws.FMask.Eth1 = "5";
    ws.FMask.EPsi2 = "x";
    FMaskButton1Click(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "'x' is not a valid number");
    EXPECT_EQ(ws.RectangularSector, 1);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 0.0f);
    EXPECT_EQ(ws.LLog.Count(), 0u);
}

TEST(MaskDialog, FullRangeWithAndWithoutAScan) {
    Workspace ws;
    ws.FrameWidth = 640;
    ws.FrameHeight = 480;
    ws.SectorScanPoints = 0;
    ws.SectorTwoTheta1 = 7;
    FMaskBFRangeClick(ws);
    EXPECT_EQ(ws.FMask.Eth1, "180.000");
    EXPECT_EQ(ws.FMask.Eth2, "0.000");
    EXPECT_EQ(ws.FMask.EPsi1, "0");
    EXPECT_EQ(ws.FMask.EPsi2, "360");
    EXPECT_EQ(ws.FMask.EX1, "1");
    EXPECT_EQ(ws.FMask.EY1, "1");
    EXPECT_EQ(ws.FMask.Ex2, "640");
    EXPECT_EQ(ws.FMask.EY2, "480");
    EXPECT_EQ(ws.CropRect, (std::array<int32_t, 4>{1, 640, 1, 480}));
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 7.0f);   // the limits in force stay
    ws.SectorScanPoints = 3;
    ws.SectorScan[0].TwoTheta = 0.5f;   // bin 0 takes no part
    ws.SectorScan[1].TwoTheta = 2.25f;
    ws.SectorScan[2].TwoTheta = 2.5f;
    ws.SectorScan[3].TwoTheta = 2.75f;
    FMaskBFRangeClick(ws);
    EXPECT_EQ(ws.FMask.Eth1, "2.250");
    EXPECT_EQ(ws.FMask.Eth2, "2.750");
}

TEST(DeleteSector, RectangleMasksThenFullRange) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 40, 30);
    ws.RectangularSector = 1;
    ws.FMask.CBRectangle = true;
    ws.FMask.EX1 = "20";
    ws.FMask.Ex2 = "10";
    ws.FMask.EY1 = "5";
    ws.FMask.EY2 = "6";
    DeleteSector1Click(ws, host);
    EXPECT_EQ(ws.FramePixels.Intensity[10][5], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[20][6], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[21][6], 0);
    EXPECT_EQ(ws.FramePixels.Intensity[15][7], 0);
    EXPECT_FALSE(ws.FMask.CBRectangle);
    EXPECT_EQ(ws.FMask.Ex2, "40");
    EXPECT_EQ(ws.FMask.EY2, "30");
    // The picture was redrawn with the masked pixels.
    EXPECT_EQ(ws.Form1.Image1.Get(15, 5), MaskedColor);
    EXPECT_NE(std::find(host.changes.begin(), host.changes.end(), View::Frame), host.changes.end());
}

TEST(DeleteSector, AngularUsesTheSectorLimits) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 21, 21);
    test::FlatGeometry(ws, 11, 11, 50);
    ws.SectorTwoTheta1 = 5;
    ws.SectorTwoTheta2 = 10;
    ws.SectorPsi1 = 0;
    ws.SectorPsi2 = 360;
    DeleteSector1Click(ws, host);
    EXPECT_EQ(ws.FramePixels.Intensity[11][11 + 6], -1);   // atan(6 / 50) = 6.8 degrees, psi 270
    EXPECT_EQ(ws.FramePixels.Intensity[11 + 6][11], 0);    // psi 0 lies on the limit
    EXPECT_EQ(ws.FramePixels.Intensity[11 + 2][11], 0);    // 2.3 degrees
    EXPECT_EQ(ws.LLog.Lines()[0], " Angular sector = 5.000, 0.000, 10.000, 360.000");
}

TEST(DeleteSector, NeedsAFrame) {
    Workspace ws;
    RecordingHost host;
    DeleteSector1Click(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Need to open a file first");
}

} // namespace
} // namespace orv
