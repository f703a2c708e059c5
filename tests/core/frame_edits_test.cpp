#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "base/parallel.h"
#include "formats/mask_files.h"
#include "frame_test_support.h"
#include "geometry_test_support.h"
#include "test_support.h"
#include "workspace/detector_settings.h"
#include "workspace/frame_edits.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv {
namespace {

using test::Logged;
using test::TempDir;

// A loaded frame whose pixel (x, y) holds 100 + x + 10 y.
void NumberedFrame(Workspace& ws, int32_t w, int32_t h) {
    test::MakeFrame(ws, w, h);
    for (int32_t x = 1; x <= w; ++x)
        for (int32_t y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = 100 + x + 10 * y;
}

std::vector<int32_t> Pixels(const Workspace& ws) {
    std::vector<int32_t> out;
    for (int32_t x = 1; x <= ws.FrameWidth; ++x)
        for (int32_t y = 1; y <= ws.FrameHeight; ++y) out.push_back(ws.FramePixels.Intensity[x][y]);
    return out;
}

// The smoothing written out as the formula reads: every pixel of the window
// inside the frame with its weight exp(-(dx^2 + dy^2) / r^2), masked pixels
// left out and left masked.
FramePlane<int32_t> SmoothDirectly(const FramePlane<int32_t>& in, int32_t w, int32_t h, int32_t width) {
    FramePlane<int32_t> out(in);
    const int32_t a = width / 2, r = (width + 1) / 2;
    for (int32_t x = 1; x <= w; ++x)
        for (int32_t y = 1; y <= h; ++y) {
            if (in[x][y] == -1) continue;
            double sum = 0, weights = 0;
            for (int32_t j = std::max(x - a, 1); j <= std::min(x + r, w); ++j)
                for (int32_t i = std::max(y - a, 1); i <= std::min(y + r, h); ++i) {
                    if (in[j][i] == -1) continue;
                    const double weight = std::exp(-double((j - x) * (j - x) + (i - y) * (i - y)) / (r * r));
                    sum += weight * in[j][i];
                    weights += weight;
                }
            out[x][y] = static_cast<int32_t>(std::nearbyint(sum / weights));
        }
    return out;
}

TEST(FrameSmoothing, WidthOneAveragesRightAndLowerNeighboursWithGaussianWeights) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 3, 3);
    const int32_t v[4][4] = {{0, 0, 0, 0}, {0, 10, 40, 70}, {0, 20, 50, 80}, {0, 30, 60, 1000}};   // v[x][y]
    for (int x = 1; x <= 3; ++x)
        for (int y = 1; y <= 3; ++y) ws.FramePixels.Intensity[x][y] = v[x][y];
    ASSERT_TRUE(SmoothFrame(ws, host, "1"));
    const double e1 = std::exp(-1.0), e2 = std::exp(-2.0);
    // Itself 1, right e^-1, lower e^-1, lower right e^-2.
    EXPECT_EQ(ws.FramePixels.Intensity[1][1],
              std::nearbyint((10 + e1 * 20 + e1 * 40 + e2 * 50) / (1 + 2 * e1 + e2)));
    EXPECT_EQ(ws.FramePixels.Intensity[2][2],
              std::nearbyint((50 + e1 * 60 + e1 * 80 + e2 * 1000) / (1 + 2 * e1 + e2)));
    // The last column has no right neighbour, the last row no lower one.
    EXPECT_EQ(ws.FramePixels.Intensity[3][1], std::nearbyint((30 + e1 * 60) / (1 + e1)));
    EXPECT_EQ(ws.FramePixels.Intensity[1][3], std::nearbyint((70 + e1 * 80) / (1 + e1)));
    EXPECT_EQ(ws.FramePixels.Intensity[3][3], 1000);
    EXPECT_TRUE(Logged(ws, "Smoothed data"));
}

TEST(FrameSmoothing, WidthsOutsideOneToTwentyAndTextChangeNothing) {
    Workspace ws;
    RecordingHost host;
    NumberedFrame(ws, 9, 6);
    const auto before = Pixels(ws);
    for (const char* width : {"0", "21", "-1", "abc", "2.5"}) EXPECT_FALSE(SmoothFrame(ws, host, width)) << width;
    EXPECT_FALSE(SmoothFrame(ws, host, ""));   // an empty answer does nothing
    EXPECT_EQ(Pixels(ws), before);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Value out of range!", "Value out of range!",
                                                       "Value out of range!", "'abc' is not a valid number",
                                                       "'2.5' is not a valid number"}));
    EXPECT_THROW(SmoothPlane(ws.FramePixels.Intensity, 9, 6, 0), std::invalid_argument);
}

TEST(FrameSmoothing, SeparablePassesEqualTheFormulaOnRandomFrames) {
    std::mt19937 random(14);
    for (unsigned threads : {1u, 3u, 8u}) {
        ScopedParallelThreadLimit limit(threads);
        for (int32_t width : {1, 2, 3, 6, 11, 20}) {
            const int32_t w = 5 + static_cast<int32_t>(random() % 60), h = 3 + static_cast<int32_t>(random() % 50);
            FramePlane<int32_t> frame(w, h);
            for (int32_t x = 1; x <= w; ++x)
                for (int32_t y = 1; y <= h; ++y)
                    frame[x][y] = random() % 9 == 0 ? -1 : static_cast<int32_t>(random() % 200000) - 1000;
            const FramePlane<int32_t> expected = SmoothDirectly(frame, w, h, width);
            SmoothPlane(frame, w, h, width);
            int wrong = 0;
            for (int32_t x = 1; x <= w; ++x)
                for (int32_t y = 1; y <= h; ++y) wrong += frame[x][y] != expected[x][y];
            EXPECT_EQ(wrong, 0) << w << " x " << h << ", width " << width << ", threads " << threads;
        }
    }
}

TEST(FrameValues, MaskAboveAndBelowCountOnlyNewlyMaskedPixels) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 4, 2);   // intensities 0 .. 7 down the columns, one masked
    int32_t n = 0;
    for (int x = 1; x <= 4; ++x)
        for (int y = 1; y <= 2; ++y) ws.FramePixels.Intensity[x][y] = n++;
    ws.FramePixels.Intensity[4][2] = -1;
    // Below 0: nothing new, nothing counted (the masked pixel is not counted again).
    ASSERT_TRUE(MaskPixelsByValue(ws, host, "0", MaskSide::Below));
    EXPECT_TRUE(Logged(ws, "n of pixels masked below 0 was 0"));
    // Below 1: only the pixel of 0.
    ASSERT_TRUE(MaskPixelsByValue(ws, host, "1", MaskSide::Below));
    EXPECT_TRUE(Logged(ws, "n of pixels masked below 1 was 1"));
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], -1);
    ASSERT_TRUE(MaskPixelsByValue(ws, host, "4.5", MaskSide::Above));
    EXPECT_TRUE(Logged(ws, "n of pixels masked above 4.5 was 2"));
    EXPECT_EQ(Pixels(ws), (std::vector<int32_t>{-1, 1, 2, 3, 4, -1, -1, -1}));
    EXPECT_EQ(ws.Form23.Panel2, "4 x 2 Max = 4");
    EXPECT_FALSE(MaskPixelsByValue(ws, host, "", MaskSide::Above));
    EXPECT_FALSE(MaskPixelsByValue(ws, host, "1,5", MaskSide::Above));
    EXPECT_EQ(host.messages, std::vector<std::string>{"'1,5' is not a valid number"});
}

TEST(FrameValues, MultiplyAndAddKeepMasksAndSaturate) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 3, 1);
    ws.FramePixels.Intensity[1][1] = 7;
    ws.FramePixels.Intensity[2][1] = -1;
    ws.FramePixels.Intensity[3][1] = 2000000000;
    ASSERT_TRUE(MultiplyFrame(ws, host, "-1"));
    EXPECT_EQ(Pixels(ws), (std::vector<int32_t>{-7, -1, -2000000000}));
    EXPECT_TRUE(Logged(ws, "frame multiplied by -1"));
    ASSERT_TRUE(MultiplyFrame(ws, host, "-2.5"));   // -7 x -2.5 = 17.5, halves to even
    EXPECT_EQ(Pixels(ws), (std::vector<int32_t>{18, -1, INT32_MAX}));
    ASSERT_TRUE(AddConstantToFrame(ws, host, "1000"));
    EXPECT_EQ(Pixels(ws), (std::vector<int32_t>{1018, -1, INT32_MAX}));
    EXPECT_TRUE(Logged(ws, "frame added a constant value of  1000"));
    EXPECT_EQ(ws.Form23.Panel2, "3 x 1 Max = 2147483647");
    EXPECT_FALSE(MultiplyFrame(ws, host, "10.5"));
    EXPECT_FALSE(AddConstantToFrame(ws, host, "-1000.5"));
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Value out of range!", "Value out of range!"}));
    EXPECT_EQ(Pixels(ws), (std::vector<int32_t>{1018, -1, INT32_MAX}));
    // A pixel whose result is the mask marker stays a pixel, one count lower.
    ws.FramePixels.Intensity[1][1] = 0;
    ASSERT_TRUE(AddConstantToFrame(ws, host, "-1"));
    EXPECT_EQ(Pixels(ws), (std::vector<int32_t>{-2, -1, INT32_MAX - 1}));
    ws.FramePixels.Intensity[1][1] = 1;
    ASSERT_TRUE(MultiplyFrame(ws, host, "-1"));
    EXPECT_EQ(Pixels(ws)[0], -2);

    Workspace none;
    EXPECT_FALSE(MultiplyFrame(none, host, "2"));
    EXPECT_EQ(host.messages.back(), "Need to open a file first");
}

TEST(FrameMaskFiles, SaveThenLoadOnANonSquareFrameAndTruncatedFilesAreRefused) {
    TempDir dir;
    Workspace a;
    RecordingHost host;
    NumberedFrame(a, 7, 4);
    for (auto [x, y] : {std::pair{1, 1}, {7, 1}, {3, 4}, {7, 4}}) a.FramePixels.Intensity[x][y] = -1;
    ASSERT_TRUE(SaveMaskCommand(a, host, dir.file("m")));   // ".msk" is added
    EXPECT_TRUE(Logged(a, "New Mask save to m.msk"));
    EXPECT_EQ(test::ReadBytes(dir.file("m.msk")).size(), 16u);

    Workspace b;
    NumberedFrame(b, 7, 4);
    ASSERT_TRUE(LoadMaskCommand(b, host, dir.file("m.msk")));
    for (int x = 1; x <= 7; ++x)
        for (int y = 1; y <= 4; ++y)
            EXPECT_EQ(b.FramePixels.Intensity[x][y] == -1, a.FramePixels.Intensity[x][y] == -1) << x << "," << y;
    EXPECT_EQ(b.FSetup.EMask, dir.file("m.msk"));
    EXPECT_TRUE(b.FSetup.CBMask);
    EXPECT_TRUE(Logged(b, "New Mask loaded from m.msk"));

    // A truncated file, or a name not ending in ".msk", changes nothing.
    const std::string bytes = test::ReadBytes(dir.file("m.msk"));
    test::WriteBytes(dir.file("cut.msk"), bytes.substr(0, 14));
    test::WriteBytes(dir.file("m.MSK"), bytes);
    Workspace c;
    NumberedFrame(c, 7, 4);
    const auto before = Pixels(c);
    EXPECT_FALSE(LoadMaskCommand(c, host, dir.file("cut.msk")));
    EXPECT_FALSE(LoadMaskCommand(c, host, dir.file("m.MSK")));
    EXPECT_EQ(Pixels(c), before);
    EXPECT_FALSE(c.FSetup.CBMask);
    EXPECT_TRUE(c.FSetup.EMask.empty());
    EXPECT_EQ(host.messages.back(), "Invalid Mask file !");
}

TEST(FrameBackgroundFiles, RoundTripSubtractsAndAWrongSizeChangesNothing) {
    TempDir dir;
    RecordingHost host;
    Workspace bg;
    test::MakeFrame(bg, 6, 4);
    for (int x = 1; x <= 6; ++x)
        for (int y = 1; y <= 4; ++y) bg.FramePixels.Intensity[x][y] = x * y;
    ASSERT_TRUE(SaveBackgroundCommand(bg, host, dir.file("b.bck")));
    EXPECT_TRUE(Logged(bg, "New Background saved to b.bck"));

    Workspace ws;
    NumberedFrame(ws, 6, 4);
    ws.FramePixels.Intensity[2][3] = -1;
    ASSERT_TRUE(LoadBackgroundCommand(ws, host, dir.file("b.bck")));
    EXPECT_EQ(ws.FramePixels.Intensity[5][4], 100 + 5 + 40 - 20);
    EXPECT_EQ(ws.FramePixels.Intensity[2][3], -1);
    EXPECT_EQ(ws.FSetup.EBack, dir.file("b.bck"));
    EXPECT_TRUE(ws.FSetup.CBBack);
    EXPECT_TRUE(Logged(ws, "Background substracted b.bck"));

    Workspace other;
    NumberedFrame(other, 4, 6);
    const auto before = Pixels(other);
    EXPECT_FALSE(LoadBackgroundCommand(other, host, dir.file("b.bck")));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Wrong Background File!"});
    EXPECT_EQ(Pixels(other), before);
    EXPECT_FALSE(other.FSetup.CBBack);
    EXPECT_TRUE(other.FSetup.EBack.empty());

    // A file longer or shorter than its width and height say is damaged:
    // refused with its name, even on a frame of that size, which stays as
    // it was, as does the batch's background.
    Workspace same;
    NumberedFrame(same, 6, 4);
    const auto unchanged = Pixels(same);
    const std::string good = test::ReadBytes(dir.file("b.bck"));
    for (const std::string& damaged : {good + std::string(4, '\0'), good.substr(0, good.size() - 4)}) {
        test::WriteBytes(dir.file("d.bck"), damaged);
        host.messages.clear();
        EXPECT_FALSE(LoadBackgroundCommand(same, host, dir.file("d.bck")));
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].find("d.bck is damaged"), std::string::npos) << host.messages[0];
        EXPECT_EQ(Pixels(same), unchanged);
        EXPECT_TRUE(same.FSetup.EBack.empty());
    }
}

class FrameCrop : public ::testing::TestWithParam<test::ReferenceFrame> {};

// Cut with the corners typed in reverse, every kept pixel keeps its value
// and the 2-theta the independent library gives it in the whole frame.
TEST_P(FrameCrop, ReversedCornersKeepEveryPixelAndItsTwoTheta) {
    const test::ReferenceFrame& f = GetParam();
    Workspace ws;
    RecordingHost host;
    test::LoadReferenceFrame(ws, f);
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    const FramePlane<int32_t> whole = ws.FramePixels.Intensity;
    ws.RectangularSector = 1;
    ws.FMask.EX1 = "200";
    ws.FMask.Ex2 = "31";
    ws.FMask.EY1 = "9999";   // clamped to the last row
    ws.FMask.EY2 = "41";
    ASSERT_TRUE(CropFrame(ws, host));
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();
    EXPECT_TRUE(Logged(ws, "Rectangular Sector = 200, " + std::to_string(f.Height) + ", 31, 41"));
    const int32_t x1 = 31, y1 = 41;
    ASSERT_EQ(ws.FrameWidth, 200 - x1 + 1);
    ASSERT_EQ(ws.FrameHeight, f.Height - y1 + 1);
    EXPECT_EQ(ws.FMask.Ex2, std::to_string(ws.FrameWidth));
    ASSERT_TRUE(ws.FramePixels.HasGeometry());
    for (int32_t x = 1; x <= ws.FrameWidth; x += 7)
        for (int32_t y = 1; y <= ws.FrameHeight; y += 5)
            ASSERT_EQ(ws.FramePixels.Intensity[x][y], whole[x + x1 - 1][y + y1 - 1]);
    int compared = 0;
    for (const auto& r : test::ReadNumberTable(test::GeometryData(std::string(f.Name) + ".pixels.txt"))) {
        const int32_t i = static_cast<int32_t>(r[0]) - x1 + 1, j = static_cast<int32_t>(r[1]) - y1 + 1;
        if (i < 1 || j < 1 || i > ws.FrameWidth || j > ws.FrameHeight) continue;
        EXPECT_NEAR(ws.FramePixels.TwoTheta[i][j], r[2], 1e-5) << r[0] << "," << r[1];
        ++compared;
    }
    EXPECT_GT(compared, 30);
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameCrop, ::testing::ValuesIn(test::ReferenceFrames()), [](const auto& info) {
    std::string n = info.param.Name;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return n;
});

TEST(FrameCropMerged, AMergedFrameKeepsEachKeptColumnsAngleAndSource) {
    Workspace ws;
    RecordingHost host;
    test::SetUpFlatFrame(ws, 60, 20, 15, 10, 61.0, 61.0);
    ws.MergedFrame = 1;
    ws.MergeColumnTable.resize(61);
    for (int i = 1; i <= 60; ++i) ws.MergeColumnTable[i] = {i <= 30 ? 0.0 : 20.0, i <= 30 ? i : i - 30};
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    const FramePlane<float> before = ws.FramePixels.Geometry()->TwoTheta;
    ws.RectangularSector = 1;
    ws.FMask.EX1 = "21";
    ws.FMask.Ex2 = "45";
    ws.FMask.EY1 = "4";
    ws.FMask.EY2 = "20";
    ASSERT_TRUE(CropFrame(ws, host));
    ASSERT_EQ(ws.MergeColumnTable.size(), 26u);
    for (int32_t i = 1; i <= 25; ++i)
        for (int32_t j = 1; j <= 17; ++j)
            ASSERT_NEAR(ws.FramePixels.TwoTheta[i][j], before[i + 20][j + 3], 1e-5) << i << "," << j;
}

TEST(FrameCropRefusals, NoRectangleOrARectangleOutsideTheFrameChangesNothing) {
    Workspace ws;
    RecordingHost host;
    NumberedFrame(ws, 20, 10);
    ws.FMask.EX1 = "25";
    ws.FMask.Ex2 = "40";
    EXPECT_FALSE(CropFrame(ws, host));
    ws.RectangularSector = 1;
    EXPECT_FALSE(CropFrame(ws, host));
    ws.FMask.EX1 = "x";
    EXPECT_FALSE(CropFrame(ws, host));
    EXPECT_EQ(host.messages,
              (std::vector<std::string>{"Please select a rectangular mask",
                                        "The rectangle 25, 1, 40, 512 lies outside the frame of 20 x 10 pixels",
                                        "'x' is not a valid number"}));
    EXPECT_EQ(ws.FrameWidth, 20);
    EXPECT_EQ(ws.FMask.Ex2, "40");
}

// The Detector Settings impose the centre and the size (their Apply boxes,
// or "File Settings"): after a crop and a turn their boxes show the moved
// values, so an Apply with no edit leaves every angle as it is.
class FrameEditThenApply : public ::testing::TestWithParam<bool> {};

TEST_P(FrameEditThenApply, LeavesTheGeometryAsItIs) {
    const bool fileSettings = GetParam();
    Workspace ws;
    RecordingHost host;
    // 61 mm over 300 pixels: a crop to 200 gives a size of no short decimal.
    test::SetUpFlatFrame(ws, 300, 200, 150.25, 90.5, 61.54, 61.0);
    TForm32& d = ws.Form32;
    d.EXoM = "150.25";
    d.EYoM = "90.5";
    d.EDSize = "61";
    d.EDistance = "61.54";
    d.E2thetaD = "0";
    if (fileSettings)
        ws.Form20.CBFSettings = true;
    else
        d.CBXo = d.CBYo = d.CBDSize = true;
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    const FramePlane<float> whole = ws.FramePixels.Geometry()->TwoTheta;

    ws.RectangularSector = 1;
    ws.FMask.EX1 = "31";
    ws.FMask.Ex2 = "230";
    ws.FMask.EY1 = "11";
    ws.FMask.EY2 = "190";
    ASSERT_TRUE(CropFrame(ws, host));
    ASSERT_EQ(ws.FrameWidth, 200);
    ASSERT_EQ(ws.FrameHeight, 180);
    // Frame Info tells of the frame as it now is.
    EXPECT_EQ(ws.Form23.Panel2.substr(0, 10), "200 x 180 ");
    for (int32_t i = 1; i <= 200; i += 13)
        for (int32_t j = 1; j <= 180; j += 11)
            ASSERT_NEAR(ws.FramePixels.TwoTheta[i][j], whole[i + 30][j + 10], 1e-5) << i << "," << j;

    for (int edit = 0; edit < 2; ++edit) {
        SCOPED_TRACE(edit == 0 ? "after the crop" : "after the turn");
        if (edit == 1) {
            ASSERT_TRUE(Rotate90::Execute(ws, host));
            EXPECT_EQ(ws.Form23.Panel2.substr(0, 10), "180 x 200 ");
        }
        const FramePlane<float> edited = ws.FramePixels.Geometry()->TwoTheta;
        const double xo = ws.Xo, yo = ws.Yo, size = ws.DSize;
        ASSERT_TRUE(ApplyDetectorSettings(ws, host));
        EXPECT_EQ(ws.Xo, xo);
        EXPECT_EQ(ws.Yo, yo);
        EXPECT_EQ(ws.DSize, size);
        const FramePlane<float>& applied = ws.FramePixels.Geometry()->TwoTheta;
        for (int32_t i = 1; i <= ws.FrameWidth; ++i)
            for (int32_t j = 1; j <= ws.FrameHeight; ++j) ASSERT_EQ(applied[i][j], edited[i][j]) << i << "," << j;
    }
    EXPECT_TRUE(host.messages.empty()) << host.messages.front();
}

INSTANTIATE_TEST_SUITE_P(ImposedBy, FrameEditThenApply, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "FileSettings" : "ApplyBoxes"; });

TEST(FrameTranspose, TwiceGivesTheFrameAndCentreBackAndOnceSwapsTheAngles) {
    const test::ReferenceFrame& f = test::ReferenceFrames()[0];   // flat, untilted, off centre
    Workspace ws;
    RecordingHost host;
    test::LoadReferenceFrame(ws, f);
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    const auto before = Pixels(ws);
    FramePlane<int32_t> original = ws.FramePixels.Intensity;

    ASSERT_TRUE(Rotate90::Execute(ws, host));
    ASSERT_EQ(ws.FrameWidth, f.Height);
    ASSERT_EQ(ws.FrameHeight, f.Width);
    EXPECT_DOUBLE_EQ(ws.Xo, f.Yo);
    EXPECT_DOUBLE_EQ(ws.Yo, f.Xo);
    EXPECT_EQ(ws.Form20.ProgressBar1, 100);
    for (int32_t x = 1; x <= f.Width; ++x)
        for (int32_t y = 1; y <= f.Height; ++y) ASSERT_EQ(ws.FramePixels.Intensity[y][x], original[x][y]);
    // Pixel (i, j) of the frame is now (j, i) and keeps its 2-theta.
    for (const auto& r : test::ReadNumberTable(test::GeometryData(std::string(f.Name) + ".pixels.txt")))
        EXPECT_NEAR(ws.FramePixels.TwoTheta[static_cast<int>(r[1])][static_cast<int>(r[0])], r[2], 1e-5);

    ASSERT_TRUE(Rotate90::Execute(ws, host));
    EXPECT_EQ(Pixels(ws), before);
    EXPECT_DOUBLE_EQ(ws.Xo, f.Xo);
    EXPECT_DOUBLE_EQ(ws.Yo, f.Yo);
    EXPECT_TRUE(host.messages.empty());

    Workspace none;
    EXPECT_FALSE(Rotate90::Execute(none, host));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Need to open a file first"});
}

} // namespace
} // namespace orv
