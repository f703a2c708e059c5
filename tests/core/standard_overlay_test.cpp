// The powder-standard overlay: where the sticks are drawn, the buttons that
// move and stretch them, and "AA" laying a standard onto a scan whose shift
// and scale are known.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/numbers.h"
#include "scan_window_support.h"
#include "scans/mineral_list.h"
#include "scans/mineral_match.h"
#include "scans/standard_overlay.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

constexpr TColor Red = RGBColor(255, 0, 0);

double SpacingAt(double twoTheta, double landa) {
    return landa / (2 * std::sin(twoTheta / 2 * std::numbers::pi / 180));
}

// A pattern of lines at these 2-theta (wavelength 1 A) and intensities,
// the only pattern of the table, selected.
void SelectLines(Workspace& ws, const std::vector<std::pair<double, double>>& lines) {
    MineralRecord& p = ws.MineralTable[1];
    p.Name = "Std";
    p.LineCount = static_cast<int32_t>(lines.size());
    for (size_t k = 0; k < lines.size(); ++k)
        p.Line[k] = {"h" + std::to_string(k + 1), SpacingAt(lines[k].first, 1.0), lines[k].second};
    ws.MineralCount = 1;
    ShowAllMinerals(ws);
    SelectMineralRow(ws, 0);
    ws.Landa = 1.0;
}

// The red sticks on the chart: (x, height), one per MoveTo/LineTo pair.
std::vector<std::pair<double, double>> Sticks(const TRChart& chart) {
    std::vector<std::pair<double, double>> sticks;
    for (int k = 0; k + 1 < chart.ItemCount(); ++k) {
        const ChartItem& a = chart.Item(k);
        const ChartItem& b = chart.Item(k + 1);
        if (a.Color == Red && b.Color == Red && b.LineWidth == 2 && a.X == b.X && a.Y == 0) sticks.emplace_back(b.X, b.Y);
    }
    return sticks;
}

// A scan of points 0..n, 0.01 degrees apart from 5, with Gaussian peaks.
void PeakScan(Workspace& ws, const std::vector<std::pair<double, double>>& peaks) {
    std::vector<double> values(4001, 5.0);
    for (size_t k = 0; k < values.size(); ++k)
        for (const auto& [t, h] : peaks) values[k] += h * std::exp(-std::pow((5 + 0.01 * k - t) / 0.05, 2));
    MakeThetaScan(ws, 5, 0.01, values);
    ws.LastFileIndex = 0;
    ws.FrameWidth = ws.FrameHeight = ws.FrameSize = 100;
}

} // namespace

TEST(StandardOverlayTest, SticksWhereTheMappingPutsThem) {
    Workspace ws;
    RecordingHost host;
    PeakScan(ws, {});
    // The first line has no 2-theta at this wavelength (d below Landa / 2):
    // the reference is the first line that has one.
    SelectLines(ws, {{0, 100}, {20, 100}, {30, 50}});
    ws.MineralTable[1].Line[0].D = 0.45;
    ws.Form2.RChart1.SetLayerRange(1, 5, 0, 45, 1111);
    ws.Form2.RChart1.ClearItems();
    DrawStandardLines(ws, 1, 1.02, 0.3);
    EXPECT_EQ(ws.StandardLinePixels[0], 1);
    const auto sticks = Sticks(ws.Form2.RChart1);
    ASSERT_EQ(sticks.size(), 2u);
    EXPECT_NEAR(sticks[0].first, 20.3, 1e-9);                 // the reference line: shift only
    EXPECT_NEAR(sticks[1].first, 0.3 + 20 + 1.02 * 10, 1e-9);
    EXPECT_EQ(sticks[0].second, 1000);   // 999.9 and 499.95, rounded to whole numbers
    EXPECT_EQ(sticks[1].second, 500);

    // Nothing opened: no sticks, but the pattern drawn is noted.
    ws.LastFileIndex = -1;
    ws.Form2.RChart1.ClearItems();
    DrawStandardLines(ws, 1, 1, 0);
    EXPECT_TRUE(Sticks(ws.Form2.RChart1).empty());

    // The line-scan chart: pixels T' x FrameSize / 50, mirrored above 10
    // degrees of detector angle; heights from that chart's axis.
    TRChart lineScan;
    lineScan.SetLayerRange(1, 0, 0, 1000, 4001);
    ws.FrameSize = 1000;
    ws.FrameWidth = 1200;
    DrawStandardLinesOnLineScan(ws, lineScan, 1, 1, 0);
    EXPECT_TRUE(std::isnan(ws.StandardLinePixels[1]));   // the line without a 2-theta
    EXPECT_EQ(ws.StandardLinePixels[2], 400);
    EXPECT_EQ(ws.StandardLinePixels[3], 600);
    EXPECT_EQ(Sticks(lineScan).back(), std::make_pair(600.0, 1800.0));   // 1800.45, rounded
    ws.TwoThetaD = 15;
    DrawStandardLinesOnLineScan(ws, lineScan, 1, 1, 0);
    EXPECT_EQ(ws.StandardLinePixels[2], 800);

    // The read-out under the mouse names the line whose stick is there.
    ws.StandardShift = 0.3;
    ws.StandardScale = 1.02;
    EXPECT_EQ(StandardLineLabel(ws, 30.55), "Std h3 ");
    EXPECT_EQ(StandardLineLabel(ws, 30.0), std::nullopt);
}

TEST(StandardOverlayTest, ButtonsShiftAndScale) {
    Workspace ws;
    RecordingHost host;
    PeakScan(ws, {});
    EXPECT_FALSE(ShiftStandard(ws, host, 0.5));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Need to select a standard!"});
    EXPECT_EQ(ws.StandardShift, 0);

    SelectLines(ws, {{12, 100}, {24, 60}});
    ws.TwoThetaStep = 0.01f;
    ASSERT_TRUE(ShiftStandard(ws, host, -ws.TwoThetaStep));
    ASSERT_TRUE(ShiftStandard(ws, host, 0.5));
    ASSERT_TRUE(ShiftStandard(ws, host, -0.5));
    ASSERT_TRUE(ShiftStandard(ws, host, ws.TwoThetaStep));
    EXPECT_EQ(ws.StandardShift, 0);
    EXPECT_EQ(ws.LLog.Last(), "2Theta Shift = 0.0000");
    ASSERT_TRUE(ScaleStandard(ws, host, 1.005));
    ASSERT_TRUE(ScaleStandard(ws, host, 0.995));
    EXPECT_DOUBLE_EQ(ws.StandardScale, 1.005 * 0.995);
    EXPECT_EQ(ws.LLog.Last(), "Compression Scale = 1.0000");
    EXPECT_EQ(Sticks(ws.Form2.RChart1).size(), 2u);   // the scan replotted, the sticks drawn once

    // Clicking the pattern in the list starts the placement afresh.
    ws.Form2.Visible = true;
    EXPECT_TRUE(StandardSelected(ws, host, 1));
    EXPECT_EQ(ws.StandardScale, 1);
    EXPECT_EQ(ws.StandardShift, 0);
}

TEST(StandardOverlayTest, AutoAdjustRecoversAKnownShiftAndScale) {
    const double shift = 0.12, scale = 1.006;   // the scan's peaks: shift + r + scale (T - r)
    const std::vector<std::pair<double, double>> lines = {{12, 60}, {16, 100}, {27, 80}, {33, 40}};
    Workspace ws;
    RecordingHost host;
    std::vector<std::pair<double, double>> peaks;
    for (const auto& [t, h] : lines) peaks.emplace_back(PlacedTwoTheta(t, 12, scale, shift), 10 * h);
    PeakScan(ws, peaks);
    SelectLines(ws, lines);
    ws.StandardScale = 0.97;   // whatever was there before
    ASSERT_TRUE(AutoAdjustStandard(ws, host));
    EXPECT_NEAR(ws.StandardScale, scale, 0.001);
    // The strongest line lands exactly on its peak's point, whatever the scale.
    const double peak16 = PlacedTwoTheta(16, 12, scale, shift);
    const double point16 = 5 + 0.01 * std::round((peak16 - 5) / 0.01);
    EXPECT_NEAR(PlacedTwoTheta(16, 12, ws.StandardScale, ws.StandardShift), point16, 1e-6);
    EXPECT_NEAR(ws.StandardShift, shift, 0.01);
    EXPECT_EQ(ws.LLog.Last(), "Auto Adjusted 2Theta Shift = " + FormatFixed(ws.StandardShift, 4) +
                                  " ; Compression Scale = " + FormatFixed(ws.StandardScale, 4));

    // A scale outside 0.9..1.1 is not believed: the shift alone lays L1 on its peak.
    const StandardAdjustment far = AdjustStandardToScan({0, 11.6f, 16.45f}, {0, 5, 5}, ws.MineralTable[1], 1.0, 10, 18);
    ASSERT_TRUE(far.Found);
    EXPECT_EQ(far.L2, 12);
    EXPECT_EQ(far.Scale, 1);
    EXPECT_NEAR(far.Shift, 0.45, 1e-6);

    // No line inside the scan's range: refused, nothing changes.
    SelectLines(ws, {{60, 100}, {70, 50}});
    ws.StandardShift = 0.25;
    EXPECT_FALSE(AutoAdjustStandard(ws, host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No line of the standard lies on the scan within its 2Theta range"});
    EXPECT_EQ(ws.StandardShift, 0.25);
}

TEST(StandardOverlayTest, MatchSticksAndTheSelectedStandardAfterAScan) {
    Workspace ws;
    RecordingHost host;
    PeakScan(ws, {});
    SelectLines(ws, {{12, 100}, {24, 60}});
    MineralMatchScore score;
    score.Sticks = {{12.5, 800}, {20, 300}};
    DrawMatchSticks(ws, host, score);
    EXPECT_EQ(Sticks(ws.Form2.RChart1), (std::vector<std::pair<double, double>>{{12.5, 800}, {20, 300}}));

    // After a scan the standard is drawn while the list is shown.
    ws.Form2.RChart1.ClearItems();
    DrawSelectedStandard(ws, host);
    EXPECT_TRUE(Sticks(ws.Form2.RChart1).empty());
    ws.Form18.Visible = true;
    DrawSelectedStandard(ws, host);
    EXPECT_EQ(Sticks(ws.Form2.RChart1).size(), 2u);
}
