// The frame background removal (windowed quadrant minima) and the spot
// search on 2048 x 2048 frames, beside the filter done pixel by pixel.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "base/parallel.h"
#include "workspace/frame_background.h"
#include "workspace/spot_finder.h"

namespace {

using namespace orv;

// Rings over a falling background with counting noise, 1 % of the pixels
// masked and a few hundred spots.
const FramePlane<int32_t>& BenchFrame() {
    static const FramePlane<int32_t> frame = [] {
        constexpr int32_t n = 2048;
        FramePlane<int32_t> p(n, n);
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> u(0, 1);
        for (int32_t i = 1; i <= n; ++i)
            for (int32_t j = 1; j <= n; ++j) {
                const double r = std::hypot(i - 0.47 * n, j - 0.52 * n);
                double v = 800 * std::exp(-r / 900) + 50;
                for (double ring : {300.0, 520.0, 610.0, 850.0}) v += 2000 * std::exp(-std::pow((r - ring) / 3, 2));
                v += std::sqrt(v) * (u(rng) - 0.5) * 3.4;
                p[i][j] = u(rng) < 0.01 ? -1 : static_cast<int32_t>(v);
            }
        for (int k = 0; k < 300; ++k) {
            const int32_t i = 3 + static_cast<int32_t>(u(rng) * (n - 6)), j = 3 + static_cast<int32_t>(u(rng) * (n - 6));
            for (int32_t a = -2; a <= 2; ++a)
                for (int32_t b = -2; b <= 2; ++b) p[i + a][j + b] = 20000 - 3000 * (std::abs(a) + std::abs(b));
        }
        return p;
    }();
    return frame;
}

void SetThreads(benchmark::State& state) { state.counters["threads"] = ParallelThreadCount(); }

// Argument: threads (0 = all cores).
void BM_WindowMinimumBackground(benchmark::State& state) {
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(0)));
    const FramePlane<int32_t>& frame = BenchFrame();
    FramePlane<int32_t> background;
    for (auto _ : state) {
        WindowMinimumBackground(frame, frame.width(), frame.height(), FrameBackgroundHalfWidth, background);
        benchmark::DoNotOptimize(background.data());
    }
    SetThreads(state);
}
BENCHMARK(BM_WindowMinimumBackground)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole removal: background, subtraction and sums, on a fresh copy.
void BM_SubtractWindowMinimumBackground(benchmark::State& state) {
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(0)));
    FramePlane<int32_t> frame;
    for (auto _ : state) {
        state.PauseTiming();
        frame = BenchFrame();
        state.ResumeTiming();
        benchmark::DoNotOptimize(
            SubtractWindowMinimumBackground(frame, frame.width(), frame.height(), FrameBackgroundHalfWidth));
    }
    SetThreads(state);
}
BENCHMARK(BM_SubtractWindowMinimumBackground)->ArgName("threads")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same background pixel by pixel: 121 reads a pixel, one thread.
void BM_QuadrantMinimaPixelByPixel(benchmark::State& state) {
    const FramePlane<int32_t>& p = BenchFrame();
    const int32_t w = p.width(), ht = p.height(), h = FrameBackgroundHalfWidth;
    FramePlane<int32_t> background(w, ht);
    for (auto _ : state) {
        for (int32_t c = 1; c <= w; ++c)
            for (int32_t r = 1; r <= ht; ++r) {
                int64_t sum = 0;
                int n = 0;
                for (const auto& [c0, c1] : {std::pair{c - h, c}, std::pair{c + 1, c + h}})
                    for (const auto& [r0, r1] : {std::pair{r - h, r}, std::pair{r + 1, r + h}}) {
                        int32_t lowest = INT32_MAX;
                        bool any = false;
                        for (int32_t i = std::max(c0, 1); i <= std::min(c1, w); ++i)
                            for (int32_t j = std::max(r0, 1); j <= std::min(r1, ht); ++j)
                                if (p[i][j] != -1) {
                                    lowest = std::min(lowest, p[i][j]);
                                    any = true;
                                }
                        if (any) {
                            sum += lowest;
                            ++n;
                        }
                    }
                background[c][r] = n ? static_cast<int32_t>(sum / n) : 0;
            }
        benchmark::DoNotOptimize(background.data());
    }
}
BENCHMARK(BM_QuadrantMinimaPixelByPixel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Arguments: window half-width, threads (0 = all cores).
void BM_FindSpots(benchmark::State& state) {
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(1)));
    const FramePlane<int32_t>& frame = BenchFrame();
    size_t found = 0;
    for (auto _ : state) {
        found = FindSpots(frame, frame.width(), frame.height(), 5000, static_cast<int32_t>(state.range(0)), false,
                          false)
                    .size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["spots"] = static_cast<double>(found);
    SetThreads(state);
}
BENCHMARK(BM_FindSpots)->ArgNames({"window", "threads"})->Args({8, 1})->Args({8, 0})->Args({16, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
