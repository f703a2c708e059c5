// The 2-theta step rule, the whole-frame profile, its display copy, the ring
// table labels, "Adjust 2-theta maximum" and the profile extrema.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "geometry_test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "pixel_record.h"

using namespace orv;
using namespace orv::test;

namespace {

float FixedStepRule(float step) { return ChooseTwoThetaGrid(0, 10, 1000, 500, false, step).Step; }

int64_t UnmaskedPixels(const Workspace& ws) {
    int64_t n = 0;
    for (int i = 1; i <= ws.FrameWidth; ++i)
        for (int j = 1; j <= ws.FrameHeight; ++j) n += ws.FramePixels.Intensity[i][j] != MaskedIntensity;
    return n;
}

int64_t CountedPixels(const Workspace& ws) {
    int64_t n = 0;
    for (int k = 0; k <= ws.ScanPoints; ++k) n += ws.FrameProfile[k].Count;
    return n;
}

} // namespace

// ---- The step rule --------------------------------------------------------

TEST(TwoThetaStepRule, FixedStepsSnapToTheGrid) {
    EXPECT_FLOAT_EQ(FixedStepRule(0.0037f), 0.0025f);   // 0.0025 x nint(1.48)
    EXPECT_FLOAT_EQ(FixedStepRule(0.0063f), 0.0075f);
    EXPECT_FLOAT_EQ(FixedStepRule(0.012f), 0.01f);
    EXPECT_FLOAT_EQ(FixedStepRule(0.01f), 0.01f);
    EXPECT_FLOAT_EQ(FixedStepRule(0.9f), 0.5f);
    EXPECT_FLOAT_EQ(FixedStepRule(0.001f), 0.0025f);
    EXPECT_FLOAT_EQ(FixedStepRule(0.0f), 0.0025f);
    EXPECT_FLOAT_EQ(FixedStepRule(-1.0f), 0.0025f);
    EXPECT_FLOAT_EQ(FixedStepRule(0.0337f), 0.035f);
}

TEST(TwoThetaStepRule, AutomaticStepFollowsTheRangeAndTheCentre) {
    // 40 degrees over 2048 columns, centre outside the frame: 0.0146 -> 0.015.
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(5, 45, 2048, -100, false, {}).Step, 0.015f);
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(5, 45, 2048, 2048, false, {}).Step, 0.015f);
    // Centre inside: the longer side counts. 30 x 0.75 / 700 = 0.0321 -> 0.03.
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(0, 30, 1000, 300, false, {}).Step, 0.03f);
    // A slit detector: 40 x 1.4 / 1000 = 0.056 -> 0.055.
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(0, 40, 1000, 500, true, {}).Step, 0.055f);
    // Bin 0 is the smallest 2-theta rounded to the step.
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(5.02f, 45, 2048, -100, false, {}).MinTwoTheta, 0.015f * 335);
}

TEST(TwoThetaStepRule, RoundedStepIsWidenedUntilTheRangeFits) {
    // 70 degrees: the cap gives 0.00292, which rounds down to 0.0025 and
    // would need 28000 bins.
    for (auto fixed : {std::optional<float>(0.001f), std::optional<float>(0.0025f), std::optional<float>()}) {
        const TwoThetaGrid g = ChooseTwoThetaGrid(0.3f, 70.3f, 100000, 50000, false, fixed);
        EXPECT_FLOAT_EQ(g.Step, 0.005f);
        EXPECT_LE(std::nearbyint((70.3 - g.MinTwoTheta) / g.Step), MaxScanPoints);
    }
    // 59.99 degrees still fits 0.0025 (bins 0..23996).
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(0, 59.99f, 100000, 50000, false, 0.001f).Step, 0.0025f);
    // The widest range of all still fits the coarsest step.
    EXPECT_FLOAT_EQ(ChooseTwoThetaGrid(0, 180, 10, 5, false, 0.0001f).Step, 0.0075f);
}

TEST(TwoThetaStepRule, WholeFrameOfFortyDegreesGetsStep0015) {
    Workspace ws;
    RecordingHost host;
    // 2048 x 2, centre left of the frame, about 40 degrees from first to last column.
    SetUpFlatFrame(ws, 2048, 2, 0, 1, 72.7, 61.0);
    ComputeFrameGeometry(ws, host);
    EXPECT_NEAR(ws.MaxTwoTheta - ws.FramePixels.TwoTheta[1][1], 40.0, 0.1);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, 0.015f);
    EXPECT_EQ(ParseNumber(ws.FSetup.Eth2step), 0.015);
}

TEST(TwoThetaStepRule, FixedStepBoxIsUsedAndWrittenBack) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 64, 64, 32, 32, 61.54, 61.0);
    ws.FSetup.CBth2step = true;
    ws.FSetup.Eth2step = "0.001";
    ComputeFrameGeometry(ws, host);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, 0.0025f);
    // What the box now says leads to the same step again.
    EXPECT_FLOAT_EQ(FixedStepRule(static_cast<float>(ParseNumber(ws.FSetup.Eth2step))), 0.0025f);
}

TEST(TwoThetaStepRule, WideFrameWithFineStepKeepsEveryPixelInTheProfile) {
    // About 70 degrees of 2-theta asked for in steps of 0.001.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 300, 300, 1, 1, 5, 61.0);
    ws.FSetup.CBth2step = true;
    ws.FSetup.Eth2step = "0.001";
    ComputeFrameGeometry(ws, host);
    ASSERT_GT(ws.MaxTwoTheta, 60.0f);
    EXPECT_LE(ws.ScanPoints, MaxScanPoints);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, 0.005f);
    EXPECT_EQ(CountedPixels(ws), 300 * 300);
}

TEST(TwoThetaStepRule, EveryPixelLandsInsideTheProfileForAnyGeometry) {
    std::mt19937 rng(20240611);
    auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    for (int run = 0; run < 300; ++run) {
        Workspace ws;
        RecordingHost host;
        const int w = 1 + static_cast<int>(uniform(0, 60)), h = 1 + static_cast<int>(uniform(0, 60));
        SetUpFlatFrame(ws, w, h, uniform(-80, 140), uniform(-80, 140), uniform(0.5, 800), uniform(1, 200),
                       uniform(-179, 179), 7);
        const int shape = 1 + static_cast<int>(uniform(0, 3));
        ws.Form32.SelectShape(shape);
        ws.Form28.CBVertical = uniform(0, 1) < 0.5;
        ws.Form32.CBSlitDetector = uniform(0, 1) < 0.3;
        ws.Form32.ELength = FormatNumber(uniform(1, 1000));
        ws.Form32.ERadius = FormatNumber(uniform(1, 500));
        if (uniform(0, 1) < 0.4) {
            ws.FSetup.CBth2step = true;
            ws.FSetup.Eth2step = FormatGeneral(std::pow(10.0, uniform(-5, 0.5)));
        }
        ws.FSetup.CB2thetaLorentz = uniform(0, 1) < 0.5;
        for (int i = 1; i <= w; ++i)
            for (int j = 1; j <= h; ++j)
                if (uniform(0, 1) < 0.1) ws.FramePixels.Intensity[i][j] = MaskedIntensity;
        SCOPED_TRACE("run " + std::to_string(run) + " shape " + std::to_string(shape));

        ComputeFrameGeometry(ws, host);
        ASSERT_TRUE(host.messages.empty());
        ASSERT_GE(ws.TwoThetaStep, 0.0025f);
        ASSERT_LE(ws.TwoThetaStep, 0.5f);
        ASSERT_GE(ws.ScanPoints, 0);
        ASSERT_LE(ws.ScanPoints, MaxScanPoints);
        for (int i = 1; i <= w; ++i)
            for (int j = 1; j <= h; ++j) {
                const orv::test::PixelRecord p = orv::test::PixelAt(ws, i, j);
                ASSERT_TRUE(p.TwoTheta >= 0.0f && p.TwoTheta <= 180.0f) << p.TwoTheta;
                ASSERT_TRUE(p.Psi >= 0.0f && p.Psi < 360.0f) << p.Psi;
                const double k = std::nearbyint((double(p.TwoTheta) - ws.MinTwoTheta) / ws.TwoThetaStep);
                ASSERT_GE(k, 0) << i << "," << j;
                ASSERT_LE(k, ws.ScanPoints) << i << "," << j;
            }
        ASSERT_EQ(CountedPixels(ws), UnmaskedPixels(ws));
    }
}

// ---- Binning and the display copy -------------------------------------------

namespace {

// 3 x 3 pixels around the centre: the four edge pixels sit 10.1 degrees out,
// the corners 14.1; the centre and the corners are masked.
void SetUpCross(Workspace& ws) {
    const double D = 1.0 / std::tan(10.1 * std::numbers::pi / 180);
    SetUpFlatFrame(ws, 3, 3, 2, 2, D * 61.0 / 3, 61.0, 0, 1000);
    for (auto [i, j] : {std::pair{1, 1}, {1, 3}, {3, 1}, {3, 3}, {2, 2}}) ws.FramePixels.Intensity[i][j] = MaskedIntensity;
    ws.FSetup.CBth2step = true;
    ws.FSetup.Eth2step = "0.5";
}

} // namespace

TEST(FrameProfile, OneOverCountGivesThePixelMean) {
    for (bool perPixel : {true, false}) {
        Workspace ws;
        RecordingHost host;
        SetUpCross(ws);
        ws.FSetup.CB2thetaLorentz = perPixel;
        ComputeFrameGeometry(ws, host);
        ASSERT_FLOAT_EQ(ws.TwoThetaStep, 0.5f);
        ASSERT_FLOAT_EQ(ws.MinTwoTheta, 0.0f);
        EXPECT_EQ(ws.FrameProfile[20].Count, 4);
        EXPECT_FLOAT_EQ(ws.FrameProfile[20].Intensity, 0.04f);
        EXPECT_EQ(ws.FrameProfileCopy[20].Intensity, perPixel ? 1000.0f : 4000.0f);
        EXPECT_EQ(ws.FrameProfileCopy[20].Count, 4);
        EXPECT_FLOAT_EQ(ws.FrameProfileCopy[20].TwoTheta, 10.0f);
    }
}

TEST(FrameProfile, MaskedPixelsCarryNoIntensityAndNoCount) {
    Workspace ws;
    RecordingHost host;
    SetUpCross(ws);
    ComputeFrameGeometry(ws, host);
    // Masked pixels still set the 2-theta range (the centre is at 0)...
    EXPECT_EQ(ws.FramePixels.TwoTheta[2][2], 0.0f);
    EXPECT_NEAR(ws.MaxTwoTheta, 14.14, 0.01);
    // ...but are in no bin.
    EXPECT_EQ(ws.FrameProfile[0].Count, 0);
    EXPECT_EQ(ws.FrameProfile[0].Intensity, 0.0f);
    EXPECT_EQ(ws.FrameProfile[28].Count, 0);
    EXPECT_EQ(CountedPixels(ws), 4);
    // The bins run to the first one past the largest pixel 2-theta.
    EXPECT_EQ(ws.ScanPoints, 29);
}

TEST(FrameProfile, NoStaleBinsFromTheFrameBefore) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 200, 200, 100, 100, 20, 61.0, 0, 5);
    ComputeFrameGeometry(ws, host);
    const int32_t widePoints = ws.ScanPoints;
    SetUpCross(ws);
    ComputeFrameGeometry(ws, host);
    ASSERT_LT(ws.ScanPoints, widePoints);
    for (int k = 0; k < ProfileLength; ++k) ASSERT_EQ(ws.FrameProfile[k].Count, k == 20 ? 4 : 0) << k;
}

TEST(FrameProfile, DetectorSizeZeroActsAs61mm) {
    Workspace a, b;
    RecordingHost host;
    SetUpFlatFrame(a, 100, 80, 40, 30, 61.54, 0.0);
    SetUpFlatFrame(b, 100, 80, 40, 30, 61.54, 61.0);
    ComputeFrameGeometry(a, host);
    ComputeFrameGeometry(b, host);
    EXPECT_EQ(a.DSize, 61.0);
    for (int i = 1; i <= 100; ++i)
        for (int j = 1; j <= 80; ++j) ASSERT_EQ(a.FramePixels.TwoTheta[i][j], b.FramePixels.TwoTheta[i][j]);
    EXPECT_EQ(a.TwoThetaStep, b.TwoThetaStep);
}

TEST(FrameProfile, RingTableIsLabelledOnlyWhereItHasRecords) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 400, 400, 200, 200, 30, 61.0);
    ws.FSetup.CBth2step = true;
    ws.FSetup.Eth2step = "0.0025";
    ws.RingProfile[77].Value = 5;
    ComputeFrameGeometry(ws, host);
    ASSERT_GT(ws.ScanPoints, RingProfileLength);
    ASSERT_EQ(ws.RingProfile.size(), static_cast<size_t>(RingProfileLength));
    for (int k = 0; k < RingProfileLength; ++k) ASSERT_EQ(ws.RingProfile[k].TwoTheta, ws.FrameProfile[k].TwoTheta);
    EXPECT_EQ(ws.RingProfile[77].Value, 0.0f);
    EXPECT_FLOAT_EQ(ws.FrameProfile[4000].TwoTheta, ws.MinTwoTheta + 4000 * 0.0025f);
}

// The reference frames: the step rule's grid, then bin by bin the pixel
// counts and means against the independent library's no-splitting histogram.
// A few pixels lie so close to a bin edge that single-precision angles put
// them in the neighbouring bin: the reference notes count them for angles
// rounded from the library's own formulas; ours agree with those to 1e-11
// degrees, which can still round a handful of pixels to the other float.
class FrameProfileReference : public ::testing::TestWithParam<ReferenceFrame> {
protected:
    static constexpr int32_t ExtraEdgePixels = 8;

    void CompareWith(const Workspace& ws, const std::string& file, int32_t notedEdgePixels) {
        const auto rows = ReadNumberTable(GeometryData(file));
        ASSERT_EQ(static_cast<int32_t>(rows.size()), ws.ScanPoints + 1);
        std::vector<int32_t> refCount(rows.size() + 1, 0);
        int64_t countDiff = 0;
        for (const auto& r : rows) {
            const int k = static_cast<int>(r[0]);
            ASSERT_EQ(k, &r - rows.data());
            refCount[k] = static_cast<int32_t>(r[4]);
            ASSERT_NEAR(ws.FrameProfileCopy[k].TwoTheta, r[1], 1e-5) << k;
            ASSERT_EQ(ws.FrameProfile[k].Count, ws.FrameProfileCopy[k].Count);
            countDiff += std::abs(ws.FrameProfile[k].Count - refCount[k]);
        }
        EXPECT_LE(countDiff, notedEdgePixels + ExtraEdgePixels);

        // Where no pixel crossed into or out of a bin, the mean and the sum
        // agree to single precision.
        auto same = [&](int k) { return k < 0 || k > ws.ScanPoints || ws.FrameProfile[k].Count == refCount[k]; };
        int compared = 0;
        for (const auto& r : rows) {
            const int k = static_cast<int>(r[0]);
            if (k == 0 || !same(k - 1) || !same(k) || !same(k + 1)) continue;
            ASSERT_NEAR(ws.FrameProfileCopy[k].Intensity, r[3], 1e-6 * r[3] + 1e-9) << k;
            ASSERT_NEAR(ws.FrameProfile[k].Intensity * 100000.0, r[5], 1e-6 * r[5] + 1e-9) << k;
            ++compared;
        }
        EXPECT_GT(compared, ws.ScanPoints * 3 / 4);
    }
};

TEST_P(FrameProfileReference, AutomaticStepMatches) {
    const ReferenceFrame& f = GetParam();
    Workspace ws;
    RecordingHost host;
    LoadReferenceFrame(ws, f);
    ComputeFrameGeometry(ws, host);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, f.AutoStep);
    EXPECT_FLOAT_EQ(ws.MinTwoTheta, f.AutoMinTwoTheta);
    EXPECT_EQ(ws.ScanPoints, f.AutoScanPoints);
    EXPECT_EQ(CountedPixels(ws), int64_t(f.Width) * f.Height);
    CompareWith(ws, std::string(f.Name) + ".auto.full.txt", f.AutoCountDiff);
}

TEST_P(FrameProfileReference, FixedStep001Matches) {
    const ReferenceFrame& f = GetParam();
    Workspace ws;
    RecordingHost host;
    LoadReferenceFrame(ws, f);
    ws.FSetup.CBth2step = true;
    ws.FSetup.Eth2step = "0.01";
    ComputeFrameGeometry(ws, host);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, 0.01f);
    EXPECT_FLOAT_EQ(ws.MinTwoTheta, f.FineMinTwoTheta);
    EXPECT_EQ(ws.ScanPoints, f.FineScanPoints);
    CompareWith(ws, std::string(f.Name) + ".step0.01.full.txt", f.FineCountDiff);
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameProfileReference, ::testing::ValuesIn(ReferenceFrames()),
                         [](const auto& info) {
                             std::string n = info.param.Name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

// ---- Adjust 2-theta maximum ---------------------------------------------

namespace {

// The strongest ring of the off-centre frame lies near 13 degrees; bin 0 is
// at 0.09 degrees, not at 0.
void SetUpAdjust(Workspace& ws, const std::string& target) {
    LoadReferenceFrame(ws, ReferenceFrames()[0]);
    ws.FSetup.Adjust2Theta = true;
    ws.FSetup.E2ThetaMax = target;
}

int32_t StrongestBin(const Workspace& ws) {
    int32_t best = 0;
    for (int k = RoundToInt(ws.ScanPoints * 0.1); k <= RoundToInt(ws.ScanPoints * 0.9); ++k)
        if (ws.FrameProfileCopy[k].Intensity > ws.FrameProfileCopy[best].Intensity) best = k;
    return best;
}

} // namespace

TEST(AdjustTwoThetaMaximum, StrongestBinMovesToTheTarget) {
    Workspace plain, ws;
    RecordingHost host;
    LoadReferenceFrame(plain, ReferenceFrames()[0]);
    ComputeFrameGeometry(plain, host);
    const int32_t peak = StrongestBin(plain);
    ASSERT_NEAR(plain.FrameProfileCopy[peak].TwoTheta, 12.99, 0.1);

    SetUpAdjust(ws, "15.000");
    ComputeFrameGeometry(ws, host);
    EXPECT_TRUE(host.messages.empty());
    const double factor = 15.0 / plain.FrameProfileCopy[peak].TwoTheta;
    EXPECT_NEAR(ws.FrameProfileCopy[peak].TwoTheta, 15.0, 1e-4);
    EXPECT_NEAR(ws.FrameProfile[peak].TwoTheta, 15.0, 1e-4);
    EXPECT_NEAR(ws.RingProfile[peak].TwoTheta, 15.0, 1e-4);
    EXPECT_NEAR(ws.TwoThetaStep, plain.TwoThetaStep * factor, 1e-6);
    EXPECT_NEAR(ws.MinTwoTheta, plain.MinTwoTheta * factor, 1e-6);
    EXPECT_EQ(ws.ProfileTopIntensity, plain.FrameProfileCopy[peak].Intensity);
    // The step box keeps the unscaled step; bins are relabelled, not re-summed.
    EXPECT_EQ(ws.FSetup.Eth2step, plain.FSetup.Eth2step);
    EXPECT_EQ(ws.FrameProfileCopy[peak].Intensity, plain.FrameProfileCopy[peak].Intensity);

    // Every pixel is scaled about 0 and still falls into the bin it was summed
    // into: labels and pixels agree.
    int64_t moved = 0;
    for (int i = 1; i <= ws.FrameWidth; ++i)
        for (int j = 1; j <= ws.FrameHeight; ++j) {
            const float before = plain.FramePixels.TwoTheta[i][j], after = ws.FramePixels.TwoTheta[i][j];
            ASSERT_NEAR(after, before * factor, 1e-5);
            ASSERT_EQ(ws.FramePixels.Psi[i][j], plain.FramePixels.Psi[i][j]);
            const double k0 = std::nearbyint((double(before) - plain.MinTwoTheta) / plain.TwoThetaStep);
            const double k1 = std::nearbyint((double(after) - ws.MinTwoTheta) / ws.TwoThetaStep);
            moved += k0 != k1;
        }
    EXPECT_LE(moved, 2);
}

TEST(AdjustTwoThetaMaximum, TargetOutOfLimitsFallsBackTo20) {
    for (const char* target : {"95", "0.05"}) {
        Workspace ws;
        RecordingHost host;
        SetUpAdjust(ws, target);
        ComputeFrameGeometry(ws, host);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0], "2theta angle to adjust the maximum is out of limits (0.1-90)");
        EXPECT_EQ(ws.FSetup.E2ThetaMax, "20.000");
        EXPECT_NEAR(ws.FrameProfileCopy[StrongestBin(ws)].TwoTheta, 20.0, 1e-4);
    }
}

TEST(AdjustTwoThetaMaximum, NoBinInsideTheSectorLeavesTheScale) {
    Workspace plain, ws;
    RecordingHost host;
    LoadReferenceFrame(plain, ReferenceFrames()[0]);
    ComputeFrameGeometry(plain, host);
    SetUpAdjust(ws, "15.000");
    ws.SectorTwoTheta1 = 50;
    ws.SectorTwoTheta2 = 60;
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.TwoThetaStep, plain.TwoThetaStep);
    EXPECT_EQ(ws.MinTwoTheta, plain.MinTwoTheta);
    EXPECT_EQ(ws.FramePixels.TwoTheta[10][10], plain.FramePixels.TwoTheta[10][10]);
    EXPECT_EQ(ws.ProfileTopIntensity, 0.0f);
}

// ---- Extrema of the display copy --------------------------------------------

TEST(UpdateProfileExtrema, FindsExtremaOverBinsOneToScanPoints) {
    Workspace ws;
    ws.ScanPoints = 5;
    const float values[] = {9999, 3, 8, 2, 8, 5, 777};   // bin 0 and bin 6 lie outside
    for (int k = 0; k < 7; ++k) ws.FrameProfileCopy[k] = {values[k], 10.0f + k, 1};
    ws.ProfileTopIntensity = 50;
    UpdateProfileExtrema(ws);
    EXPECT_EQ(ws.ProfileMaxIntensity, 8.0f);
    EXPECT_EQ(ws.ProfileMaxIndex, 2);   // the first of the two eights
    EXPECT_EQ(ws.ProfileMinIntensity, 2.0f);
    EXPECT_EQ(ws.ProfileMinTwoTheta, 11.0f);
    EXPECT_EQ(ws.ProfileMaxTwoTheta, 15.0f);
    EXPECT_EQ(ws.ProfileTopIntensity, 50.0f);   // only ever raised

    ws.FrameProfileCopy[4].Intensity = 120;
    UpdateProfileExtrema(ws);
    EXPECT_EQ(ws.ProfileTopIntensity, 120.0f);
    EXPECT_EQ(ws.ProfileMaxIndex, 4);
}

TEST(UpdateProfileExtrema, ScanPointsBeyondTheProfileStayInside) {
    Workspace ws;
    ws.ScanPoints = 1000000;
    UpdateProfileExtrema(ws);
    EXPECT_EQ(ws.ProfileMaxIntensity, 1.0f);
    EXPECT_EQ(ws.ProfileMinIntensity, 0.0f);
}
