// The cost of the core's one parallel loop itself: a loop whose body does
// nothing, over as many items as a frame's column strips.

#include <benchmark/benchmark.h>

#include <atomic>

#include "base/parallel.h"

namespace {

void BM_ParallelForEmpty(benchmark::State& state) {
    const auto workers = static_cast<unsigned>(state.range(0));
    std::atomic<int64_t> items{0};
    for (auto _ : state) {
        orv::ParallelFor(0, 63, workers, [&](unsigned, int32_t lo, int32_t hi) {
            items.fetch_add(hi - lo + 1, std::memory_order_relaxed);
        });
    }
    benchmark::DoNotOptimize(items.load());
}
BENCHMARK(BM_ParallelForEmpty)->Arg(2)->Arg(8)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
