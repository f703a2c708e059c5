// The pattern-centre search, measured back on ring frames that the
// program's own geometry made about a known centre.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "centre_test_support.h"
#include "frame_test_support.h"
#include "workspace/centre_search.h"
#include "workspace/frame_tools.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/ring_sharpness.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// Form27 set for "Auto" from (x, y) on the ticked axes.
void AutoFrom(Workspace& ws, double x, double y, bool varyX = true, bool varyY = true) {
    TForm27& f = ws.Form27;
    f.EXoM = FormatNumber(x);
    f.EYoM = FormatNumber(y);
    f.CBInitPos = true;
    f.CBXo = varyX;
    f.CBYo = varyY;
    f.RAuto = true;
    f.RCircle = f.RSector = f.RGravity = f.RBDBeam = false;
}

bool LoggedNewCentre(const Workspace& ws) {
    for (const std::string& l : ws.LLog.Lines())
        if (l.rfind("New centre at ", 0) == 0) return true;
    return false;
}

struct AutoCase {
    const char* Name;
    RingFrame Frame;
};

std::vector<AutoCase> AutoCases() {
    RingFrame centred;
    centred.Width = centred.Height = 512;
    centred.Xo = centred.Yo = 256.5;
    centred.Distance = 40;
    centred.DSize = 51.2;
    centred.Sigma = 0.15;
    RingFrame offCentre;   // 384 x 256, centre off the middle
    offCentre.Noise = true;
    offCentre.BeamStop = 3;
    RingFrame tilted;      // detector swung 12 degrees in the rows' plane: rings cut by the frame's edge
    tilted.Width = tilted.Height = 320;
    tilted.Xo = 160.5;
    tilted.Yo = 150.5;
    tilted.Distance = 45;
    tilted.DSize = 32;
    tilted.TwoThetaD = 12;
    tilted.Vertical = true;
    tilted.Rings = {{21.36, 1500}, {30.38, 1200}, {37.44, 600}};
    tilted.Noise = true;
    tilted.Seed = 11;
    tilted.BeamStop = 3;
    return {{"Centred", centred}, {"OffCentreNoisyWithBeamStop", offCentre}, {"TiltedNoisyWithBeamStop", tilted}};
}

} // namespace

class AutoCentre : public ::testing::TestWithParam<AutoCase> {};

TEST_P(AutoCentre, ComesBackFromTenPixelsAway) {
    const RingFrame& f = GetParam().Frame;
    for (auto [dx, dy] : std::vector<std::pair<double, double>>{{10, 0}, {0, -10}, {-7, 7}}) {
        Workspace ws;
        RecordingHost host;
        MakeRingFrame(ws, host, f);
        AutoFrom(ws, f.Xo + dx, f.Yo + dy);
        EXPECT_EQ(FindCentre(ws, host, false), "");
        EXPECT_NEAR(ws.Xo, f.Xo, 0.1) << dx << ", " << dy;
        EXPECT_NEAR(ws.Yo, f.Yo, 0.1) << dx << ", " << dy;
        // The boxes that settings files save, Frame Info and the logbook say so.
        EXPECT_EQ(ws.Form32.EXoM, FormatNumber(ws.Xo));
        EXPECT_EQ(ws.Form32.EYoM, FormatNumber(ws.Yo));
        EXPECT_EQ(ws.Form23.EXo, FormatNumber(ws.Xo));
        EXPECT_EQ(ws.LLog.Last(), "New centre at " + FormatNumber(ws.Xo) + ", " + FormatNumber(ws.Yo));
        EXPECT_TRUE(host.messages.empty());
        // The geometry in force is the found centre's.
        EXPECT_DOUBLE_EQ(ws.FramePixels.Geometry()->Key.Xo, ws.Xo);
    }
}

INSTANTIATE_TEST_SUITE_P(RingFrames, AutoCentre, ::testing::ValuesIn(AutoCases()),
                         [](const ::testing::TestParamInfo<AutoCase>& info) { return info.param.Name; });

// ---- Frames rendered by pyFAI -----------------------------------------------------

namespace {

// A start `percent` of the distance in pixels from the true centre, towards `degrees`.
std::pair<double, double> StartNear(const RenderedFrame& r, double percent, double degrees) {
    const double reach = percent / 100 * r.DistancePixels(), a = degrees * 3.14159265358979 / 180;
    return {r.Xo + reach * std::cos(a), r.Yo + reach * std::sin(a)};
}

} // namespace

// Dense rings (Mo radiation, 25 mm), rings as arcs whose intensity changes
// strongly with psi, and weak rings of a tilted detector in counting noise,
// each with a beam stop masked: from 2 and 5 per cent of the distance the
// centre comes back to a tenth of a pixel.
class AutoCentreRendered : public ::testing::TestWithParam<const char*> {};

TEST_P(AutoCentreRendered, ComesBackToATenthOfAPixelFromFivePerCentOfTheDistance) {
    const RenderedFrame r = FindRenderedFrame(GetParam());
    Workspace ws;
    RecordingHost host;
    LoadRenderedFrame(ws, host, r);
    for (auto [percent, degrees] : std::vector<std::pair<double, double>>{{5, 20}, {5, 110}, {5, 200}, {5, 290}, {2, 65}}) {
        const auto [x, y] = StartNear(r, percent, degrees);
        AutoFrom(ws, x, y);
        EXPECT_EQ(FindCentre(ws, host, false), "") << percent << "% towards " << degrees;
        EXPECT_LE(std::hypot(ws.Xo - r.Xo, ws.Yo - r.Yo), 0.1) << percent << "% towards " << degrees << ": " << ws.Xo
                                                               << ", " << ws.Yo;
    }
}

INSTANTIATE_TEST_SUITE_P(PyFaiFrames, AutoCentreRendered,
                         ::testing::Values("dense_mo_256", "textured_256", "vtilt_noisy_256"));

// From farther away the search comes back as exactly or finds nothing: the
// old centre stays, the reason is given and nothing is logged. Rings seen
// over only a quarter of their circle, or no rings at all, give no centre.
TEST(AutoCentreRenderedFar, ConvergesOrKeepsTheOldCentreAndSaysSo) {
    struct Case {
        const char* Frame;
        double Percent, Degrees;
        double KeepPsiBelow;   // pixels at larger psi masked (360: none)
        bool MustFail;
    };
    const Case cases[] = {
        {"dense_mo_256", 10, 30, 360, false},  {"dense_mo_256", 20, 210, 360, false},
        {"textured_256", 10, 120, 360, false}, {"vtilt_noisy_256", 20, 300, 360, false},
        {"dense_mo_256", 2, 30, 100, true},    {"vtilt_noisy_256", 2, 30, 100, true},
    };
    int found = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Frame) + " " + std::to_string(c.Percent) + "% psi < " + std::to_string(c.KeepPsiBelow));
        const RenderedFrame r = FindRenderedFrame(c.Frame);
        Workspace ws;
        RecordingHost host;
        LoadRenderedFrame(ws, host, r);
        for (int32_t i = 1; i <= ws.FrameWidth; ++i)
            for (int32_t j = 1; j <= ws.FrameHeight; ++j)
                if (ws.FramePixels.Psi[i][j] > c.KeepPsiBelow) ws.FramePixels.Intensity[i][j] = MaskedIntensity;
        ws.Xo = r.Xo + 3;   // the centre in force, to be kept on failure
        ws.Yo = r.Yo - 2;
        ComputeFrameGeometry(ws, host);
        const auto [x, y] = StartNear(r, c.Percent, c.Degrees);
        AutoFrom(ws, x, y);
        const std::string problem = FindCentre(ws, host, false);
        if (problem.empty()) {
            EXPECT_FALSE(c.MustFail);
            EXPECT_LE(std::hypot(ws.Xo - r.Xo, ws.Yo - r.Yo), 0.1) << ws.Xo << ", " << ws.Yo;
            ++found;
        } else {
            EXPECT_NE(problem.find("no centre found"), std::string::npos) << problem;
            EXPECT_EQ(ws.Xo, r.Xo + 3);
            EXPECT_EQ(ws.Yo, r.Yo - 2);
            EXPECT_EQ(ws.FramePixels.Geometry()->Key.Xo, r.Xo + 3);
            EXPECT_FALSE(LoggedNewCentre(ws));
        }
    }
    EXPECT_GE(found, 2);   // a far start is not simply refused

    // Counting noise without rings.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 200, 200, 100, 100, 25, 20);
    std::mt19937 random(3);
    std::poisson_distribution<int32_t> counts(50);
    for (int32_t i = 1; i <= 200; ++i)
        for (int32_t j = 1; j <= 200; ++j) ws.FramePixels.Intensity[i][j] = counts(random);
    ComputeFrameGeometry(ws, host);
    AutoFrom(ws, 96, 103);
    EXPECT_NE(FindCentre(ws, host, false), "");
    EXPECT_EQ(ws.Xo, 100);
    EXPECT_EQ(ws.Yo, 100);
}

// The two kernels on their own: the sharpest centre from 12 pixels off lies
// within half a pixel; about the true centre the rings are round, about one
// a pixel off they are not, and the check says where the centre lies.
TEST(RingSharpness, SharpestCentreAndRoundRings) {
    const RenderedFrame r = FindRenderedFrame("dense_mo_256");
    Workspace ws;
    RecordingHost host;
    LoadRenderedFrame(ws, host, r);
    const double D = r.DistancePixels();
    ComputeFrameGeometry(ws, host, r.Xo - 9, r.Yo + 8);
    const SharpestCentre sharp = SearchSharpestCentre(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, 0.06 * D, D, 0, 45);
    ASSERT_TRUE(sharp.Found) << sharp.Problem;
    EXPECT_TRUE(sharp.Settled);
    EXPECT_LE(std::hypot(sharp.X - r.Xo, sharp.Y - r.Yo), 0.5) << sharp.X << ", " << sharp.Y;

    ComputeFrameGeometry(ws, host, r.Xo, r.Yo);
    const RingRoundness round = CheckRingsRound(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, D, 0, 45);
    EXPECT_TRUE(round.Round) << round.Problem;
    EXPECT_GE(round.Sectors, 10);   // the beam stop's sector may drop out
    EXPECT_LE(std::hypot(round.OffsetX, round.OffsetY), 0.05);
    for (auto [dx, dy] : std::vector<std::pair<double, double>>{{1, 0}, {0, -0.6}}) {
        ComputeFrameGeometry(ws, host, r.Xo + dx, r.Yo + dy);
        const RingRoundness off = CheckRingsRound(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, D, 0, 45);
        EXPECT_FALSE(off.Round) << dx << ", " << dy;
        // Back towards the true centre, by about the step away.
        const double along = -(off.OffsetX * dx + off.OffsetY * dy) / std::hypot(dx, dy);
        EXPECT_GT(along, 0.7 * std::hypot(dx, dy)) << off.OffsetX << ", " << off.OffsetY;
        EXPECT_LT(along, 1.6 * std::hypot(dx, dy)) << off.OffsetX << ", " << off.OffsetY;
    }
}

TEST(CentreSearch, VaryXOnlyLeavesYoAsItWas) {
    RingFrame f;
    f.Noise = true;
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, f);
    ws.Yo = 118.25;   // off by 2.35, and must stay so
    ComputeFrameGeometry(ws, host);
    const std::string yBox = ws.Form32.EYoM;
    AutoFrom(ws, f.Xo - 8, f.Yo + 6, true, false);
    EXPECT_EQ(FindCentre(ws, host, false), "");
    EXPECT_NEAR(ws.Xo, f.Xo, 1.0);
    EXPECT_EQ(ws.Yo, 118.25);
    EXPECT_EQ(ws.FramePixels.Geometry()->Key.Yo, 118.25);
    EXPECT_EQ(ws.Form32.EYoM, yBox);
}

TEST(CentreSearch, TickedDetectorBoxesDoNotHoldTheSearchBack) {
    RingFrame f;
    for (int settings = 0; settings < 2; ++settings) {
        Workspace ws;
        RecordingHost host;
        MakeRingFrame(ws, host, f);
        // The boxes hold a centre 9 pixels off; the geometry reads them.
        ws.Form32.EXoM = FormatNumber(f.Xo + 9);
        ws.Form32.EYoM = FormatNumber(f.Yo - 4);
        ws.Form32.EDistance = "50";
        ws.Form32.EDSize = "38.4";
        if (settings)
            ws.Form20.CBFSettings = true;   // "File Settings"
        else
            ws.Form32.CBXo = ws.Form32.CBYo = true;
        ComputeFrameGeometry(ws, host);
        ASSERT_DOUBLE_EQ(ws.Xo, f.Xo + 9);
        AutoFrom(ws, f.Xo + 9, f.Yo - 4);
        EXPECT_EQ(FindCentre(ws, host, false), "");
        EXPECT_NEAR(ws.Xo, f.Xo, 1.0) << settings;
        EXPECT_NEAR(ws.Yo, f.Yo, 1.0) << settings;
        // The boxes now hold the centre found, so the next geometry keeps it.
        ComputeFrameGeometry(ws, host);
        EXPECT_NEAR(ws.Xo, f.Xo, 1.0) << settings;
    }
}

TEST(CentreSearch, NothingFoundKeepsTheCentreAndSaysWhy) {
    RingFrame f;
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, f);
    const double x = ws.Xo - 6, y = ws.Yo + 3;
    ws.Xo = x;
    ws.Yo = y;
    ComputeFrameGeometry(ws, host);
    auto unchanged = [&](const std::string& problem, const char* containing) {
        EXPECT_NE(problem.find(containing), std::string::npos) << problem << " / " << containing;
        EXPECT_EQ(ws.Xo, x);
        EXPECT_EQ(ws.Yo, y);
        EXPECT_EQ(ws.FramePixels.Geometry()->Key.Xo, x);
        EXPECT_FALSE(LoggedNewCentre(ws));
        EXPECT_TRUE(ws.Form27.RAuto);
    };
    // No ring in the sector's 2-theta range (the frame reaches 28 degrees).
    ws.SectorTwoTheta1 = 40;
    ws.SectorTwoTheta2 = 45;
    AutoFrom(ws, x, y);
    unchanged(FindCentre(ws, host, false), "No ring");
    // SectorCenter in that range: no point at all.
    ws.Form27.RAuto = false;
    ws.Form27.RSector = true;
    unchanged(FindCentre(ws, host, false), "Too few points");
    // Only three psi rows of 5 degrees hold pixels: three points at most.
    ws.SectorTwoTheta1 = 12.5f;
    ws.SectorTwoTheta2 = 13.5f;
    for (int32_t i = 1; i <= ws.FrameWidth; ++i)
        for (int32_t j = 1; j <= ws.FrameHeight; ++j)
            if (ws.FramePixels.Psi[i][j] > 12.4f) ws.FramePixels.Intensity[i][j] = MaskedIntensity;
    ws.Form27.RAuto = false;
    ws.Form27.RSector = true;
    unchanged(FindCentre(ws, host, false), "Too few points");
    // Auto there too: the start is put back.
    AutoFrom(ws, x + 4, y + 4);
    unchanged(FindCentre(ws, host, false), "no centre found");
    // A typed centre far outside the frame.
    ws.Form27.EXoM = "1000";
    ws.Form27.EYoM = "10";
    unchanged(FindCentre(ws, host, true), "far outside the frame");
    // GravityCenter on a frame without intensity in the range.
    ws.Form27.RAuto = false;
    ws.Form27.RGravity = true;
    ws.SectorTwoTheta1 = 40;
    ws.SectorTwoTheta2 = 45;
    unchanged(FindCentre(ws, host, false), "No intensity");
    // The window's command shows the reason.
    ws.Form27.RAuto = false;
    ws.Form27.RGravity = true;
    BCenterClick(ws, host, false);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_NE(host.messages.back().find("No intensity"), std::string::npos);
}

TEST(CentreSearch, GravityCentreLeavesMaskedPixelsOut) {
    Workspace ws;
    RecordingHost host;
    MakeFrame(ws, 60, 40);
    FlatGeometry(ws, 30, 20, 200);
    // A blob of 4 x 3 pixels about (40.5, 11): the weighted mean is its middle.
    for (int32_t i = 39; i <= 42; ++i)
        for (int32_t j = 10; j <= 12; ++j) ws.FramePixels.Intensity[i][j] = 100;
    // A masked strip beside it would pull the mean if it counted as -1.
    for (int32_t j = 1; j <= 40; ++j) ws.FramePixels.Intensity[5][j] = MaskedIntensity;
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 45;
    const CentreCandidate c = IntensityCentroid(ws);
    ASSERT_TRUE(c.Found);
    EXPECT_DOUBLE_EQ(c.X, 40.5);
    EXPECT_DOUBLE_EQ(c.Y, 11.0);
    // The rectangle of the Mask dialog: repaired into the frame, written back.
    ws.RectangularSector = 1;
    ws.FMask.EX1 = "0";
    ws.FMask.Ex2 = "500";
    ws.FMask.EY1 = "1";
    ws.FMask.EY2 = "11";
    const CentreCandidate r = IntensityCentroid(ws);
    ASSERT_TRUE(r.Found);
    EXPECT_DOUBLE_EQ(r.X, 40.5);
    EXPECT_DOUBLE_EQ(r.Y, 10.5);
    EXPECT_EQ(ws.FMask.EX1, "1");
    EXPECT_EQ(ws.FMask.Ex2, "60");
}

namespace {

// The brightest (2 half + 1)^2 box the plain way: 121 reads a pixel.
BoxPeak NaiveBrightestBox(const FramePlane<int32_t>& p, int32_t w, int32_t h, int32_t half) {
    BoxPeak best;
    for (int32_t i = 1; i <= w; ++i)
        for (int32_t j = 1; j <= h; ++j) {
            int64_t sum = 0;
            for (int32_t a = std::max(1, i - half); a <= std::min(w, i + half); ++a)
                for (int32_t b = std::max(1, j - half); b <= std::min(h, j + half); ++b)
                    if (p[a][b] != MaskedIntensity) sum += p[a][b];
            if (!best.Found || sum > best.Sum) best = BoxPeak{true, i, j, sum};
        }
    if (best.Sum <= 0) best.Found = false;
    return best;
}

} // namespace

TEST(CentreSearch, DirectBeamTableEqualsThePlainSearch) {
    std::mt19937 random(5);
    for (int n = 0; n < 60; ++n) {
        const int32_t w = 1 + static_cast<int32_t>(random() % 40), h = 1 + static_cast<int32_t>(random() % 40);
        FramePlane<int32_t> p;
        p.assign(w, h, 0);
        // Few values, so that equal sums are common; some masked pixels.
        for (int32_t i = 1; i <= w; ++i)
            for (int32_t j = 1; j <= h; ++j) p[i][j] = static_cast<int32_t>(random() % 4);
        for (int k = 0; k < w * h / 10; ++k) p[1 + random() % w][1 + random() % h] = MaskedIntensity;
        const BoxPeak fast = BrightestBox(p, w, h, 5), plain = NaiveBrightestBox(p, w, h, 5);
        ASSERT_EQ(fast.Found, plain.Found) << n;
        EXPECT_EQ(fast.Sum, plain.Sum) << n;
        EXPECT_EQ(fast.Column, plain.Column) << n;
        EXPECT_EQ(fast.Row, plain.Row) << n;
    }
    // The brightest box at the corner: the corner pixel, first of the equal boxes.
    FramePlane<int32_t> corner;
    corner.assign(30, 20, 0);
    corner[30][20] = 5000;
    BoxPeak peak = BrightestBox(corner, 30, 20, 5);
    EXPECT_EQ(peak.Column, 25);   // every box that reaches (30, 20) holds it; the first in column order
    EXPECT_EQ(peak.Row, 15);
    corner[30][20] = 0;
    corner[1][1] = 5000;
    peak = BrightestBox(corner, 30, 20, 5);
    EXPECT_EQ(peak.Column, 1);
    EXPECT_EQ(peak.Row, 1);
    // Nothing but masked pixels and zeros: no beam.
    corner.fill(0);
    corner[3][3] = MaskedIntensity;
    EXPECT_FALSE(BrightestBox(corner, 30, 20, 5).Found);
}

TEST(CentreSearch, DirectBeamFromTheWindowTakesTheBeamSpot) {
    Workspace ws;
    RecordingHost host;
    MakeFrame(ws, 80, 60);
    FlatGeometry(ws, 40, 30, 300);
    // A beam spot wider than the box, about (22, 46).
    for (int32_t i = 1; i <= 80; ++i)
        for (int32_t j = 1; j <= 60; ++j)
            ws.FramePixels.Intensity[i][j] = static_cast<int32_t>(900 * std::exp(-((i - 22) * (i - 22) + (j - 46) * (j - 46)) / 32.0));
    ws.Form27.RAuto = false;
    ws.Form27.RBDBeam = true;
    ws.Form27.CBXo = ws.Form27.CBYo = true;
    BCenterClick(ws, host, false);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws.Xo, 22);
    EXPECT_EQ(ws.Yo, 46);
    EXPECT_EQ(ws.Form27.EXoM, "22.000");
    EXPECT_TRUE(ws.Form27.RAuto);   // Auto is chosen again afterwards
}

TEST(CentreSearch, EllipseCentreNeedsThreePickedPoints) {
    RingFrame f;
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, f);
    ws.Xo = f.Xo + 4;
    ws.Yo = f.Yo - 3;
    ComputeFrameGeometry(ws, host);
    ws.Form27.RAuto = false;
    ws.Form27.RCircle = true;
    ws.Form27.CBXo = ws.Form27.CBYo = true;
    // Ring points picked near the first ring (radius 115 pixels about the true centre).
    const double radius = 500 * std::tan(12.988 * 3.14159265358979 / 180);
    auto pick = [&](double degrees) {
        const double a = degrees * 3.14159265358979 / 180;
        EXPECT_TRUE(PickRingPoint(ws, static_cast<int32_t>(std::lround(f.Xo + radius * std::cos(a))),
                                  static_cast<int32_t>(std::lround(f.Yo - radius * std::sin(a)))));
    };
    pick(10);
    pick(100);
    BCenterClick(ws, host, false);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Need to select more points in a ring");
    EXPECT_TRUE(ws.Form27.RAuto);
    EXPECT_FALSE(ws.Form27.RCircle);
    EXPECT_EQ(ws.Xo, f.Xo + 4);
    // Three more points and the circle through them.
    ws.Form27.RAuto = false;
    ws.Form27.RCircle = true;
    pick(190);
    pick(250);
    pick(330);
    BCenterClick(ws, host, false);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_NEAR(ws.Xo, f.Xo, 1.0);
    EXPECT_NEAR(ws.Yo, f.Yo, 1.0);
    EXPECT_EQ(ws.CentrePointCount, 0);
    EXPECT_EQ(ws.CurveFit1.NumData(), 0);
}

TEST(CentreSearch, PointsOnOneLineAreAReportedFailure) {
    Workspace ws;
    RecordingHost host;
    MakeFrame(ws, 60, 60);
    FlatGeometry(ws, 30, 30, 200);
    ws.Xo = ws.Yo = 30;
    for (int32_t x : {10, 20, 40}) ASSERT_TRUE(PickRingPoint(ws, x, 30));
    ws.Form27.RAuto = false;
    ws.Form27.RCircle = true;
    ws.Form27.CBXo = ws.Form27.CBYo = true;
    EXPECT_NE(FindCentre(ws, host, false).find("one straight line"), std::string::npos);
    EXPECT_EQ(ws.Xo, 30);
    EXPECT_EQ(ws.Yo, 30);
}

TEST(CentreSearch, FrameWindowButtonMovesBothAxesAndTheBatchReportsFailures) {
    RingFrame f;
    f.Noise = true;
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, f);
    AutoFrom(ws, f.Xo + 5, f.Yo + 5, false, false);   // "Vary" boxes clear: the button ignores them
    EXPECT_TRUE(SpeedButton1Click(ws, host));
    EXPECT_NEAR(ws.Xo, f.Xo, 1.0);
    EXPECT_NEAR(ws.Yo, f.Yo, 1.0);
    EXPECT_EQ(ws.Form27.EXoM, FormatNumber(ws.Xo));
    EXPECT_EQ(ws.Form32.EYoM, FormatNumber(ws.Yo));
    EXPECT_EQ(ws.Form27.ProgressBar1, 100);
    // The batch's AdjustCenter: a sector without a ring is a problem of the run.
    ws.SectorTwoTheta1 = 40;
    ws.SectorTwoTheta2 = 45;
    const double x = ws.Xo;
    ws.Batch.AdjustCentre(ws, host);
    EXPECT_EQ(ws.Xo, x);
    EXPECT_EQ(ws.CommandsFailed, 1);
    EXPECT_NE(ws.LLog.Last().find("AdjustCenter: No ring"), std::string::npos);
    // Without a frame the button says so.
    Workspace empty;
    EXPECT_FALSE(SpeedButton1Click(empty, host));
    EXPECT_EQ(host.messages.back(), "Need to open a file first!");
}

TEST(CentreSearch, SetTakesTheTypedCentreForTheTickedAxes) {
    RingFrame f;
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, f);
    ws.Form32.CBXo = ws.Form32.CBYo = true;   // boxes that would undo a plain geometry run
    ws.Form32.EXoM = "100";
    ws.Form32.EYoM = "100";
    ws.Form27.CBXo = true;
    ws.Form27.CBYo = false;
    ws.Form27.EXoM = "152.5";
    ws.Form27.EYoM = "999";
    BSetClick(ws, host);
    EXPECT_EQ(ws.Xo, 152.5);
    EXPECT_DOUBLE_EQ(ws.Yo, f.Yo);
    EXPECT_EQ(ws.FramePixels.Geometry()->Key.Xo, 152.5);
    EXPECT_EQ(ws.Form32.EXoM, "152.5");
    EXPECT_EQ(ws.Form32.EYoM, "100");
    // Letters in a ticked box change nothing.
    ws.Form27.EXoM = "abc";
    BSetClick(ws, host);
    EXPECT_EQ(ws.Xo, 152.5);
    EXPECT_EQ(host.messages.back(), "'abc' is not a valid number");
}
