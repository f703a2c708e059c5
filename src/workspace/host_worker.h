#pragma once
// A job of the program on a thread of its own, for the workers that change
// the frame or run over many files. The job runs on the new thread; when it
// throws, `failed` gets the reason on the main thread (through host.sync);
// then `finish` runs on the main thread, and only after that is the worker
// Finished. Joining waits for the thread; a worker not started is neither
// finished nor running.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "workspace/host.h"

namespace orv {

class HostWorker {
public:
    HostWorker() = default;
    ~HostWorker() { Join(); }
    // Starts the job (once).
    void Start(Host& host, std::function<void()> job, std::function<void(const std::string&)> failed,
               std::function<void()> finish);
    HostWorker(const HostWorker&) = delete;
    HostWorker& operator=(const HostWorker&) = delete;

    bool Finished() const { return finished_; }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

} // namespace orv
