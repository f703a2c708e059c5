#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "workspace/ui/qt_host.h"

using namespace orv;

namespace {
// Lets the main thread handle events until `done` or a time limit.
void ProcessUntil(const std::atomic<bool>& done) {
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
} // namespace

TEST(QtHostTest, WorkerStepsRunOnTheMainThreadAndWait) {
    QtHost host;
    std::atomic<bool> done{false};
    Qt::HANDLE stepThread = nullptr;
    int order = 0, stepOrder = 0, afterOrder = 0;
    std::thread worker([&] {
        host.sync([&] {
            stepThread = QThread::currentThreadId();
            stepOrder = ++order;
        });
        afterOrder = ++order;
        done = true;
    });
    ProcessUntil(done);
    worker.join();
    EXPECT_EQ(stepThread, QThread::currentThreadId());
    EXPECT_EQ(stepOrder, 1);
    EXPECT_EQ(afterOrder, 2);
}

TEST(QtHostTest, AnExceptionInAStepReachesTheWorker) {
    QtHost host;
    std::atomic<bool> done{false};
    bool caught = false;
    std::thread worker([&] {
        try {
            host.sync([] { throw std::runtime_error("box"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
        done = true;
    });
    ProcessUntil(done);
    worker.join();
    EXPECT_TRUE(caught);
}

TEST(QtHostTest, ShutdownReleasesAWaitingWorkerWithoutRunningItsStep) {
    QtHost host;
    std::atomic<bool> waiting{false};
    bool ran = false;
    std::thread worker([&] {
        waiting = true;
        host.sync([&] { ran = true; });   // the main thread never handles it
    });
    while (!waiting) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    host.shutdown();
    worker.join();
    QCoreApplication::processEvents();   // the queued step is dropped
    EXPECT_FALSE(ran);
}
