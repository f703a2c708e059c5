#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <map>
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

TEST(QtHostTest, AWorkersNoticesArriveGatheredAndTheUsersAtOnce) {
    QtHost host;
    host.setCatchUpInterval(40);
    std::map<View, int> noted, changed;
    QObject::connect(host.notifier(), &ViewNotifier::noted, [&](View v) { ++noted[v]; });
    QObject::connect(host.notifier(), &ViewNotifier::changed, [&](View v) { ++changed[v]; });
    // The user's own command: delivered before changed() returns.
    host.changed(View::Scan);
    EXPECT_EQ(changed[View::Scan], 1);
    // A worker's step: noted at once, delivered once per view after it.
    std::atomic<bool> done{false};
    int changedDuringStep = -1;
    std::thread worker([&] {
        host.sync([&] {
            for (int k = 0; k < 3; ++k) host.changed(View::Frame);
            host.changed(View::Logbook);
            changedDuringStep = changed[View::Frame] + changed[View::Logbook];
        });
        host.changed(View::Progress);   // from the worker's own thread
        done = true;
    });
    ProcessUntil(done);
    worker.join();
    EXPECT_EQ(changedDuringStep, 0);
    EXPECT_EQ(noted[View::Frame], 3);
    QElapsedTimer t;
    t.start();
    while (changed[View::Progress] == 0 && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(changed[View::Frame], 1);
    EXPECT_EQ(changed[View::Logbook], 1);
    EXPECT_EQ(changed[View::Progress], 1);
    // Nothing gathered: a catch-up delivers nothing.
    host.catchUp();
    EXPECT_EQ(changed[View::Frame], 1);
}

TEST(QtHostTest, WhilePaintsWaitAWindowPaintsAtTheCatchUp) {
    class Counting : public QWidget {
    public:
        int paints = 0;

    protected:
        void paintEvent(QPaintEvent*) override { ++paints; }
    } window;
    window.resize(50, 50);
    window.show();
    QCoreApplication::processEvents();
    QtHost host;
    host.setCatchUpInterval(60000);
    host.catchUp();   // the next catch-up is a minute away
    host.setPaintsWaitForCatchUp(true);
    const int before = window.paints;
    window.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.paints, before);   // held
    host.catchUp();
    EXPECT_EQ(window.paints, before + 1);
    host.setPaintsWaitForCatchUp(false);
    window.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.paints, before + 2);   // no longer held
}
