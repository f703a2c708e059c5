#include "workspace/host_worker.h"

#include <exception>

namespace orv {

void HostWorker::Start(Host& host, std::function<void()> job, std::function<void(const std::string&)> failed,
                       std::function<void()> finish) {
    thread_ = std::thread([this, &host, job = std::move(job), failed = std::move(failed),
                           finish = std::move(finish)] {
        try {
            job();
        } catch (const std::exception& e) {
            const std::string reason = e.what();
            host.sync([&] { failed(reason); });
        }
        if (finish) host.sync(finish);
        finished_ = true;
    });
}

} // namespace orv
