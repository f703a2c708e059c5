#include "base/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orv {

namespace {

std::atomic<unsigned> threadLimit{0};

unsigned HardwareThreads() {
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

// Chunks per worker: small enough to even out uneven workers (other
// programs on the machine), large enough to keep the hand-out cheap.
constexpr int64_t ChunksPerWorker = 4;

} // namespace

unsigned ParallelThreadCount() {
    unsigned limit = threadLimit.load(std::memory_order_relaxed);
    return limit == 0 ? HardwareThreads() : limit;
}

void SetParallelThreadLimit(unsigned threads) { threadLimit.store(threads, std::memory_order_relaxed); }

ScopedParallelThreadLimit::ScopedParallelThreadLimit(unsigned threads)
    : previous_(threadLimit.load(std::memory_order_relaxed)) {
    SetParallelThreadLimit(threads);
}

ScopedParallelThreadLimit::~ScopedParallelThreadLimit() { SetParallelThreadLimit(previous_); }

unsigned ParallelWorkerCount(int64_t count, int64_t minPerWorker, unsigned threads) {
    if (threads == 0) threads = ParallelThreadCount();
    if (count <= 0) return 1;
    int64_t byWork = minPerWorker > 0 ? count / minPerWorker : count;
    return static_cast<unsigned>(std::clamp<int64_t>(byWork, 1, threads));
}

void ParallelFor(int32_t first, int32_t last, unsigned workers,
                 const std::function<void(unsigned worker, int32_t lo, int32_t hi)>& body) {
    if (last < first) return;
    const int64_t count = int64_t(last) - first + 1;
    workers = static_cast<unsigned>(std::clamp<int64_t>(workers, 1, count));
    if (workers == 1) {
        body(0, first, last);
        return;
    }

    const int64_t chunks = std::min<int64_t>(count, int64_t(workers) * ChunksPerWorker);
    std::atomic<int64_t> nextChunk{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorMutex;

    auto work = [&](unsigned worker) {
        for (;;) {
            int64_t c = nextChunk.fetch_add(1, std::memory_order_relaxed);
            if (c >= chunks || failed.load(std::memory_order_relaxed)) return;
            // Chunk c covers [first + c*count/chunks, first + (c+1)*count/chunks).
            int32_t lo = static_cast<int32_t>(first + c * count / chunks);
            int32_t hi = static_cast<int32_t>(first + (c + 1) * count / chunks - 1);
            try {
                body(worker, lo, hi);
            } catch (...) {
                std::lock_guard lock(errorMutex);
                if (!error) error = std::current_exception();
                failed.store(true, std::memory_order_relaxed);
                return;
            }
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    try {
        for (unsigned w = 1; w < workers; ++w) threads.emplace_back(work, w);
    } catch (...) {
        // No more threads to be had: the ones started and this one finish the loop.
    }
    work(0);
    for (auto& t : threads) t.join();
    if (error) std::rethrow_exception(error);
}

} // namespace orv
