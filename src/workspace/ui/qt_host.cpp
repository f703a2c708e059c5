#include "workspace/ui/qt_host.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <cstdio>
#include <exception>
#include <memory>

namespace orv {

QtHost::QtHost() : notifier_(new ViewNotifier) {}

QtHost::~QtHost() { delete notifier_; }

bool QtHost::onMainThread() const {
    return QCoreApplication::instance() == nullptr ||
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

void QtHost::showMessage(const QString& text) { QMessageBox::information(parent_, "Orvantide", text); }

bool QtHost::askYesNo(const QString& text) {
    return QMessageBox::question(parent_, "Orvantide", text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
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
            try {
                step();
            } catch (...) {
                error = std::current_exception();
            }
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
    if (onMainThread()) {
        emit notifier_->changed(what);
        return;
    }
    QMetaObject::invokeMethod(notifier_, [this, what] { emit notifier_->changed(what); }, Qt::QueuedConnection);
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
        QString name = QFileDialog::getSaveFileName(parent_, QString(), start, QtFileFilter(filter));
        if (!name.isEmpty()) result = name.toStdString();
    });
    return result;
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
