// The peak search and the rolling background on a 2-theta scan of 24000
// points (0.005-degree steps, 120 degrees), as the scan window and the batch
// run them, and the window's whole "Find peaks" with its report.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "scans/peak_search.h"
#include "scans/theta_scan_window.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

constexpr int Points = 24000;
constexpr double Step = 0.005;

// Sharp lines every 1.7 degrees on a falling background, with a ripple.
const std::vector<double>& Scan() {
    static const std::vector<double> scan = [] {
        std::vector<double> v(Points + 1);
        for (int k = 0; k <= Points; ++k) {
            const double t = k * Step;
            const double line = std::fmod(t, 1.7) - 0.85;
            v[k] = 300 + 2000 * std::exp(-t / 10) + 5000 * std::exp(-line * line / 0.002) + 3 * std::sin(k * 0.7);
        }
        return v;
    }();
    return scan;
}

void SearchPeaks(benchmark::State& state) {
    PeakSearchParams p;
    p.Window = static_cast<int32_t>(state.range(0));
    p.Step = Step;
    size_t found = 0;
    for (auto _ : state) {
        const PeakTable t = SearchScanPeaks(Scan(), p);
        found = t.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["peaks"] = static_cast<double>(found);
}
BENCHMARK(SearchPeaks)->Arg(200)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

void RollingBackground(benchmark::State& state) {
    std::vector<double> work;
    for (auto _ : state) {
        work = Scan();
        benchmark::DoNotOptimize(RemoveRollingBackground(work, static_cast<int32_t>(state.range(0)), 10));
    }
}
BENCHMARK(RollingBackground)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// "Find peaks" of the window: the search, the plot and the report.
void FindThetaPeaksWindow(benchmark::State& state) {
    Workspace ws;
    RecordingHost host;
    ws.TwoThetaStep = static_cast<float>(Step);
    for (int k = 0; k <= Points; ++k) {
        ws.SectorScan[k].TwoTheta = static_cast<float>(k * Step);
        ws.SectorScan[k].Intensity = static_cast<float>(Scan()[k]);
    }
    ws.SectorScanPoints = Points;
    for (auto _ : state) {
        ws.LLog.Clear();
        benchmark::DoNotOptimize(FindThetaPeaks(ws, host, ws.Form6).size());
    }
}
BENCHMARK(FindThetaPeaksWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
