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

TEST(QtHostTest, AnUnattendedHostShowsNoBoxAndAnswersNo) {
    // A host whose boxes would fail the test if they were ever shown.
    class NoBoxes : public QtHost {
    protected:
        void showMessage(const QString& text) override { ADD_FAILURE() << "box: " << text.toStdString(); }
        bool askYesNo(const QString& text) override {
            ADD_FAILURE() << "question: " << text.toStdString();
            return true;
        }
    } host;
    std::vector<std::string> logbook;
    host.setLogbook([&](const std::string& line) { logbook.push_back(line); });
    host.setUnattended(true);
    EXPECT_TRUE(host.unattended());

    ::testing::internal::CaptureStderr();
    std::atomic<bool> done{false};
    bool answer = true;
    // From a worker, as the loading worker's steps ask.
    std::thread worker([&] {
        host.message("Not a settings file: \x1b[2Jx.set");
        answer = host.confirm("Distance = 62.1, Apply?");
        done = true;
    });
    ProcessUntil(done);
    worker.join();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(answer);
    EXPECT_FALSE(host.askSaveFileName("x.log", "*.log").has_value());
    EXPECT_TRUE(host.askOpenFileNames("*.*", true).empty());
    // Standard error gets each as one clean line; the logbook gets them too.
    EXPECT_NE(err.find("orvantide: Not a settings file:  [2Jx.set\n"), std::string::npos) << err;
    EXPECT_NE(err.find("orvantide: Distance = 62.1, Apply? - answered No"), std::string::npos) << err;
    ASSERT_GE(logbook.size(), 2u);
    EXPECT_EQ(logbook[0], "Not a settings file: \x1b[2Jx.set");
}
