// The per-pixel geometry with its whole-frame profile, on large frames.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/parallel.h"
#include "workspace/workspace.h"

namespace {

using namespace orv;

// A square frame of Poisson-like noise, the centre a little off the middle.
std::unique_ptr<Workspace> MakeFrame(int32_t size, double twoThetaD) {
    auto ws = std::make_unique<Workspace>();
    ws->FramePixels.Blank(size, size);
    ws->FrameWidth = ws->FrameHeight = ws->FrameSize = size;
    ws->Xo = size * 0.47;
    ws->Yo = size * 0.52;
    ws->Distance = 150;
    ws->DSize = 204.8;
    ws->TwoThetaD = twoThetaD;
    ws->LastFileIndex = 0;
    std::mt19937 rng(1);
    for (int32_t i = 1; i <= size; ++i)
        for (int32_t j = 1; j <= size; ++j) ws->FramePixels.Intensity[i][j] = static_cast<int32_t>(rng() % 5000);
    return ws;
}

// Arguments: frame size, detector angle (degrees), threads (0 = all cores),
// whether the geometry changes between runs (1: the centre moves by a
// hundredth of a pixel each time, so every run maps every pixel; 0: the
// cached planes are reused and only the profile is binned).
void BM_ComputeFrameGeometry(benchmark::State& state) {
    const auto size = static_cast<int32_t>(state.range(0));
    auto ws = MakeFrame(size, static_cast<double>(state.range(1)));
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(2)));
    const bool changing = state.range(3) != 0;
    RecordingHost host;
    ComputeFrameGeometry(*ws, host);
    for (auto _ : state) {
        if (changing) ws->Xo += 0.01;
        ComputeFrameGeometry(*ws, host);
        benchmark::DoNotOptimize(ws->FrameProfile.data());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(size) * size / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["threads"] = ParallelThreadCount();
}
BENCHMARK(BM_ComputeFrameGeometry)
    ->ArgNames({"size", "tilt", "threads", "changed"})
    ->Args({2048, 0, 0, 1})
    ->Args({2048, 25, 0, 1})
    ->Args({4096, 0, 0, 1})
    ->Args({4096, 25, 0, 1})
    ->Args({2048, 0, 1, 1})
    ->Args({2048, 25, 1, 1})
    ->Args({2048, 0, 0, 0})
    ->Args({4096, 0, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

// The binning pass alone, on a frame whose geometry has been computed.
void BM_BinFrameProfile(benchmark::State& state) {
    const auto size = static_cast<int32_t>(state.range(0));
    auto ws = MakeFrame(size, 0);
    RecordingHost host;
    ComputeFrameGeometry(*ws, host);
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(1)));
    for (auto _ : state) {
        BinFrameProfile(*ws);
        benchmark::DoNotOptimize(ws->FrameProfile.data());
    }
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(size) * size / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BinFrameProfile)
    ->ArgNames({"size", "threads"})
    ->Args({2048, 0})
    ->Args({4096, 0})
    ->Args({2048, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

} // namespace
