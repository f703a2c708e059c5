#pragma once
// The frame-editing commands of the main window: the Math menu and its
// buttons, the mask and background files, crop, smoothing and "Rotate 90
// deg". They ask for their values (input boxes, file dialogs) and call the
// core's edits (workspace/frame_edits.h, formats/frame_math.h); the frame
// arithmetic and the rotation run as workers, and while one runs every
// command that changes the frame is disabled.

#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workspace/command_table.h"

namespace orv {

class Host;
class MainWindow;
class QtHost;
class Rotate90;
class TMathThread;
enum class FrameOperation : uint8_t;
struct Workspace;

class FrameEditCommands : public QObject {
    Q_OBJECT
public:
    // `frameJob(true)` is called when a worker starts replacing the frame and
    // `frameJob(false)` when it has ended: the program disables and enables
    // the commands that change the frame (FrameChangingCommands and its own).
    FrameEditCommands(Workspace& ws, QtHost& host, MainWindow& main, std::function<void(bool running)> frameJob);
    ~FrameEditCommands() override;

    // Installs the handlers of every command of this group.
    void install();
    // The commands of this group that change the frame.
    static const std::vector<CommandId>& FrameChangingCommands();

    // The input box (caption, prompt, default text); nothing when cancelled.
    // Shows a QInputDialog unless replaced (tests).
    std::function<std::optional<std::string>(const std::string& caption, const std::string& prompt,
                                             const std::string& text)>
        askText;

    // Whether the arithmetic or the rotation worker runs.
    bool running() const;
    // Waits for a running worker, handling events meanwhile (tests).
    void waitForWorkers();

private:
    bool mayChangeFrame();
    void askAndRun(const std::string& caption, const std::string& prompt, const std::string& text,
                   const std::function<void(const std::string&)>& command);
    void startFrameMath(FrameOperation op);
    void startRotation();
    void workerFinished();
    void loadMask();
    void saveMask();
    void loadBackground();
    void saveBackground();
    // An open dialog in the program folder; nothing when cancelled or when a
    // worker started meanwhile.
    std::optional<std::string> askFileInProgramFolder(const char* filter);
    // A save dialog in the program folder, then `save` with the chosen name.
    void saveAs(const char* filter, bool (*save)(Workspace&, Host&, const std::string&));

    Workspace& ws_;
    QtHost& host_;
    MainWindow& main_;
    std::function<void(bool)> frameJob_;
    std::unique_ptr<TMathThread> math_;
    std::unique_ptr<Rotate90> rotate_;
};

} // namespace orv
