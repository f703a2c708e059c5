#include "base/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace orv {

namespace {

std::atomic<unsigned> threadLimit{0};

// Asked once: the library reads the count of cores from a system file each
// time, and every parallel loop asks for it.
unsigned HardwareThreads() {
    static const unsigned n = std::max(std::thread::hardware_concurrency(), 1u);
    return n;
}

// Chunks per worker: small enough to even out uneven workers (other
// programs on the machine), large enough to keep the hand-out cheap.
constexpr int64_t ChunksPerWorker = 4;

// One loop being run: its chunks are handed out to whoever takes part.
struct Job {
    const std::function<void(unsigned, int32_t, int32_t)>* Body = nullptr;
    int32_t First = 0;
    int64_t Count = 0, Chunks = 0;
    unsigned Workers = 1;
    std::atomic<int64_t> NextChunk{0};
    std::atomic<unsigned> Joined{1};   // worker 0 is the caller
    std::atomic<bool> Failed{false};
    std::exception_ptr Error;
    std::mutex Mutex;                  // guards Error, Running
    std::condition_variable Done;
    unsigned Running = 0;              // helpers inside the loop

    // Runs chunks as worker `worker` until none is left or one failed.
    void Work(unsigned worker) {
        for (;;) {
            const int64_t c = NextChunk.fetch_add(1, std::memory_order_relaxed);
            if (c >= Chunks || Failed.load(std::memory_order_relaxed)) return;
            // Chunk c covers [First + c*Count/Chunks, First + (c+1)*Count/Chunks).
            const auto lo = static_cast<int32_t>(First + c * Count / Chunks);
            const auto hi = static_cast<int32_t>(First + (c + 1) * Count / Chunks - 1);
            try {
                (*Body)(worker, lo, hi);
            } catch (...) {
                std::lock_guard lock(Mutex);
                if (!Error) Error = std::current_exception();
                Failed.store(true, std::memory_order_relaxed);
                return;
            }
        }
    }
    bool HasWork() const { return NextChunk.load(std::memory_order_relaxed) < Chunks; }
};

// Threads kept for the life of the program, so that a loop costs a wake-up
// instead of starting and joining threads. A thread takes part in the
// oldest loop that still has chunks; the caller of a loop always takes part
// itself, so a loop finishes even when every helper is busy elsewhere (and
// loops inside loops cannot wait on each other).
class Pool {
public:
    // Starts helpers up to `helpers` (never fewer than are running).
    void Ensure(unsigned helpers) {
        std::lock_guard lock(mutex_);
        while (started_ < helpers) {
            try {
                std::thread([this] { Serve(); }).detach();
            } catch (...) {
                return;   // no more threads to be had: fewer helpers
            }
            ++started_;
        }
    }
    // Wakes only as many helpers as the loop has places for (the caller
    // takes one): a small loop does not wake every thread of the pool.
    void Post(const std::shared_ptr<Job>& job) {
        bool all = false;
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(job);
            all = job->Workers - 1 >= started_;
        }
        if (all) {
            wake_.notify_all();
            return;
        }
        for (unsigned n = 1; n < job->Workers; ++n) wake_.notify_one();
    }
    void Remove(const std::shared_ptr<Job>& job) {
        std::lock_guard lock(mutex_);
        jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), job), jobs_.end());
    }

private:
    void Serve() {
        for (;;) {
            std::shared_ptr<Job> job;
            unsigned worker = 0;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] {
                    for (auto it = jobs_.begin(); it != jobs_.end();) {
                        if (!(*it)->HasWork()) {
                            it = jobs_.erase(it);
                            continue;
                        }
                        const unsigned w = (*it)->Joined.fetch_add(1);
                        if (w < (*it)->Workers) {
                            job = *it;
                            worker = w;
                            // Registered before the lock is left, so the caller
                            // waits for this helper.
                            std::lock_guard jobLock(job->Mutex);
                            ++job->Running;
                            return true;
                        }
                        it = jobs_.erase(it);   // every worker number is taken
                    }
                    return false;
                });
            }
            job->Work(worker);
            {
                std::lock_guard jobLock(job->Mutex);
                if (--job->Running == 0) job->Done.notify_all();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> jobs_;
    unsigned started_ = 0;
};

Pool& ThePool() {
    // Never destroyed: its helpers live as long as the program.
    static Pool* pool = new Pool;
    return *pool;
}

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

    auto job = std::make_shared<Job>();
    job->Body = &body;
    job->First = first;
    job->Count = count;
    job->Chunks = std::min<int64_t>(count, int64_t(workers) * ChunksPerWorker);
    job->Workers = workers;
    Pool& pool = ThePool();
    pool.Ensure(std::min(workers, HardwareThreads()) - 1);
    pool.Post(job);
    job->Work(0);
    pool.Remove(job);
    {
        // Helpers that took part finish their chunks; the body and the
        // caller's accumulators outlive them.
        std::unique_lock lock(job->Mutex);
        job->Done.wait(lock, [&] { return job->Running == 0; });
    }
    if (job->Error) std::rethrow_exception(job->Error);
}

} // namespace orv
