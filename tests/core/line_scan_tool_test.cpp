// The line-scan tool: the sticks' state machine on a profile set by hand,
// and the calibrations on rows and columns of frames mapped by the
// program's own geometry, the sticks put where that geometry places each
// line (or where the rendered rings peak), then measured back.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/numbers.h"
#include "centre_test_support.h"
#include "geometry_test_support.h"
#include "scans/line_scan_tool.h"
#include "scans/mineral_list.h"
#include "scans/standard_overlay.h"
#include "test_support.h"
#include "workspace/detector_settings.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/sector_reductions.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

constexpr int KeyS = 83, KeyA = 65, KeyDown = 40;
constexpr double Landa = 0.7093;
// Silicon's first lines (angstrom); at 0.7093 A they lie at 13..37 degrees.
const double SiliconD[] = {3.1355, 1.9201, 1.6375, 1.3577, 1.2459, 1.1086};

double TwoThetaOf(double d, double landa = Landa) {
    return 2 * std::asin(landa / (2 * d)) * 180 / std::numbers::pi;
}

// Pattern 1, selected, with the given d-spacings (a last line of d 0.4 has
// no 2-theta and no stick).
void SelectPattern(Workspace& ws, const std::vector<double>& d) {
    MineralRecord& p = ws.MineralTable[1];
    p.Name = "Si";
    p.LineCount = static_cast<int32_t>(d.size()) + 1;
    for (size_t k = 0; k < d.size(); ++k) p.Line[k] = {std::to_string(k + 1) + " 1 1", d[k], 100.0 - 10 * k};
    p.Line[d.size()] = {"9 9 9", 0.4, 5};
    ws.MineralCount = 1;
    ShowAllMinerals(ws);
    SelectMineralRow(ws, 0);
    ws.StandardLinePixels[0] = 1;
    ws.Form34.Visible = true;
}

// A profile along X of n pixels, flat at 1 with peaks of height 100 at the
// given pixels.
void SetProfile(Workspace& ws, int n, const std::vector<int>& peaks = {}) {
    ws.LineScanData.assign(static_cast<size_t>(n) + 1, 1.0);
    for (int p : peaks) ws.LineScanData[static_cast<size_t>(p)] = 100;
    ws.LineScanAlongX = 1;
    ws.LineScanAlongY = 0;
    ws.LineMark1 = 1;
    ws.LineMark2 = n;
}

double Pixel(const Workspace& ws, int line) { return ws.StandardLinePixels[static_cast<size_t>(line)]; }

// A flat profile of 400 pixels with sticks of the first three lines at
// 100, 150 and 220.
void ThreeSticks(Workspace& ws, const std::vector<double>& d = {3.0, 2.0, 1.5}) {
    SelectPattern(ws, d);
    SetProfile(ws, 400);
    ws.StandardLinePixels[1] = 100;
    ws.StandardLinePixels[2] = 150;
    ws.StandardLinePixels[3] = 220;
}

// Whether the logbook holds a line beginning with `start`.
bool Logged(const Workspace& ws, const std::string& start) {
    for (const std::string& line : ws.LLog.Lines())
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

// Where the program's geometry puts 2-theta `t` along row (alongX) or
// column `index`: the crossings of the pixels' 2-theta, interpolated
// linearly, on the side of the beam-nearest pixel given by `side` (-1 below
// it, +1 above it); NaN when the line does not cross there.
double Crossing(const Workspace& ws, bool alongX, int index, double t, int side) {
    const int n = alongX ? ws.FrameWidth : ws.FrameHeight;
    auto angle = [&](int k) -> double {
        return alongX ? ws.FramePixels.TwoTheta[k][index] : ws.FramePixels.TwoTheta[index][k];
    };
    int nearest = 1;
    for (int k = 2; k <= n; ++k)
        if (angle(k) < angle(nearest)) nearest = k;
    for (int k = 1; k < n; ++k) {
        const double a = angle(k) - t, b = angle(k + 1) - t;
        if ((a <= 0) == (b <= 0) || (k - nearest) * side < 0) continue;
        return k + a / (a - b);
    }
    return std::nan("");
}

// A flat frame whose geometry is computed by the program.
void MappedFrame(Workspace& ws, Host& host, int w, int h, double xo, double yo, double distance, double dsize,
                 double twoThetaD = 0) {
    SetUpFlatFrame(ws, w, h, xo, yo, distance, dsize, twoThetaD);
    ws.CurrentFile = "/data/si.tif";
    ws.Landa = Landa;
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
}

// The pattern's sticks where the geometry puts its lines.
void PlaceSticks(Workspace& ws, bool alongX, int index, int side, const std::vector<double>& d, double landa = Landa) {
    SelectPattern(ws, d);
    ws.LineScanAlongX = alongX ? 1 : 0;
    ws.LineScanAlongY = alongX ? 0 : 1;
    ws.LineScanIndex = index;
    const int n = alongX ? ws.FrameWidth : ws.FrameHeight;
    ws.LineScanData.assign(static_cast<size_t>(n) + 1, 0.0);
    ws.LineMark1 = 1;
    ws.LineMark2 = n;
    for (size_t k = 0; k < d.size(); ++k)
        ws.StandardLinePixels[k + 1] = Crossing(ws, alongX, index, TwoThetaOf(d[k], landa), side);
}

} // namespace

// ---- The sticks -----------------------------------------------------------------------

TEST(LineScanSticksTest, DragMovesThePatternOnlyBeyondTwoPixelsAndReleaseLandsTheAnchor) {
    Workspace ws;
    RecordingHost host;
    ThreeSticks(ws);
    LineScanMouseDown(ws, host, true, 103.4);   // within 5 pixels of line 1
    EXPECT_TRUE(ws.Form34.AnchorPicked);
    EXPECT_EQ(ws.Form34.AnchorLine, 1);
    EXPECT_EQ(ws.Form34.PName, "Si 1 1 1");
    LineScanMouseMove(ws, 102.4);               // 2 pixels: nothing moves
    EXPECT_EQ(Pixel(ws, 1), 100);
    LineScanMouseMove(ws, 103.2);               // 3 pixels: the whole pattern follows
    EXPECT_EQ(Pixel(ws, 1), 103);
    EXPECT_EQ(Pixel(ws, 3), 223);
    LineScanMouseUp(ws, true, 130.4);           // the anchor lands on the release point
    EXPECT_FALSE(ws.Form34.AnchorPicked);
    EXPECT_EQ(Pixel(ws, 1), 130);
    EXPECT_EQ(Pixel(ws, 2), 180);
    EXPECT_EQ(Pixel(ws, 3), 250);
    EXPECT_TRUE(std::isnan(Pixel(ws, 4)));      // the line without a stick stays without one

    // With 'S' held only the picked line moves.
    LineScanKeyDown(ws, host, KeyS);
    LineScanMouseDown(ws, host, true, 181);
    LineScanMouseUp(ws, true, 170);
    LineScanKeyUp(ws, KeyS);
    EXPECT_EQ(Pixel(ws, 1), 130);
    EXPECT_EQ(Pixel(ws, 2), 170);
    EXPECT_EQ(Pixel(ws, 3), 250);
    EXPECT_TRUE(host.messages.empty());
    // The sticks are drawn where they are, red, width 2.
    int sticks = 0;
    for (const ChartItem& item : ws.Form34.RChart1.Items())
        sticks += item.Kind == kItemLineTo && item.Color == RGBColor(255, 0, 0) && item.LineWidth == 2;
    EXPECT_EQ(sticks, 3);
}

TEST(LineScanSticksTest, StretchKeepsTheAnchorAndNeedsOne) {
    Workspace ws;
    RecordingHost host;
    ThreeSticks(ws);
    // No line was picked with the left button yet: the stretch is refused.
    LineScanMouseDown(ws, host, false, 150);
    EXPECT_FALSE(ws.Form34.StretchPicked);
    ASSERT_EQ(host.messages.size(), 1u);
    LineScanMouseMove(ws, 175);
    EXPECT_EQ(Pixel(ws, 2), 150);

    LineScanMouseDown(ws, host, true, 100);     // the anchor
    LineScanMouseUp(ws, true, 100);
    LineScanMouseDown(ws, host, false, 151);    // the stretched line
    EXPECT_TRUE(ws.Form34.StretchPicked);
    EXPECT_EQ(ws.Form34.Panel3, "X = 151");
    LineScanMouseMove(ws, 175);                 // distances from the anchor x 1.5
    EXPECT_EQ(Pixel(ws, 1), 100);
    EXPECT_EQ(Pixel(ws, 2), 175);
    EXPECT_EQ(Pixel(ws, 3), 280);
    LineScanMouseUp(ws, false, 125);            // x 1/3
    EXPECT_EQ(Pixel(ws, 1), 100);
    EXPECT_EQ(Pixel(ws, 2), 125);
    EXPECT_EQ(Pixel(ws, 3), 160);
    // Released on the anchor: every line joins it.
    LineScanMouseDown(ws, host, false, 125);
    LineScanMouseUp(ws, false, 100);
    EXPECT_EQ(Pixel(ws, 2), 100);
    EXPECT_EQ(Pixel(ws, 3), 100);
}

TEST(LineScanSticksTest, SnapFindsTheHighestPointInReachAndInsideTheMarks) {
    Workspace ws;
    RecordingHost host;
    SelectPattern(ws, {3.0, 2.0, 1.5, 1.2, 1.1});
    SetProfile(ws, 400, {107, 143, 205});
    ws.LineScanData[150] = 0;
    ws.StandardLinePixels[1] = 100.4;
    ws.StandardLinePixels[2] = 150;
    ws.StandardLinePixels[3] = 60;              // only 1s around it: the first of them
    ws.StandardLinePixels[4] = 199;             // 205 lies outside the marks
    ws.StandardLinePixels[5] = 300;             // outside the marks: stays
    ws.LineMark2 = 202;
    SnapStandardLines(ws);
    EXPECT_EQ(Pixel(ws, 1), 107);
    EXPECT_EQ(Pixel(ws, 2), 143);
    EXPECT_EQ(Pixel(ws, 3), 50);
    EXPECT_EQ(Pixel(ws, 4), 189);
    EXPECT_EQ(Pixel(ws, 5), 300);
    // A window of zeros leaves the stick where it is.
    std::fill(ws.LineScanData.begin(), ws.LineScanData.end(), 0.0);
    SnapStandardLines(ws);
    EXPECT_EQ(Pixel(ws, 1), 107);
    EXPECT_EQ(Pixel(ws, 3), 50);
}

TEST(LineScanSticksTest, TwoClickRangeMarksInEitherOrderAndLogsTheCentroid) {
    for (bool rightToLeft : {false, true}) {
        Workspace ws;
        RecordingHost host;
        SetProfile(ws, 300);
        ws.LineScanData[50] = 10;
        ws.LineScanData[51] = 30;
        LineScanKeyDown(ws, host, KeyA);
        LineScanMouseDown(ws, host, true, rightToLeft ? 53.2 : 47.6);
        LineScanMouseDown(ws, host, true, rightToLeft ? 47.6 : 53.2);
        EXPECT_DOUBLE_EQ(ws.LineMark1, 47.6);
        EXPECT_DOUBLE_EQ(ws.LineMark2, 53.2);
        // Pixels 48..53: four of 1, 10 at 50, 30 at 51.
        EXPECT_EQ(ws.LLog.Lines().back(), "peak center at = " + FormatNumber((48 + 49 + 52 + 53 + 500 + 1530) / 44.0));
        EXPECT_DOUBLE_EQ(ws.Form34.RChart1.ScaleY(1).RangeHigh(), 33);
        EXPECT_EQ(ws.Form34.RChart1.ItemCount(), 0) << "no marker while 'A' is held";
    }
    // Without 'A' a click off the sticks places a marker.
    Workspace ws;
    RecordingHost host;
    SetProfile(ws, 300);
    LineScanMouseDown(ws, host, true, 120.2);
    EXPECT_EQ(ws.LLog.Lines().back(), "Marked point at 120 pixels");
    EXPECT_EQ(ws.Form34.RChart1.Item(0).Kind, kItemMarker);
}

// Only lines drawn on this chart, strictly inside the marks, enter a
// calibration; a pattern drawn while the window was hidden has none.
TEST(LineScanSticksTest, CalibrationsTakeOnlyDrawnLinesInsideTheMarks) {
    Workspace ws;
    RecordingHost host;
    ThreeSticks(ws, {3.0, 2.0, 1.5, 1.2});
    EXPECT_EQ(LineScanCalibrationFit(ws, 1).Lines, 3);
    ws.LineMark1 = 100;                         // line 1 sits on the mark: out
    EXPECT_EQ(LineScanCalibrationFit(ws, 1).Lines, 2);
    ws.LineMark2 = 200;                         // one line left: no straight line
    const LineScanFit one = LineScanCalibrationFit(ws, 1);
    EXPECT_FALSE(one.Ok);
    EXPECT_FALSE(one.Reason.empty());
    EXPECT_FALSE(CalibrateFromStandard(ws, host, LineScanRequest::Distance));
    EXPECT_EQ(host.messages.back(), one.Reason);
    EXPECT_TRUE(host.confirmations.empty());

    ws.Form34.Visible = false;
    DrawStandardLines(ws, 1, 1, 0);
    for (int i = 1; i <= 4; ++i) EXPECT_TRUE(std::isnan(Pixel(ws, i))) << i;
    EXPECT_FALSE(WavelengthFromStandard(ws, host));
    EXPECT_TRUE(host.confirmations.empty());

    SelectMineralRow(ws, -1);
    EXPECT_FALSE(DetectorAngleFromStandard(ws, host));
    EXPECT_EQ(host.messages.back(), "Need to select a standard!");
}

// ---- Calibrations on the program's geometry -------------------------------------------

// A row through the centre of a flat detector, 400 pixels from the sample:
// the fit gives the distance in pixels and the centre; each request applies
// its own value and the centre.
TEST(LineScanCalibrationTest, DistanceSizeAndCentreFromARow) {
    Workspace ws;
    RecordingHost host;
    host.confirmAnswer = true;
    MappedFrame(ws, host, 1024, 64, 100.3, 32, 100, 256);   // D = 1024 x 100 / 256 = 400 pixels
    PlaceSticks(ws, true, 32, +1, std::vector<double>(std::begin(SiliconD), std::end(SiliconD)));

    const LineScanFit fit = LineScanCalibrationFit(ws, 1);
    ASSERT_TRUE(fit.Ok) << fit.Reason;
    EXPECT_EQ(fit.Lines, 6);
    EXPECT_NEAR(fit.Slope, 400, 0.02);
    EXPECT_NEAR(fit.Intercept, 100.3, 0.01);

    // The distance, with a wrong one in force.
    ws.Distance = 90;
    ws.Form32.EDistance = "90.000";
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Distance));
    EXPECT_EQ(host.confirmations.back(), "distance = 100.000 Xcenter = 100.3 1.000, Apply?");
    EXPECT_NEAR(ws.Distance, 100, 0.005);
    EXPECT_EQ(ws.Form32.EDistance, "100.000");
    EXPECT_DOUBLE_EQ(ws.DSize, 256);
    EXPECT_FALSE(ws.Form32.CBDistance);          // applied once, not imposed on later frames
    EXPECT_TRUE(Logged(ws, "distance = 100.000 Xcenter = 100.3"));

    // "No" keeps everything; the result stays in the logbook.
    host.confirmAnswer = false;
    ws.Distance = 90;
    ws.LLog.Clear();
    EXPECT_FALSE(CalibrateFromStandard(ws, host, LineScanRequest::Distance));
    EXPECT_EQ(ws.Distance, 90);
    EXPECT_TRUE(Logged(ws, "distance = 100.000"));
    host.confirmAnswer = true;
    ws.Distance = 100;

    // The size, with a wrong one in force; the distance stays.
    ws.DSize = 230;
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::DetectorSize));
    EXPECT_EQ(host.confirmations.back(), "detector size in X = 256.000 Xcenter = 100.3 1.000, Apply?");
    EXPECT_NEAR(ws.DSize, 256, 0.005);
    EXPECT_NEAR(ws.Distance, 100, 0.005);

    // The centre changes the centre only.
    ws.Xo = 95;
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Centre));
    EXPECT_EQ(host.confirmations.back(), " Xcenter = 100.3 1.000, Apply?");
    EXPECT_DOUBLE_EQ(ws.Xo, 100.3);
    EXPECT_EQ(ws.Form32.EXoM, "100.3");
    EXPECT_EQ(ws.Form27.EXoM, "100.3");
    EXPECT_NEAR(ws.DSize, 256, 0.005);
    EXPECT_NEAR(ws.Distance, 100, 0.005);
}

// A column of a frame narrower than FrameSize in that direction: the size
// is the side FrameSize pixels span, whatever the frame's height.
TEST(LineScanCalibrationTest, DetectorSizeAndCentreFromAColumn) {
    Workspace ws;
    RecordingHost host;
    host.confirmAnswer = true;
    MappedFrame(ws, host, 1024, 700, 500, 50.5, 100, 256);
    PlaceSticks(ws, false, 500, +1, std::vector<double>(std::begin(SiliconD), std::end(SiliconD)));
    ws.DSize = 200;
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::DetectorSize));
    EXPECT_EQ(host.confirmations.back(), "detector size in Y = 256.000 Ycenter = 50.5 1.000, Apply?");
    EXPECT_NEAR(ws.DSize, 256, 0.005);
    ws.Yo = 60;
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Centre));
    EXPECT_DOUBLE_EQ(ws.Yo, 50.5);
    EXPECT_EQ(ws.Form32.EYoM, "50.5");
}

// The detector swung by +8, -8, +25 and -25 degrees: the angle comes back
// with its sign from the lines on either side of the beam, and the distance
// with it.
TEST(LineScanCalibrationTest, DetectorAngleWithEitherSignOnEitherSide) {
    const std::vector<double> d(std::begin(SiliconD), std::end(SiliconD));
    struct Case {
        double Angle;
        int Side;
    };
    for (const Case c : {Case{8, -1}, Case{8, +1}, Case{-8, -1}, Case{-8, +1}, Case{25, -1}, Case{-25, +1}}) {
        SCOPED_TRACE("angle " + std::to_string(c.Angle) + " side " + std::to_string(c.Side));
        Workspace ws;
        RecordingHost host;
        host.confirmAnswer = true;
        MappedFrame(ws, host, 1024, 64, 600, 32, 100, 256, c.Angle);
        PlaceSticks(ws, true, 32, c.Side, d);
        for (size_t k = 1; k <= d.size(); ++k) ASSERT_FALSE(std::isnan(Pixel(ws, static_cast<int>(k)))) << k;

        const LineScanFit fit = DetectorAngleFit(ws, 1);
        ASSERT_TRUE(fit.Ok) << fit.Reason;
        const double angle = fit.Slope > 0 ? -fit.Intercept : fit.Intercept;
        EXPECT_NEAR(angle, c.Angle, 0.002);
        ws.Distance = 95;                       // the fit below does not lean on it
        const LineScanFit line = LineScanCalibrationFit(ws, 1);
        ASSERT_TRUE(line.Ok);
        EXPECT_NEAR(std::abs(line.Slope), 400, 0.05);
        EXPECT_NEAR(line.Intercept, 600, 0.02);
        ws.Distance = 100;

        ws.TwoThetaD = 0;
        ws.Form32.E2thetaD = "0.000";
        ASSERT_TRUE(DetectorAngleFromStandard(ws, host));
        EXPECT_NEAR(ws.TwoThetaD, c.Angle, 0.0006);
        EXPECT_EQ(host.confirmations.back(), " 2Theta detector = " + FormatNumber(c.Angle) + " 1.000, Apply?");
        EXPECT_FALSE(ws.Form32.CB2thetaD);
    }
}

// Along a column the angle is the tilt of a vertically mounted detector; on
// a detector swung horizontally it is only reported.
TEST(LineScanCalibrationTest, TiltOfAVerticalDetectorFromAColumn) {
    Workspace ws;
    RecordingHost host;
    host.confirmAnswer = true;
    ws.Form28.CBVertical = true;
    MappedFrame(ws, host, 64, 1024, 32, 600, 100, 256, -12);
    PlaceSticks(ws, false, 32, +1, std::vector<double>(std::begin(SiliconD), std::end(SiliconD)));
    ws.TwoThetaD = 0;
    ASSERT_TRUE(DetectorAngleFromStandard(ws, host));
    EXPECT_EQ(host.confirmations.back(), "Tilting around X axis = -12.000 1.000, Apply?");
    EXPECT_NEAR(ws.TwoThetaD, -12, 0.0006);

    ws.Form28.CBVertical = false;
    EXPECT_FALSE(DetectorAngleFromStandard(ws, host));
    EXPECT_EQ(host.confirmations.size(), 1u);
    EXPECT_EQ(ws.LLog.Lines().back().rfind("Tilting around X axis = ", 0), 0u);
}

// Rings rendered through the program's geometry, a row scanned, the sticks
// dropped near the rings and snapped: the wavelength and the distance come
// back.
TEST(LineScanCalibrationTest, WavelengthAndDistanceFromRenderedRings) {
    Workspace ws;
    RecordingHost host;
    host.confirmAnswer = true;
    MappedFrame(ws, host, 1024, 64, 100.3, 32, 100, 256);
    const std::vector<double> d(std::begin(SiliconD), std::end(SiliconD));
    for (int i = 1; i <= ws.FrameWidth; ++i)
        for (int j = 1; j <= ws.FrameHeight; ++j) {
            double v = 20;
            for (double dk : d) v += 1000 * std::exp(-std::pow((ws.FramePixels.TwoTheta[i][j] - TwoThetaOf(dk)) / 0.05, 2));
            ws.FramePixels.Intensity[i][j] = static_cast<int32_t>(std::lround(v));
        }
    ws.Form32.EYoM = "32";
    ASSERT_TRUE(LineScanCommand(ws, host, true, std::string("1")).Made);
    PlaceSticks(ws, true, 32, +1, d);
    ws.LineScanData.assign(ws.LineScanData.size(), 0.0);
    ASSERT_TRUE(XLineScan(ws, host, 32).Made);
    for (size_t k = 1; k <= d.size(); ++k) ws.StandardLinePixels[k] += (k % 2 ? 4 : -3);   // dropped by hand
    SnapStandardLines(ws);
    for (size_t k = 1; k <= d.size(); ++k)
        EXPECT_NEAR(Pixel(ws, static_cast<int>(k)), Crossing(ws, true, 32, TwoThetaOf(d[k - 1]), +1), 0.51) << k;

    ws.Landa = 0.72;   // a wrong wavelength in force
    ASSERT_TRUE(WavelengthFromStandard(ws, host));
    EXPECT_NEAR(ws.Landa, Landa, 0.003);
    EXPECT_EQ(host.confirmations.back(), "Wavelength = " + FormatWavelength(ws.Landa) + ", Apply?");

    ws.Landa = Landa;
    ws.Distance = 110;
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Distance));
    EXPECT_NEAR(ws.Distance, 100, 0.3);
}

// Frames rendered by pyFAI from a known geometry: the line scan through the
// centre, the sticks dropped a few pixels off their rings and snapped to
// them (to the fraction of a pixel), then every calibration with the other
// settings as rendered. Distance and size come back within 0.05 %, the
// centre within 0.2 pixel and the detector angle within 0.02 degree.
TEST(LineScanCalibrationTest, RenderedFramesComeBackToTheGeometryTheyWereMadeWith) {
    // pyFAI's calibrant lines (angstrom).
    const std::vector<double> silicon{3.13570166, 1.92021727, 1.63756679, 1.35779865, 1.24600149,
                                      1.10863796, 1.04523389, 0.96010863, 0.91803944, 0.85874727};
    const std::vector<double> lab6{4.156826,  2.93931985, 2.39994461, 2.078413,  1.8589891,
                                   1.69701711, 1.46965993, 1.38560867, 1.3145038, 1.2533302};
    struct Case {
        const char* Frame;
        bool AlongX;
        const std::vector<double>* D;
    };
    for (const Case& c : {Case{"line_flat_1024x11", true, &silicon}, Case{"line_htilt_1024x11", true, &silicon},
                          Case{"line_column_11x1024", false, &lab6}}) {
        SCOPED_TRACE(c.Frame);
        const RenderedFrame r = FindRenderedFrame(c.Frame);
        Workspace ws;
        RecordingHost host;
        host.confirmAnswer = true;
        ws.DisplayWidth = r.Width;   // the frame shown 1:1, not a narrow column blown up
        LoadRenderedFrame(ws, host, r);
        ws.Form32.EXoM = FormatNumber(r.Xo);
        ws.Form32.EYoM = FormatNumber(r.Yo);
        ws.Form32.EDistance = FormatNumber(r.Distance);
        ws.Form32.EDSize = FormatNumber(r.DSize);
        ws.Form32.E2thetaD = FormatNumber(r.TwoThetaD);
        ASSERT_TRUE(LineScanCommand(ws, host, c.AlongX, std::string("1")).Made);
        const std::vector<double> profile = ws.LineScanData;
        PlaceSticks(ws, c.AlongX, ws.LineScanIndex, +1, *c.D, r.Landa);
        ws.LineScanData = profile;
        int sticks = 0;
        for (size_t k = 1; k <= c.D->size(); ++k)
            if (!std::isnan(ws.StandardLinePixels[k])) {
                ws.StandardLinePixels[k] += k % 2 ? 3 : -2;   // dropped by hand
                ++sticks;
            }
        ASSERT_GE(sticks, 3);
        SnapStandardLines(ws);
        // Each stick on its ring's crossing of the line (mapped by the
        // geometry the frame was rendered with) to a small fraction of a pixel.
        for (size_t k = 1; k <= c.D->size(); ++k) {
            const double crossing = Crossing(ws, c.AlongX, ws.LineScanIndex, TwoThetaOf(c.D->at(k - 1), r.Landa), +1);
            if (!std::isnan(crossing)) {
                EXPECT_NEAR(ws.StandardLinePixels[k], crossing, 0.05) << k;
            }
        }

        const double along = c.AlongX ? r.Xo : r.Yo;
        const LineScanFit fit = LineScanCalibrationFit(ws, 1);
        ASSERT_TRUE(fit.Ok) << fit.Reason;
        EXPECT_NEAR(fit.Intercept, along, 0.2);
        EXPECT_NEAR(r.DSize * std::abs(fit.Slope) / std::max(r.Width, r.Height), r.Distance, 0.0005 * r.Distance);
        EXPECT_NEAR(std::max(r.Width, r.Height) * r.Distance / std::abs(fit.Slope), r.DSize, 0.0005 * r.DSize);

        // The requests: each applies its value and the centre along the profile.
        ws.Form32.EDistance = FormatNumber(r.Distance * 1.02);
        ws.Form32.CBDistance = true;
        (c.AlongX ? ws.Form32.EXoM : ws.Form32.EYoM) = FormatNumber(along + 4);
        (c.AlongX ? ws.Form32.CBXo : ws.Form32.CBYo) = true;
        ASSERT_TRUE(ApplyDetectorSettings(ws, host));
        ws.Form32.CBDistance = ws.Form32.CBXo = ws.Form32.CBYo = false;
        ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Distance));
        EXPECT_NEAR(ws.Distance, r.Distance, 0.0005 * r.Distance);
        EXPECT_NEAR(c.AlongX ? ws.Xo : ws.Yo, along, 0.2);
        EXPECT_EQ(c.AlongX ? ws.Form27.EXoM : ws.Form27.EYoM, c.AlongX ? ws.Form32.EXoM : ws.Form32.EYoM);
        EXPECT_EQ(ws.FramePixels.Geometry()->Key.Distance, ws.Distance);   // the geometry follows

        ws.DSize = r.DSize * 0.97;
        (c.AlongX ? ws.Xo : ws.Yo) = along - 3;
        ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::DetectorSize));
        EXPECT_NEAR(ws.DSize, r.DSize, 0.0005 * r.DSize);
        EXPECT_NEAR(c.AlongX ? ws.Xo : ws.Yo, along, 0.2);
        EXPECT_FALSE(ws.Form32.CBDSize || ws.Form32.CBXo || ws.Form32.CBYo);   // not imposed on later frames

        if (r.TwoThetaD != 0) {
            ws.Form32.E2thetaD = FormatNumber(r.TwoThetaD + 0.5);
            ws.TwoThetaD = r.TwoThetaD + 0.5;
            ASSERT_TRUE(DetectorAngleFromStandard(ws, host));
            EXPECT_NEAR(ws.TwoThetaD, r.TwoThetaD, 0.02);
        }
        (c.AlongX ? ws.Xo : ws.Yo) = along + 2;
        ComputeFrameGeometry(ws, host, ws.Xo, ws.Yo);
        // The centre; it lays the sticks afresh.
        ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Centre));
        EXPECT_NEAR(c.AlongX ? ws.Xo : ws.Yo, along, 0.2);

    }
}

// A cylindrical detector across its axis: the pixels run linearly in
// 2-theta, so the fit gives pixels per degree and the length or radius.
TEST(LineScanCalibrationTest, CylinderLengthAndRadiusFromARow) {
    Workspace ws;
    RecordingHost host;
    host.confirmAnswer = true;
    SetUpFlatFrame(ws, 1200, 64, 300.5, 32, 100, 256);
    ws.CurrentFile = "/data/si.tif";
    ws.Landa = Landa;
    ws.Form32.SelectShape(2);
    ws.Form32.ELength = "300.0";
    ws.Form32.ERadius = "150.0";
    ws.FlatDetector = 0;
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    PlaceSticks(ws, true, 32, +1, std::vector<double>(std::begin(SiliconD), std::end(SiliconD)));
    ws.Form32.ELength = "280.0";
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::DetectorSize));
    EXPECT_NEAR(ParseNumber(ws.Form32.ELength), 300, 0.002);
    ws.Form32.ERadius = "170.0";
    ASSERT_TRUE(CalibrateFromStandard(ws, host, LineScanRequest::Distance));
    EXPECT_NEAR(ParseNumber(ws.Form32.ERadius), 150, 0.002);
    EXPECT_EQ(host.confirmations.back().rfind("Radius of Camera = ", 0), 0u);
}

// ---- The ".pxs" file ------------------------------------------------------------------

TEST(LineScanFileTest, ProfileLinesAndName) {
    Workspace ws;
    RecordingHost host;
    ws.CurrentFile = "/data/run/f1.tif";
    ws.FrameWidth = 3;
    ws.FrameHeight = 12;
    ws.LineScanIndex = 7;
    ws.LineScanData = {0, 5.4, 1234.5, -2.5};
    ws.LineScanAlongX = 1;
    EXPECT_EQ(LineScanFileLines(ws), (std::vector<std::string>{"/data/run/f1.tif", "Intensity profile at Y = 7",
                                                               "1           5", "2        1234", "3          -2"}));
    ws.LineScanAlongX = 0;
    ws.LineScanAlongY = 1;
    EXPECT_EQ(LineScanFileLines(ws)[1], "Intensity profile at X = 7");

    TempDir dir;
    host.saveFileAnswer = dir.file("profile");
    SaveLineScan(ws, host);
    EXPECT_EQ(ReadWholeFile(dir.file("profile.pxs")),
              "/data/run/f1.tif\r\nIntensity profile at X = 7\r\n1           5\r\n2        1234\r\n3          -2\r\n");
}
