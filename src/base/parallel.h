#pragma once
// A small parallel loop over frame columns or rows on std::thread.
//
// The range is cut into chunks that the workers take in turn; each call of
// the body gets its worker number, so a caller keeps one accumulator per
// worker and merges them afterwards. Loops whose per-worker results are
// order-independent (integer sums, minima, maxima, per-pixel writes) give
// the same result whatever the thread count.

#include <cstdint>
#include <functional>

namespace orv {

// The thread count parallel loops use by default: the limit set below, or
// the machine's core count when no limit is set.
unsigned ParallelThreadCount();

// Limits every parallel loop to `threads` threads; 1 runs them serially on
// the calling thread, 0 removes the limit.
void SetParallelThreadLimit(unsigned threads);

// Sets a thread limit for the lifetime of the object (tests, benchmarks).
class ScopedParallelThreadLimit {
public:
    explicit ScopedParallelThreadLimit(unsigned threads);
    ~ScopedParallelThreadLimit();
    ScopedParallelThreadLimit(const ScopedParallelThreadLimit&) = delete;
    ScopedParallelThreadLimit& operator=(const ScopedParallelThreadLimit&) = delete;

private:
    unsigned previous_;
};

// How many workers a loop over `count` items should use so that each gets at
// least `minPerWorker` items: 1..threads (threads 0 = ParallelThreadCount()).
unsigned ParallelWorkerCount(int64_t count, int64_t minPerWorker, unsigned threads = 0);

// Runs body(worker, lo, hi) over first..last (inclusive) with `workers`
// workers (worker numbers 0..workers-1, worker 0 on the calling thread).
// With one worker, or an empty range, the body runs once on the calling
// thread (not at all for an empty range). An exception thrown by a body is
// rethrown here after every worker has stopped.
void ParallelFor(int32_t first, int32_t last, unsigned workers,
                 const std::function<void(unsigned worker, int32_t lo, int32_t hi)>& body);

} // namespace orv
