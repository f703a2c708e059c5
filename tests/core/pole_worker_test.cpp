// The pole-figure generator: slices of hand-set pixels, the fields worked by
// hand, the batch slice writer's lines for the same frame, and a series of
// frames rendered with a known texture at successive phi read back as that
// texture's pole figure.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "../../tools/format_fixture_writers.h"
#include "base/numbers.h"
#include "formats/reader.h"
#include "polefig/pole_files.h"
#include "polefig/pole_worker.h"
#include "test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/sector_reductions.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

constexpr double Deg = std::numbers::pi / 180.0;

// ---- Frames of a flat detector, rendered here ---------------------------------

// 256 x 256 pixels, the beam at (Xo, Yo), 256 pixels from the sample: the
// 2-theta band 10..20 degrees is a ring of radii 45 to 93 pixels.
constexpr int Side = 256;
constexpr double Xo = 128.3, Yo = 127.6, DistancePixels = 256;
constexpr int PhiAxis = 30;

void UseDetector(Workspace& ws) {
    ws.Form32.EXoM = "128.3";
    ws.Form32.EYoM = "127.6";
    ws.Form32.EDistance = "100";
    ws.Form32.EDSize = "100";   // 256 pixels span 100 mm: 256 pixels to the sample
    ws.Form14.EPhiAxis = std::to_string(PhiAxis);
}

// Pixel [i][j] (file row j - 1, column i - 1) of the flat detector: psi 0 to
// the right of the beam, 90 above it.
void PixelAngles(int i, int j, double& twoTheta, double& psi) {
    const double dx = i - Xo, up = Yo - j;
    twoTheta = std::atan(std::hypot(dx, up) / DistancePixels) / Deg;
    psi = std::atan2(up, dx) / Deg;
    if (psi < 0) psi += 360;
}

// Poles of a textured sample (psi, phi in degrees): the intensity at a
// direction falls off with its angle to the nearest pole axes.
double Texture(double psi, double phi) {
    static const double poles[][2] = {{0, 0}, {54.7, 45}, {54.7, 165}, {54.7, 285}, {90, 100}};
    auto axis = [](double s, double f) {
        return std::array<double, 3>{std::sin(s * Deg) * std::cos(f * Deg), std::sin(s * Deg) * std::sin(f * Deg),
                                     std::cos(s * Deg)};
    };
    const auto a = axis(psi, phi);
    double t = 0.1;
    for (const auto& p : poles) {
        const auto b = axis(p[0], p[1]);
        const double c = std::min(1.0, std::fabs(a[0] * b[0] + a[1] * b[1] + a[2] * b[2]));
        const double angle = std::acos(c) / Deg;
        t += std::exp(-angle * angle / (2 * 12.0 * 12.0));
    }
    return t;
}

// A frame of the series at sample rotation `phi`: inside the band, the pixel
// at azimuth PhiAxis + q shows the texture at pole tilt q (q 0..90, the half
// ring the pole figure is built from); elsewhere in the band 300 counts,
// outside it none. `flat`: 1000 counts all round the band.
std::string RenderFrame(double phi, bool flat) {
    fixtures::Image img{Side, Side, std::vector<int64_t>(static_cast<size_t>(Side) * Side, 0)};
    for (int r = 0; r < Side; ++r) {
        for (int c = 0; c < Side; ++c) {
            double twoTheta = 0, psi = 0;
            PixelAngles(c + 1, r + 1, twoTheta, psi);
            if (!(twoTheta > 10 && twoTheta < 20)) continue;
            double q = std::fmod(psi - PhiAxis + 540.0, 360.0) - 180.0;   // -180..180
            img.at(r, c) = flat ? 1000 : (q >= -2 && q <= 92 ? std::lround(1000 * Texture(std::fabs(q), phi)) : 300);
        }
    }
    return fixtures::WriteTiff(img, 16, 1, 64);
}

std::string FrameName(const char* stem, int m) {
    char name[32];
    std::snprintf(name, sizeof name, "%s.%03d", stem, m);
    return name;
}

// Frame m of a whole turn lands in the pole figure's phi row
// (72 - (m + 36) mod 72) mod 72 of the grid the viewer builds.
double FramePhi(int m) { return 5.0 * ((72 - (m + 36) % 72) % 72); }

struct PoleWorkerTest : ::testing::Test {
    TempDir dir;
    Workspace ws;
    RecordingHost host;

    void SetUp() override {
        UseDetector(ws);
        ws.Form16.Edit1 = dir.path().string() + "/";
        ws.Form16.Edit3 = "10.000";
        ws.Form16.edit4 = "20.000";
        ws.Form16.CheckBox2 = false;
    }

    // A series of frames in the folder, listed in the generator.
    void Series(const char* stem, int count, const std::function<std::string(int)>& frame) {
        ws.Form16.Memo1.clear();
        for (int m = 0; m < count; ++m) {
            WriteBytes(dir.file(FrameName(stem, m)), frame(m));
            ws.Form16.Memo1.push_back(FrameName(stem, m));
        }
        ws.Form16.Edit2 = std::to_string(count);
    }
};

// A frame store of hand-set pixels: (2-theta, psi, intensity) each.
struct HandPixel {
    float TwoTheta, Psi;
    int32_t Intensity;
};

FrameStore HandFrame(const std::vector<HandPixel>& pixels) {
    FrameStore f;
    f.Blank(static_cast<int32_t>(pixels.size()), 1);
    FrameGeometry& g = f.OwnGeometry();
    for (size_t k = 0; k < pixels.size(); ++k) {
        const int32_t i = static_cast<int32_t>(k) + 1;
        g.TwoTheta[i][1] = pixels[k].TwoTheta;
        g.Psi[i][1] = pixels[k].Psi;
        f.Intensity[i][1] = pixels[k].Intensity;
    }
    return f;
}

} // namespace

TEST(PoleSlicesTest, SlicesFollowTheWindowsAndThePsiRounding) {
    const FrameStore frame = HandFrame({
        {10.5f, 0.5f, 3},       // psi 0.5: slice 0 (halves to even)
        {10.5f, 1.5f, 5},       // psi 1.5: slice 2
        {10.5f, 359.6f, 7},     // psi 359.6: slice 0, not lost
        {10.0f, 100, 1000},     // on the lower limit: outside
        {11.0f, 100, 1000},     // on the upper limit: outside
        {10.5f, 100, -1},       // masked: no part at all
        {10.0001f, 100.4f, 11}, // just inside
        {10.9999f, 99.5f, 13},  // psi 99.5: slice 100
        {10.5f, 200, 2000000000},
        {10.5f, 200, 2000000000},   // 4e9 in 64 bits
        {12.5f, 1.5f, 2},       // the background window only
        {12.0f, 3, 9},          // on the background's limit
    });
    TForm16 f;
    f.Edit3 = "11";             // typed the wrong way round
    f.edit4 = "10";
    f.Edit6 = "12";
    f.Edit7 = "13";
    f.CheckBox1 = true;
    const PoleWindows w = ReadPoleWindows(f);
    EXPECT_EQ(w.Reflection1, 10);
    EXPECT_EQ(w.Reflection2, 11);
    const PoleFrameSlices s = IntegratePoleSlices(frame, 12, 1, w, {});
    ASSERT_EQ(s.Reflection.size(), 360u);
    std::vector<int64_t> reflection(360, 0), background(360, 0);
    reflection[0] = 3 + 7;
    reflection[2] = 5;
    reflection[100] = 11 + 13;
    reflection[200] = 4000000000LL;
    background[2] = 2;
    EXPECT_EQ(s.Reflection, reflection);
    EXPECT_EQ(s.Background, background);
    // With "Apply": slice 2 loses its background; the line saturates.
    EXPECT_EQ(s.Fields[2], 3);
    const std::string line = SliceLine("f.000", s.Fields);
    EXPECT_EQ(line.substr(6 + 200 * 10, 10), "2147483647");

    // Without "Apply" no background is summed and the fields are the sums.
    f.CheckBox1 = false;
    const PoleFrameSlices plain = IntegratePoleSlices(frame, 12, 1, ReadPoleWindows(f), {});
    EXPECT_TRUE(plain.Background.empty());
    EXPECT_EQ(plain.Fields, reflection);
    f.Edit6 = "1O";
    EXPECT_THROW(ReadPoleWindows(f), ConversionError);
}

TEST(PoleSlicesTest, FieldsSubtractAndScaleTheBackgroundAsWorkedByHand) {
    const std::vector<int64_t> reflection{100, 50, 30, 10, 7, 11, -4};
    const std::vector<int64_t> background{40, 80, 0, 5, 2, 2, 0};
    const std::vector<int64_t> reference{80, -40, 90, 0, 1, 1, 0};
    PoleWindows w;
    EXPECT_EQ(PoleSliceFields(reflection, background, reference, w), (std::vector<int64_t>{100, 50, 30, 10, 7, 11, 0}));
    w.Subtract = true;
    EXPECT_EQ(PoleSliceFields(reflection, background, reference, w), (std::vector<int64_t>{60, 0, 30, 5, 5, 9, 0}));
    w.Ratio = true;
    // 60 x 80/40; -30 x 40/80 -> 0; no background: ratio 1; no reference:
    // ratio 1; 5 x 1/2 = 2.5 -> 2 and 9 x 1/2 = 4.5 -> 4 (halves to even).
    EXPECT_EQ(PoleSliceFields(reflection, background, reference, w), (std::vector<int64_t>{120, 0, 30, 5, 2, 4, 0}));
    // No reference at all (the first frame was not read): ratio 1.
    EXPECT_EQ(PoleSliceFields(reflection, background, {}, w), (std::vector<int64_t>{60, 0, 30, 5, 5, 9, 0}));
}

TEST_F(PoleWorkerTest, LinesEqualTheBatchSliceWritersForTheSameFrames) {
    // Signed counts with masked pixels, all round the beam; then a frame of
    // the program's own format with a beam of its own, and one of another
    // size: each needs a mapping of its own.
    fixtures::Image img = fixtures::Pattern(Side, Side, 5000);
    for (size_t k = 0; k < img.Values.size(); k += 7) img.Values[k] = -1;
    WriteBytes(dir.file("frame.000"), fixtures::WriteTiff(img, 32, 2, 256));
    std::string native;
    for (int64_t v : {12345, 7090, 0, 1000000, 1000000, Side, Side, 1000000, 900000}) fixtures::Put32(native, static_cast<uint64_t>(v));
    for (int64_t v : img.Values) fixtures::Put32(native, static_cast<uint64_t>(v < 0 ? v : 4999 - v));
    WriteBytes(dir.file("frame.001"), native);
    WriteBytes(dir.file("frame.002"), fixtures::WriteTiff(fixtures::Pattern(300, 280, 3000, 2), 16, 1, 40));

    Workspace batch;
    UseDetector(batch);
    batch.SectorTwoTheta1 = 10;
    batch.SectorTwoTheta2 = 20;
    batch.FSetup.ESliceWidth = "1";
    batch.FSetup.EExperiment = dir.file("batch");
    for (const char* name : {"frame.000", "frame.001", "frame.002"}) {
        ChainResult read = RunReaderChain(batch, host, ReaderChain::Load, dir.file(name));
        ASSERT_TRUE(read.Read) << read.Error;
        InstallFrame(batch, std::move(read.Frame));
        ASSERT_TRUE(ComputeFrameGeometry(batch, host));
        batch.CurrentFile = dir.file(name);
        WriteSectorSlices(batch, host);
    }

    ws.Form16.Memo1 = {"frame.000", "frame.001", "frame.002"};
    ws.Form16.Edit3 = "20";   // reversed: swapped, not emptied
    ws.Form16.edit4 = "10";
    const PoleRunResult run = TPoleThread::Execute(ws, host);
    EXPECT_EQ(run.LinesWritten, 3);
    ASSERT_TRUE(host.messages.empty()) << host.messages[0];
    const std::string ours = ReadBytes(PoleOutputPath(ws.Form16));
    EXPECT_EQ(ours, ReadBytes(dir.file("batch.slc")));
    EXPECT_EQ(ours.substr(0, ours.find('\r')),
              "2Theta integration range =10.000 to 20.000 Psi range = 0 to 360; SlicesWidth = 1.000");
    const std::vector<std::string> lines = ReadTextLines(dir.file("batch.slc"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[1].substr(10), lines[2].substr(10));
}

TEST_F(PoleWorkerTest, TexturedSeriesGivesTheTexturesPoleFigure) {
    // The frame on screen and the file list stay as they are.
    ws.FramePixels.Blank(4, 4);
    ws.FramePixels.Intensity[2][2] = 77;
    ws.CurrentFile = "screen.tif";
    ws.FileList = {"screen.tif"};
    ws.LastFileIndex = 0;

    Series("tex", 72, [](int m) { return RenderFrame(FramePhi(m), false); });
    ws.Form16.edit5 = "texture";
    ws.Form16.CheckBox2 = true;
    PoleRunResult run = TPoleThread::Execute(ws, host);
    ASSERT_TRUE(host.messages.empty()) << host.messages[0];
    EXPECT_EQ(run.LinesWritten, 72);
    EXPECT_TRUE(run.Previewed);
    EXPECT_EQ(ws.FPoleF.Preview.Width, 203);
    const PoleGridArray texture = ws.Poles.PoleGrid;

    // Each cell's pixel count, from a series of even rings.
    const std::string flatFrame = RenderFrame(0, true);
    Series("flat", 72, [&](int) { return flatFrame; });
    ws.Form16.edit5 = "flat";
    ws.Form16.CheckBox2 = false;
    run = TPoleThread::Execute(ws, host);
    EXPECT_EQ(run.LinesWritten, 72);
    ASSERT_TRUE(BuildPoleGrid(ws, host, PoleOutputPath(ws.Form16)));
    const PoleGridArray flat = ws.Poles.PoleGrid;

    // Cell c of psi holds the slices of pole tilts 5c - 2 .. 5c + 2 (0..2 and
    // 88..90 at the ends); row r holds phi 5r.
    double measuredTop = 0, expectedTop = 0;
    std::vector<double> measured, expected;
    for (int r = 0; r < 72; ++r) {
        for (int c = 0; c <= 18; ++c) {
            ASSERT_GT(flat.at(r, c), 0) << r << " " << c;
            measured.push_back(static_cast<double>(texture.at(r, c)) / flat.at(r, c));
            double sum = 0;
            int slices = 0;
            for (int s = std::max(0, 5 * c - 2); s <= std::min(90, 5 * c + 2); ++s, ++slices) sum += Texture(s, 5.0 * r);
            expected.push_back(sum / slices);
            measuredTop = std::max(measuredTop, measured.back());
            expectedTop = std::max(expectedTop, expected.back());
        }
    }
    for (size_t k = 0; k < measured.size(); ++k)
        EXPECT_NEAR(measured[k] / measuredTop, expected[k] / expectedTop, 0.005) << "row " << k / 19 << " col " << k % 19;
    // The closing row repeats row 0.
    for (int c = 0; c <= 18; ++c) EXPECT_EQ(texture.at(72, c), texture.at(0, c));

    EXPECT_EQ(ws.FramePixels.Intensity[2][2], 77);
    EXPECT_EQ(ws.CurrentFile, "screen.tif");
    EXPECT_EQ(ws.FileList, std::vector<std::string>{"screen.tif"});
    EXPECT_EQ(ws.LastFileIndex, 0);
}

namespace {

// Presses Stop when the run reports the progress of its second frame read.
class StoppingHost : public RecordingHost {
public:
    explicit StoppingHost(Workspace& ws) : ws_(ws) {}
    void changed(View what) override {
        if (what == View::Progress && ++progress_ == 3) ws_.BatchRunning = 0;   // the start counts once
        RecordingHost::changed(what);
    }

private:
    Workspace& ws_;
    int progress_ = 0;
};

} // namespace

TEST_F(PoleWorkerTest, UnreadableFramesAreSkippedAndStopEndsTheRun) {
    const std::string flatFrame = RenderFrame(0, true);
    Series("flat", 8, [&](int) { return flatFrame; });
    ws.Form16.Memo1[0] = "missing.000";
    ws.Form16.Memo1.insert(ws.Form16.Memo1.begin() + 1, "");   // a blank line names nothing
    ws.Form16.CheckBox1 = true;
    ws.Form16.cbratio = true;
    ws.Form16.Edit6 = "20";
    ws.Form16.Edit7 = "30";   // beyond the ring: no background

    StoppingHost stopping(ws);
    const PoleRunResult run = TPoleThread::Execute(ws, stopping);
    ASSERT_EQ(stopping.messages.size(), 1u);
    EXPECT_EQ(stopping.messages[0].rfind("Can not open this file format missing.000\n", 0), 0u) << stopping.messages[0];
    EXPECT_TRUE(run.Stopped);
    EXPECT_EQ(run.LinesWritten, 2);   // flat.001 and flat.002; Stop came during flat.002
    EXPECT_EQ(ws.BatchRunning, 1);
    EXPECT_EQ(ws.LLog.Lines().back(), "Pole figure generation stopped after 3 of 8 frames");
    const std::vector<std::string> lines = ReadTextLines(PoleOutputPath(ws.Form16));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(0, 9), "flat.001 ");
    // No background in its window: nothing is subtracted (ratio 1).
    EXPECT_EQ(lines[1], lines[2].substr(0, 7) + "1" + lines[2].substr(8));
    EXPECT_GT(std::stoll(lines[1].substr(9 + 45 * 10, 10)), 40000);
}

TEST_F(PoleWorkerTest, GeneratorCommands) {
    ws.Form16.Edit2 = "2";
    EXPECT_FALSE(PoleGenerateAllowed(ws, host));   // five frames or fewer: refused
    EXPECT_EQ(host.messages, std::vector<std::string>{"Select at least 6 frames: a pole figure needs them"});
    host.messages.clear();
    ws.Form16.Edit2 = "6";
    ws.Form16.Memo1 = {"", " "};   // blank lines name no frame
    EXPECT_FALSE(PoleGenerateAllowed(ws, host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"No frames listed: SELECT FRAMES first"});
    host.messages.clear();
    ws.Form16.Memo1 = {"f.000", "f.001", "f.002", "f.003", "f.004", "f.005"};
    EXPECT_TRUE(PoleGenerateAllowed(ws, host));
    WriteBytes(dir.file("Polefig1.slc"), "x");
    EXPECT_FALSE(PoleGenerateAllowed(ws, host));
    ws.Form16.edit5 = " ";
    EXPECT_FALSE(PoleGenerateAllowed(ws, host));
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{"Polefig1.slc already exists. Change output file name", "Type a name for the slice file"}));
    ws.Form16.edit5 = "other";
    ws.Form16.Edit7 = "abc";
    EXPECT_THROW(PoleGenerateAllowed(ws, host), ConversionError);
    ws.Form16.Edit7 = "11";
    ws.Form16.Edit2 = "six";
    EXPECT_THROW(PoleGenerateAllowed(ws, host), ConversionError);

    ws.SectorTwoTheta1 = 28.25f;
    ws.SectorTwoTheta2 = 29.5f;
    ws.Form16.Button1Enabled = false;
    Generate1Click(ws, host);
    EXPECT_EQ(ws.Form16.Edit3, "28.250");
    EXPECT_EQ(ws.Form16.edit4, "29.500");
    EXPECT_TRUE(ws.Form16.Button1Enabled);
    ws.PoleRunning = true;
    Generate1Click(ws, host);
    EXPECT_FALSE(ws.Form16.Button1Enabled);
}
