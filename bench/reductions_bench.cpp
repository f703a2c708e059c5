// The centre search and the sector reductions on a 2048 x 2048 frame:
// silicon rings over a falling background with counting noise, a flat
// untilted detector of 0.1 mm pixels 150 mm from the sample, Mo K-alpha 1,
// the beam at column 0.4933 x 2048 and row 0.5032 x 2048 (the frames of
// tools/make_bench_frames). With ORV_BENCH_FRAMES naming the folder that
// tool wrote, its frame2048.tif is read with bench2048.set; otherwise the
// same frame is made here.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "base/numbers.h"
#include "formats/reader.h"
#include "workspace/centre_search.h"
#include "workspace/detector_settings.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/sector_reductions.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

constexpr int Side = 2048;
const double BeamX = Side * 0.4933, BeamY = Side * 0.5032;

// The benchmarks show nothing: the host only records what it was told.
using QuietHost = RecordingHost;

void MakeFrame(Workspace& ws, QuietHost& host) {
    ws.FramePixels.Blank(Side, Side);
    ws.FrameWidth = ws.FrameHeight = ws.FrameSize = Side;
    ws.LastFileIndex = 0;
    ws.FileList = {"frame2048.orv"};
    ws.CurrentFile = "frame2048.orv";
    ws.Landa = 0.7093;
    ws.Distance = 150;
    ws.DSize = 204.8;
    ws.Xo = BeamX;
    ws.Yo = BeamY;
    ComputeFrameGeometry(ws, host);
    const int hkl[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2}, {5, 1, 1}};
    std::vector<double> rings;
    for (const auto& r : hkl) {
        const double d = 5.4309 / std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
        rings.push_back(2 * std::asin(0.7093 / (2 * d)) * 180 / 3.14159265358979);
    }
    std::mt19937 random(1);
    std::normal_distribution<double> unit;
    for (int32_t i = 1; i <= Side; ++i)
        for (int32_t j = 1; j <= Side; ++j) {
            const double t = ws.FramePixels.TwoTheta[i][j];
            double v = 30 + 200 * std::exp(-t / 6);
            for (double r : rings) v += 1500 * std::exp(-0.5 * std::pow((t - r) / 0.05, 2));
            ws.FramePixels.Intensity[i][j] = std::max(0, static_cast<int32_t>(std::lround(v + std::sqrt(v) * unit(random))));
        }
}

Workspace& Frame() {
    static std::unique_ptr<Workspace> ws;
    if (ws) return *ws;
    ws = std::make_unique<Workspace>();
    QuietHost host;
    if (const char* folder = std::getenv("ORV_BENCH_FRAMES")) {
        LoadSettingsFile(*ws, host, std::string(folder) + "/bench2048.set");
        OpenFiles(*ws, {std::string(folder) + "/frame2048.tif"});
        ChainResult r = RunReaderChain(*ws, host, ReaderChain::Load, ws->FileList[0]);
        InstallFrame(*ws, std::move(r.Frame));
        ComputeFrameGeometry(*ws, host);
    } else {
        MakeFrame(*ws, host);
    }
    ws->SectorTwoTheta1 = 5;
    ws->SectorTwoTheta2 = 40;
    return *ws;
}

// "Auto" from a start 8 pixels off: the passes, each with its geometry, then
// the new geometry, picture and scan of the centre command.
void AutoCentre2048(benchmark::State& state) {
    Workspace& ws = Frame();
    QuietHost host;
    for (auto _ : state) {
        ws.Form27.EXoM = FormatNumber(BeamX + 6);
        ws.Form27.EYoM = FormatNumber(BeamY - 5);
        ws.Form27.CBInitPos = ws.Form27.CBXo = ws.Form27.CBYo = true;
        if (!FindCentre(ws, host, false).empty()) state.SkipWithError("no centre found");
    }
    state.counters["error_px"] = std::hypot(ws.Xo - BeamX, ws.Yo - BeamY);
}
BENCHMARK(AutoCentre2048)->Unit(benchmark::kMillisecond)->UseRealTime();

void DirectBeamTable2048(benchmark::State& state) {
    Workspace& ws = Frame();
    for (auto _ : state) benchmark::DoNotOptimize(BrightestBox(ws.FramePixels.Intensity, Side, Side, 5));
}
BENCHMARK(DirectBeamTable2048)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same search the plain way: 121 reads a pixel, one thread.
void DirectBeamNaive2048(benchmark::State& state) {
    Workspace& ws = Frame();
    const FramePlane<int32_t>& p = ws.FramePixels.Intensity;
    for (auto _ : state) {
        int64_t best = -1;
        for (int32_t i = 1; i <= Side; ++i)
            for (int32_t j = 1; j <= Side; ++j) {
                int64_t sum = 0;
                for (int32_t a = std::max(1, i - 5); a <= std::min(Side, i + 5); ++a)
                    for (int32_t b = std::max(1, j - 5); b <= std::min(Side, j + 5); ++b)
                        if (p[a][b] != MaskedIntensity) sum += p[a][b];
                best = std::max(best, sum);
            }
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(DirectBeamNaive2048)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void DSpacing2048(benchmark::State& state) {
    Workspace& ws = Frame();
    for (auto _ : state) CalculateDSpacing(ws);
    state.counters["bins"] = ws.ScanPoints + 1;
}
BENCHMARK(DSpacing2048)->Unit(benchmark::kMillisecond)->UseRealTime();

void Slices2048(benchmark::State& state) {
    Workspace& ws = Frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(PsiSliceSums(ws.FramePixels, Side, Side, 10, 11, static_cast<double>(state.range(0))));
}
BENCHMARK(Slices2048)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();

void Integrate2048(benchmark::State& state) {
    Workspace& ws = Frame();
    QuietHost host;
    for (auto _ : state) Integrate1Click(ws, host);
}
BENCHMARK(Integrate2048)->Unit(benchmark::kMillisecond)->UseRealTime();

void LineScan2048(benchmark::State& state) {
    Workspace& ws = Frame();
    QuietHost host;
    ws.LineScanWidth = 5;
    for (auto _ : state) {
        ws.LineMark1 = 1;
        ws.LineMark2 = Side;
        YLineScan(ws, host, 1000);
        ws.LLog.Clear();
    }
}
BENCHMARK(LineScan2048)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
