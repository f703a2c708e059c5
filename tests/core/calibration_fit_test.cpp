// The detector-geometry calibration. Powder frames drawn through the
// program's own geometry (rings from d-spacings of outside calibrant files)
// and frames drawn by pyFAI are fitted from a start 3 per cent off in
// distance and 5 pixels off in centre; the fit uses the shipped patterns and
// must find the geometry each frame was drawn with. Then the search's own
// rules, the tool's boxes, Apply and the failures.

#include <gtest/gtest.h>

#include "base/parallel.h"
#include "calibration_test_support.h"
#include "geometry_test_support.h"
#include "scans/calibration_fit.h"
#include "scans/standard_overlay.h"
#include "test_support.h"
#include "workspace/script.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"

using namespace orv;
using namespace orv::test;

namespace {

const std::vector<double> LaB6Heights = {60, 100, 40, 25, 55, 30, 15, 10, 20, 10};
const std::vector<double> CeO2Heights = {100, 30, 50, 45, 8, 10, 15, 10, 15, 12};

PowderGeometry Flat(double angle, double xo, double yo) {
    PowderGeometry g;
    g.TwoThetaD = angle;
    g.Xo = xo;
    g.Yo = yo;
    return g;
}

PowderGeometry Cylinder() {
    PowderGeometry g;
    g.Kind = PowderGeometry::Cylinder;
    g.Width = 600;
    g.Height = 240;
    g.Xo = 300;
    g.Yo = 120;
    g.Length = 60;    // 0.1 mm a column
    g.Radius = 50;    // 500 columns
    return g;
}

PowderGeometry Sphere() {
    PowderGeometry g;
    g.Kind = PowderGeometry::Sphere;
    g.Length = 51.2;
    g.Radius = 60;
    g.Distance = 60;
    return g;
}

// The frame drawn with `truth`, the geometry in force moved off it, the
// scan made and the pattern selected.
void MisplacedFrame(Workspace& ws, Host& host, const PowderGeometry& truth, const char* calibrant,
                    const char* pattern) {
    const bool lab6 = std::string(calibrant) == "LaB6";
    DrawPowderFrame(ws, host, truth, CalibrantSpacings(calibrant), lab6 ? LaB6Heights : CeO2Heights);
    SetPowderGeometry(ws, Misplaced(truth, 1.03, 5, -5));
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    N2ThetaScan1Click(ws, host);
    LoadShippedPatterns(ws);
    SelectPattern(ws, pattern);
}

// The distance in force: the cylinder's radius box, else Distance.
double FittedDistance(const Workspace& ws, const PowderGeometry& g) {
    return g.Kind == PowderGeometry::Cylinder ? ParseNumber(ws.Form32.ERadius) : ws.Distance;
}

} // namespace

TEST(CalibrationFitTest, RecoversTheGeometryOfEveryDetectorShape) {
    struct Case {
        const char* Name;
        PowderGeometry Truth;
        const char* Calibrant;
        const char* Pattern;
        bool VaryAngle;
    };
    const Case cases[] = {
        {"flat", Flat(0, 256, 256), "LaB6", "LaB6", false},
        {"flat, centre between pixels", Flat(0, 240.5, 270.25), "CeO2", "CeO2", false},
        {"tilted +25, angle fitted", Flat(25, -24, 256), "LaB6", "LaB6", true},
        {"tilted -25", Flat(-25, 536, 250), "CeO2", "CeO2", false},
        {"cylinder", Cylinder(), "LaB6", "LaB6", false},
        {"sphere", Sphere(), "CeO2", "CeO2", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Workspace ws;
        RecordingHost host;
        MisplacedFrame(ws, host, c.Truth, c.Calibrant, c.Pattern);
        TForm41Fit& f = ws.Form41Fit;
        f.CBXo = f.CBYo = f.CBdistance = f.CBPK = f.cbbck = true;
        f.CB2theta = c.VaryAngle;
        // As FITTOSTD runs it: "AA", "Fit", then two rounds of Start and Apply.
        ASSERT_TRUE(FitToStandardSteps(ws, host, true, 2)) << (host.messages.empty() ? "" : host.messages[0]);
        const double want = c.Truth.Kind == PowderGeometry::Cylinder ? c.Truth.Radius : c.Truth.Distance;
        EXPECT_NEAR(FittedDistance(ws, c.Truth) / want, 1, 0.001);
        EXPECT_NEAR(ws.Xo, c.Truth.Xo, 0.5);
        EXPECT_NEAR(ws.Yo, c.Truth.Yo, 0.5);
        EXPECT_NEAR(ws.TwoThetaD, c.Truth.TwoThetaD, 0.02);
        EXPECT_TRUE(host.messages.empty());
        // The boxes that Apply filled are what the geometry now uses.
        EXPECT_EQ(ws.Form32.EXoM, FormatNumber(ws.Xo));
        EXPECT_EQ(ws.StandardShift, 0);
        EXPECT_EQ(ws.StandardScale, 1);
    }
}

// A far detector (2000 pixels): 3 per cent is 60 pixels, more than the five
// passes reach together (47 pixels) with four parameters varied; one Start
// gets the distance all the same. Rings that span few degrees hardly tell the
// foot of the perpendicular (Xo) from the tilt when the beam stays on the
// same pixel, so what must come out is where the beam meets the detector.
TEST(CalibrationFitTest, OneStartReachesAFarTiltedDetector) {
    PowderGeometry far = Flat(10, 300, 500);
    far.Width = far.Height = 1024;
    far.DSize = 102.4;
    far.Distance = 200;
    Workspace ws;
    RecordingHost host;
    MisplacedFrame(ws, host, far, "LaB6", "LaB6");
    TForm41Fit& f = ws.Form41Fit;
    f.CBXo = f.CBYo = f.CB2theta = f.CBdistance = f.CBPK = f.cbbck = true;
    ASSERT_TRUE(FitToStandardSteps(ws, host, false, 1));
    EXPECT_NEAR(ws.Distance / far.Distance, 1, 0.001);
    EXPECT_NEAR(ws.Yo, far.Yo, 0.5);
    auto beamColumn = [](double xo, double distance, double angle) {
        return xo + distance * 10 * std::tan(angle * std::numbers::pi / 180);   // 10 pixels a millimetre
    };
    EXPECT_NEAR(beamColumn(ws.Xo, ws.Distance, ws.TwoThetaD), beamColumn(far.Xo, far.Distance, far.TwoThetaD), 0.5);
    EXPECT_NEAR(ws.TwoThetaD, far.TwoThetaD, 0.05);
}

// Frames drawn by pyFAI from its own geometry (tests/data/geometry): a flat
// detector with its centre off the middle and silicon, a horizontal tilt of
// -18 degrees and ceria, a vertical tilt of 12 degrees and LaB6 (Cu K-alpha).
TEST(CalibrationFitTest, RecoversTheGeometryOfFramesDrawnByAnotherProgram) {
    const char* patterns[] = {"Si", "CeO2", "LaB6"};
    for (size_t n = 0; n < ReferenceFrames().size(); ++n) {
        const ReferenceFrame& rf = ReferenceFrames()[n];
        SCOPED_TRACE(rf.Name);
        Workspace ws;
        RecordingHost host;
        LoadReferenceFrame(ws, rf);
        ws.Landa = rf.Vertical ? 1.5406 : 0.7093;
        ws.Xo = rf.Xo + 5;
        ws.Yo = rf.Yo - 5;
        ws.Distance = rf.Distance * 1.03;
        ASSERT_TRUE(ComputeFrameGeometry(ws, host));
        N2ThetaScan1Click(ws, host);
        LoadShippedPatterns(ws);
        SelectPattern(ws, patterns[n]);
        TForm41Fit& f = ws.Form41Fit;
        f.CBXo = f.CBYo = f.CBdistance = f.CBPK = f.cbbck = true;
        ASSERT_TRUE(FitToStandardSteps(ws, host, false, 2));
        EXPECT_NEAR(ws.Distance / rf.Distance, 1, 0.001);
        EXPECT_NEAR(ws.Xo, rf.Xo, 0.5);
        EXPECT_NEAR(ws.Yo, rf.Yo, 0.5);
        EXPECT_DOUBLE_EQ(ws.TwoThetaD, rf.TwoThetaD);
    }
}

TEST(CalibrationFitTest, SameResultForAnyThreadCountAndOnTheWorker) {
    Workspace ws;
    RecordingHost host;
    MisplacedFrame(ws, host, Flat(25, -24, 256), "LaB6", "LaB6");
    OpenFitTool(ws, host);
    TForm41Fit& f = ws.Form41Fit;
    f.CBXo = f.CBYo = f.CB2theta = f.CBdistance = true;
    std::vector<CalibrationSetup> setups;
    std::vector<CalibrationResult> results;
    for (unsigned threads : {1u, 3u, 8u}) {
        ScopedParallelThreadLimit limit(threads);
        setups.push_back(*PrepareCalibration(ws, host).Setup);
        results.push_back(FitDetectorGeometry(setups.back()));
    }
    for (size_t k = 1; k < setups.size(); ++k) {
        ASSERT_EQ(setups[k].Rings.size(), setups[0].Rings.size());
        for (size_t r = 0; r < setups[0].Rings.size(); ++r) {
            const auto& a = setups[0].Rings[r].Points;
            const auto& b = setups[k].Rings[r].Points;
            ASSERT_EQ(a.size(), b.size());
            for (size_t p = 0; p < a.size(); ++p) {
                EXPECT_EQ(a[p].X, b[p].X);
                EXPECT_EQ(a[p].Y, b[p].Y);
            }
        }
        EXPECT_EQ(results[k].Residual, results[0].Residual);
        EXPECT_EQ(results[k].Best.Xo, results[0].Best.Xo);
        EXPECT_EQ(results[k].Best.Yo, results[0].Best.Yo);
        EXPECT_EQ(results[k].Best.Angle, results[0].Best.Angle);
        EXPECT_EQ(results[k].Best.Distance, results[0].Best.Distance);
    }
    EXPECT_TRUE(results[0].Completed);

    // The worker gives the same answer, or stops when told.
    TFitThread worker(setups[0]);
    while (!worker.Finished()) std::this_thread::yield();
    EXPECT_EQ(worker.Result().Residual, results[0].Residual);
    EXPECT_EQ(worker.Result().Best.Distance, results[0].Best.Distance);
    EXPECT_EQ(worker.Progress(), 100);
    CalibrationSetup large = setups[0];
    large.HalfRange = {10, 10, 10, 0, 10, 10};   // 21^5 trials a pass
    TFitThread stopped(large);
    stopped.Stop();
    while (!stopped.Finished()) std::this_thread::yield();
    EXPECT_FALSE(stopped.Result().Completed);
    EXPECT_TRUE(stopped.Error().empty());
}

// Which boxes vary with which, and the grid they make.
TEST(CalibrationFitTest, VaryBoxesAndTheirGrid) {
    // Half-ranges: 10 a box; a sum above 20, 30, 40 divides by 1.5 each time.
    EXPECT_EQ(CalibrationHalfRanges(false, false, true, true, false), (FitHalfRanges{0, 0, 10, 0, 10, 0}));
    EXPECT_EQ(CalibrationHalfRanges(false, false, true, true, true), (FitHalfRanges{0, 0, 7, 0, 7, 7}));
    EXPECT_EQ(CalibrationHalfRanges(true, true, false, true, true), (FitHalfRanges{5, 5, 0, 0, 5, 5}));
    EXPECT_EQ(CalibrationHalfRanges(true, true, true, true, true), (FitHalfRanges{3, 3, 3, 0, 3, 3}));

    // Ticking every box in any order leaves one of the combinations that fit.
    const std::vector<FitBox> boxes = {FitBox::Xo, FitBox::Yo, FitBox::Angle, FitBox::Distance,
                                       FitBox::DSize, FitBox::XOffset, FitBox::YOffset};
    std::vector<size_t> order(boxes.size());
    std::iota(order.begin(), order.end(), size_t{0});
    do {
        TForm41Fit f;
        bool* member[] = {&f.CBXo, &f.CBYo, &f.CB2theta, &f.CBdistance, &f.CBDSize, &f.CBXOffset, &f.CBYoffset};
        for (size_t k : order) {
            *member[k] = true;
            TickFitBox(f, boxes[k]);
        }
        EXPECT_FALSE(f.CBdistance && f.CBDSize);
        EXPECT_FALSE((f.CBXOffset || f.CBYoffset) && (f.CBXo || f.CBYo || f.CBdistance));
        EXPECT_TRUE(f.CB2theta);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(CalibrationFitTest, RingsOfThePatternInsideTheSector) {
    MineralRecord p;
    p.LineCount = 6;
    // 2-theta at 1 A: 10.00, 10.30 (within the peak width: weaker, dropped),
    // 20.00, 20.20 (stronger: replaces it), 25.0 (intensity 3: no ring),
    // 40.0 (outside the sector).
    auto d = [](double t) { return 1.0 / (2 * std::sin(t / 2 * std::numbers::pi / 180)); };
    p.Line[0] = {"1", d(10), 50};
    p.Line[1] = {"2", d(10.3), 40};
    p.Line[2] = {"3", d(20), 30};
    p.Line[3] = {"4", d(20.2), 60};
    p.Line[4] = {"5", d(25), 3};
    p.Line[5] = {"6", d(40), 100};
    const auto rings = CalibrationRings(p, 1.0, 1.0, 0.1, 5, 30, 0.5, 2000);
    ASSERT_EQ(rings.size(), 2u);
    EXPECT_NEAR(rings[0].TwoTheta, 10, 1e-9);
    EXPECT_NEAR(rings[0].Placed, 10.1, 1e-9);   // the overlay's shift
    EXPECT_NEAR(rings[1].TwoTheta, 20.2, 1e-9);
    EXPECT_DOUBLE_EQ(rings[1].Strength, 1200);
}

// "Fit" fills the tool from the geometry in force; Apply hands it back.
TEST(CalibrationFitTest, FitToolAndApply) {
    Workspace ws;
    RecordingHost host;
    EXPECT_FALSE(OpenFitTool(ws, host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Need to select a standard!"});
    MisplacedFrame(ws, host, Flat(0, 256, 256), "LaB6", "LaB6");
    ws.Form32.Eth2offset = "2.000";
    ws.TwoThetaD = 20;   // 18 typed, 2 of offset
    ASSERT_TRUE(OpenFitTool(ws, host));
    TForm41Fit& f = ws.Form41Fit;
    EXPECT_EQ(f.E2theta, "20.000");
    EXPECT_EQ(f.EDistancemm, "61.800");
    EXPECT_EQ(f.Label3, "Distance(mm)");
    EXPECT_EQ(f.Label6, "Dectector Size(mm)");
    f.EXo = "256.125";
    f.E2theta = "20.500";
    ws.StandardShift = 0.3;
    ASSERT_TRUE(ApplyCalibration(ws, host));
    // The angle is stored without the offset, which Apply adds once.
    EXPECT_EQ(ws.Form32.E2thetaD, "18.500");
    EXPECT_DOUBLE_EQ(ws.TwoThetaD, 20.5);
    EXPECT_DOUBLE_EQ(ws.Xo, 256.125);
    EXPECT_EQ(ws.StandardShift, 0);
    EXPECT_FALSE(ws.Form32.CBXo);           // cleared again after Apply
    EXPECT_TRUE(ws.Form32.CB2thetaD);

    // A cylinder: radius and length, the sample offset in force.
    ws.Form32.RFlat = false;
    ws.Form32.RCylindrical = true;
    ws.Form32.CBSampleOffset = true;
    ws.Form32.ESampleX = "0.250";
    ASSERT_TRUE(OpenFitTool(ws, host));
    EXPECT_EQ(f.Label3, "Radius(mm)");
    EXPECT_EQ(f.EDistancemm, ws.Form32.ERadius);
    EXPECT_EQ(f.EXoffset, "0.250");
    f.EDSizemm = "51.200";
    f.EDistancemm = "61.500";
    ASSERT_TRUE(ApplyCalibration(ws, host));
    EXPECT_EQ(ws.Form32.ERadius, "61.500");
    EXPECT_EQ(ws.Form32.ELength, "51.200");
    EXPECT_EQ(ws.Form32.EHeight, "51.200");   // a square frame
    EXPECT_TRUE(ws.Form32.CBSampleOffset);

    // A box that is not a number changes nothing.
    f.E2theta = "x";
    ws.Form32.RCylindrical = false;
    ws.Form32.RFlat = true;
    const std::string before = ws.Form32.EDistance;
    f.EDistancemm = "70";
    EXPECT_THROW(ApplyCalibration(ws, host), ConversionError);
    EXPECT_EQ(ws.Form32.EDistance, before);
}

// A fit with nothing to fit stops with a message, and FITTOSTD then stops
// the script as failed.
TEST(CalibrationFitTest, NoRingPointsStopsTheFitAndTheScript) {
    Workspace ws;
    RecordingHost host;
    MisplacedFrame(ws, host, Flat(0, 256, 256), "LaB6", "LaB6");
    OpenFitTool(ws, host);
    TForm41Fit& f = ws.Form41Fit;
    f.CBdistance = true;
    f.EBackground = "1000000";
    const std::string distance = f.EDistancemm;
    EXPECT_FALSE(StartCalibration(ws, host));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("No ring points to fit"), std::string::npos);
    EXPECT_EQ(f.EDistancemm, distance);
    // Nothing ticked: only the "Auto" boxes run, and that is no failure.
    f.CBdistance = false;
    EXPECT_TRUE(StartCalibration(ws, host));

    TempDir dir;
    ws.Hooks.SelectStandard = [](Workspace& w, Host&, const std::string& name) { return SelectStandardByName(w, name); };
    WriteTextLines(dir.file("fit.txt"), {"FITTOSTD LaB6     0 0 0 1 0 0 0 0 0 1 0", "SAVESETF " + dir.file("x.set")});
    EXPECT_EQ(RunScriptFile(ws, host, dir.file("fit.txt")), ScriptEnd::Failed);
    EXPECT_EQ(ws.ScriptFailed, 1);
    EXPECT_FALSE(FileExists(dir.file("x.set")));
}

// The fit moves the distance or the size; the logbook gives both as Apply
// then puts them in force, not the equivalent of the one that stays.
TEST(CalibrationFitTest, TheLoggedDistanceAndSizeAreThoseApplied) {
    for (const bool varySize : {false, true}) {
        SCOPED_TRACE(varySize ? "size varied" : "distance varied");
        Workspace ws;
        RecordingHost host;
        MisplacedFrame(ws, host, Flat(0, 256, 256), "LaB6", "LaB6");
        // Only the distance is off: a fit of it alone can match the frame.
        ws.Xo = ws.Yo = 256;
        ASSERT_TRUE(ComputeFrameGeometry(ws, host));
        N2ThetaScan1Click(ws, host);
        ASSERT_TRUE(OpenFitTool(ws, host));
        TForm41Fit& f = ws.Form41Fit;
        f.CBXo = f.CBYo = f.CB2theta = false;
        f.CBdistance = !varySize;
        f.CBDSize = varySize;
        const double distance = ws.Distance, size = ws.DSize;
        ASSERT_TRUE(StartCalibration(ws, host));
        std::string line;
        for (const std::string& l : ws.LLog.Lines())
            if (l.starts_with("Beam coord")) line = l;
        ASSERT_TRUE(ApplyCalibration(ws, host));
        // The fit moved what it was asked to, by the 3 per cent the frame was off.
        EXPECT_GT(std::abs(varySize ? ws.DSize - size : ws.Distance - distance), 0.01 * distance);
        EXPECT_NE(line.find("Distance (mm) = " + FormatFixed(ws.Distance, 3) + " "), std::string::npos) << line;
        EXPECT_TRUE(line.ends_with("Detector size = " + FormatFixed(ws.DSize, 3))) << line;
    }
}
