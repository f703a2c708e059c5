#pragma once
// What the core asks of the user. The core never shows anything itself: the
// Qt program implements this with message boxes and a blocking hand-over to
// its main thread; tests use a recording host.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// What changed, so that the windows showing it can refresh.
enum class View {
    Frame,        // pixels or display settings: redraw the frame window
    FrameInfo,    // the Frame Info window's boxes
    Settings,     // a settings record's boxes
    Logbook,      // lines were appended to the logbook
    Progress,     // the main progress bar
    Scan,         // the 2-theta scan and its charts
    PsiScan,      // the psi scan and its charts
    History,      // the history pictures
    FileList,     // the frame list
    Sector,       // the selected sector
    PoleFigures,  // the pole-figure viewer's panels, read-outs and profiles
};

class Host {
public:
    virtual ~Host() = default;
    // A modal box with an OK button.
    virtual void message(const std::string& text) = 0;
    // A Yes / No box; true for Yes.
    virtual bool confirm(const std::string& text) = 0;
    // Run a step on the main thread and wait until it returned.
    virtual void sync(const std::function<void()>& step) = 0;
    // Something shown on screen changed.
    virtual void changed(View what) = 0;
    // A file name for saving (dialog), proposing `proposed`; nothing when cancelled.
    virtual std::optional<std::string> askSaveFileName(const std::string& proposed,
                                                       const std::string& filter) {
        (void)proposed; (void)filter;
        return std::nullopt;
    }
    // The program is asked to end with this exit status once the current
    // step has returned (a script's end, the Exit command).
    virtual void requestExit(int status) { (void)status; }
    // File names for opening (dialog); empty when cancelled.
    virtual std::vector<std::string> askOpenFileNames(const std::string& filter, bool multiple) {
        (void)filter; (void)multiple;
        return {};
    }
    // Nobody is at the screen (a run from the command line): messages go to
    // standard error and the logbook, questions take their safe answer and
    // no dialog is shown.
    virtual bool unattended() const { return false; }
};

// A host for headless runs and tests: stores the messages, answers
// confirmations and file dialogs as told, runs hand-overs under a mutex.
class RecordingHost : public Host {
public:
    void message(const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages.push_back(text);
    }
    bool confirm(const std::string& text) override {
        std::lock_guard lock(mutex_);
        confirmations.push_back(text);
        return confirmAnswer;
    }
    void sync(const std::function<void()>& step) override {
        std::lock_guard lock(syncMutex_);
        step();
    }
    void changed(View what) override {
        std::lock_guard lock(mutex_);
        changes.push_back(what);
    }
    std::optional<std::string> askSaveFileName(const std::string& proposed,
                                               const std::string& filter) override {
        std::lock_guard lock(mutex_);
        proposedNames.push_back(proposed);
        (void)filter;
        return saveFileAnswer;
    }
    std::vector<std::string> askOpenFileNames(const std::string& filter, bool multiple) override {
        (void)filter; (void)multiple;
        return openFileAnswer;
    }
    void requestExit(int status) override { exitStatus = status; }
    bool unattended() const override { return Unattended; }

    std::vector<std::string> messages;
    std::vector<std::string> confirmations;
    std::vector<View> changes;
    std::vector<std::string> proposedNames;
    bool confirmAnswer = true;
    std::optional<std::string> saveFileAnswer;
    std::vector<std::string> openFileAnswer;
    std::optional<int> exitStatus;
    bool Unattended = false;

private:
    std::mutex mutex_;
    std::recursive_mutex syncMutex_;
};

} // namespace orv
