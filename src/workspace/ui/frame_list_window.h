#pragma once
// "Frame list": the opened or listed files under "Files"; a click loads one.

#include <QPointer>
#include <functional>

#include "workspace/ui/settings_windows.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace orv {

class TForm4Window : public RecordWindow {
    Q_OBJECT
public:
    TForm4Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);

    // Rebuilds the entries from FileList when they changed.
    void refresh() override;
    // A click on entry i (0 = the first file below "Files").
    void entryClick(int entry);
    // Highlights entry i (the list stepping of the main window does this).
    void highlightEntry(int entry);

    // The main window sets these: show the frame window (filled white when
    // it was hidden) and start the loading worker for FileToOpen.
    std::function<void()> showFrameWindow;
    std::function<void()> startLoading;
    // The main window, below whose top the list is placed when shown.
    void setPlacementAnchor(QWidget* mainWindow) { anchor_ = mainWindow; }

    QTreeWidget* tree() const { return tree_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTreeWidget* tree_;
    QTreeWidgetItem* root_;
    QPointer<QWidget> anchor_;
};

} // namespace orv
