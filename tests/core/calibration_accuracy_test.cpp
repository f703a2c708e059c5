// How exactly the geometry fit recovers the geometry of frames rendered by
// pyFAI (tools/render_calibration_frames.py; tests/data/calibration): a flat
// detector, one swung by 25 degrees and one with its centre near a corner,
// each without noise and with counting noise. Every fit starts 3 per cent off
// in distance, 5 pixels off in both centre coordinates and 0.3 degree off in
// angle, and runs as FITTOSTD runs it (Xo, Yo, angle and distance varied,
// "Auto" peak width and background, "AA", two rounds of Start and Apply).
// Then where the ring points lie, what is no ring point, and the refusal of
// a standard that does not match the frame.

#include <gtest/gtest.h>

#include <random>

#include "calibration_test_support.h"
#include "formats/reader.h"
#include "geometry_test_support.h"
#include "scans/calibration_fit.h"
#include "test_support.h"
#include "workspace/script.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"

using namespace orv;
using namespace orv::test;

namespace {

struct Truth {
    double Distance, Xo, Yo, TwoThetaD;
};

// Loads tests/data/calibration/NAME.orv as File > Open would; the geometry
// its header holds is the one it was rendered with.
Truth LoadCalibrationFrame(Workspace& ws, Host& host, const std::string& name) {
    ChainResult r = RunReaderChain(ws, host, ReaderChain::Load, DataFile("calibration/" + name + ".orv"));
    if (!r.Read) throw std::runtime_error("cannot read " + name + ": " + r.Error);
    InstallFrame(ws, std::move(r.Frame));
    ws.LastFileIndex = 0;
    ws.FileList = {name + ".orv"};
    ws.CurrentFile = name + ".orv";
    return {ws.Distance, ws.Xo, ws.Yo, ws.TwoThetaD};
}

// The geometry in force moved off by the start offsets, the scan made, the
// pattern selected and the boxes ticked as FITTOSTD 1 1 1 1 0 0 0 1 1 ticks them.
void StartOff(Workspace& ws, Host& host, const std::string& formula) {
    ws.Distance *= 1.03;
    ws.Xo += 5;
    ws.Yo -= 5;
    ws.TwoThetaD += 0.3;
    if (!ComputeFrameGeometry(ws, host)) throw std::runtime_error("geometry refused");
    N2ThetaScan1Click(ws, host);
    LoadShippedPatterns(ws);
    SelectPattern(ws, formula);
    if (!OpenFitTool(ws, host)) throw std::runtime_error("no fit tool");
    TForm41Fit& f = ws.Form41Fit;
    f.CBXo = f.CBYo = f.CB2theta = f.CBdistance = f.CBPK = f.cbbck = true;
}

struct Errors {
    double Distance, Xo, Yo, Angle;   // per cent, pixels, pixels, degrees
};
Errors ErrorsOf(const Workspace& ws, const Truth& t) {
    return {(ws.Distance / t.Distance - 1) * 100, ws.Xo - t.Xo, ws.Yo - t.Yo, ws.TwoThetaD - t.TwoThetaD};
}

struct Frame {
    const char* Name;
    const char* Standard;
};
const Frame Frames[] = {
    {"flat_si", "Si"},       {"tilt25_lab6", "LaB6"},       {"offcentre_ceo2", "CeO2"},
    {"flat_si_noise", "Si"}, {"tilt25_lab6_noise", "LaB6"}, {"offcentre_ceo2_noise", "CeO2"},
};
bool Noisy(const Frame& f) { return std::string(f.Name).ends_with("_noise"); }

} // namespace

// Within 0.005 per cent in distance, 0.05 pixel in the centre and 0.005
// degree in angle without noise, twice that with counting noise.
TEST(CalibrationAccuracyTest, RecoversTheGeometryOfFramesRenderedByPyFAI) {
    for (const Frame& frame : Frames) {
        SCOPED_TRACE(frame.Name);
        Workspace ws;
        RecordingHost host;
        const Truth truth = LoadCalibrationFrame(ws, host, frame.Name);
        StartOff(ws, host, frame.Standard);
        ASSERT_TRUE(FitToStandardSteps(ws, host, true, 2)) << (host.messages.empty() ? "" : host.messages[0]);
        const Errors e = ErrorsOf(ws, truth);
        const double k = Noisy(frame) ? 2 : 1;
        EXPECT_LT(std::abs(e.Distance), 0.005 * k);
        EXPECT_LT(std::abs(e.Xo), 0.05 * k);
        EXPECT_LT(std::abs(e.Yo), 0.05 * k);
        EXPECT_LT(std::abs(e.Angle), 0.005 * k);
        EXPECT_TRUE(host.messages.empty());
    }
}

// Round after round on a noisy frame with its centre near a corner, the fit
// stays on the rings instead of drifting off with points of noise.
TEST(CalibrationAccuracyTest, RepeatedRoundsStayOnTheRings) {
    Workspace ws;
    RecordingHost host;
    const Truth truth = LoadCalibrationFrame(ws, host, "offcentre_ceo2_noise");
    StartOff(ws, host, "CeO2");
    ASSERT_TRUE(FitToStandardSteps(ws, host, true, 6));
    const Errors e = ErrorsOf(ws, truth);
    EXPECT_LT(std::abs(e.Distance), 0.01);
    EXPECT_LT(std::hypot(e.Xo, e.Yo), 0.1);
    EXPECT_LT(std::abs(e.Angle), 0.01);
}

// Each point lies on its ring's crest in the geometry the frame was rendered
// with, not inside it (the centroid of a 5-degree arc lies inside by
// 1 - sin(2.5 deg) / 2.5 deg, some 0.003 degree at these radii), wherever the
// geometry in force puts the rings.
TEST(CalibrationAccuracyTest, RingPointsLieOnTheCrest) {
    for (const Frame& frame : Frames) {
        if (Noisy(frame)) continue;
        for (const bool off : {false, true}) {
            SCOPED_TRACE(std::string(frame.Name) + (off ? ", geometry in force off" : ""));
            Workspace ws;
            RecordingHost host;
            LoadCalibrationFrame(ws, host, frame.Name);
            ASSERT_TRUE(ComputeFrameGeometry(ws, host));
            const DetectorMapping truth = MakeDetectorMapping(ws.FramePixels.Geometry()->Key);
            if (off) StartOff(ws, host, frame.Standard);
            else {
                N2ThetaScan1Click(ws, host);
                LoadShippedPatterns(ws);
                SelectPattern(ws, frame.Standard);
                ASSERT_TRUE(OpenFitTool(ws, host));
                ws.Form41Fit.CBdistance = true;
            }
            const CalibrationStart start = PrepareCalibration(ws, host);
            ASSERT_TRUE(start.Setup);
            double sum = 0, worst = 0;
            int32_t n = 0;
            for (const CalibrationRing& ring : start.Setup->Rings)
                for (const RingPoint& p : ring.Points) {
                    const double t = MappedTwoTheta(truth, MapFramePoint(truth, p.X, p.Y));
                    // A point may have caught the neighbouring ring: it counts for that one.
                    double line = ring.TwoTheta;
                    for (const CalibrationRing& r : start.Setup->Rings)
                        if (std::abs(t - r.TwoTheta) < std::abs(t - line)) line = r.TwoTheta;
                    sum += t - line;
                    worst = std::max(worst, std::abs(t - line));
                    ++n;
                }
            ASSERT_GT(n, 50);
            EXPECT_LT(std::abs(sum / n), off ? 1e-3 : 1e-4);   // no bias inwards
            EXPECT_LT(worst, off ? 0.03 : 0.005);               // a tenth of the rings' width at most
        }
    }
}

// A lone hot pixel is never a point, nor is noise on a background that lies
// below the background box; where no ring stands out, there is no point.
TEST(CalibrationAccuracyTest, NoiseAndHotPixelsAreNoRingPoints) {
    Workspace ws;
    RecordingHost host;
    const Truth truth = LoadCalibrationFrame(ws, host, "offcentre_ceo2_noise");
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    const DetectorMapping mapping = MakeDetectorMapping(ws.FramePixels.Geometry()->Key);
    // Hot pixels everywhere, and a box above the real background (20 to 40 counts).
    std::mt19937 random(5);
    std::vector<std::pair<int32_t, int32_t>> hot;
    for (int k = 0; k < 60; ++k) {
        const int32_t i = 1 + static_cast<int32_t>(random() % 400), j = 1 + static_cast<int32_t>(random() % 320);
        ws.FramePixels.Intensity[i][j] = 5000;
        hot.emplace_back(i, j);
    }
    StartOff(ws, host, "CeO2");
    TForm41Fit& f = ws.Form41Fit;
    f.cbbck = false;
    f.EBackground = "60";
    CalibrationStart start = PrepareCalibration(ws, host);
    ASSERT_TRUE(start.Setup);
    EXPECT_GT(start.Setup->PointCount(), 40);
    // Every point on a ring (a point of noise or of a hot pixel would lie
    // anywhere in the window, up to a degree off).
    for (const CalibrationRing& ring : start.Setup->Rings)
        for (const RingPoint& p : ring.Points) {
            const double t = MappedTwoTheta(mapping, MapFramePoint(mapping, p.X, p.Y));
            double off = 1e9;
            for (const CalibrationRing& r : start.Setup->Rings) off = std::min(off, std::abs(t - r.TwoTheta));
            EXPECT_LT(off, 0.05) << p.X << ", " << p.Y;
        }
    // And the fit is as exact as without them.
    ASSERT_TRUE(FitToStandardSteps(ws, host, true, 2));
    const Errors e = ErrorsOf(ws, truth);
    EXPECT_LT(std::abs(e.Distance), 0.01);
    EXPECT_LT(std::hypot(e.Xo, e.Yo), 0.1);
    EXPECT_LT(std::abs(e.Angle), 0.01);

    // The same pixels without rings: Poisson noise about 30 counts, the hot
    // pixels and a box of 0 give no point at all.
    std::poisson_distribution<int32_t> counts(30);
    for (int32_t i = 1; i <= 400; ++i)
        for (int32_t j = 1; j <= 320; ++j) ws.FramePixels.Intensity[i][j] = counts(random);
    for (const auto& [i, j] : hot) ws.FramePixels.Intensity[i][j] = 5000;
    f.cbbck = false;
    f.EBackground = "0";
    start = PrepareCalibration(ws, host);
    EXPECT_TRUE(start.Refused);
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().rfind("No ring points to fit", 0), 0u) << host.messages.back();
}

// Gold fitted to ceria frames (noise-free, with counting noise, and one that
// pyFAI rendered) shows none of its strongest ring; fitted to LaB6 its points
// stay off its lines. The fit says why it failed, Apply asks before it
// applies, and FITTOSTD applies nothing and stops the script as failed.
TEST(CalibrationAccuracyTest, AStandardThatDoesNotMatchTheFrameIsRefused) {
    for (const char* name : {"offcentre_ceo2", "offcentre_ceo2_noise", "flat256x384_htilt-18", "tilt25_lab6_noise"}) {
        SCOPED_TRACE(name);
        Workspace ws;
        RecordingHost host;
        if (std::string(name).starts_with("flat")) {
            LoadReferenceFrame(ws, ReferenceFrames()[1]);
            ws.Landa = 0.7093;
        } else {
            LoadCalibrationFrame(ws, host, name);
        }
        StartOff(ws, host, "Au");
        host.confirmAnswer = false;
        const GeometryKey before = ws.FramePixels.Geometry()->Key;
        EXPECT_FALSE(StartCalibration(ws, host));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].rfind("The standard does not match the frame: ", 0), 0u) << host.messages[0];
        EXPECT_FALSE(ApplyCalibration(ws, host));   // answered No
        ASSERT_EQ(host.confirmations.size(), 1u);
        EXPECT_NE(host.confirmations[0].find(host.messages[0]), std::string::npos);
        EXPECT_EQ(ws.FramePixels.Geometry()->Key, before);

        // FITTOSTD, by formula: nothing applied, the script stopped.
        TempDir dir;
        ws.Hooks.SelectStandard = [](Workspace& w, Host&, const std::string& n) { return SelectStandardByName(w, n); };
        WriteTextLines(dir.file("fit.txt"), {"FITTOSTD Au       1 1 1 1 0 0 0 1 1 2 1", "SAVESETF " + dir.file("x.set")});
        EXPECT_EQ(RunScriptFile(ws, host, dir.file("fit.txt")), ScriptEnd::Failed);
        EXPECT_EQ(ws.ScriptFailed, 1);
        EXPECT_FALSE(FileExists(dir.file("x.set")));
        EXPECT_EQ(ws.FramePixels.Geometry()->Key, before);

        // Told to, Apply applies it.
        host.confirmAnswer = true;
        EXPECT_TRUE(ApplyCalibration(ws, host));
        EXPECT_NE(ws.Distance, before.Distance);
    }
}
