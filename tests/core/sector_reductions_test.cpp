// The reductions of the frame on the integration kernel: Integrate,
// d-spacing against psi, slice files and line scans.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "centre_test_support.h"
#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "polefig/pole_files.h"
#include "scan_support.h"
#include "test_support.h"
#include "workspace/main_commands.h"
#include "workspace/scan_writers.h"
#include "workspace/sector_reductions.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

bool Logged(const Workspace& ws, const std::string& line) {
    for (const std::string& l : ws.LLog.Lines())
        if (l == line) return true;
    return false;
}

// The first ring of the default ring frame, with counting noise and a masked
// beam-stop strip.
RingFrame NoisyFrame() {
    RingFrame f;
    f.Noise = true;
    f.BeamStop = 3;
    return f;
}

} // namespace

TEST(SectorReductions, IntegrateOverAPsiSectorThroughZero) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 4, 1, 1.0f, 100, 100.0f);
    SetPixel(ws, 1, 1, 100, 10, 350);
    SetPixel(ws, 2, 1, 50, 10, 10);
    SetPixel(ws, 3, 1, 1000, 10, 180);   // outside the psi sector: the largest, but not counted
    SetPixel(ws, 4, 1, 7, 50, 20);       // outside the 2-theta limits
    ws.SectorTwoTheta1 = 5;
    ws.SectorTwoTheta2 = 15;
    ws.SectorPsi1 = 300;
    ws.SectorPsi2 = 60;
    ws.PsiStep = 2;
    Integrate1Click(ws, host);
    EXPECT_TRUE(Logged(ws, "Angular sector = 5.000, 300.000, 15.000, 60.000"));
    EXPECT_TRUE(Logged(ws, "Integral = 150;  MaxIntensity = 100.0;  Number of pixels in sector = 2"));
    // 2-theta: bin 10 holds (100 + 50) / 2 pixels = 75; the empty bins about
    // it take the mean of their neighbours: 37.5 on either side, then 18.75,
    // 9.375, 4.6875 and 2.34375 up to 15. (75 + 2 x 37.5 + 18.75 + 9.375 +
    // 4.6875 + 2.34375) x 1 degree / 75 = 2.46875.
    EXPECT_TRUE(Logged(ws, "2ThetaMax =10.000;  FWHM2Theta = 2.469"));
    // psi: bins of 0.5 degrees (the scan's own step); 350 holds 100 and 10
    // holds 50; the 1000 at psi 180 lies outside 300..360, 0..60.
    EXPECT_TRUE(Logged(ws, "PsiMax =350.000;  FWHMPsi = 0.750"));
    EXPECT_FALSE(ws.Form2.Visible);   // the scans were made without being shown
    EXPECT_FALSE(ws.Form12.Visible);
    // A rectangle sector gets its statistics only.
    ws.LLog.Clear();
    ws.RectangularSector = 1;
    ws.CropRect = {1, 2, 1, 1};
    Integrate1Click(ws, host);
    EXPECT_EQ(ws.LLog.Lines().size(), 2u);
    EXPECT_EQ(ws.LLog.Lines()[0], "Rectangular sector = 1, 1, 2, 1");
}

TEST(SectorReductions, DSpacingOfARingInEveryPsiRow) {
    Workspace ws;
    RecordingHost host;
    RingFrame f = NoisyFrame();
    MakeRingFrame(ws, host, f);
    ws.Landa = 0.7093;
    ws.SectorTwoTheta1 = 12;
    ws.SectorTwoTheta2 = 14;
    ws.PsiStep = 0.25f;
    // Row 18 (psi 87.5 to 92.5) emptied.
    int64_t unmasked = 0, rowZero = 0;
    for (int32_t i = 1; i <= ws.FrameWidth; ++i)
        for (int32_t j = 1; j <= ws.FrameHeight; ++j) {
            const float psi = ws.FramePixels.Psi[i][j];
            if (RoundToInt(psi / 5.0) == 18) ws.FramePixels.Intensity[i][j] = MaskedIntensity;
            if (ws.FramePixels.Intensity[i][j] == MaskedIntensity) continue;
            ++unmasked;
            rowZero += RoundToInt(psi / 5.0) % 72 == 0;
        }
    ASSERT_TRUE(Calculatedspacing1Click(ws, host));
    EXPECT_FLOAT_EQ(ws.PsiStep, 0.25f);   // the psi scan's step stays
    const DSpacingTable& d = ws.DSpacingData;
    EXPECT_EQ(d.Step, 5.0f);
    ASSERT_EQ(d.Count, 72);
    // d = Landa / (2 sin theta) of the ring, to within the d of a bin either side.
    auto dOf = [&](double twoTheta) { return 0.7093 / (2 * std::sin(twoTheta / 2 * 3.14159265358979 / 180)); };
    const double ring = dOf(12.988), tolerance = dOf(12.988 - ws.TwoThetaStep) - ring;
    for (int r = 0; r < 72; ++r) {
        if (r == 18) {
            EXPECT_EQ(d.D[18], 0.0f);
            continue;
        }
        EXPECT_NEAR(d.D[r], ring, tolerance) << "row " << r;
    }
    // Every unmasked pixel is in one row: psi at or above 357.5 in row 0.
    int64_t counted = 0, zero = 0;
    ASSERT_EQ(ws.PsiProfiles.size(), 72u);
    for (size_t r = 0; r < ws.PsiProfiles.size(); ++r)
        for (const ProfilePoint& p : ws.PsiProfiles[r]) {
            counted += p.Count;
            if (r == 0) zero += p.Count;
        }
    EXPECT_EQ(counted, unmasked);
    EXPECT_EQ(zero, rowZero);
    EXPECT_TRUE(Logged(ws, "Psi angle    d-spacing"));
    // A rectangle sector has no 2-theta range.
    ws.RectangularSector = 1;
    EXPECT_FALSE(Calculatedspacing1Click(ws, host));
    EXPECT_EQ(host.messages.back(), "Define a 2Theta range using the Mask Sector tool !");
}

TEST(SectorReductions, SlicesAddUpToTheBandAndWrapIntoSliceZero) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, NoisyFrame());
    const double lo = 12.5, hi = 13.5;
    int64_t band = 0, zeroOfOne = 0;
    for (int32_t i = 1; i <= ws.FrameWidth; ++i)
        for (int32_t j = 1; j <= ws.FrameHeight; ++j) {
            const int32_t v = ws.FramePixels.Intensity[i][j];
            const float t = ws.FramePixels.TwoTheta[i][j];
            if (v == MaskedIntensity || !(t > lo && t < hi)) continue;
            band += v;
            const int32_t k = RoundToInt(ws.FramePixels.Psi[i][j]);
            if (k == 0 || k == 360) zeroOfOne += v;
        }
    for (double width : {1.0, 2.5, 5.0, 20.0, 0.7, 1.3}) {
        const std::vector<int64_t> sums = PsiSliceSums(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, lo, hi, width);
        ASSERT_EQ(sums.size(), static_cast<size_t>(RoundToInt(360 / width))) << width;
        int64_t total = 0;
        for (int64_t s : sums) total += s;
        EXPECT_EQ(total, band) << width;
        if (width == 1.0) {
            EXPECT_EQ(sums[0], zeroOfOne);
        }
    }
    // The limits are strict: a band ending exactly on a pixel's 2-theta leaves it out.
    const float t = ws.FramePixels.TwoTheta[200][100];
    const int32_t v = ws.FramePixels.Intensity[200][100];
    int64_t on = 0;
    for (int64_t s : PsiSliceSums(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, t, t + 1, 1)) on += s;
    int64_t after = 0;
    for (int64_t s : PsiSliceSums(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, std::nextafter(t, 0.0f), t + 1, 1))
        after += s;
    EXPECT_GE(after - on, v);
}

TEST(SectorReductions, SliceSumsAreSixtyFourBitAndTheirFieldsSaturate) {
    Workspace ws;
    MakeScanFrame(ws, 3, 1);
    SetPixel(ws, 1, 1, 2000000000, 10, 45.2f);
    SetPixel(ws, 2, 1, 2000000000, 10, 44.9f);
    SetPixel(ws, 3, 1, 5, 10, 359.7f);
    const std::vector<int64_t> sums = PsiSliceSums(ws.FramePixels, 3, 1, 5, 15, 1);
    EXPECT_EQ(sums[45], 4000000000);
    EXPECT_EQ(sums[0], 5);
    const std::string line = SliceLine("f.000", sums);
    EXPECT_EQ(line.substr(6 + 45 * 10, 10), "2147483647");
    EXPECT_EQ(line.size(), 6u + 3600u);
}

TEST(SectorReductions, BatchAndInteractiveSliceFiles) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws, host, NoisyFrame());
    ws.LastFileIndex = 0;
    ws.CurrentFile = "/frames/ring.000";
    ws.FSetup.EExperiment = dir.file("Exp1");
    ws.SectorTwoTheta1 = 10;
    ws.SectorTwoTheta2 = 11;
    ws.FSetup.ESliceWidth = "1.00";
    for (int frame = 0; frame < 6; ++frame) {   // the pole side reads six frames or more
        ws.CurrentFile = "/frames/ring.00" + std::to_string(frame);
        WriteSectorSlices(ws, host);
    }
    std::vector<std::string> lines = ReadTextLines(dir.file("Exp1.slc"));
    ASSERT_EQ(lines.size(), 7u);   // one header, one line a frame
    EXPECT_EQ(lines[0], "2Theta integration range =10.000 to 11.000 Psi range = 0 to 360; SlicesWidth = 1.000");
    const std::vector<int64_t> sums = PsiSliceSums(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, 10, 11, 1);
    EXPECT_EQ(lines[1], SliceLine("ring.000", sums));
    // The pole-figure side reads the batch file back.
    std::vector<SliceFileFrame> frames;
    std::string message;
    ASSERT_TRUE(ParseSliceFile(lines, 200, frames, message)) << message;
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[5].Row, 6);
    for (int k = 0; k < 360; ++k) EXPECT_EQ(frames[0].Slices[k], sums[k]) << k;

    // Widths: nearest whole number 1, 5, 10 or 20, or 2.5, else 5.
    for (auto [typed, kept] : std::vector<std::pair<const char*, float>>{{"3", 5}, {"1.3", 1.3f}, {"0.7", 0.7f}, {"2.5", 2.5f}}) {
        ws.FSetup.ESliceWidth = typed;
        std::filesystem::remove(dir.file("Exp1.slc"));
        WriteSectorSlices(ws, host);
        EXPECT_FLOAT_EQ(ws.SliceWidth, kept) << typed;
        lines = ReadTextLines(dir.file("Exp1.slc"));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[1].size(), std::string("ring.005 ").size() + 10u * RoundToInt(360 / kept)) << typed;
    }
    ws.FSetup.ESliceWidth = "abc";
    EXPECT_THROW(WriteSectorSlices(ws, host), ConversionError);

    // The interactive file: made anew, its own header, both in the logbook.
    ws.LLog.Clear();
    Integratesectorslides1Click(ws, host, std::string("2.5"));
    lines = ReadTextLines(dir.file("Exp1.slc"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "2Theta integration range =10.000 to 11.000 Psi range = 0 to 360; SlicesWidth in Psi angle = 2.5");
    EXPECT_EQ(lines[1], SliceLine("ring.005", PsiSliceSums(ws.FramePixels, ws.FrameWidth, ws.FrameHeight, 10, 11, 2.5)));
    ASSERT_EQ(ws.LLog.Lines().size(), 2u);
    EXPECT_EQ(ws.LLog.Lines()[0], lines[0]);
    EXPECT_EQ(ws.LLog.Lines()[1].rfind("ring.005 ", 0), 0u);
    // 7 degrees is not offered: 5, with a message; nothing typed: nothing done.
    Integratesectorslides1Click(ws, host, std::string("7"));
    EXPECT_EQ(host.messages.back(), "Invalid value; default value of 5 used !");
    EXPECT_EQ(ReadTextLines(dir.file("Exp1.slc"))[1].size(), std::string("ring.005 ").size() + 720u);
    std::filesystem::remove(dir.file("Exp1.slc"));
    Integratesectorslides1Click(ws, host, std::nullopt);
    Integratesectorslides1Click(ws, host, std::string(""));
    EXPECT_FALSE(FileExists(dir.file("Exp1.slc")));
}

TEST(SectorReductions, LineScansAtTheFramesEdgesKeepTheirDivisor) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 5, 4);
    for (int32_t i = 1; i <= 5; ++i)
        for (int32_t j = 1; j <= 4; ++j) ws.FramePixels.Intensity[i][j] = 10 * i + j;
    ws.FramePixels.Intensity[2][2] = MaskedIntensity;
    ws.LineScanWidth = 1;
    ws.LineMark1 = 1;
    ws.LineMark2 = 512;
    const LineScanResult x = XLineScan(ws, host, 1);   // rows 1 and 2 (row 0 is off the frame), over 3
    ASSERT_TRUE(x.Made);
    EXPECT_EQ(x.Caption, " X  Line Scan at Y = 1");
    EXPECT_EQ(ws.LineScanAlongX, 1);
    EXPECT_EQ(ws.LineScanAlongY, 0);
    EXPECT_EQ(ws.LineMark2, 5);
    EXPECT_DOUBLE_EQ(ws.LineScanData[1], (11 + 12) / 3.0);
    EXPECT_DOUBLE_EQ(ws.LineScanData[2], 21 / 3.0);   // the masked pixel adds nothing
    EXPECT_DOUBLE_EQ(ws.LineScanData[5], (51 + 52) / 3.0);
    EXPECT_DOUBLE_EQ(x.Largest, (41 + 42) / 3.0);   // strictly inside 1..5
    EXPECT_DOUBLE_EQ(x.Smallest, 21 / 3.0);
    const LineScanResult y = YLineScan(ws, host, 5);   // columns 4 and 5
    EXPECT_EQ(y.Caption, " Y  Line Scan at X = 5");
    EXPECT_EQ(ws.LineScanAlongY, 1);
    ASSERT_EQ(ws.LineScanData.size(), 5u);
    EXPECT_DOUBLE_EQ(ws.LineScanData[4], (44 + 54) / 3.0);
    EXPECT_EQ(ws.LineMark2, 4);
    // "Y Constant": the row from the centre box, the middle one when outside.
    ws.Form32.EYoM = "0";
    LineScanCommand(ws, host, true, std::string("2"));
    EXPECT_EQ(ws.LineScanIndex, 2);
    EXPECT_EQ(ws.LineScanWidth, 2);
    EXPECT_DOUBLE_EQ(ws.LineScanData[3], (31 + 32 + 33 + 34) / 5.0);
    LineScanCommand(ws, host, true, std::string("x"));
    EXPECT_EQ(host.messages.back(), "'x' is not a valid number");
    Workspace empty;
    EXPECT_FALSE(XLineScan(empty, host, 1).Made);
    EXPECT_EQ(host.messages.back(), "Need to open a file first");
}

TEST(SectorReductions, BatchWritesItsDSpacingAndSliceFilesAndFindsTheCentre) {
    TempDir dir;
    RingFrame f = NoisyFrame();
    for (const char* name : {"a.orv", "b.orv"}) {
        Workspace frame;
        RecordingHost host;
        MakeRingFrame(frame, host, f);
        frame.Landa = 0.7093;
        WriteNativeFrame(frame, dir.file(name));
        f.Seed += 1;
    }
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv")}));
    ws.SingleFileMode = 0;
    ws.OutputDir = dir.path().string();
    ws.FSetup.EExperiment = dir.file("Exp1");
    ws.SectorTwoTheta1 = 12;
    ws.SectorTwoTheta2 = 14;
    TFSetup& s = ws.FSetup;
    s.CBAdjustCenter = s.cbIntegrateSector = s.CBdspacing = s.CBIntegrateslides = true;
    ws.Form27.CBInitPos = true;
    ws.Form27.EXoM = FormatNumber(f.Xo + 6);
    ws.Form27.EYoM = FormatNumber(f.Yo - 5);
    ASSERT_EQ(TBatchThread::Execute(ws, host), 2);
    EXPECT_EQ(ws.CommandsFailed, 0);
    EXPECT_NEAR(ws.Xo, f.Xo, 1.0);
    EXPECT_NEAR(ws.Yo, f.Yo, 1.0);
    const std::vector<std::string> dsp = ReadTextLines(dir.file("b.orv.DSP"));
    ASSERT_EQ(dsp.size(), 3u + 72u);
    EXPECT_EQ(dsp[3].substr(0, 8), "0.000   ");
    EXPECT_NEAR(ParseNumber(dsp[3].substr(8)), 0.7093 / (2 * std::sin(12.988 / 2 * 3.14159265358979 / 180)), 0.02);
    EXPECT_EQ(ReadTextLines(dir.file("Exp1.slc")).size(), 3u);
    int fwhm = 0;
    for (const std::string& l : ws.LLog.Lines()) fwhm += l.rfind("2ThetaMax =", 0) == 0;
    EXPECT_EQ(fwhm, 2);

    // A rectangle sector: d-spacing and slices are refused, once for the run.
    ws.RectangularSector = 1;
    ws.FMask.CBRectangle = true;
    ws.FSetup.CBAdjustCenter = false;
    ASSERT_TRUE(OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv")}));
    ws.SingleFileMode = 0;
    ws.LLog.Clear();
    TBatchThread::Execute(ws, host);
    int refused = 0;
    for (const std::string& l : ws.LLog.Lines())
        refused += l == "d-spacing (*.dsp): Define a 2Theta range using the Mask Sector tool !";
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(ReadTextLines(dir.file("Exp1.slc")).size(), 3u);
}
