// Matching a 2-theta scan against the reference patterns: sums worked by
// hand, the search limits, the "Find Match" steps, and simulated scans of
// every shipped phase found among the patterns.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "scans/mineral_match.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// A scan of `points` + 1 points, point k at 2-theta k x step.
MineralMatchScan EmptyScan(int points, float step, double landa = 1.0) {
    MineralMatchScan scan;
    scan.TwoThetaStep = step;
    scan.ScanPoints = points;
    scan.Landa = landa;
    scan.Intensity.assign(static_cast<size_t>(points) + 1, 0.0f);
    scan.TwoTheta.resize(static_cast<size_t>(points) + 1);
    for (int k = 0; k <= points; ++k) scan.TwoTheta[static_cast<size_t>(k)] = k * step;
    return scan;
}

// The d-spacing whose line lies at `twoTheta` for the wavelength `landa`.
double SpacingAt(double twoTheta, double landa) {
    return landa / (2 * std::sin(twoTheta / 2 * std::numbers::pi / 180));
}

MineralRecord OneLine(double d, double intensity) {
    MineralRecord r;
    r.Name = "Test";
    r.LineCount = 1;
    r.Line[0] = {"1 0 0", d, intensity};
    return r;
}

// A measured scan of `truth` as a sample would give it: the lattice 0.1 per
// cent larger, a zero shift of 0.05 degrees, pseudo-Voigt peaks (half width
// 0.25 degrees) instead of the matcher's Gaussians, and intensities off by
// 20 per cent up and down (texture, absorption); background removed.
MineralMatchScan MeasuredScan(const MineralRecord& truth, double landa) {
    const float step = 0.02f;
    MineralMatchScan scan = EmptyScan(landa < 1 ? 2000 : 4500, step, landa);
    for (int i = 0; i < truth.LineCount; ++i) {
        const double s = landa / (2 * truth.Line[i].D * 1.001);
        if (s >= 1) continue;
        const double t = 2 * std::asin(s) * 180 / std::numbers::pi + 0.05;
        const double height = 1000 * truth.Line[i].Intensity * (i % 2 ? 0.8 : 1.2);
        for (size_t k = 0; k < scan.Intensity.size(); ++k) {
            const double x = (scan.TwoTheta[k] - t) / 0.25;
            scan.Intensity[k] += static_cast<float>(height * (0.5 * std::exp(-std::log(2) * x * x) + 0.5 / (1 + x * x)));
        }
    }
    for (float v : scan.Intensity) scan.ScanMaxIntensity = std::max<double>(scan.ScanMaxIntensity, v);
    return scan;
}

// Puts a scan where "Find Match" reads it, with a frame loaded.
void LoadScan(Workspace& ws, const MineralMatchScan& scan) {
    ws.LastFileIndex = 0;
    ws.FrameWidth = ws.FrameHeight = 16;
    ws.ScanPoints = scan.ScanPoints;
    ws.TwoThetaStep = static_cast<float>(scan.TwoThetaStep);
    ws.Landa = scan.Landa;
    ws.ScanMaxIntensity = static_cast<float>(scan.ScanMaxIntensity);
    for (size_t k = 0; k < scan.Intensity.size(); ++k) {
        ws.SectorScan[k].Intensity = scan.Intensity[k];
        ws.FrameProfileCopy[k].TwoTheta = scan.TwoTheta[k];
    }
}

void LoadShippedPatterns(Workspace& ws) {
    const MineralFile file = ParseMineralFile(ShippedMineralBytes());
    for (size_t i = 0; i < file.Records.size(); ++i) ws.MineralTable[i + 1] = file.Records[i];
    ws.MineralCount = static_cast<int32_t>(file.Records.size());
    ShowAllMinerals(ws);
}

MineralMatchScore Score(double p0, double p1, double p2) {
    MineralMatchScore s;
    s.p0 = p0;
    s.p1 = p1;
    s.p2 = p2;
    return s;
}

} // namespace

TEST(ScoreMineralMatchTest, ComparedPointsLeaveOutTheFirstDegreeAndTheLastFivePerCent) {
    MineralRecord none;
    MineralMatchScore s = ScoreMineralMatch(EmptyScan(20, 0.02f), none, 0.4);
    EXPECT_EQ(s.FirstPoint, 2);        // n / 10, not 1 / 0.02 = 50
    EXPECT_EQ(s.LastPoint, 19);
    s = ScoreMineralMatch(EmptyScan(1000, 0.1f), none, 0.4);
    EXPECT_EQ(s.FirstPoint, 10);
    EXPECT_EQ(s.LastPoint, 950);
    EXPECT_EQ(ScoreMineralMatch(EmptyScan(1000, 0.001f), none, 0.4).FirstPoint, 1);
    EXPECT_EQ(ScoreMineralMatch(EmptyScan(1000, 0.0f), none, 0.4).FirstPoint, 1);

    // A scan that is 0 over the compared points matches at no setting.
    EXPECT_FALSE(s.Defined);
    EXPECT_FALSE(MineralMatchPasses(s, 100));
    // A pattern without lines against a flat scan: nothing simulated, so
    // the whole scan is the difference.
    MineralMatchScan flat = EmptyScan(100, 0.1f);
    flat.Intensity.assign(101, 2.0f);
    s = ScoreMineralMatch(flat, none, 0.4);
    EXPECT_TRUE(s.Defined);
    EXPECT_DOUBLE_EQ(s.p1, 100);
    EXPECT_DOUBLE_EQ(s.p2, 100);
    EXPECT_DOUBLE_EQ(s.p0, 100);
    EXPECT_TRUE(s.Sticks.empty());
}

TEST(ScoreMineralMatchTest, SumsWorkedByHand) {
    // Points 0..100 at 0.1 degree steps; compared: 10..95. Three points of
    // a peak at 5 degrees; one line of intensity 100 at 5 degrees, width 0.15.
    MineralMatchScan scan = EmptyScan(100, 0.1f);
    scan.Intensity[49] = 8;
    scan.Intensity[50] = 10;
    scan.Intensity[51] = 4;
    scan.ScanMaxIntensity = 10;
    const MineralMatchScore s = ScoreMineralMatch(scan, OneLine(SpacingAt(5.0, 1.0), 100), 0.15);
    // Simulated: 10 at 5.0, 10 exp(-(0.1/0.15)^2) = 6.4118 either side.
    const double side = 10 * std::exp(-4.0 / 9);
    EXPECT_NEAR(s.Simulated[50], 10, 1e-4);
    EXPECT_NEAR(s.Simulated[49], side, 1e-4);
    EXPECT_NEAR(s.Simulated[51], side, 1e-4);
    EXPECT_EQ(s.Simulated[48], 0);
    // O = 22, S = 10 + 2 x 6.4118, D = |6.4118 - 8| + 0 + |6.4118 - 4| = 4.
    EXPECT_NEAR(s.p1, 4.0 / 22 * 100, 1e-3);
    EXPECT_NEAR(s.p2, (10 + 2 * side - 22) / 22 * 100, 1e-3);
    EXPECT_NEAR(s.p0, 0, 1e-6);
    ASSERT_EQ(s.Sticks.size(), 1u);
    EXPECT_NEAR(s.Sticks[0].TwoTheta, 5.0, 1e-9);
    EXPECT_DOUBLE_EQ(s.Sticks[0].Height, 10);
}

TEST(ScoreMineralMatchTest, TheNearestStrongLineWithinADegreeShiftsTheSimulation) {
    MineralMatchScan scan = EmptyScan(200, 0.1f);
    scan.Intensity[103] = 50;   // the scan maximum, at 10.3 degrees
    scan.ScanMaxIntensity = 50;
    MineralRecord pattern = OneLine(SpacingAt(10.0, 1.0), 100);
    pattern.LineCount = 2;
    pattern.Line[1] = {"2 0 0", SpacingAt(14.0, 1.0), 40};   // weak: does not set the offset
    MineralMatchScore s = ScoreMineralMatch(scan, pattern, 0.25);
    EXPECT_NEAR(s.Offset, -0.3, 1e-5);
    EXPECT_NEAR(s.p0, 0.3, 1e-5);
    // The simulation lies on the scan's peak and the weak line moves with it;
    // the sticks stay at the pattern's own 2-theta.
    EXPECT_NEAR(s.Simulated[103], 50, 1e-3);
    EXPECT_NEAR(s.Simulated[143], 20, 1e-3);
    EXPECT_NEAR(s.Sticks[0].TwoTheta, 10.0, 1e-9);
    EXPECT_NEAR(s.Sticks[1].Height, 20, 1e-9);

    // More than a degree away: no shift, the line's distance is reported.
    pattern.Line[0].D = SpacingAt(11.5, 1.0);
    s = ScoreMineralMatch(scan, pattern, 0.25);
    EXPECT_EQ(s.Offset, 0);
    EXPECT_NEAR(s.p0, 1.2, 1e-5);
    EXPECT_EQ(s.Simulated[103], 0);
    EXPECT_NEAR(s.Simulated[115], 50, 1e-3);

    // Lines without a 2-theta (d of 0.5 or less) take no part.
    pattern.Line[0].D = 0.5;
    s = ScoreMineralMatch(scan, pattern, 0.25);
    EXPECT_EQ(s.Sticks.size(), 1u);
    EXPECT_DOUBLE_EQ(s.p0, 100);
}

TEST(ScoreMineralMatchTest, TrackBarLimits) {
    EXPECT_TRUE(MineralMatchPasses(Score(0.099, 9.9, 4.9), 0));
    EXPECT_FALSE(MineralMatchPasses(Score(0.1, 9.9, 4.9), 0));
    EXPECT_FALSE(MineralMatchPasses(Score(0.05, 10, 4.9), 0));
    EXPECT_FALSE(MineralMatchPasses(Score(0.05, 9.9, 5), 0));
    EXPECT_TRUE(MineralMatchPasses(Score(0.499, -94.9, 59.9), 50));   // a negative sum: the sizes count
    EXPECT_FALSE(MineralMatchPasses(Score(0.5, 90, 50), 50));
    EXPECT_TRUE(MineralMatchPasses(Score(0.899, 179.9, 114.9), 100));
    EXPECT_FALSE(MineralMatchPasses(Score(0.9, 179.9, 114.9), 100));
    EXPECT_FALSE(MineralMatchPasses(Score(0.8, 180, 114.9), 100));
    EXPECT_FALSE(MineralMatchPasses(Score(0.8, 179.9, 115), 100));
}

TEST(FindMatchTest, AsksToRemoveTheBackgroundFirstAndNeedsAFrame) {
    Workspace ws;
    RecordingHost host;
    LoadShippedPatterns(ws);
    int removals = 0;
    std::vector<int> progress;
    MineralMatchSteps steps{[&] { ++removals; }, [&](int p) { progress.push_back(p); }};

    EXPECT_TRUE(FindMineralMatches(ws, host, steps).empty());   // no frame: refused, nothing asked
    EXPECT_EQ(host.messages, std::vector<std::string>{"Need to open a file first"});
    host.messages.clear();
    EXPECT_TRUE(host.confirmations.empty());
    EXPECT_EQ(ws.VisibleMineralCount, ws.MineralCount);

    LoadScan(ws, MeasuredScan(ws.MineralTable[1], 0.7093));
    host.confirmAnswer = false;
    const auto listed = FindMineralMatches(ws, host, steps);
    ASSERT_EQ(host.confirmations, (std::vector<std::string>{"Remove background ? [Yes: Recommended]"}));
    EXPECT_EQ(removals, 0);
    EXPECT_EQ(progress.size(), static_cast<size_t>(ws.MineralCount));
    EXPECT_EQ(progress.back(), 100);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed[0].Pattern, 1);
    EXPECT_EQ(ws.VisibleMinerals.front(), 1);
    EXPECT_EQ(ws.VisibleMineralCount, static_cast<int32_t>(listed.size()));
    EXPECT_FALSE(listed[0].Score.Simulated.empty());   // the one to draw keeps its simulation
    EXPECT_EQ(ws.Form18.Edit1, std::to_string(RoundToInt(listed[0].Score.p1)));

    host.confirmAnswer = true;
    FindMineralMatches(ws, host, steps);
    EXPECT_EQ(removals, 1);
    ws.ScanBackgroundRemoved = 1;
    FindMineralMatches(ws, host, steps);
    EXPECT_EQ(host.confirmations.size(), 2u);

    // The hidden "Boolean Search" box limits the search to the filtered patterns.
    ws.Form18.CheckBox2 = true;
    ws.Form18.EAnd = "ceria";
    EXPECT_EQ(FindMineralMatches(ws, host, steps).front().Pattern, 3);

    ws.Form18.EWidth = "wide";
    EXPECT_THROW(FindMineralMatches(ws, host, steps), ConversionError);
    // A width of nothing scores nothing: refused before anything is asked or listed.
    const auto asked = host.confirmations.size();
    const std::vector<int32_t> shown = ws.VisibleMinerals;
    for (const char* width : {"0", "-0", "-1e9"}) {
        ws.Form18.EWidth = width;
        EXPECT_TRUE(FindMineralMatches(ws, host, steps).empty()) << width;
        EXPECT_EQ(host.messages.back(), "Peak width: " + std::string(width) + " degrees is not greater than 0");
    }
    EXPECT_EQ(host.confirmations.size(), asked);
    EXPECT_EQ(ws.VisibleMinerals, shown);
}

TEST(FindMatchTest, SimulatedScansFindTheirOwnPhase) {
    Workspace ws;
    RecordingHost host;
    LoadShippedPatterns(ws);
    ws.ScanBackgroundRemoved = 1;
    ASSERT_GE(ws.MineralCount, 13);
    for (double landa : {0.7093, 1.5406}) {          // Mo and Cu K-alpha 1
        for (int32_t truth = 1; truth <= ws.MineralCount; ++truth) {
            const MineralRecord& phase = ws.MineralTable[static_cast<size_t>(truth)];
            SCOPED_TRACE(phase.Name + " at " + std::to_string(landa));
            LoadScan(ws, MeasuredScan(phase, landa));
            const std::vector<MineralMatch> listed = FindMineralMatches(ws, host, {});
            ASSERT_TRUE(std::any_of(listed.begin(), listed.end(),
                                    [&](const MineralMatch& m) { return m.Pattern == truth; }));
            // The list keeps the table's order, so the phase comes first
            // unless an earlier pattern has lines at nearly the same places:
            // silicon before ceria (a = 5.431 and 5.412 A) and aluminium
            // before gold (4.049 and 4.079 A), which a peak width of 0.4
            // degrees does not tell apart.
            if (phase.Formula != "CeO2" && phase.Formula != "Au") {
                EXPECT_EQ(listed.front().Pattern, truth);
            }
        }
    }
}
