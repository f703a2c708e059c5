// Per-pixel 2-theta and psi of every detector shape, checked against plain
// trigonometry of the detector's shape and against reference frames computed
// by an independent diffraction library.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "geometry_test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "pixel_record.h"

using namespace orv;
using namespace orv::test;

namespace {

constexpr double Deg = 180.0 / std::numbers::pi;
constexpr double Rad = std::numbers::pi / 180.0;

// The difference of two azimuths, across the 0/360 seam.
double AngleDiff(double a, double b) {
    double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

// Psi as a counter-clockwise angle on the screen (rows grow downwards).
double ScreenAzimuth(double xo, double yo, int i, int j) {
    double p = std::atan2(yo - j, i - xo) * Deg;
    return p < 0 ? p + 360 : p;
}

void ExpectPsiInRange(const Workspace& ws) {
    for (int i = 1; i <= ws.FrameWidth; ++i)
        for (int j = 1; j <= ws.FrameHeight; ++j) {
            const float psi = ws.FramePixels.Psi[i][j];
            ASSERT_TRUE(psi >= 0.0f && psi < 360.0f) << i << "," << j << " psi " << psi;
        }
}

} // namespace

TEST(GeometryFlat, TwoThetaIsArcTangentOfRadiusOverDistance) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 64, 48, 20.3, 30.7, 61.54, 61.0);
    ComputeFrameGeometry(ws, host);
    const double D = 64 * 61.54 / 61.0;
    EXPECT_FLOAT_EQ(ws.FlatDistancePixels, static_cast<float>(D));
    for (int i = 1; i <= 64; ++i)
        for (int j = 1; j <= 48; ++j) {
            const orv::test::PixelRecord p = orv::test::PixelAt(ws, i, j);
            const double rho = std::hypot(i - 20.3, j - 30.7);
            ASSERT_NEAR(p.TwoTheta, std::atan(rho / D) * Deg, 1e-5) << i << "," << j;
            ASSERT_NEAR(p.Psi, ScreenAzimuth(20.3, 30.7, i, j), 1e-4) << i << "," << j;
            ASSERT_FLOAT_EQ(p.X, static_cast<float>(20.3 - i));
            ASSERT_FLOAT_EQ(p.Y, static_cast<float>(D));
            ASSERT_FLOAT_EQ(p.Z, static_cast<float>(j - 30.7));
        }
    EXPECT_TRUE(host.messages.empty());
}

TEST(GeometryFlat, PsiQuadrantsAroundTheCentre) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 512, 512, 257, 257, 61.54, 61.0);
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.FramePixels.Psi[300][257], 0.0f);
    EXPECT_EQ(ws.FramePixels.Psi[257][200], 90.0f);
    EXPECT_EQ(ws.FramePixels.Psi[200][257], 180.0f);
    EXPECT_EQ(ws.FramePixels.Psi[257][300], 270.0f);
    EXPECT_NEAR(ws.FramePixels.Psi[300][214], 45.0, 1e-5);
    EXPECT_NEAR(ws.FramePixels.Psi[214][214], 135.0, 1e-5);
    EXPECT_NEAR(ws.FramePixels.Psi[214][300], 225.0, 1e-5);
    EXPECT_NEAR(ws.FramePixels.Psi[300][300], 315.0, 1e-5);
    // The centre pixel itself.
    EXPECT_EQ(ws.FramePixels.TwoTheta[257][257], 0.0f);
    EXPECT_EQ(ws.FramePixels.Psi[257][257], 0.0f);
    ExpectPsiInRange(ws);
}

TEST(GeometryFlat, AnglesNextToTheBeamKeepSinglePrecision) {
    // A far detector: one pixel from the beam is 0.006 degrees. Computing the
    // arc cosine in single precision would be off by far more than that.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 21, 21, 11, 11, 500, 1.0);
    ComputeFrameGeometry(ws, host);
    const double D = 21 * 500 / 1.0;
    for (int i = 1; i <= 21; ++i)
        for (int j = 1; j <= 21; ++j) {
            const double expected = std::atan(std::hypot(i - 11.0, j - 11.0) / D) * Deg;
            ASSERT_NEAR(ws.FramePixels.TwoTheta[i][j], expected, expected * 1e-6 + 1e-12) << i << "," << j;
        }
}

TEST(GeometryFlat, PsiThatRoundsToFullCircleIsStoredAsZero) {
    // Just right of the centre and a hair below it: psi is 360 - 6e-9
    // degrees, which single precision rounds to 360.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 1200, 2, 1.0, 1.0 - 1e-7, 61.54, 61.0);
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.FramePixels.Psi[1001][1], 0.0f);
    ExpectPsiInRange(ws);
}

TEST(GeometryFlat, MaskedPixelsAreMappedLikeAllOthers) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 32, 32, 16, 16, 61.54, 61.0);
    ws.FramePixels.Intensity[5][7] = MaskedIntensity;
    ComputeFrameGeometry(ws, host);
    const double D = 32 * 61.54 / 61.0;
    EXPECT_NEAR(ws.FramePixels.TwoTheta[5][7], std::atan(std::hypot(11.0, 9.0) / D) * Deg, 1e-5);
    EXPECT_EQ(ws.FramePixels.Intensity[5][7], MaskedIntensity);
}

TEST(GeometryTilted, CentrePixelLiesAtTheDetectorAngle) {
    for (bool vertical : {false, true}) {
        for (double angle : {-18.0, 25.0, 140.0}) {
            Workspace ws;
            RecordingHost host;
            SetUpFlatFrame(ws, 101, 81, 51, 41, 80, 61.0, angle);
            ws.Form28.CBVertical = vertical;
            ComputeFrameGeometry(ws, host);
            EXPECT_NEAR(ws.FramePixels.TwoTheta[51][41], std::fabs(angle), 1e-5)
                << (vertical ? "vertical " : "horizontal ") << angle;
        }
    }
}

TEST(GeometryTilted, EveryPixelMatchesTheRotatedPlane) {
    // A pixel u columns and v rows from the foot of the normal lies at
    // distance sqrt(D^2 + u^2 + v^2) from the sample; its component along the
    // beam is D cos(angle) minus the in-plane offset times sin(angle).
    const double angle = 32.5;
    const double c = std::cos(angle * Rad), s = std::sin(angle * Rad);
    for (bool vertical : {false, true}) {
        Workspace ws;
        RecordingHost host;
        SetUpFlatFrame(ws, 90, 70, 40.5, 30.25, 70, 61.0, angle);
        ws.Form28.CBVertical = vertical;
        ComputeFrameGeometry(ws, host);
        const double D = 90 * 70 / 61.0;
        for (int i = 1; i <= 90; ++i)
            for (int j = 1; j <= 70; ++j) {
                const double u = 40.5 - i, v = j - 30.25;
                const double along = vertical ? D * c + v * s : D * c - u * s;
                const double expected = std::acos(along / std::sqrt(D * D + u * u + v * v)) * Deg;
                ASSERT_NEAR(ws.FramePixels.TwoTheta[i][j], expected, 2e-5) << i << "," << j;
            }
        ExpectPsiInRange(ws);
    }
}

TEST(GeometryTilted, StoredAnglesAreTheNearestFloatsOfTheExactOnes) {
    // The common rule worked with the C library's arccos and atan2 in double:
    // the stored angles are that result rounded to single precision (a flip
    // of the last bit is allowed for a value that sits on a rounding edge).
    for (double angle : {0.0, 37.0, -120.0}) {
        Workspace ws;
        RecordingHost host;
        SetUpFlatFrame(ws, 300, 220, 140.3, 100.7, 30, 61.0, angle);
        ComputeFrameGeometry(ws, host);
        const double D = 300 * 30 / 61.0, c = std::cos(angle * Rad), s = std::sin(angle * Rad);
        int flips = 0;
        for (int i = 1; i <= 300; ++i)
            for (int j = 1; j <= 220; ++j) {
                const double a = 140.3 - i, X = a * c + D * s, Y = -a * s + D * c, Z = j - 100.7;
                const double twoTheta = std::acos(Y / std::sqrt(X * X + Y * Y + Z * Z)) * Deg;
                double p = std::atan2(-X, Z) * Deg + 180;
                p = p < 270 ? p + 90 : p - 270;
                const orv::test::PixelRecord px = orv::test::PixelAt(ws, i, j);
                for (auto [stored, exact] : {std::pair{px.TwoTheta, twoTheta}, {px.Psi, p}}) {
                    if (stored == static_cast<float>(exact)) continue;
                    ++flips;
                    ASSERT_LE(std::fabs(stored - exact), 1.5 * std::fabs(std::nextafter(stored, 1e9f) - stored));
                }
            }
        EXPECT_LE(flips, 10) << angle;
    }
}

TEST(GeometryMerged, EachColumnUsesItsOwnAngleAndSourceColumn) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 60, 20, 15, 10, 61.0, 61.0);   // D = FrameSize = 60 pixels
    ws.MergedFrame = 1;
    ws.MergeColumnTable.resize(61);
    for (int i = 1; i <= 60; ++i) ws.MergeColumnTable[i] = {i <= 30 ? 0.0 : 20.0, i <= 30 ? i : i - 30};
    ComputeFrameGeometry(ws, host);
    ASSERT_TRUE(host.messages.empty());
    const double D = 60;
    // Left half: untilted. Right half: the same columns seen at 20 degrees.
    EXPECT_NEAR(ws.FramePixels.TwoTheta[15][10], 0.0, 1e-6);
    EXPECT_NEAR(ws.FramePixels.TwoTheta[45][10], 20.0, 1e-5);
    for (int i : {1, 29, 31, 60})
        for (int j : {1, 10, 20}) {
            const double alpha = i <= 30 ? 0.0 : 20 * Rad;
            const double u = 15 - (i <= 30 ? i : i - 30), v = j - 10;
            const double expected = std::acos((D * std::cos(alpha) - u * std::sin(alpha)) / std::sqrt(D * D + u * u + v * v)) * Deg;
            EXPECT_NEAR(ws.FramePixels.TwoTheta[i][j], expected, 1e-5) << i << "," << j;
        }
}

TEST(GeometryCylinder, EquatorTwoThetaGrowsByDegreesPerPixel) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 1000, 101, 500, 51, 61.54, 61.0);
    ws.Form32.SelectShape(2);
    ComputeFrameGeometry(ws, host);
    ASSERT_TRUE(host.messages.empty());
    const double R = 130.2 / (466.0 / 1000);                // radius in pixels
    const double dpp = 360.0 / (2 * std::numbers::pi * R);  // about 0.205 degrees
    EXPECT_NEAR(ws.DegreesPerPixel, dpp, 1e-7);
    EXPECT_DOUBLE_EQ(ws.DSize, 466.0);
    EXPECT_NEAR(ws.DistancePixels, R, 1e-9);
    for (int i = 1; i <= 1000; ++i) ASSERT_NEAR(ws.FramePixels.TwoTheta[i][51], std::fabs(500 - i) * dpp, 1e-5) << i;
    // Off the equator: a pixel z rows up the cylinder's axis.
    for (int i : {1, 250, 500, 900})
        for (int j : {1, 30, 101}) {
            const double A = (500 - i) * dpp * Rad, z = j - 51;
            const double expected = std::acos(R * std::cos(A) / std::sqrt(R * R + z * z)) * Deg;
            EXPECT_NEAR(ws.FramePixels.TwoTheta[i][j], expected, 2e-5) << i << "," << j;
        }
    // The largest angle the detector covers, one decimal.
    EXPECT_EQ(ws.Form32.EAMax, FormatFixed((500 - 1000) * dpp, 1));
    ExpectPsiInRange(ws);
}

TEST(GeometryCylinder, SampleOffsetMovesTheScatteringOrigin) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 400, 41, 200, 21, 61.54, 61.0);
    ws.Form32.SelectShape(2);
    ws.Form32.CBSampleOffset = true;
    ws.Form32.ESampleX = "3";
    ws.Form32.ESampleY = "-5";
    ComputeFrameGeometry(ws, host);
    // 466 mm over 400 columns: the offsets are 3 / 1.165 and -5 / 1.165 pixels.
    const double mm = 466.0 / 400, R = 130.2 / mm, dpp = 360.0 / (2 * std::numbers::pi * R);
    for (int i : {1, 150, 200, 399})
        for (int j : {1, 21, 41}) {
            const double A = (200 - i) * dpp * Rad;
            const double x = R * std::sin(A) - 3 / mm, y = R * std::cos(A) + 5 / mm, z = j - 21;
            EXPECT_NEAR(ws.FramePixels.TwoTheta[i][j], std::acos(y / std::sqrt(x * x + y * y + z * z)) * Deg, 2e-5);
            // Psi ignores the offset: the azimuth of the pixel's direction
            // seen along the beam.
            if (i == 200 && j == 21) continue;   // the centre has no azimuth
            double psi = std::atan2(-z, -R * std::sin(A)) * Deg;
            if (psi < 0) psi += 360;
            EXPECT_NEAR(AngleDiff(ws.FramePixels.Psi[i][j], psi), 0.0, 1e-4) << i << "," << j;
        }
}

TEST(GeometrySphere, CentrePixelLiesAtTheDetectorAngle) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 201, 101, 101, 51, 61.54, 61.0, 30);
    ws.Form32.SelectShape(3);
    ComputeFrameGeometry(ws, host);
    EXPECT_NEAR(ws.FramePixels.TwoTheta[101][51], 30.0, 1e-5);
}

TEST(GeometrySphere, SampleAtTheSphereCentreSeesArcLengthAsAngle) {
    // With the sample at the sphere's centre (distance = radius) a pixel d
    // pixels from the centre lies d x DegreesPerPixel from the beam.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 300, 200, 140.5, 90.25, 61.54, 61.0);
    ws.Form32.SelectShape(3);
    ws.Form20.CBFSettings = true;
    ws.Form32.EXoM = "140.5";
    ws.Form32.EYoM = "90.25";
    ws.Form32.ELength = "200";
    ws.Form32.ERadius = "80";
    ws.Form32.EDistance = "80";
    ComputeFrameGeometry(ws, host);
    ASSERT_TRUE(host.messages.empty());
    const double dpp = 360.0 / (2 * std::numbers::pi * (80.0 * 300 / 200));
    EXPECT_NEAR(ws.FlatDistancePixels, ws.DistancePixels, 1e-3);
    for (int i = 1; i <= 300; i += 7)
        for (int j = 1; j <= 200; j += 3) {
            ASSERT_NEAR(ws.FramePixels.TwoTheta[i][j], std::hypot(i - 140.5, j - 90.25) * dpp, 2e-5) << i << "," << j;
            ASSERT_NEAR(AngleDiff(ws.FramePixels.Psi[i][j], ScreenAzimuth(140.5, 90.25, i, j)), 0.0, 1e-4);
        }
    EXPECT_EQ(ws.FlatDetector, 0);
}

// ---- Reference frames ----------------------------------------------------

class GeometryReference : public ::testing::TestWithParam<ReferenceFrame> {};

TEST_P(GeometryReference, PixelAnglesMatchTheIndependentLibrary) {
    const ReferenceFrame& f = GetParam();
    Workspace ws;
    RecordingHost host;
    LoadReferenceFrame(ws, f);
    ComputeFrameGeometry(ws, host);
    ASSERT_TRUE(host.messages.empty());

    const auto rows = ReadNumberTable(GeometryData(std::string(f.Name) + ".pixels.txt"));
    ASSERT_GT(rows.size(), 200u);
    for (const auto& r : rows) {
        ASSERT_EQ(r.size(), 6u);
        const int i = static_cast<int>(r[0]), j = static_cast<int>(r[1]);
        const orv::test::PixelRecord p = orv::test::PixelAt(ws, i, j);
        EXPECT_EQ(p.Intensity, static_cast<int32_t>(r[5])) << i << "," << j;
        EXPECT_NEAR(p.TwoTheta, r[2], 1e-5) << i << "," << j;
        // Above 256 degrees a float holds psi only to 3e-5: allow half of that.
        const float stored = static_cast<float>(r[3]);
        const double halfUlp = 0.5 * (std::nextafter(stored, 1000.0f) - stored);
        EXPECT_LE(AngleDiff(p.Psi, r[3]), std::max(1e-5, halfUlp + 1e-7)) << i << "," << j;
    }
    ExpectPsiInRange(ws);
}

INSTANTIATE_TEST_SUITE_P(Frames, GeometryReference, ::testing::ValuesIn(ReferenceFrames()),
                         [](const auto& info) {
                             std::string n = info.param.Name;
                             for (char& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });
