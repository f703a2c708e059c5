#include <cmath>

#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "workspace/frame_display.h"
#include "workspace/frame_tools.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/workspace.h"

namespace orv {
namespace {

// A frame whose 2-theta is column / 10 and psi is the row, so that each
// click's values are plain to see; shown 1:1.
void LinearFrame(Workspace& ws, int32_t width, int32_t height) {
    test::MakeFrame(ws, width, height);
    for (int32_t i = 1; i <= width; ++i) {
        for (int32_t j = 1; j <= height; ++j) {
            ws.FramePixels.OwnGeometry().TwoTheta[i][j] = i / 10.0f;
            ws.FramePixels.OwnGeometry().Psi[i][j] = static_cast<float>(j);
        }
    }
}

void Click(Workspace& ws, Host& host, int32_t x, int32_t y) {
    Image1MouseDown(ws, host, x, y);
    Image1MouseUp(ws, host);
}

TEST(FrameMouse, ScreenToFrameUsesTheDisplayScale) {
    Workspace ws;
    test::MakeFrame(ws, 100, 50);
    ws.DisplayWidth = 40;   // g = 2.5
    int32_t c = 0, r = 0;
    EXPECT_TRUE(ScreenToFrame(ws, 3, 5, c, r));
    EXPECT_EQ(c, 8);    // Round(7.5) = 8
    EXPECT_EQ(r, 12);   // Round(12.5) = 12
    EXPECT_FALSE(ScreenToFrame(ws, 0, 5, c, r));    // column 0 is the border
    EXPECT_FALSE(ScreenToFrame(ws, 40, 21, c, r));  // row Round(52.5) = 52 > 50
    EXPECT_TRUE(ScreenToFrame(ws, 40, 20, c, r));
    EXPECT_EQ(c, 100);
}

TEST(FrameMouse, NothingWithoutAFrame) {
    Workspace ws;
    RecordingHost host;
    ws.FrameTools.KeyAHeld = true;
    const FrameClick click = Image1MouseDown(ws, host, 10, 10);
    EXPECT_FALSE(click.ShowZoom);
    EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
    FrameKeyDown(ws, 'S');
    EXPECT_FALSE(ws.FrameTools.KeySHeld);
    ZoomCircle1Click(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Need to open a file first");
}

TEST(FrameMouse, KeysSetAndClearTheirFlags) {
    Workspace ws;
    test::MakeFrame(ws, 8, 8);
    for (int key : {'A', 'S', 'C', 'Z'}) FrameKeyDown(ws, key);
    EXPECT_TRUE(ws.FrameTools.KeyAHeld && ws.FrameTools.KeySHeld && ws.FrameTools.KeyCHeld &&
                ws.FrameTools.KeyZHeld);
    FrameKeyUp(ws, 'S');
    EXPECT_FALSE(ws.FrameTools.KeySHeld);
    EXPECT_TRUE(ws.FrameTools.KeyAHeld);
    FrameKeyUp(ws, 'A');
    FrameKeyUp(ws, 'C');
    FrameKeyUp(ws, 'Z');
    EXPECT_FALSE(ws.FrameTools.KeyAHeld || ws.FrameTools.KeyCHeld || ws.FrameTools.KeyZHeld);
}

TEST(FourClickSector, AngularAveragesAndSwaps) {
    Workspace ws;
    RecordingHost host;
    LinearFrame(ws, 100, 100);
    ws.FrameTools.KeyAHeld = true;
    // The sector in force stays until the fourth click.
    auto unchanged = [&] {
        EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 0.0f);
        EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 45.0f);
        EXPECT_FLOAT_EQ(ws.SectorPsi1, 0.0f);
        EXPECT_FLOAT_EQ(ws.SectorPsi2, 360.0f);
    };
    Click(ws, host, 10, 20);   // T1 = 1, x1 = 10, y1 = 20
    EXPECT_EQ(ws.FrameTools.SectorClicks, 1);
    unchanged();
    Click(ws, host, 30, 41);   // T2 = 3, P1 = 41, x2 = 30, y1 = Round(30.5) = 30
    EXPECT_EQ(ws.FrameTools.SectorY1, 30);
    unchanged();
    Click(ws, host, 50, 60);   // T2 = (3 + 5) / 2 = 4, P2 = 60, y2 = 60, x2 = 40
    EXPECT_EQ(ws.FrameTools.SectorX2, 40);
    unchanged();
    Click(ws, host, 90, 80);   // T1 = (1 + 9) / 2 = 5 > T2: swapped
    EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 4.0f);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 5.0f);
    EXPECT_EQ(ws.FrameTools.SectorX1, 50);   // mean of 10 and 90
    EXPECT_EQ(ws.FrameTools.SectorY2, 70);   // mean of 60 and 80
    EXPECT_EQ(ws.RectangularSector, 0);
    EXPECT_TRUE(test::Logged(ws, "Angular sector = 4.000, 41.000, 5.000, 60.000"));
    EXPECT_EQ(ws.FMask.Eth1, "4.000");
    EXPECT_EQ(ws.FMask.Eth2, "5.000");
    EXPECT_EQ(ws.FMask.EPsi1, "41.000");
    EXPECT_EQ(ws.FMask.EPsi2, "60.000");
    EXPECT_FALSE(ws.FMask.CBRectangle);
}

TEST(FourClickSector, RectangleFromTheToolButton) {
    Workspace ws;
    RecordingHost host;
    LinearFrame(ws, 100, 100);
    ws.FrameTools.SBSelectRect = true;
    ws.FMask.EX1 = "7";   // the previous rectangle
    Click(ws, host, 10, 20);
    Click(ws, host, 60, 24);   // y1 = 22
    Click(ws, host, 70, 80);   // x2 = 65, y2 = 80
    Click(ws, host, 20, 90);   // x1 = 15, y2 = 85
    EXPECT_EQ(ws.RectangularSector, 1);
    EXPECT_TRUE(ws.FMask.CBRectangle);
    EXPECT_EQ(ws.FMask.EX1, "15");
    EXPECT_EQ(ws.FMask.EY1, "22");
    EXPECT_EQ(ws.FMask.Ex2, "65");
    EXPECT_EQ(ws.FMask.EY2, "85");
    EXPECT_EQ(ws.FMask.Eth1, "0");
    EXPECT_EQ(ws.FMask.Eth2, "90");
    EXPECT_EQ(ws.FMask.EPsi1, "0");
    EXPECT_EQ(ws.FMask.EPsi2, "360");
    // The log names the rectangle just selected.
    EXPECT_TRUE(test::Logged(ws, "Rectangular sector = 15, 22, 65, 85"));
    // The rectangle's scan leaves its 2-theta extent: columns 15..65.
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 1.5f);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 6.5f);
    EXPECT_FALSE(ws.FrameTools.SBSelectRect);
    EXPECT_FALSE(ws.FrameTools.SBSelectAng);
    // The new rectangle is drawn: column Round(15 / 1) on row 50 is blue.
    EXPECT_EQ(ws.Form1.Image1.Get(15, 50), BlueColor);
}

TEST(FourClickSector, StartsOverWhenTheToolChanges) {
    Workspace ws;
    RecordingHost host;
    LinearFrame(ws, 100, 100);
    ws.FrameTools.KeyAHeld = true;
    Click(ws, host, 10, 20);
    Click(ws, host, 30, 40);
    // Another tool button: the two clicks are forgotten.
    SelectMouseTool(ws, host, MouseTool::SelectAng);
    EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
    for (auto [x, y] : {std::pair{20, 30}, {40, 50}, {60, 70}}) Click(ws, host, x, y);
    // Holding S instead of A: the three angular clicks are forgotten, and the
    // rectangle comes from four clicks of its own.
    ws.FrameTools.KeyAHeld = false;
    ws.FrameTools.KeySHeld = true;
    for (auto [x, y] : {std::pair{80, 10}, {20, 12}, {24, 90}, {76, 94}}) Click(ws, host, x, y);
    EXPECT_EQ(ws.RectangularSector, 1);
    // x1 = mean(80, 76) = 78 and x2 = mean(20, 24) = 22 come in order.
    EXPECT_TRUE(test::Logged(ws, "Rectangular sector = 22, 11, 78, 92"));
    EXPECT_EQ(ws.FMask.EX1, "22");
    EXPECT_EQ(ws.FMask.Ex2, "78");
    for (const std::string& line : ws.LLog.Lines()) EXPECT_EQ(line.find("Angular sector"), std::string::npos);
}

TEST(FourClickSector, ClicksOutsideTheFrameDoNotCount) {
    Workspace ws;
    RecordingHost host;
    LinearFrame(ws, 50, 50);
    ws.FrameTools.KeyAHeld = true;
    const FrameClick click = Image1MouseDown(ws, host, 70, 10);
    EXPECT_TRUE(click.ShowZoom);
    EXPECT_EQ(ws.FrameTools.SectorClicks, 0);
}

TEST(FrameEraser, CornersStayInsideTheFrame) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 10, 10);
    for (int32_t i = 0; i <= 11; ++i)
        for (int32_t j = 0; j <= 11; ++j) ws.FramePixels.Intensity[i][j] = 5;
    RenderFrame(ws);
    ws.FrameTools.SBEraser = true;
    ws.FrameTools.EraserSize = 8;
    Image1MouseDown(ws, host, 1, 1);
    for (int32_t i = 1; i <= 9; ++i)
        for (int32_t j = 1; j <= 9; ++j) EXPECT_EQ(ws.FramePixels.Intensity[i][j], -1) << i << "," << j;
    EXPECT_EQ(ws.FramePixels.Intensity[10][10], 5);
    for (int32_t k = 0; k <= 11; ++k) {   // the border cells keep their values
        EXPECT_EQ(ws.FramePixels.Intensity[0][k], 5);
        EXPECT_EQ(ws.FramePixels.Intensity[k][0], 5);
    }
    EXPECT_EQ(ws.Form1.Image1.Get(0, 0), MaskedColor);
    // Dragging on to the far corner erases there too.
    Image1MouseMove(ws, host, 10, 10);
    for (int32_t k = 0; k <= 11; ++k) {
        EXPECT_EQ(ws.FramePixels.Intensity[11][k], 5);
        EXPECT_EQ(ws.FramePixels.Intensity[k][11], 5);
    }
    EXPECT_EQ(ws.FramePixels.Intensity[10][10], -1);
    EXPECT_TRUE(ws.FrameTools.Erased);
    Image1MouseUp(ws, host);
    EXPECT_FALSE(ws.FrameTools.MouseHeld);
    EXPECT_FALSE(ws.FrameTools.Erased);
    // Moving without the button erases nothing.
    ws.FramePixels.Intensity[5][5] = 3;
    Image1MouseMove(ws, host, 5, 5);
    EXPECT_EQ(ws.FramePixels.Intensity[5][5], 3);
}

TEST(FrameEraser, FrameSquareScalesWithTheDisplay) {
    Workspace ws;
    test::MakeFrame(ws, 40, 40);
    ws.DisplayWidth = 20;   // g = 2: size 2 masks a half-width of 4 frame pixels
    RenderFrame(ws);
    ws.FrameTools.EraserSize = 2;
    EraseAt(ws, 10, 10, 20, 20);
    EXPECT_EQ(ws.FramePixels.Intensity[16][24], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[24][16], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[15][20], 0);
    EXPECT_EQ(ws.FramePixels.Intensity[20][25], 0);
    EXPECT_EQ(ws.Form1.Image1.Get(8, 12), MaskedColor);
    EXPECT_NE(ws.Form1.Image1.Get(7, 12), MaskedColor);
}

TEST(FrameRingPick, BrightestPixelNearTheClickInsideTheFrame) {
    Workspace ws;
    test::MakeFrame(ws, 20, 20);
    int32_t c = 0, r = 0;
    FindRingPoint(ws, 10, 10, c, r);   // nothing above 1: the clicked pixel
    EXPECT_EQ(c, 10);
    EXPECT_EQ(r, 10);
    ws.FramePixels.Intensity[14][7] = 50;
    ws.FramePixels.Intensity[16][10] = 900;   // 6 away: out of reach
    FindRingPoint(ws, 10, 10, c, r);
    EXPECT_EQ(c, 14);
    EXPECT_EQ(r, 7);
    // At the corners the search keeps to the frame (the border cells hold
    // large values that must not be picked).
    for (int32_t k = 0; k <= 21; ++k) {
        ws.FramePixels.Intensity[0][k] = 99999;
        ws.FramePixels.Intensity[k][0] = 99999;
        ws.FramePixels.Intensity[21][k] = 99999;
        ws.FramePixels.Intensity[k][21] = 99999;
    }
    ws.FramePixels.Intensity[2][3] = 7;
    FindRingPoint(ws, 1, 1, c, r);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(r, 3);
    FindRingPoint(ws, 20, 20, c, r);
    EXPECT_EQ(c, 20);
    EXPECT_EQ(r, 20);
}

TEST(FrameRingPick, ProjectionSkipsPixelsAtNinetyDegreesAndBeyond) {
    Workspace ws;
    ws.FlatDistancePixels = 100;
    LabPoint p;
    p.X = 30;
    p.Y = 50;
    p.Z = -20;
    double u = 0, v = 0;
    ASSERT_TRUE(ProjectToFlatPlane(ws, p, u, v));
    EXPECT_DOUBLE_EQ(u, 60.0);
    EXPECT_DOUBLE_EQ(v, -40.0);
    p.Y = 0;
    EXPECT_FALSE(ProjectToFlatPlane(ws, p, u, v));
    p.Y = -3;
    EXPECT_FALSE(ProjectToFlatPlane(ws, p, u, v));
}

} // namespace
} // namespace orv

namespace orv {
namespace {

// A flat frame (beam at 51, 51, distance 100) with a bright ring of radius
// 30, brightest where a pixel lies closest to the radius.
void BrightRingFrame(Workspace& ws) {
    test::MakeFrame(ws, 101, 101);
    test::FlatGeometry(ws, 51, 51, 100);
    for (int32_t i = 1; i <= 101; ++i) {
        for (int32_t j = 1; j <= 101; ++j) {
            const double off = std::fabs(std::hypot(i - 51.0, j - 51.0) - 30);
            if (off < 0.5) ws.FramePixels.Intensity[i][j] = static_cast<int32_t>(1000 - 1000 * off);
        }
    }
    RenderFrame(ws);
}

TEST(FrameRingPick, ClicksNearARingFitItsCentre) {
    Workspace ws;
    RecordingHost host;
    BrightRingFrame(ws);
    ws.Form27.RCircle = true;
    // Clicks two or three pixels off the ring all round it.
    const int32_t clicks[][2] = {{83, 51}, {51, 19}, {19, 53}, {50, 84}, {73, 31}, {30, 72}};
    for (const auto& c : clicks) {
        Image1MouseDown(ws, host, c[0], c[1]);
        Image1MouseUp(ws, host);
    }
    EXPECT_EQ(ws.CentrePointCount, 6);
    EXPECT_EQ(ws.CurveFit1.NumData(), 6);
    double radius = 0, cu = 0, cv = 0;
    ws.CurveFit1.CalcCircleFit(radius, cu, cv);
    // The centre comes back as Xo - cu, Yo + cv.
    EXPECT_NEAR(51 - cu, 51, 0.5);
    EXPECT_NEAR(51 + cv, 51, 0.5);
    EXPECT_NEAR(radius, 30, 0.5);
    // The first click picked pixel (81, 51): u = 51 - 81, v = 0.
    EXPECT_EQ(ws.CentrePoints[1].X, -30);
    EXPECT_EQ(ws.CentrePoints[1].Y, 0);
    // A dotted circle marks it: (81 + 3, 51) is blue.
    EXPECT_EQ(ws.Form1.Image1.Get(84, 51), BlueColor);
}

TEST(FrameRingPick, PointsBeyondNinetyDegreesAndPastTheTableAreHandled) {
    Workspace ws;
    BrightRingFrame(ws);
    // The detector swung by 120 degrees: the ring pixel (81, 51) lies
    // behind the sample.
    FrameGeometry& g = ws.FramePixels.OwnGeometry();
    const DetectorMapping flat = g.Mapping;
    g.Mapping.Mapper = DetectorMapping::Kind::Tilted;
    g.Mapping.Cos = -0.5;
    g.Mapping.Sin = std::sqrt(0.75);
    ASSERT_LT(ws.FramePixels.Lab(81, 51).Y, 0);
    EXPECT_FALSE(PickRingPoint(ws, 82, 51));
    EXPECT_EQ(ws.CurveFit1.NumData(), 0);
    EXPECT_EQ(ws.CentrePointCount, 0);
    ws.FramePixels.OwnGeometry().Mapping = flat;
    for (int k = 0; k < 503; ++k) PickRingPoint(ws, 51, 21);
    EXPECT_EQ(ws.CentrePointCount, MaxCentrePoints);
    EXPECT_EQ(ws.CurveFit1.NumData(), 503);
}

} // namespace
} // namespace orv

namespace orv {
namespace {

TEST(FrameMouse, CrosshairOfTheScanChartFollowsTheMouse) {
    Workspace ws;
    RecordingHost host;
    LinearFrame(ws, 100, 100);
    Image1MouseMove(ws, host, 37, 12);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.CrossHair1().PosX(), 3.7f);
    Image1MouseMove(ws, host, 0, 12);   // outside: stays
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.CrossHair1().PosX(), 3.7f);
}

TEST(FrameCentrePick, CHeldSetsTheBoxesAndRunsTheCentreCommand) {
    Workspace ws;
    RecordingHost host;
    LinearFrame(ws, 100, 100);
    RenderFrame(ws);
    int runs = 0;
    bool typed = false;
    ws.Hooks.FindCentre = [&](Workspace&, Host&, bool typedCentre) {
        ++runs;
        typed = typedCentre;
        return std::string();
    };
    ws.Form27.ProgressBar1 = 80;
    FrameKeyDown(ws, 'C');
    const FrameClick click = Image1MouseDown(ws, host, 40, 60);
    EXPECT_TRUE(click.ShowCentreWindow);
    EXPECT_EQ(ws.Form27.EXoM, "40");
    EXPECT_EQ(ws.Form27.EYoM, "60");
    EXPECT_EQ(ws.Form32.EXoM, "40");
    EXPECT_EQ(ws.Form32.EYoM, "60");
    EXPECT_EQ(ws.Form27.ProgressBar1, 0);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(typed);
    EXPECT_EQ(ws.Form1.Image1.Get(45, 60), BlueColor);   // the cross
    // A swung detector has no pick.
    ws.TwoThetaD = 20;
    EXPECT_FALSE(Image1MouseDown(ws, host, 30, 30).ShowCentreWindow);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ws.Form27.EXoM, "40");
}

} // namespace
} // namespace orv
