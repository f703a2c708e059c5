#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/sector_overlay.h"
#include "workspace/workspace.h"
#include "pixel_record.h"

namespace orv {
namespace {

// A 101 x 101 flat frame with the beam at its middle, 2-theta bins of 0.1.
void RingFrame(Workspace& ws) {
    test::MakeFrame(ws, 101, 101);
    test::FlatGeometry(ws, 51, 51, 100);
}

TEST(SectorRings, RingBinsFollowTheProfileLabels) {
    Workspace ws;
    ws.TwoThetaStep = 0.1f;
    ws.ScanPoints = 6000;   // more bins than the ring table holds
    for (int k = 0; k <= 6000; ++k) ws.FrameProfileCopy[k].TwoTheta = 10.0f + k * 0.1f;
    EXPECT_EQ(InnerRingBin(ws, 12.0f), 20);      // last bin not above 12.025
    EXPECT_EQ(InnerRingBin(ws, 12.04f), 20);
    EXPECT_EQ(InnerRingBin(ws, 12.08f), 21);     // 12.1 <= 12.105
    EXPECT_EQ(InnerRingBin(ws, 9.0f), -1);       // below bin 0
    EXPECT_EQ(OuterRingBin(ws, 15.0f), 50);      // last bin, counting down, not below 14.975
    EXPECT_EQ(OuterRingBin(ws, 14.96f), 50);
    EXPECT_EQ(OuterRingBin(ws, 700.0f), -1);     // above the last bin
    // An outer ring past record 5000 lands at its own bin.
    EXPECT_EQ(OuterRingBin(ws, 560.0f), 5500);
}

TEST(SectorRings, BandMarksItsRingAndPsiRangeOnly) {
    Workspace ws;
    RingFrame(ws);
    RenderFrame(ws);
    const int32_t bin = 100;   // 2-theta 10: radius 100 tan 10 = 17.6 pixels
    const double hw = BandHalfWidth(ws);
    ASSERT_GT(hw, 0);
    DrawTwoThetaBand(ws, bin, MakeColor(255, 0, 0), 0, 180);   // the upper half
    int marked = 0;
    for (int32_t x = 1; x <= 101; ++x) {
        for (int32_t y = 1; y <= 101; ++y) {
            const orv::test::PixelRecord p = orv::test::PixelAt(ws, x, y);
            const bool expected = std::fabs(p.TwoTheta - 10.0) < hw && p.Psi > 0 && p.Psi < 180;
            const bool red = ws.Form1.Image1.Get(x, y) == MakeColor(255, 0, 0);
            EXPECT_EQ(red, expected) << x << "," << y;
            marked += red;
        }
    }
    EXPECT_GT(marked, 10);
    // The pixel straight above the centre at radius 18 is on the ring.
    EXPECT_EQ(ws.Form1.Image1.Get(51, 33), MakeColor(255, 0, 0));
    EXPECT_NE(ws.Form1.Image1.Get(51, 69), MakeColor(255, 0, 0));
}

TEST(SectorRings, BandWithoutFrameSizeMarksNothing) {
    Workspace ws;
    RingFrame(ws);
    RenderFrame(ws);
    const RgbImage before = ws.Form1.Image1;
    ws.FrameSize = 0;
    DrawTwoThetaBand(ws, 100, BlueColor, 0, 360);
    DrawTwoThetaBand(ws, -5, BlueColor, 0, 360);
    DrawTwoThetaBand(ws, 999999, BlueColor, 0, 360);
    EXPECT_EQ(ws.Form1.Image1.Pixels, before.Pixels);
}

TEST(SectorRings, BandOnAShrunkFrameStaysInsideIt) {
    // 4096 columns at display width 1024: s = 4, and the display has
    // Round(1024 x 6 / 4096) = 2 rows; row 2 maps to frame row 8, past the
    // 6 rows and the border.
    Workspace ws;
    test::MakeFrame(ws, 4096, 6);
    ws.DisplayWidth = 1024;
    for (int32_t i = 0; i <= 4097; ++i)
        for (int32_t j = 0; j <= 7; ++j) ws.FramePixels.OwnGeometry().Psi[i][j] = 10;
    ws.MinTwoTheta = 0;
    ws.MaxTwoTheta = 40;
    ws.FrameProfileCopy[3].TwoTheta = 0;
    RenderFrame(ws);
    DrawTwoThetaBand(ws, 3, BlueColor, 0, 360);
    EXPECT_EQ(ws.Form1.Image1.Get(100, 1), BlueColor);   // frame row 4
    EXPECT_NE(ws.Form1.Image1.Get(100, 2), BlueColor);   // frame row 8: outside
    EXPECT_EQ(ws.Form1.Image1.Get(1024, 1), BlueColor);  // frame column 4096
}

TEST(SectorRings, BandZoomStartsFromTheCleanPicture) {
    Workspace ws;
    RingFrame(ws);
    RenderFrame(ws);
    ws.Form1.Image2 = ws.Form1.Image1;
    ws.Form1.Image1.Set(1, 1, BlueColor);   // a mark that the clean copy lacks
    DrawTwoThetaBandZoom(ws, MakeColor(0, 255, 0), 10.0f);
    EXPECT_NE(ws.Form1.Image1.Get(1, 1), BlueColor);
    EXPECT_EQ(ws.Form1.Image1.Get(51, 33), MakeColor(0, 255, 0));
    EXPECT_EQ(ws.Form1.Image1.Get(51, 69), MakeColor(0, 255, 0));   // any psi
}

TEST(SectorOutline, AngularSectorRingsAndEdges) {
    Workspace ws;
    RingFrame(ws);
    RenderFrame(ws);
    // 2-theta 10..20 between psi 30 and 150 (above the centre).
    DrawAngularSector(ws, 10, 30, 20, 150);
    const RgbImage& im = ws.Form1.Image1;
    EXPECT_EQ(im.Get(51, 33), BlueColor);       // inner ring at psi 90
    EXPECT_NE(im.Get(51, 69), BlueColor);       // inner ring at psi 270: outside
    // Radius of 2-theta 20 is 36.4 pixels: row 51 - 36 = 15 is on the outer ring.
    EXPECT_EQ(im.Get(51, 15), BlueColor);
    EXPECT_NE(im.Get(51, 25), BlueColor);       // the middle of the sector
    // The radial edge at psi 30: 2-theta 15 lies 26.8 pixels out.
    EXPECT_EQ(im.Get(51 + 23, 51 - 13), BlueColor);
    EXPECT_NE(im.Get(51 + 13, 51 - 23), BlueColor);   // psi 60, inside
}

TEST(SectorOutline, RectangleIsReadClampedAndDrawn) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 64, 64);
    ws.DisplayWidth = 32;   // s = 2
    RenderFrame(ws);
    ws.FMask.EX1 = "0";
    ws.FMask.EY1 = "-3";
    ws.FMask.Ex2 = "5000";
    ws.FMask.EY2 = "5000";
    DrawSectorRectangle(ws, host);
    EXPECT_EQ(ws.FMask.EX1, "1");
    EXPECT_EQ(ws.FMask.EY1, "1");
    EXPECT_EQ(ws.FMask.Ex2, "64");
    EXPECT_EQ(ws.FMask.EY2, "64");
    EXPECT_EQ(ws.CropRect, (std::array<int32_t, 4>{1, 64, 1, 64}));
    ws.FMask.EX1 = "10";
    ws.FMask.EY1 = "20";
    ws.FMask.Ex2 = "30";
    ws.FMask.EY2 = "40";
    RenderFrame(ws);
    DrawSectorRectangle(ws, host);
    // Screen corners (5, 10) and (15, 20): outline on columns 5 and 14, rows 10 and 19.
    const RgbImage& im = ws.Form1.Image1;
    EXPECT_EQ(im.Get(5, 15), BlueColor);
    EXPECT_EQ(im.Get(14, 15), BlueColor);
    EXPECT_EQ(im.Get(10, 10), BlueColor);
    EXPECT_EQ(im.Get(10, 19), BlueColor);
    EXPECT_NE(im.Get(10, 15), BlueColor);
    EXPECT_NE(im.Get(15, 15), BlueColor);
    ws.FMask.EX1 = "abc";
    DrawSectorRectangle(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "'abc' is not a valid number");
}

// ---- Statistics and masking ---------------------------------------------------------

// Intensity column + 100 x row on a flat ring frame.
void CountedFrame(Workspace& ws) {
    RingFrame(ws);
    for (int32_t i = 1; i <= 101; ++i)
        for (int32_t j = 1; j <= 101; ++j) ws.FramePixels.Intensity[i][j] = i + 100 * j;
}

TEST(SectorStatisticsTest, AngularSumsSkipMaskedPixels) {
    Workspace ws;
    CountedFrame(ws);
    ws.FramePixels.Intensity[51][30] = -1;   // in the sector
    // Independent count over the same limits, written out here.
    int64_t sum = 0, count = 0;
    int32_t top = 0;
    for (int32_t i = 1; i <= 101; ++i) {
        for (int32_t j = 1; j <= 101; ++j) {
            const orv::test::PixelRecord p = orv::test::PixelAt(ws, i, j);
            if (p.TwoTheta > 5 && p.TwoTheta < 15 && p.Psi > 45 && p.Psi < 135 && p.Intensity >= 0) {
                sum += p.Intensity;
                ++count;
                top = std::max(top, p.Intensity);
            }
        }
    }
    ASSERT_GT(count, 50);
    const SectorStatistics st = AngularSectorStatistics(ws, 15, 45, 5, 135);   // limits put in order
    EXPECT_EQ(st.Integral, sum);
    EXPECT_EQ(st.Count, count);
    EXPECT_EQ(st.Maximum, top);
    const auto lines = ws.LLog.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Angular sector = 5.000, 45.000, 15.000, 135.000");
    EXPECT_EQ(lines[1], "Integral = " + std::to_string(sum) + ";  MaxIntensity = " + std::to_string(top) +
                            ".0;  Number of pixels in sector = " + std::to_string(count));
}

TEST(SectorStatisticsTest, RectangleOrderedSummedIn64Bits) {
    Workspace ws;
    test::MakeFrame(ws, 10, 10);
    for (int32_t i = 1; i <= 10; ++i)
        for (int32_t j = 1; j <= 10; ++j) ws.FramePixels.Intensity[i][j] = 2000000000;
    ws.FramePixels.Intensity[3][4] = -1;
    ws.CropRect = {4, 2, 5, 3};   // x1 > x2, y1 > y2
    const SectorStatistics st = RectangleSectorStatistics(ws);
    EXPECT_EQ(ws.CropRect, (std::array<int32_t, 4>{2, 4, 3, 5}));
    EXPECT_EQ(st.Count, 8);   // 3 x 3 less the masked pixel
    EXPECT_EQ(st.Integral, 8 * int64_t{2000000000});
    EXPECT_EQ(ws.LLog.Lines()[0], "Rectangular sector = 2, 3, 4, 5");
    EXPECT_EQ(ws.LLog.Lines()[1],
              "Integral = 16000000000;  MaxIntensity = 2000000000.0;  Number of pixels in sector = 8");
    // A rectangle left from a larger frame is kept to this one.
    ws.CropRect = {1, 512, 1, 512};
    EXPECT_EQ(RectangleSectorStatistics(ws).Count, 99);
    EXPECT_EQ(ws.CropRect, (std::array<int32_t, 4>{1, 10, 1, 10}));
}

TEST(SectorMask, ReversedRectangleMasksTheOrderedRange) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 320, 320);
    ws.FMask.EX1 = "200";
    ws.FMask.Ex2 = "100";
    ws.FMask.EY1 = "300";
    ws.FMask.EY2 = "150";
    ASSERT_TRUE(MaskRectangleSector(ws, host));
    EXPECT_EQ(ws.CropRect, (std::array<int32_t, 4>{100, 200, 150, 300}));
    int masked = 0;
    for (int32_t i = 0; i <= 321; ++i) {
        for (int32_t j = 0; j <= 321; ++j) {
            const bool inside = i >= 100 && i <= 200 && j >= 150 && j <= 300;
            EXPECT_EQ(ws.FramePixels.Intensity[i][j] == -1, inside) << i << "," << j;
            masked += ws.FramePixels.Intensity[i][j] == -1;
        }
    }
    EXPECT_EQ(masked, 101 * 151);
    const auto lines = ws.LLog.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], " Rectangular sector = 100, 150, 200, 300");
    EXPECT_EQ(lines[1], "Deleted ");
}

TEST(SectorMask, BadBoxChangesNothing) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 20, 20);
    ws.FMask.EY2 = "1.5";
    EXPECT_FALSE(MaskRectangleSector(ws, host));
    ASSERT_EQ(host.messages.size(), 1u);
    for (int32_t i = 1; i <= 20; ++i)
        for (int32_t j = 1; j <= 20; ++j) EXPECT_EQ(ws.FramePixels.Intensity[i][j], 0);
    EXPECT_EQ(ws.LLog.Count(), 0u);
}

TEST(SectorMask, AngularMaskKeepsPixelsOnTheLimits) {
    Workspace ws;
    CountedFrame(ws);
    // Pixel (61, 51): psi 0, 2-theta atan(10 / 100); pixel (51, 41): psi 90.
    const float t = ws.FramePixels.TwoTheta[61][51];
    MaskAngularSector(ws, t, 300, 20, 60);
    EXPECT_NE(ws.FramePixels.Intensity[61][51], -1);   // 2-theta exactly T1
    EXPECT_EQ(ws.FramePixels.Intensity[71][51], -1);   // psi 0, further out
    EXPECT_NE(ws.FramePixels.Intensity[51][31], -1);   // psi 90: outside 300..60
    EXPECT_EQ(ws.LLog.Lines()[0], " Angular sector = " + FormatNumber(t) + ", 300.000, 20.000, 60.000");
    EXPECT_EQ(ws.LLog.Last(), "Deleted ");
}

} // namespace
} // namespace orv
