#pragma once
// The Qt side of the core's Host: message boxes, file dialogs, the blocking
// hand-over of worker steps to the main thread, and change notices that the
// windows connect to.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "workspace/host.h"

class QTimer;

namespace orv {

// Carries the core's change notices to the windows (always delivered on the
// main thread).
class ViewNotifier : public QObject {
    Q_OBJECT
signals:
    // The windows showing `what` bring themselves up to date. Notices given
    // by a worker (from its thread or in its hand-overs) arrive gathered:
    // each view once, at most once per catch-up interval.
    void changed(orv::View what);
    // Every notice as it is given (on the main thread), before its
    // `changed`: for what must be noted at that moment, such as whether the
    // frame picture is new or must be drawn again.
    void noted(orv::View what);
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
    // A save dialog whose caption says what is being saved.
    std::optional<std::string> askSaveFileNameTitled(const std::string& title, const std::string& proposed,
                                                     const std::string& filter);
    // The caption of the save dialog being asked for (empty: the toolkit's).
    const QString& dialogTitle() const { return title_; }
    // A question with a third answer that takes the step back; nobody at the
    // screen answers No.
    enum class Answer { Yes, No, Cancel };
    Answer askYesNoCancel(const std::string& text);
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
    // The shortest time between two catch-ups of the windows while a worker
    // gives notices (milliseconds); below 0 the windows catch up only when
    // catchUp() is called.
    void setCatchUpInterval(int milliseconds) { catchUpInterval_ = milliseconds; }
    // Delivers the gathered notices now (a load has ended).
    void catchUp();
    // True while gathered notices are being delivered: a window that is not
    // shown may leave its refresh to its next showing.
    bool catchingUp() const { return catchingUp_; }
    // While on (a worker runs), the windows also paint only at the catch-ups,
    // except while a dialog or menu is open.
    void setPaintsWaitForCatchUp(bool on);
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
    virtual Answer askYesNoCancelBox(const QString& text);

private:
    bool onMainThread() const;
    // A notice to deliver with the next catch-up (main thread).
    void gather(View what);
    void scheduleCatchUp();
    class PaintHold;
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
    QString title_;
    // Catching up (main thread only).
    int handOvers_ = 0;          // worker steps running now
    uint32_t gathered_ = 0;      // one bit per View
    bool scheduled_ = false;     // a catch-up is due
    bool catchingUp_ = false;
    int catchUpInterval_ = 40;
    QTimer* catchUpTimer_;
    QElapsedTimer sinceCatchUp_;
    std::unique_ptr<PaintHold> paintHold_;
};

// Converts the "Description|*.ext|Other|*.*" filters of the program into Qt's
// "Description (*.ext);;Other (*.*)" form.
QString QtFileFilter(const std::string& filter);

} // namespace orv
