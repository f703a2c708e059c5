// The parallel loop, and the geometry computed on many threads against the
// same computation forced onto one.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "geometry_test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/parallel.h"
#include "pixel_record.h"

using namespace orv;
using namespace orv::test;

TEST(ParallelFor, VisitsEveryIndexOnceWithValidWorkers) {
    for (unsigned workers : {1u, 2u, 3u, 8u, 64u}) {
        for (int32_t last : {-1, 0, 1, 7, 100, 1001}) {
            std::vector<std::atomic<int>> seen(static_cast<size_t>(std::max(last, 0) + 1));
            std::atomic<bool> badWorker{false};
            ParallelFor(0, last, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
                if (worker >= workers || lo > hi) badWorker = true;
                for (int32_t k = lo; k <= hi; ++k) ++seen[static_cast<size_t>(k)];
            });
            EXPECT_FALSE(badWorker);
            for (int32_t k = 0; k <= last; ++k) ASSERT_EQ(seen[static_cast<size_t>(k)], 1) << workers << " " << k;
        }
    }
}

TEST(ParallelFor, ExceptionReachesTheCaller) {
    EXPECT_THROW(ParallelFor(1, 1000, 4,
                             [](unsigned, int32_t lo, int32_t hi) {
                                 if (lo <= 500 && 500 <= hi) throw std::runtime_error("bad column");
                             }),
                 std::runtime_error);
}

TEST(ParallelFor, LoopsFromManyThreadsAndLoopsInsideLoopsEachFinishWhole) {
    // The loop's helpers are shared: loops started at once from several
    // threads, and loops started inside a loop's body, must each visit every
    // index once, with worker numbers that no two helpers of one loop share
    // at the same time.
    constexpr int32_t Outer = 40, Inner = 300;
    auto run = [&](std::vector<int>& seen) {
        std::vector<std::atomic<int>> busy(8);
        std::atomic<bool> clash{false};
        std::mutex seenMutex;
        ParallelFor(0, Outer - 1, 8, [&](unsigned worker, int32_t lo, int32_t hi) {
            if (worker >= 8 || busy[worker].fetch_add(1) != 0) clash = true;
            for (int32_t o = lo; o <= hi; ++o) {
                std::vector<std::atomic<int>> inner(Inner);
                ParallelFor(0, Inner - 1, 4, [&](unsigned w, int32_t a, int32_t b) {
                    if (w >= 4) clash = true;
                    for (int32_t k = a; k <= b; ++k) ++inner[static_cast<size_t>(k)];
                });
                int whole = 0;
                for (const auto& v : inner) whole += v == 1;
                std::lock_guard lock(seenMutex);
                seen[static_cast<size_t>(o)] += whole == Inner;
            }
            busy[worker].fetch_sub(1);
        });
        EXPECT_FALSE(clash);
    };
    std::vector<std::vector<int>> seen(4, std::vector<int>(Outer, 0));
    std::vector<std::thread> callers;
    for (auto& s : seen) callers.emplace_back([&run, &s] { run(s); });
    for (auto& t : callers) t.join();
    for (const auto& s : seen)
        for (int32_t o = 0; o < Outer; ++o) EXPECT_EQ(s[static_cast<size_t>(o)], 1) << o;
}

TEST(ParallelFor, WorkerCountFollowsTheWorkAndTheLimit) {
    EXPECT_EQ(ParallelWorkerCount(1000, 65536, 8), 1u);
    EXPECT_EQ(ParallelWorkerCount(4 * 65536, 65536, 8), 4u);
    EXPECT_EQ(ParallelWorkerCount(100 * 65536, 65536, 8), 8u);
    {
        ScopedParallelThreadLimit serial(1);
        EXPECT_EQ(ParallelThreadCount(), 1u);
        EXPECT_EQ(ParallelWorkerCount(100 * 65536, 65536), 1u);
    }
    EXPECT_GE(ParallelThreadCount(), 1u);
}

namespace {

// A 1024 x 768 frame of noise with masked pixels, set up for one shape.
void SetUpNoisyFrame(Workspace& ws, int shape) {
    SetUpFlatFrame(ws, 1024, 768, 400.5, 300.25, 80, 61.0, shape == 2 ? -25 : (shape == 3 ? 15 : 0));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> counts(0, 1 << 20);
    for (int i = 1; i <= 1024; ++i)
        for (int j = 1; j <= 768; ++j) ws.FramePixels.Intensity[i][j] = rng() % 50 == 0 ? MaskedIntensity : counts(rng);
    switch (shape) {
    case 3: ws.Form28.CBVertical = true; break;
    case 4: ws.Form32.SelectShape(2); break;
    case 5: ws.Form32.SelectShape(3); break;
    default: break;
    }
    ws.FSetup.Adjust2Theta = true;
    ws.FSetup.E2ThetaMax = "30";
}

} // namespace

TEST(GeometryParallel, SameResultAsOneThread) {
    for (int shape = 1; shape <= 5; ++shape) {
        SCOPED_TRACE("shape " + std::to_string(shape));
        Workspace serial, parallel;
        RecordingHost host;
        SetUpNoisyFrame(serial, shape);
        SetUpNoisyFrame(parallel, shape);
        {
            ScopedParallelThreadLimit one(1);
            ComputeFrameGeometry(serial, host);
        }
        {
            ScopedParallelThreadLimit eight(8);
            ComputeFrameGeometry(parallel, host);
        }
        ASSERT_EQ(test::PlaneBytes(serial), test::PlaneBytes(parallel));
        ASSERT_EQ(std::memcmp(serial.FrameProfile.data(), parallel.FrameProfile.data(), ProfileLength * sizeof(ProfilePoint)), 0);
        ASSERT_EQ(std::memcmp(serial.FrameProfileCopy.data(), parallel.FrameProfileCopy.data(),
                              ProfileLength * sizeof(ProfilePoint)),
                  0);
        EXPECT_EQ(serial.MinTwoTheta, parallel.MinTwoTheta);
        EXPECT_EQ(serial.MaxTwoTheta, parallel.MaxTwoTheta);
        EXPECT_EQ(serial.TwoThetaStep, parallel.TwoThetaStep);
        EXPECT_EQ(serial.ScanPoints, parallel.ScanPoints);
        EXPECT_EQ(serial.ProfileTopIntensity, parallel.ProfileTopIntensity);
    }
}

TEST(GeometryParallel, LargeSumsStayExact) {
    // Bins of many bright pixels: a float running sum would lose counts.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 1024, 1024, 512.5, 512.5, 61.54, 61.0, 0, 2000000001);
    ComputeFrameGeometry(ws, host);
    int64_t pixels = 0;
    for (int k = 0; k <= ws.ScanPoints; ++k) {
        const ProfilePoint& p = ws.FrameProfileCopy[k];
        pixels += p.Count;
        if (k > 0 && p.Count > 0) {
            ASSERT_EQ(p.Intensity, 2000000001.0f) << k;
        }
    }
    EXPECT_EQ(pixels, 1024 * 1024);
}
