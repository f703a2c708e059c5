#include "workspace/ui/frame_edit_dialogs.h"

#include <QCoreApplication>
#include <QInputDialog>

#include "formats/frame_math.h"
#include "workspace/frame_edits.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {
const char* const MaskFilter = "Mask files (*.msk)|*.msk|All files (*.*)|*.*";
const char* const BackgroundFilter = "Background files (*.bck)|*.bck|All files (*.*)|*.*";
const char* const FrameFilter = "All files (*.*)|*.*";
const char* const NeedFrame = "Need to open a file first";
} // namespace

FrameEditCommands::FrameEditCommands(Workspace& ws, QtHost& host, MainWindow& main,
                                     std::function<void(bool)> frameJob)
    : ws_(ws), host_(host), main_(main), frameJob_(std::move(frameJob)) {
    askText = [this](const std::string& caption, const std::string& prompt,
                     const std::string& text) -> std::optional<std::string> {
        if (host_.unattended()) return std::nullopt;
        bool ok = false;
        const QString answer =
            QInputDialog::getText(&main_, QString::fromStdString(caption), QString::fromStdString(prompt),
                                  QLineEdit::Normal, QString::fromStdString(text), &ok);
        if (!ok) return std::nullopt;
        return answer.toStdString();
    };
}

FrameEditCommands::~FrameEditCommands() {
    ws_.BatchRunning = 0;
    if (math_) math_->Join();
    if (rotate_) rotate_->Join();
}

const std::vector<CommandId>& FrameEditCommands::FrameChangingCommands() {
    using C = CommandId;
    static const std::vector<CommandId> ids = {C::AddConstant, C::MultiplyByConstant, C::AddFrames,
                                               C::SubtractFrames, C::MaskAbove,   C::MaskBelow,
                                               C::LoadMask,    C::LoadBackground,     C::SelectRectangleArea,
                                               C::SmoothFrame, C::Rotate90};
    return ids;
}

void FrameEditCommands::install() {
    using C = CommandId;
    MainWindow& m = main_;
    m.setHandler(C::AddFrames, [this] { startFrameMath(FrameOperation::Add); });
    m.setHandler(C::SubtractFrames, [this] { startFrameMath(FrameOperation::Subtract); });
    m.setHandler(C::MultiplyByConstant, [this] {
        askAndRun("Math", "Input value (-10.0 to 10.0)", "",
                  [this](const std::string& t) { MultiplyFrame(ws_, host_, t); });
    });
    m.setHandler(C::AddConstant, [this] {
        askAndRun("Math", "Input value to add (-1000 to 1000)", "",
                  [this](const std::string& t) { AddConstantToFrame(ws_, host_, t); });
    });
    m.setHandler(C::MaskAbove, [this] {
        askAndRun("Math", "Input minimum intensity value", "",
                  [this](const std::string& t) { MaskPixelsByValue(ws_, host_, t, MaskSide::Above); });
    });
    m.setHandler(C::MaskBelow, [this] {
        askAndRun("Math", "Input minimum intensity value", "",
                  [this](const std::string& t) { MaskPixelsByValue(ws_, host_, t, MaskSide::Below); });
    });
    m.setHandler(C::SmoothFrame, [this] {
        askAndRun("Smooth Frame", "Smoothing Window Width (0-20 pixels)", "3",
                  [this](const std::string& t) { SmoothFrame(ws_, host_, t); });
    });
    m.setHandler(C::SelectRectangleArea, [this] {
        if (mayChangeFrame()) CropFrame(ws_, host_);
    });
    m.setHandler(C::LoadMask, [this] { loadMask(); });
    m.setHandler(C::SaveMask, [this] { saveMask(); });
    m.setHandler(C::LoadBackground, [this] { loadBackground(); });
    m.setHandler(C::SaveAsBackground, [this] { saveBackground(); });
    m.setHandler(C::Rotate90, [this] { startRotation(); });
}

bool FrameEditCommands::running() const {
    return (math_ && !math_->Finished()) || (rotate_ && !rotate_->Finished());
}

void FrameEditCommands::waitForWorkers() {
    while (running()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}

bool FrameEditCommands::mayChangeFrame() {
    // A worker is replacing the frame (its commands are disabled meanwhile).
    return !ws_.FrameJobRunning;
}

void FrameEditCommands::askAndRun(const std::string& caption, const std::string& prompt, const std::string& text,
                                  const std::function<void(const std::string&)>& command) {
    if (!mayChangeFrame()) return;
    if (!ws_.FrameIsLoaded()) {
        host_.message(NeedFrame);
        return;
    }
    const std::optional<std::string> answer = askText(caption, prompt, text);
    if (!answer || !mayChangeFrame()) return;
    command(*answer);
}

void FrameEditCommands::startFrameMath(FrameOperation op) {
    if (!mayChangeFrame()) return;
    if (const std::string refusal = FrameMathRefusal(ws_); !refusal.empty()) {
        host_.message(refusal);
        return;
    }
    host_.setDialogFolder(ws_.OpenDialogFolder);
    const std::vector<std::string> files = host_.askOpenFileNames(FrameFilter, true);
    if (files.empty() || !mayChangeFrame()) return;
    if (math_) math_->Join();
    ws_.FrameJobRunning = true;
    frameJob_(true);
    math_ = std::make_unique<TMathThread>(ws_, host_, op, files, [this] { workerFinished(); });
}

void FrameEditCommands::startRotation() {
    if (!mayChangeFrame()) return;
    if (const std::string refusal = TransposeRefusal(ws_); !refusal.empty()) {
        host_.message(refusal);
        return;
    }
    if (rotate_) rotate_->Join();
    ws_.FrameJobRunning = true;
    frameJob_(true);
    rotate_ = std::make_unique<Rotate90>(ws_, host_, [this] { workerFinished(); });
}

void FrameEditCommands::workerFinished() {
    ws_.FrameJobRunning = false;
    frameJob_(false);
    main_.refresh();
}

std::optional<std::string> FrameEditCommands::askFileInProgramFolder(const char* filter) {
    host_.setDialogFolder(ws_.InstallDir);
    const std::vector<std::string> files = host_.askOpenFileNames(filter, false);
    host_.setDialogFolder(ws_.OpenDialogFolder);
    if (files.empty() || !mayChangeFrame()) return std::nullopt;
    return files.front();
}

void FrameEditCommands::loadMask() {
    if (!mayChangeFrame()) return;
    if (!ws_.FrameIsLoaded()) {
        host_.message(NeedFrame);
        return;
    }
    if (const auto file = askFileInProgramFolder(MaskFilter)) LoadMaskCommand(ws_, host_, *file);
}

void FrameEditCommands::saveMask() { saveAs(MaskFilter, SaveMaskCommand); }

void FrameEditCommands::loadBackground() {
    if (!mayChangeFrame()) return;
    if (const auto file = askFileInProgramFolder(BackgroundFilter)) LoadBackgroundCommand(ws_, host_, *file);
}

void FrameEditCommands::saveBackground() { saveAs(BackgroundFilter, SaveBackgroundCommand); }

void FrameEditCommands::saveAs(const char* filter, bool (*save)(Workspace&, Host&, const std::string&)) {
    if (!ws_.FrameIsLoaded()) {
        host_.message(NeedFrame);
        return;
    }
    host_.setDialogFolder(ws_.InstallDir);
    const std::optional<std::string> name = host_.askSaveFileName("", filter);
    host_.setDialogFolder(ws_.OpenDialogFolder);
    if (name) save(ws_, host_, *name);
}

} // namespace orv
