#pragma once
// "Logbook": the workspace's logbook lines in a memo the user may edit, saved
// as a ".log" text file.

#include <cstddef>

#include "workspace/ui/settings_windows.h"

class QPlainTextEdit;

namespace orv {

class TForm11Window : public RecordWindow {
    Q_OBJECT
public:
    TForm11Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);

    // Shows lines appended to the logbook since the last refresh.
    void refresh() override;
    // The window's own "SaveLogbook": asks for a name, appends ".log" and
    // writes every line. Returns whether the file was written.
    bool SaveLogbook();
    // Called when the program closes: a logbook of more than five lines is
    // offered for saving unless a script is running the program. Returns
    // whether it was saved.
    bool closingProgram();

    QPlainTextEdit* memo() const { return memo_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void memoEdited();

    QPlainTextEdit* memo_;
    size_t shown_ = 0;   // logbook lines the memo shows
};

} // namespace orv
