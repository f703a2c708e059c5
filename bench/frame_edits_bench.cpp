// The frame edits and the frame arithmetic on a 2048 x 2048 frame.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <unistd.h>

#include "base/parallel.h"
#include "formats/frame_math.h"
#include "formats/mask_files.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "workspace/frame_edits.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace {

using namespace orv;

constexpr int32_t Side = 2048;

// Counts with one pixel in a hundred masked.
FramePlane<int32_t> NoisePlane(int32_t side, unsigned seed) {
    FramePlane<int32_t> p(side, side);
    std::mt19937 rng(seed);
    for (int32_t i = 1; i <= side; ++i)
        for (int32_t j = 1; j <= side; ++j) p[i][j] = rng() % 100 == 0 ? -1 : static_cast<int32_t>(rng() % 5000);
    return p;
}

const FramePlane<int32_t>& Noise() {
    static const FramePlane<int32_t> plane = NoisePlane(Side, 1);
    return plane;
}

void Pixels(benchmark::State& state) {
    state.counters["Mpixel/s"] =
        benchmark::Counter(double(Side) * Side / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["threads"] = ParallelThreadCount();
}

// Argument: the window width (20 is the widest: a 21 x 21 window).
void BM_SmoothPlane(benchmark::State& state) {
    FramePlane<int32_t> p;
    for (auto _ : state) {
        state.PauseTiming();
        p = Noise();
        state.ResumeTiming();
        SmoothPlane(p, Side, Side, static_cast<int32_t>(state.range(0)));
        benchmark::DoNotOptimize(p.data());
    }
    Pixels(state);
}
BENCHMARK(BM_SmoothPlane)->Arg(3)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

// The one-pass edits, each on a fresh copy of the frame.
template <typename Edit>
void RunEdit(benchmark::State& state, const Edit& edit) {
    FramePlane<int32_t> p;
    for (auto _ : state) {
        state.PauseTiming();
        p = Noise();
        state.ResumeTiming();
        edit(p);
        benchmark::DoNotOptimize(p.data());
    }
    Pixels(state);
}

void BM_MaskByValue(benchmark::State& state) {
    RunEdit(state, [](FramePlane<int32_t>& p) { MaskByValue(p, Side, Side, 4000, MaskSide::Above); });
}
void BM_ScaleIntensities(benchmark::State& state) {
    RunEdit(state, [](FramePlane<int32_t>& p) { ScaleIntensities(p, Side, Side, 1.7f); });
}
void BM_AddToIntensities(benchmark::State& state) {
    RunEdit(state, [](FramePlane<int32_t>& p) { AddToIntensities(p, Side, Side, 25); });
}
void BM_SubtractBackground(benchmark::State& state) {
    BackgroundFrame b;
    b.Width = b.Height = Side;
    b.Values.assign(size_t(Side) * Side, 7);
    RunEdit(state, [&](FramePlane<int32_t>& p) { SubtractBackground(p, Side, Side, b); });
}
void BM_CombineFramesAdd(benchmark::State& state) {
    static const FramePlane<int32_t> other = NoisePlane(Side, 2);
    RunEdit(state, [](FramePlane<int32_t>& p) { CombineFrames(p, other, Side, Side, FrameOperation::Add); });
}
BENCHMARK(BM_MaskByValue)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleIntensities)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddToIntensities)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SubtractBackground)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CombineFramesAdd)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TransposePlane(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(TransposePlane(Noise(), Side, Side).data());
    Pixels(state);
}
void BM_CropPlane(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(CropPlane(Noise(), 101, Side - 100, 101, Side - 100).data());
    Pixels(state);
}
BENCHMARK(BM_TransposePlane)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CropPlane)->Unit(benchmark::kMillisecond)->UseRealTime();

// A loaded 2048 x 2048 flat frame with its geometry, and one frame file of
// the same size to combine with it.
struct Scene {
    std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
    std::string file;
    Scene() {
        Workspace& w = *ws;
        w.FramePixels.Intensity = Noise();
        w.FrameWidth = w.FrameHeight = w.FrameSize = Side;
        w.Xo = w.Yo = Side / 2.0;
        w.Distance = 150;
        w.DSize = 204.8;
        w.LastFileIndex = 0;
        w.DisplayWidth = 1024;
        RecordingHost host;
        ComputeFrameGeometry(w, host);
        const std::string name = "orv-bench-math-" + std::to_string(::getpid()) + ".orv";
        file = (std::filesystem::temp_directory_path() / name).string();
        WriteNativeFrame(w, file);
    }
    ~Scene() { std::filesystem::remove(file); }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// The read alone, through the arithmetic chain.
void BM_ArithmeticChainRead(benchmark::State& state) {
    Scene& s = TheScene();
    RecordingHost host;
    for (auto _ : state) benchmark::DoNotOptimize(RunReaderChain(*s.ws, host, ReaderChain::Arithmetic, s.file).Read);
    Pixels(state);
}
// A whole "Substract frame" run over 1 or 4 files (the same file): copy of
// the frame, each file read and combined, then the result installed,
// mapped, drawn and scanned.
void BM_FrameMathRun(benchmark::State& state) {
    Scene& s = TheScene();
    RecordingHost host;
    const std::vector<std::string> files(static_cast<size_t>(state.range(0)), s.file);
    for (auto _ : state)
        benchmark::DoNotOptimize(TMathThread::Execute(*s.ws, host, FrameOperation::Subtract, files).Combined);
    Pixels(state);
}
BENCHMARK(BM_ArithmeticChainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameMathRun)->ArgName("files")->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

namespace {

// The frames of tools/make_bench_frames, registered when ORV_BENCH_FRAMES
// names their folder: the same jobs as bench/frame_edits_peer.py on the same
// 2048 x 2048 TIFF.
struct TiffScene {
    std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
    std::string file;
    explicit TiffScene(const std::string& folder) : file(folder + "/frame2048.tif") {
        RecordingHost host;
        ChainResult read = RunReaderChain(*ws, host, ReaderChain::Load, file);
        if (!read.Read) return;
        InstallFrame(*ws, std::move(read.Frame));
        ws->LastFileIndex = 0;
    }
};

// The work of one file of "Substract frame": read through the arithmetic
// chain, then combined with the frame.
void FrameMathTiff(benchmark::State& state, const std::string& folder) {
    TiffScene s(folder);
    RecordingHost host;
    FramePlane<int32_t> result = s.ws->FramePixels.Intensity;
    const int32_t w = s.ws->FrameWidth, h = s.ws->FrameHeight;
    for (auto _ : state) {
        ChainResult read = RunReaderChain(*s.ws, host, ReaderChain::Arithmetic, s.file);
        if (!read.Read) state.SkipWithError("frame2048.tif not read");
        CombineFrames(result, read.Frame.Intensity, w, h, FrameOperation::Subtract);
        benchmark::DoNotOptimize(result.data());
    }
}
void SmoothTiff(benchmark::State& state, const std::string& folder) {
    TiffScene s(folder);
    FramePlane<int32_t> p;
    for (auto _ : state) {
        state.PauseTiming();
        p = s.ws->FramePixels.Intensity;
        state.ResumeTiming();
        SmoothPlane(p, s.ws->FrameWidth, s.ws->FrameHeight, 20);
        benchmark::DoNotOptimize(p.data());
    }
}
const bool TiffBenchmarksRegistered = [] {
    if (const char* folder = std::getenv("ORV_BENCH_FRAMES")) {
        benchmark::RegisterBenchmark("FrameMathTiff", FrameMathTiff, std::string(folder))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark("SmoothTiff", SmoothTiff, std::string(folder))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    return true;
}();

} // namespace
