#pragma once
// "PoleFigure Generator" (TForm16): the frames of a series, the 2-theta
// windows and the output name, and the worker that turns the frames into a
// slice file with its preview.

#include <memory>

#include "workspace/ui/settings_windows.h"

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace orv {

class PictureView;
class TPoleThread;

class TForm16Window : public RecordWindow {
    Q_OBJECT
public:
    TForm16Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    // Stops a run that goes on and waits for it.
    ~TForm16Window() override;
    void refresh() override;
    // Whether a run goes on.
    bool running() const;
    // Waits for the run to end, the window's steps going on meanwhile (tests).
    void waitForRun();

private:
    void generate();

    QPlainTextEdit* memo_;
    PictureView* preview_;
    QProgressBar* progress_;
    QPushButton* generate_;
    std::unique_ptr<TPoleThread> worker_;
};

} // namespace orv
