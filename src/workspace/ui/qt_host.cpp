#include "workspace/ui/qt_host.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <algorithm>
#include <exception>
#include <memory>
#include <vector>
#include <utility>

namespace orv {

// Holds the windows' paint requests until the next catch-up: Qt asks a
// window to paint with an UpdateRequest event, which is kept here and sent
// again when the windows catch up.
class QtHost::PaintHold : public QObject {
public:
    explicit PaintHold(QtHost& host) : host_(host) {}
    ~PaintHold() override { setOn(false); }

    void setOn(bool on) {
        if (on == on_ || !QCoreApplication::instance()) return;
        on_ = on;
        if (on) {
            QCoreApplication::instance()->installEventFilter(this);
        } else {
            QCoreApplication::instance()->removeEventFilter(this);
            repost();
        }
    }
    // The held windows, and those the catch-up changed, paint now.
    void release() {
        if (!on_) return;
        repost();
        passing_ = true;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        passing_ = false;
    }

protected:
    // The held paint requests are asked again (Qt sends no second one while
    // the first is unanswered).
    void repost() {
        for (const QPointer<QObject>& window : std::exchange(held_, {}))
            if (window) QCoreApplication::postEvent(window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::UpdateRequest || passing_ || !watched->isWidgetType()) return false;
        // Dialogs and menus opened meanwhile paint at once.
        if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return false;
        if (std::find(held_.begin(), held_.end(), watched) == held_.end()) held_.emplace_back(watched);
        host_.scheduleCatchUp();
        return true;
    }

private:
    QtHost& host_;
    bool on_ = false;
    bool passing_ = false;
    std::vector<QPointer<QObject>> held_;
};

QtHost::QtHost()
    : notifier_(new ViewNotifier), catchUpTimer_(new QTimer(notifier_)), paintHold_(std::make_unique<PaintHold>(*this)) {
    catchUpTimer_->setSingleShot(true);
    QObject::connect(catchUpTimer_, &QTimer::timeout, notifier_, [this] { catchUp(); });
}

QtHost::~QtHost() {
    paintHold_.reset();
    delete notifier_;
}

void QtHost::setPaintsWaitForCatchUp(bool on) { paintHold_->setOn(on); }

bool QtHost::onMainThread() const {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void QtHost::showMessage(const QString& text) { QMessageBox::information(parent_, "Orvantide", text); }

bool QtHost::askYesNo(const QString& text) {
    return QMessageBox::question(parent_, "Orvantide", text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QtHost::Answer QtHost::askYesNoCancelBox(const QString& text) {
    switch (QMessageBox::question(parent_, "Orvantide", text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                  QMessageBox::Cancel)) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

namespace {
// One line for standard error: no control characters, a bounded length.
std::string StandardErrorLine(const std::string& text) {
    constexpr size_t Limit = 2000;
    std::string out;
    for (size_t i = 0; i < text.size() && i < Limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c < 32 || c == 127 ? ' ' : static_cast<char>(c);
    }
    if (text.size() > Limit) out += "...";
    return out;
}
} // namespace

void QtHost::logUnattended(const std::string& text, bool toStandardError) {
    if (toStandardError) {
        const std::string line = "orvantide: " + StandardErrorLine(text) + "\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
    if (logbook_) sync([&] { logbook_(text); });
}

void QtHost::message(const std::string& text) {
    if (unattended_) {
        logUnattended(text, true);
        return;
    }
    sync([&] { showMessage(QString::fromStdString(text)); });
}

bool QtHost::confirm(const std::string& text) {
    if (unattended_) {
        logUnattended(text + " - answered No (nobody at the screen)", true);
        return false;
    }
    bool answer = false;
    sync([&] { answer = askYesNo(QString::fromStdString(text)); });
    return answer;
}

QtHost::Answer QtHost::askYesNoCancel(const std::string& text) {
    if (unattended_) {
        logUnattended(text + " - answered No (nobody at the screen)", false);
        return Answer::No;
    }
    Answer answer = Answer::Cancel;
    sync([&] { answer = askYesNoCancelBox(QString::fromStdString(text)); });
    return answer;
}

namespace {
// One hand-over: the step runs on the main thread unless the worker stopped
// waiting for it (shutdown), in which case it never runs.
struct HandOver {
    bool done = false;
    bool abandoned = false;
    std::exception_ptr error;
};
} // namespace

void QtHost::sync(const std::function<void()>& step) {
    if (onMainThread()) {
        step();
        return;
    }
    if (shuttingDown_) return;
    auto handOver = std::make_shared<HandOver>();
    QMetaObject::invokeMethod(
        notifier_,
        [this, handOver, &step] {
            {
                std::lock_guard lock(syncMutex_);
                if (handOver->abandoned) return;
            }
            std::exception_ptr error;
            // Notices given by the step wait for the next catch-up.
            ++handOvers_;
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
            --handOvers_;
            std::lock_guard lock(syncMutex_);
            handOver->error = error;
            handOver->done = true;
            syncDone_.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(syncMutex_);
    syncDone_.wait(lock, [&] { return handOver->done || shuttingDown_; });
    if (!handOver->done) {
        handOver->abandoned = true;
        return;
    }
    if (handOver->error) std::rethrow_exception(handOver->error);
}

void QtHost::shutdown() {
    std::lock_guard lock(syncMutex_);
    shuttingDown_ = true;
    syncDone_.notify_all();
}

void QtHost::changed(View what) {
    if (!onMainThread()) {
        QMetaObject::invokeMethod(notifier_, [this, what] { gather(what); }, Qt::QueuedConnection);
        return;
    }
    // The user's own commands show their results at once; a worker's steps
    // leave the windows to catch up.
    if (handOvers_ > 0) {
        gather(what);
        return;
    }
    emit notifier_->noted(what);
    emit notifier_->changed(what);
}

void QtHost::gather(View what) {
    emit notifier_->noted(what);
    gathered_ |= 1u << static_cast<unsigned>(what);
    scheduleCatchUp();
}

void QtHost::scheduleCatchUp() {
    if (scheduled_ || catchUpInterval_ < 0) return;
    scheduled_ = true;
    // Soon after the last catch-up, the next waits for the rest of the interval.
    const qint64 since = sinceCatchUp_.isValid() ? sinceCatchUp_.elapsed() : catchUpInterval_;
    catchUpTimer_->start(static_cast<int>(std::clamp<qint64>(catchUpInterval_ - since, 0, catchUpInterval_)));
}

void QtHost::catchUp() {
    catchUpTimer_->stop();
    scheduled_ = false;
    const uint32_t views = std::exchange(gathered_, 0);
    sinceCatchUp_.start();
    {
        struct Flag {
            bool& on;
            explicit Flag(bool& f) : on(f) { on = true; }
            ~Flag() { on = false; }
        } catching(catchingUp_);
        // Views in their order, each once.
        for (unsigned v = 0; v < 32; ++v)
            if (views & (1u << v)) emit notifier_->changed(static_cast<View>(v));
    }
    paintHold_->release();
}

QString QtFileFilter(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i] + " (" + parts[i + 1].replace(';', ' ') + ")";
    return out.join(";;");
}

std::optional<std::string> QtHost::askSaveFileName(const std::string& proposed, const std::string& filter) {
    if (unattended_) {
        logUnattended("No file name asked for " + proposed + " (nobody at the screen)", false);
        return std::nullopt;
    }
    std::optional<std::string> result;
    sync([&] {
        QString start = QString::fromStdString(folder_.empty() ? proposed : folder_ + "/" + proposed);
        QString name = QFileDialog::getSaveFileName(parent_, title_, start, QtFileFilter(filter));
        if (!name.isEmpty()) result = name.toStdString();
    });
    return result;
}

std::optional<std::string> QtHost::askSaveFileNameTitled(const std::string& title, const std::string& proposed,
                                                         const std::string& filter) {
    title_ = QString::fromStdString(title);
    std::optional<std::string> name = askSaveFileName(proposed, filter);
    title_.clear();
    return name;
}

std::vector<std::string> QtHost::askOpenFileNames(const std::string& filter, bool multiple) {
    if (unattended_) {
        logUnattended("No file asked for (nobody at the screen)", false);
        return {};
    }
    std::vector<std::string> result;
    sync([&] {
        QString start = QString::fromStdString(folder_);
        QStringList names;
        if (multiple) {
            names = QFileDialog::getOpenFileNames(parent_, QString(), start, QtFileFilter(filter));
        } else {
            QString one = QFileDialog::getOpenFileName(parent_, QString(), start, QtFileFilter(filter));
            if (!one.isEmpty()) names << one;
        }
        for (const QString& n : names) result.push_back(n.toStdString());
    });
    return result;
}

void QtHost::requestExit(int status) {
    QMetaObject::invokeMethod(
        notifier_,
        [this, status] {
            if (exitHandler_)
                exitHandler_(status);
            else
                QCoreApplication::exit(status);
        },
        Qt::QueuedConnection);
}

} // namespace orv
