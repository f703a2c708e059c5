#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "base/parallel.h"
#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "frame_test_support.h"
#include "geometry_test_support.h"
#include "test_support.h"
#include "workspace/frame_background.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// The filter as the description says it, pixel by pixel: the four quadrants
// of the window, each the minimum of its unmasked pixels, averaged over the
// quadrants that hold one.
int32_t ReferenceBackground(const FramePlane<int32_t>& p, int32_t w, int32_t ht, int32_t h, int32_t c, int32_t r) {
    const int32_t cols[2][2] = {{c - h, c}, {c + 1, c + h}};
    const int32_t rows[2][2] = {{r - h, r}, {r + 1, r + h}};
    int64_t sum = 0;
    int n = 0;
    for (const auto& cs : cols)
        for (const auto& rs : rows) {
            bool any = false;
            int32_t lowest = 0;
            for (int32_t i = std::max(cs[0], 1); i <= std::min(cs[1], w); ++i)
                for (int32_t j = std::max(rs[0], 1); j <= std::min(rs[1], ht); ++j) {
                    if (p[i][j] == -1) continue;
                    lowest = any ? std::min(lowest, p[i][j]) : p[i][j];
                    any = true;
                }
            if (any) {
                sum += lowest;
                ++n;
            }
        }
    return n ? static_cast<int32_t>(sum / n) : 0;
}

FramePlane<int32_t> RandomFrame(int32_t w, int32_t h, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> value(-20, 3000);
    std::uniform_int_distribution<int> pick(0, 99);
    FramePlane<int32_t> p(w, h);
    for (int32_t i = 1; i <= w; ++i)
        for (int32_t j = 1; j <= h; ++j) {
            const int k = pick(rng);
            // Masked pixels, negatives left by a background frame, and a few
            // hot pixels far above 100000.
            p[i][j] = k < 12 ? -1 : k < 14 ? 2000000000 - k : value(rng);
        }
    return p;
}

} // namespace

TEST(FrameBackgroundTest, MatchesThePixelByPixelFilterOnRandomFramesWithMaskedPixels) {
    struct Case {
        int32_t w, h, half;
    };
    unsigned seed = 1;
    // The last frame is large enough to be shared out among threads.
    ScopedParallelThreadLimit threads(8);
    for (const Case c : {Case{1, 1, 5}, Case{1, 9, 2}, Case{9, 1, 2}, Case{13, 9, 0}, Case{13, 9, 1},
                         Case{17, 23, 5}, Case{40, 33, 5}, Case{6, 6, 7}, Case{700, 300, 5}}) {
        const FramePlane<int32_t> before = RandomFrame(c.w, c.h, seed++);
        FramePlane<int32_t> background;
        WindowMinimumBackground(before, c.w, c.h, c.half, background);
        FramePlane<int32_t> after = before;
        const BackgroundRemoval removal = SubtractWindowMinimumBackground(after, c.w, c.h, c.half);
        int64_t peak = 0, removed = 0;
        for (int32_t i = 1; i <= c.w; ++i)
            for (int32_t j = 1; j <= c.h; ++j) {
                const int32_t v = before[i][j];
                const int32_t b = ReferenceBackground(before, c.w, c.h, c.half, i, j);
                ASSERT_EQ(background[i][j], b)
                    << c.w << "x" << c.h << " h " << c.half << " at " << i << "," << j;
                if (v == -1) {
                    EXPECT_EQ(after[i][j], -1);
                    continue;
                }
                const int32_t taken = std::min(b, v);
                EXPECT_EQ(after[i][j], v - taken);
                peak += v - taken;
                removed += taken;
            }
        EXPECT_EQ(removal.PeakCounts, peak);
        EXPECT_EQ(removal.BackgroundCounts, removed);
    }
}

TEST(FrameBackgroundTest, AUniformFrameLosesEverythingUpToItsEdges) {
    // 500 counts and a high-count frame: every pixel, the last row and
    // column included, becomes 0, and the background is the old total.
    for (const int32_t level : {500, 250000}) {
        FramePlane<int32_t> p(31, 17, level);
        const BackgroundRemoval r = SubtractWindowMinimumBackground(p, 31, 17, 5);
        for (int32_t i = 1; i <= 31; ++i)
            for (int32_t j = 1; j <= 17; ++j) ASSERT_EQ(p[i][j], 0) << level << " at " << i << "," << j;
        EXPECT_EQ(r.PeakCounts, 0);
        EXPECT_EQ(r.BackgroundCounts, int64_t{level} * 31 * 17);
    }
}

TEST(FrameBackgroundTest, APeakKeepsWhatStandsAboveTheBackgroundAndMaskedPixelsStayOut) {
    FramePlane<int32_t> p(20, 20, 500);
    p[10][10] = 10500;
    p[11][10] = -1;   // masked next to the peak: lowers nothing
    p[20][20] = 900;  // the last column and row
    const BackgroundRemoval r = SubtractWindowMinimumBackground(p, 20, 20, 5);
    EXPECT_EQ(p[10][10], 10000);
    EXPECT_EQ(p[11][10], -1);
    EXPECT_EQ(p[20][20], 400);   // its three outer quadrants are empty: the fourth's 500 alone
    EXPECT_EQ(p[1][1], 0);
    EXPECT_EQ(r.PeakCounts, 10000 + 400);
    EXPECT_EQ(r.BackgroundCounts, 500LL * 399);   // 400 pixels, one masked
}

TEST(FrameBackgroundTest, TheMenuWorkerRemovesRebinsAndLogs) {
    Workspace ws;
    RecordingHost host;
    EXPECT_FALSE(T2DBackThread::Execute(ws, host));   // no frame: nothing happens
    EXPECT_TRUE(ws.LLog.Lines().empty());

    test::SetUpFlatFrame(ws, 64, 48, 32, 24, 60, 30, 0, 100);
    ws.FramePixels.Intensity[40][30] = 1100;
    ws.FSetup.CB2thetaLorentz = false;
    ASSERT_TRUE(ComputeFrameGeometry(ws, host));
    bool finished = false;
    T2DBackThread worker(ws, host, [&] { finished = true; });
    worker.Join();
    EXPECT_TRUE(finished && worker.Finished());

    EXPECT_EQ(ws.FramePixels.Intensity[40][30], 1000);
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 0);
    const auto lines = ws.LLog.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Background of Frame removed");
    EXPECT_EQ(lines.back(), "Peak counts = 1000 Background counts = " + std::to_string(100 * 64 * 48));
    EXPECT_EQ(ws.Form20.ProgressBar1, 100);
    // The profile holds what is left: the one pixel's 1000 counts, in the
    // bin of its 2-theta, in both rows.
    double total = 0;
    for (int32_t k = 0; k <= ws.ScanPoints; ++k) total += ws.FrameProfileCopy[k].Intensity;
    EXPECT_DOUBLE_EQ(total, 1000);
    const int32_t bin = static_cast<int32_t>(
        std::nearbyint((ws.FramePixels.TwoTheta[40][30] - ws.MinTwoTheta) / ws.TwoThetaStep));
    EXPECT_FLOAT_EQ(ws.FrameProfile[bin].Intensity, 1000);
    EXPECT_EQ(ws.FrameProfile[bin].TwoTheta, ws.FrameProfileCopy[bin].TwoTheta);
    EXPECT_GT(ws.SectorScanPoints, 0);   // the scan was made again
}

TEST(FrameBackgroundTest, TheBatchRemovesTheBackgroundOfEveryFrame) {
    test::TempDir dir;
    {
        Workspace src;
        test::SetUpFlatFrame(src, 64, 48, 32, 24, 60, 30, 0, 300);
        src.FramePixels.Intensity[10][10] = 2300;
        WriteNativeFrame(src, dir.file("a.orv"));
    }
    Workspace ws;
    RecordingHost host;
    ws.FSetup.CBBackFrame = true;
    ASSERT_TRUE(OpenFiles(ws, {dir.file("a.orv")}));
    ws.SingleFileMode = 0;
    EXPECT_EQ(TBatchThread::Execute(ws, host), 1);
    EXPECT_EQ(ws.FramePixels.Intensity[10][10], 2000);
    EXPECT_EQ(ws.FramePixels.Intensity[64][48], 0);
    EXPECT_EQ(ws.MaxIntensity, 2000);
    EXPECT_TRUE(test::Logged(ws, "Peak counts = 2000 Background counts = " + std::to_string(300 * 64 * 48)));
    EXPECT_EQ(ws.CommandsFailed, 0);
    EXPECT_EQ(ws.FramesNotProcessed, 0);
}
