#include <gtest/gtest.h>

#include <vector>

#include "chart/rchart.h"

using namespace orv;

namespace {

// Default chart with one world unit per pixel on layer 1: world x lies at
// control column 50 + x, world y at row 160 - y.
class ChartMouseTest : public ::testing::Test {
protected:
    void SetUp() override {
        chart.SetLayerRange(1, 0, 0, 210, 140);
        chart.SetMouseAction(maDragCrossH);
    }

    void Vertical(int n, double x) {
        TCrossHair& c = chart.CrossHair(n);
        c.SetLayer(1);
        c.SetMode(chVert);
        c.SetPosX(x);
    }

    void Drag(int X, int Y) { chart.MouseMove(ssLeft, X, Y); }
    void Hover(int X, int Y) { chart.MouseMove(0, X, Y); }

    TRChart chart;
};

} // namespace

TEST_F(ChartMouseTest, FirstMoveOnlyPicksTheSecondMoves) {
    Vertical(1, 40);
    Vertical(2, 100);
    Drag(148, 70);                 // column 148 is world 98: nearest is crosshair 2
    EXPECT_TRUE(chart.DragActive());
    EXPECT_EQ(chart.DraggedCrossHair(), 2);
    EXPECT_EQ(chart.CrossHair2().PosX(), 100);
    Drag(170, 70);
    EXPECT_EQ(chart.CrossHair2().PosX(), 120);
    EXPECT_EQ(chart.CrossHair2().PosY(), 90);
    EXPECT_EQ(chart.CrossHair1().PosX(), 40);
    Drag(60, 70);                  // the pick holds while the button does
    EXPECT_EQ(chart.CrossHair2().PosX(), 10);
}

TEST_F(ChartMouseTest, EqualDistancesGoToTheLowerNumber) {
    for (int n = 1; n <= 4; ++n) Vertical(n, 30);
    Drag(90, 50);
    Drag(95, 50);
    EXPECT_EQ(chart.DraggedCrossHair(), 1);
    EXPECT_EQ(chart.CrossHair1().PosX(), 45);
    EXPECT_EQ(chart.CrossHair2().PosX(), 30);

    // Columns 100 and 120 with the mouse at 110.
    TRChart other;
    other.SetLayerRange(1, 0, 0, 210, 140);
    other.SetMouseAction(maDragCrossH);
    for (int n : {1, 2}) {
        other.CrossHair(n).SetLayer(1);
        other.CrossHair(n).SetMode(chVert);
    }
    other.CrossHair1().SetPosX(50);    // column 100
    other.CrossHair2().SetPosX(70);    // column 120
    other.MouseMove(ssLeft, 110, 60);
    EXPECT_EQ(other.DraggedCrossHair(), 1);
}

TEST_F(ChartMouseTest, CrossHairsThatAreOffAreNeverPicked) {
    Vertical(1, 10);
    chart.CrossHair2().SetLayer(1);
    chart.CrossHair2().SetPosX(100);   // off, right under the mouse
    Drag(150, 50);
    EXPECT_EQ(chart.DraggedCrossHair(), 1);
    // All off: crosshair 1 is dragged.
    TRChart none;
    none.SetMouseAction(maDragCrossH);
    none.MouseMove(ssLeft, 100, 100);
    EXPECT_EQ(none.DraggedCrossHair(), 1);
}

TEST_F(ChartMouseTest, HorizontalLinesCountByTheirRowAndVerticalFirst) {
    TCrossHair& h = chart.CrossHair3();
    h.SetLayer(1);
    h.SetMode(chHoriz);
    h.SetPosY(100);                // row 60
    Vertical(1, 0);                // column 50
    Drag(150, 62);
    EXPECT_EQ(chart.DraggedCrossHair(), 3);
    Drag(150, 80);
    EXPECT_EQ(h.PosY(), 80);

    // A crosshair with both lines is picked by the nearer of them.
    TRChart both;
    both.SetLayerRange(1, 0, 0, 210, 140);
    both.SetMouseAction(maDragCrossH);
    TCrossHair& b = both.CrossHair2();
    b.SetLayer(1);
    b.SetMode(chBoth);
    b.SetPosX(200);
    b.SetPosY(100);
    both.CrossHair1().SetLayer(1);
    both.CrossHair1().SetMode(chVert);
    both.CrossHair1().SetPosX(20);     // column 70
    both.MouseMove(ssLeft, 75, 62);    // 5 from crosshair 1, 2 from the row of crosshair 2
    EXPECT_EQ(both.DraggedCrossHair(), 2);
}

TEST_F(ChartMouseTest, FarAwayCrossHairsDoNotOverflowTheDistance) {
    // A crosshair at the end of the pixel range: its squared distance must
    // not wrap around into a small number.
    Vertical(1, 1e300);
    Vertical(2, -1e300);
    Vertical(3, 190);
    Drag(60, 50);
    EXPECT_EQ(chart.DraggedCrossHair(), 3);
}

TEST_F(ChartMouseTest, ReleasingEndsTheDrag) {
    Vertical(1, 50);
    Drag(100, 50);
    Drag(110, 50);
    EXPECT_EQ(chart.CrossHair1().PosX(), 60);
    Hover(150, 50);
    EXPECT_FALSE(chart.DragActive());
    EXPECT_EQ(chart.CrossHair1().PosX(), 60);
    Hover(170, 50);
    EXPECT_EQ(chart.CrossHair1().PosX(), 60);
    // Pressing again picks anew before anything moves.
    Drag(200, 50);
    EXPECT_EQ(chart.CrossHair1().PosX(), 60);
}

TEST_F(ChartMouseTest, DraggingPastTheEdgeFollowsTheMouse) {
    Vertical(1, 100);
    Drag(150, 50);
    Drag(275, 50);                     // beyond the plot's right edge (260)
    EXPECT_EQ(chart.CrossHair1().PosX(), 225);
    Drag(-10, 50);
    EXPECT_EQ(chart.CrossHair1().PosX(), -60);
}

TEST_F(ChartMouseTest, DragStepsRepaintAndReport) {
    Vertical(1, 100);
    int paints = 0;
    std::vector<double> reported;
    chart.OnRepaint = [&] { ++paints; };
    chart.OnCrossHairMove = [&](TRChart&, TCrossHair& c) { reported.push_back(c.PosX()); };
    Drag(150, 50);
    EXPECT_EQ(paints, 0);
    EXPECT_TRUE(reported.empty());
    Drag(160, 50);
    Drag(170, 50);
    EXPECT_EQ(reported, (std::vector<double>{110, 120}));
    EXPECT_GE(paints, 2);
}

TEST_F(ChartMouseTest, NoDragWithoutTheDragAction) {
    chart.SetMouseAction(maNone);
    Vertical(1, 100);
    Drag(150, 50);
    Drag(170, 50);
    EXPECT_FALSE(chart.DragActive());
    EXPECT_EQ(chart.CrossHair1().PosX(), 100);
}

TEST_F(ChartMouseTest, MouseMovesAreReportedInWorldCoordinates) {
    struct Report {
        bool in;
        TShiftState shift;
        double x, y;
    };
    std::vector<Report> reports;
    std::vector<int> order;
    chart.OnMouseMove = [&](TRChart&, TShiftState, int, int) { order.push_back(1); };
    chart.OnMouseMoveInChart = [&](TRChart&, bool in, TShiftState s, double x, double y) {
        order.push_back(2);
        reports.push_back({in, s, x, y});
    };
    Hover(100, 60);
    chart.MouseMove(ssShift, 20, 60);      // on the left margin
    chart.MouseMove(0, 260, 160);          // the plot's bottom-right corner is inside
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1, 2, 1, 2}));
    EXPECT_TRUE(reports[0].in);
    EXPECT_EQ(reports[0].x, 50);
    EXPECT_EQ(reports[0].y, 100);
    EXPECT_FALSE(reports[1].in);
    EXPECT_EQ(reports[1].x, -30);          // extrapolated beyond the range
    EXPECT_EQ(reports[1].shift, ssShift);
    EXPECT_TRUE(reports[2].in);
    // The last position inside the plot is kept.
    EXPECT_EQ(chart.LastWorldX(), 210);
    chart.MouseMove(0, 5, 5);
    EXPECT_EQ(chart.LastWorldX(), 210);
    EXPECT_EQ(chart.LastMouseX(), 5);
}

TEST_F(ChartMouseTest, CursorIsTheWidgetsOwnUnlessReleasedFromFixed) {
    Hover(100, 60);
    EXPECT_EQ(chart.ScreenCursor(), TChartCursor::crDefault);
    chart.SetMouseCursorFixed(false);
    chart.SetMouseAction(maNone);
    Hover(100, 60);
    EXPECT_EQ(chart.ScreenCursor(), TChartCursor::crCross);
    Hover(10, 60);
    EXPECT_EQ(chart.ScreenCursor(), TChartCursor::crDefault);
}

TEST_F(ChartMouseTest, ButtonsAndKeysReachTheWindowsHandlers) {
    std::vector<std::string> seen;
    chart.OnMouseDown = [&](TRChart&, TMouseButton b, TShiftState, int X, int Y) {
        seen.push_back("down " + std::to_string(static_cast<int>(b)) + " " + std::to_string(X) + "," +
                       std::to_string(Y));
    };
    chart.OnMouseUp = [&](TRChart&, TMouseButton, TShiftState, int, int) { seen.push_back("up"); };
    chart.OnKeyDown = [&](TRChart&, int& key, TShiftState) { seen.push_back("key " + std::to_string(key)); };
    chart.OnKeyUp = [&](TRChart&, int&, TShiftState) { seen.push_back("keyup"); };
    chart.OnMouseEnter = [&](TRChart&) { seen.push_back("enter"); };
    chart.OnMouseLeave = [&](TRChart&) { seen.push_back("leave"); };
    chart.MouseEnter();
    chart.MouseDown(TMouseButton::mbRight, ssRight, 70, 80);
    chart.MouseUp(TMouseButton::mbRight, ssRight, 70, 80);
    int key = 65;
    chart.KeyDown(key, 0);
    chart.KeyUp(key, 0);
    chart.MouseLeave();
    EXPECT_EQ(seen, (std::vector<std::string>{"enter", "down 1 70,80", "up", "key 65", "keyup", "leave"}));
}
