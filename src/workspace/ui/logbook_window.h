#pragma once
// "Logbook": the workspace's logbook lines in a memo the user may edit, saved
// as a ".log" text file.

#include <cstddef>
#include <string>

#include "workspace/ui/settings_windows.h"

#include <QPlainTextEdit>

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
    // Called when the program is to close: a logbook of more than five lines
    // is offered for saving unless a script is running the program (Yes:
    // the save dialog, No: leave without saving, Cancel: stay). Returns
    // whether the program may close: not when the user chose to stay or
    // cancelled the save dialog, or the file could not be written.
    bool closingProgram();

    QPlainTextEdit* memo() const { return memo_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void memoEdited();
    // The save dialog under `title` (empty: the toolkit's caption).
    bool saveLogbookAs(const std::string& title);
    // Scrolls to the last line.
    void showLastLine();
    // Runs a clipboard edit of the menu on the memo, which keys cannot edit.
    void editMemo(void (QPlainTextEdit::*edit)());

    QPlainTextEdit* memo_;
    size_t shown_ = 0;   // logbook lines the memo shows
    bool following_ = true;   // the memo shows the newest line as lines come
};

} // namespace orv
