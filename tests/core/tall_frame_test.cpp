// Frames of few columns and many rows: shared among threads by rows, with
// the same results as square frames get by columns.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/parallel.h"
#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "frame_test_support.h"
#include "test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/integration.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// The display maximum as the rule states it, row after row.
int32_t DisplayMaximumByRule(const FramePlane<int32_t>& p, int32_t w, int32_t h) {
    int32_t maximum = -10;
    double v = 0;
    for (int32_t y = 1; y <= h; ++y) {
        for (int32_t x = 1; x <= w; ++x) {
            if (p[x][y] == MaskedIntensity) continue;
            maximum = std::max(maximum, p[x][y]);
            v += p[x][y];
        }
        v /= w;
        if (maximum > 50.0 * v && maximum > 100000) maximum = static_cast<int32_t>(std::nearbyint(10.0 * v));
    }
    return maximum;
}

} // namespace

TEST(TallFrameTest, DisplayMaximumFollowsTheRuleAcrossBandsOfRows) {
    // Widths below and above the column split, powers of two and not; the
    // hot pixels lie beyond the first band of 2^18 rows.
    for (const int32_t w : {1, 3, 16, 40}) {
        const int32_t h = 300000 / w + 7;
        FramePlane<int32_t> p(w, h);
        uint32_t state = 12345;
        for (int32_t x = 1; x <= w; ++x)
            for (int32_t y = 1; y <= h; ++y) {
                state = state * 1664525u + 1013904223u;
                p[x][y] = static_cast<int32_t>(state >> 22);
            }
        p[1][h - 3] = 5000000;
        p[w][h - 2] = 120000;
        p[1][h - 1] = MaskedIntensity;
        const int32_t expected = DisplayMaximumByRule(p, w, h);
        // The rule brought it down (one column keeps the whole sum as its
        // running value, which no pixel outgrows fifty times).
        if (w > 1) {
            EXPECT_LT(expected, 5000000) << w;
        }
        EXPECT_EQ(DisplayMaximum(p, w, h), expected) << w;
    }
}

TEST(TallFrameTest, GeometryScansAndReadAreThoseOfOneThread) {
    test::TempDir dir;
    auto frameOf = [&](int32_t w, int32_t h) {
        Workspace ws;
        test::StartOwnFormatFrame(ws, w, h, 150, 100, 0.5, h * 0.3);
        for (int32_t x = 1; x <= w; ++x)
            for (int32_t y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = y % 97 == 0 ? MaskedIntensity : (x * 7 + y * 13) % 1000;
        const std::string path = dir.file("tall" + std::to_string(w) + ".orv");
        WriteNativeFrame(ws, path);
        return std::make_pair(path, ws.FramePixels.Intensity);
    };
    for (const int32_t w : {1, 5}) {
        const auto [path, written] = frameOf(w, 400000 / w);
        struct Result {
            FramePlane<int32_t> Read;
            FramePlane<float> TwoTheta, Psi;
            std::vector<ProfilePoint> Profile, Scan;
        };
        auto run = [&, path = path](unsigned threads) {
            ScopedParallelThreadLimit limit(threads);
            Workspace ws;
            RecordingHost host;
            ws.LastFileIndex = 0;
            ChainResult r = RunReaderChain(ws, host, ReaderChain::Load, path);
            EXPECT_TRUE(r.Read);
            InstallFrame(ws, std::move(r.Frame));
            EXPECT_TRUE(ComputeFrameGeometry(ws, host));
            ws.SectorTwoTheta1 = 1;
            ws.SectorTwoTheta2 = 30;
            ws.SectorPsi1 = 80;
            ws.SectorPsi2 = 100;
            N2ThetaScan1Click(ws, host);
            return Result{ws.FramePixels.Intensity, ws.FramePixels.TwoTheta.plane(), ws.FramePixels.Psi.plane(),
                          ws.FrameProfile, ws.SectorScan};
        };
        const Result one = run(1), eight = run(8);
        const int32_t h = written.height();
        // The frame as written, whichever way the rows were shared.
        for (const Result* r : {&one, &eight})
            for (int32_t x = 1; x <= w; ++x)
                for (int32_t y = 1; y <= h; y += 997) ASSERT_EQ(r->Read[x][y], written[x][y]) << x << " " << y;
        for (int32_t x = 0; x <= w + 1; ++x)
            for (int32_t y = 0; y <= h + 1; ++y) {
                ASSERT_EQ(eight.Read[x][y], one.Read[x][y]) << x << " " << y;
                ASSERT_EQ(eight.TwoTheta[x][y], one.TwoTheta[x][y]) << x << " " << y;
                ASSERT_EQ(eight.Psi[x][y], one.Psi[x][y]) << x << " " << y;
            }
        int64_t pixels = 0;
        for (size_t k = 0; k < one.Profile.size(); ++k) {
            ASSERT_EQ(eight.Profile[k].Intensity, one.Profile[k].Intensity) << k;
            ASSERT_EQ(eight.Profile[k].Count, one.Profile[k].Count) << k;
            ASSERT_EQ(eight.Scan[k].Intensity, one.Scan[k].Intensity) << k;
            ASSERT_EQ(eight.Scan[k].Count, one.Scan[k].Count) << k;
            pixels += one.Profile[k].Count;
        }
        // Every pixel but the masked ones is in the profile.
        EXPECT_EQ(pixels, int64_t{w} * h - w * (h / 97)) << w;
    }
}
