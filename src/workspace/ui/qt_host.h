#pragma once
// The Qt side of the core's Host: message boxes, file dialogs, the blocking
// hand-over of worker steps to the main thread, and change notices that the
// windows connect to.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "workspace/host.h"

namespace orv {

// Carries the core's change notices to the windows (always delivered on the
// main thread).
class ViewNotifier : public QObject {
    Q_OBJECT
signals:
    void changed(orv::View what);
};

class QtHost : public Host {
public:
    QtHost();
    ~QtHost() override;

    void message(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void sync(const std::function<void()>& step) override;
    void changed(View what) override;
    std::optional<std::string> askSaveFileName(const std::string& proposed, const std::string& filter) override;
    std::vector<std::string> askOpenFileNames(const std::string& filter, bool multiple) override;
    void requestExit(int status) override;
    bool unattended() const override { return unattended_; }

    // A run from the command line: no box and no dialog, messages go to
    // standard error and to `logbook` (called on the main thread), and
    // questions are answered No.
    void setUnattended(bool on) { unattended_ = on; }
    void setLogbook(std::function<void(const std::string&)> logbook) { logbook_ = std::move(logbook); }
    // Who decides how the program ends when a step asks for it (on the main
    // thread); without one the event loop ends at once.
    void setExitHandler(std::function<void(int)> handler) { exitHandler_ = std::move(handler); }

    ViewNotifier* notifier() { return notifier_; }
    // The program is ending: hand-overs no longer wait for the main thread
    // (its event loop has stopped), so workers can finish and be joined.
    void shutdown();
    bool shuttingDown() const { return shuttingDown_; }
    // The window message boxes and dialogs are centred on.
    void setDialogParent(QWidget* parent) { parent_ = parent; }
    // The folder file dialogs start in.
    void setDialogFolder(const std::string& folder) { folder_ = folder; }

protected:
    // The boxes themselves; tests override these to answer without a user.
    virtual void showMessage(const QString& text);
    virtual bool askYesNo(const QString& text);

private:
    bool onMainThread() const;
    // Standard error and the logbook instead of a box.
    void logUnattended(const std::string& text, bool toStandardError);
    std::atomic<bool> unattended_{false};
    std::function<void(const std::string&)> logbook_;
    std::function<void(int)> exitHandler_;
    ViewNotifier* notifier_;
    std::atomic<bool> shuttingDown_{false};
    std::mutex syncMutex_;
    std::condition_variable syncDone_;
    QPointer<QWidget> parent_;
    std::string folder_;
};

// Converts the "Description|*.ext|Other|*.*" filters of the program into Qt's
// "Description (*.ext);;Other (*.*)" form.
QString QtFileFilter(const std::string& filter);

} // namespace orv
