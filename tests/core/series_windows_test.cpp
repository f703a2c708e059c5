#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chart/chart_types.h"
#include "scans/series_windows.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

constexpr int KeyUp = 38, KeyDown = 40, KeyZ = 90;

// A frame's 2-theta scan as the loading worker leaves it: points 0..last at
// 10 + 0.5 k degrees, point k of frame n holding n x 100 + k.
void LoadScan(Workspace& ws, int n, int last = 4) {
    ws.CurrentFile = "/data/run/f" + std::to_string(n) + ".tif";
    ws.FramesLoaded = n;
    ws.TwoThetaStep = 0.5f;
    ws.ScanPoints = last;
    ws.SectorScanPoints = last;
    for (int k = 0; k <= last; ++k) {
        ws.SectorScan[static_cast<size_t>(k)].TwoTheta = 10.0f + 0.5f * static_cast<float>(k);
        ws.SectorScan[static_cast<size_t>(k)].Intensity = static_cast<float>(n * 100 + k);
    }
    AddScanToSeries(ws);
}

// The colours and widths of the polylines of a chart, in drawing order.
std::vector<std::pair<TColor, int>> Polylines(const TRChart& chart) {
    std::vector<std::pair<TColor, int>> lines;
    for (const ChartItem& item : chart.Items())
        if (item.Kind == kItemMoveTo) lines.emplace_back(item.Color, item.LineWidth);
    return lines;
}

} // namespace

// The series keeps the latest 21 scans, each row naming its own curve, past
// the tenth frame and past the 21st.
TEST(ScanSeriesTest, RowsKeepTheirScansBeyondTwentyOneFrames) {
    Workspace ws;
    for (int n = 1; n <= 21; ++n) LoadScan(ws, n);
    ASSERT_EQ(ws.Form9.LPWD.size(), 21u);
    for (size_t r = 0; r < 21; ++r) {
        EXPECT_EQ(ws.Form9.LPWD[r], "/data/run/f" + std::to_string(r + 1) + ".tif");
        EXPECT_EQ(ws.ScanSeries[r][3].Intensity, static_cast<float>((r + 1) * 100 + 3));
    }
    SelectSeriesRow(ws, 20);
    for (int n = 22; n <= 25; ++n) LoadScan(ws, n);
    ASSERT_EQ(ws.Form9.LPWD.size(), 21u);
    for (size_t r = 0; r < 21; ++r) {
        EXPECT_EQ(ws.Form9.LPWD[r], "/data/run/f" + std::to_string(r + 5) + ".tif");
        EXPECT_EQ(ws.ScanSeries[r][2].Intensity, static_cast<float>((r + 5) * 100 + 2));
    }
    // The selection stays with frame 21; the chart shows the 21 listed scans
    // and that one red on top.
    EXPECT_EQ(ws.Form9.ItemIndex, 16);
    const auto lines = Polylines(ws.Form9.RChart1);
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines.back(), std::make_pair(RGBColor(255, 0, 0), 2));
    EXPECT_EQ(lines.front(), std::make_pair(RGBColor(128, 128, 128), 1));
    // The table has one intensity column per listed scan.
    const std::vector<std::string> table = SeriesTableLines(ws);
    ASSERT_EQ(table.size(), 4u + 21u + 5u);
    EXPECT_EQ(table[4], "/data/run/f5.tif");
    EXPECT_EQ(table[25].size(), 9u * 22u);
    EXPECT_EQ(table[25].substr(9, 9), "  500.000");
    EXPECT_EQ(table[25].substr(9 * 21, 9), " 2500.000");
}

TEST(ScanSeriesTest, TheFirstFrameIsDrawnRedAndTheRangeGrowsWithEachScan) {
    Workspace ws;
    LoadScan(ws, 1);
    LoadScan(ws, 2);
    const auto lines = Polylines(ws.Form9.RChart1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::make_pair(RGBColor(255, 0, 0), 2));
    EXPECT_EQ(lines[1], std::make_pair(RGBColor(128, 128, 128), 1));
    // Points 0..3 of each scan are drawn (from (0, 0)): 10..11.5 degrees, up to 203.
    EXPECT_FLOAT_EQ(ws.SeriesMinTwoTheta, 10.0f);
    EXPECT_FLOAT_EQ(ws.SeriesMaxTwoTheta, 11.5f);
    EXPECT_DOUBLE_EQ(ws.Form9.RChart1.ScaleY(1).RangeHigh(), 1.1 * 203.0f);
    // A run starts with a clear chart; its first scan brings the listed ones back.
    ws.Form9.RChart1.ClearItems();
    LoadScan(ws, 3);
    EXPECT_EQ(Polylines(ws.Form9.RChart1).size(), 3u);
}

// The series table character for character: an empty line, first 2-theta,
// step and wavelength (5:3), the names, then 2-theta and every scan (9:3).
TEST(ScanSeriesTest, TableLayout) {
    Workspace ws;
    ws.Landa = 1.5406;
    LoadScan(ws, 1, 2);
    LoadScan(ws, 2, 2);
    EXPECT_EQ(SeriesTableLines(ws), (std::vector<std::string>{"", "10.000", "0.500", "1.541", "/data/run/f1.tif",
                                                              "/data/run/f2.tif",
                                                              "   10.000  100.000  200.000",
                                                              "   10.500  101.000  201.000",
                                                              "   11.000  102.000  202.000"}));
}

TEST(ScanSeriesTest, ArrowsWrapAroundTheList) {
    Workspace ws;
    for (int n = 1; n <= 3; ++n) LoadScan(ws, n);
    SeriesKeyDown(ws, KeyDown);   // nothing selected: the first row
    EXPECT_EQ(ws.Form9.ItemIndex, 0);
    SeriesKeyDown(ws, KeyUp);     // before the first: the last
    EXPECT_EQ(ws.Form9.ItemIndex, 2);
    SeriesKeyDown(ws, KeyDown);   // after the last: the first
    EXPECT_EQ(ws.Form9.ItemIndex, 0);
    EXPECT_EQ(Polylines(ws.Form9.RChart1).back(), std::make_pair(RGBColor(255, 0, 0), 2));
    EXPECT_DOUBLE_EQ(ws.Form9.SeriesMax, 304);
    SelectSeriesRow(ws, 7);       // no such row
    EXPECT_EQ(ws.Form9.ItemIndex, -1);
}

TEST(ScanSeriesTest, ClicksReadTheSelectedScanAndZoomToARange) {
    Workspace ws;
    ws.Landa = 1.5406;
    for (int n = 1; n <= 2; ++n) LoadScan(ws, n);
    SelectSeriesRow(ws, 1);
    ws.Form9.SeriesValue = -1;
    SeriesMouseDown(ws, 10.2);   // left of point 1 (10.5): unchanged
    EXPECT_EQ(ws.Form9.SeriesValue, -1);
    EXPECT_DOUBLE_EQ(ws.Form9.SeriesMarkX, 10.2);
    SeriesMouseDown(ws, 11.3);   // the last point at or left of 11.3 is point 2
    EXPECT_EQ(ws.Form9.SeriesValue, 202);
    EXPECT_DOUBLE_EQ(ws.Form9.RChart1.CrossHair2().PosX(), 11.3);
    SeriesMouseMove(ws, 20);
    // d = 1.5406 / (2 sin 10 deg) = 4.436
    EXPECT_EQ(ws.Form9.RChart1.Caption(), "20.000, 4.436, 202.000  at 11.300");

    // 'Z' and two clicks, right to left: 10.4..11.6 holds points 1..3 of
    // both scans; the largest is 203. The mark stays where it was.
    SeriesKeyDown(ws, KeyZ);
    SeriesMouseDown(ws, 11.6);
    EXPECT_FALSE(ws.FrameTools.KeyZHeld);
    SeriesKeyDown(ws, KeyZ);
    SeriesMouseDown(ws, 10.4);
    const TRChart& chart = ws.Form9.RChart1;
    EXPECT_DOUBLE_EQ(chart.ScaleX(1).RangeLow(), 10.4);
    EXPECT_DOUBLE_EQ(chart.ScaleX(1).RangeHigh(), 11.6);
    EXPECT_DOUBLE_EQ(chart.ScaleY(1).RangeHigh(), 203);
    EXPECT_DOUBLE_EQ(ws.Form9.SeriesMarkX, 11.3);
    EXPECT_EQ(ws.ChartRangeClickCount, 0);
}

// The d-spacing table and read-out use the table's own 72 rows of 5
// degrees, whatever the psi scan's step; psi 360 reads row 0.
TEST(DSpacingWindowTest, TableAndReadOutUseTheTablesOwnStep) {
    Workspace ws;
    ws.CurrentFile = "/data/run/f1.tif";
    ws.PsiStep = 0.5f;
    ws.DSpacingData.Count = 72;
    for (int r = 0; r < 72; ++r) ws.DSpacingData.D[static_cast<size_t>(r)] = 1.0f + 0.01f * static_cast<float>(r);
    const std::vector<std::string> lines = DSpacingTableLines(ws);
    ASSERT_EQ(lines.size(), 74u);
    EXPECT_EQ(lines[0], "/data/run/f1.tif");
    EXPECT_EQ(lines[1], "Psi angle");
    EXPECT_EQ(lines[2], "5.000   1.010");
    EXPECT_EQ(lines[20], "95.000   1.190");
    EXPECT_EQ(lines[73], "360.000   1.000");

    EXPECT_EQ(DSpacingRowAt(ws.DSpacingData, 2.4), 0);
    EXPECT_EQ(DSpacingRowAt(ws.DSpacingData, 7.6), 2);   // 8 degrees: row 1.6, nearest 2
    EXPECT_EQ(DSpacingRowAt(ws.DSpacingData, 359), 0);
    EXPECT_EQ(DSpacingRowAt(ws.DSpacingData, 1000), 71);
    DSpacingMouseMove(ws, 7.4);
    EXPECT_EQ(ws.Form10.RChart1.Caption(), "7, 1.010");

    PlotDSpacing(ws);
    EXPECT_TRUE(ws.Form10.Visible);
    const TRChart& chart = ws.Form10.RChart1;
    ASSERT_EQ(chart.ItemCount(), 73);
    EXPECT_EQ(chart.Item(72).X, 355);
    EXPECT_NEAR(chart.ScaleY(1).RangeHigh(), 1.1 * 1.71, 1e-6);

    // Before any calculation there is nothing to read or write.
    Workspace none;
    EXPECT_EQ(DSpacingRowAt(none.DSpacingData, 10), -1);
    EXPECT_EQ(DSpacingTableLines(none).size(), 2u);
}
