#pragma once
// The "Mineral List" window (the reference patterns, their boolean search,
// the current standard and "Find Match") and the "New Pattern" dialog. They
// show the records TForm18 and TForm29 and run the commands of
// scans/mineral_list.h and scans/mineral_match.h.
//
// What belongs to the 2-theta scan window is left to it through the
// std::function members below; while one is empty that step is skipped.

#include <QPointer>
#include <functional>

#include "scans/mineral_match.h"
#include "workspace/ui/settings_windows.h"

class QListWidget;
class QProgressBar;
class QSlider;
class QTableWidget;

namespace orv {

// "Mineral List"
class TForm18Window : public RecordWindow {
    Q_OBJECT
public:
    TForm18Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    // The 2-theta scan window, below which the list is placed on tall screens.
    void setPlacementAnchor(QWidget* scanWindow) { anchor_ = scanWindow; }
    // The list shown (tests).
    QListWidget* mineralList() const { return list_; }

    // A row was clicked: `pattern` (an index of MineralTable, above 0) is
    // now the current standard. The scan window sets StandardScale := 1 and
    // StandardShift := 0 and, with a frame loaded, replots the visible
    // 2-theta scan and draws the pattern's lines over it (and over the
    // visible line scan).
    std::function<void(int32_t pattern)> onStandardSelected;
    // "Find Match", before the search when the scan's background is still
    // in: the 2-theta scan window's "Remove background" button. The user is
    // asked only while this is set.
    std::function<void()> removeBackground;
    // "Find Match" found patterns: the scan is replotted and the first
    // listed pattern's sticks (score.Sticks, red, width 2) are drawn over it.
    std::function<void(int32_t pattern, const MineralMatchScore& score)> showMatch;
    // "Add": shows the New Pattern dialog (started afresh by the list).
    std::function<void()> showNewPattern;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rowClicked(int row);
    void findMatch();

    QListWidget* list_;
    QSlider* trackBar_;
    QProgressBar* progress_;
    QPointer<QWidget> anchor_;
    bool rowChangedByPress_ = false;   // the last mouse press moved the selection
};

// "New Pattern"
class TForm29Window : public RecordWindow {
    Q_OBJECT
public:
    TForm29Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    QTableWidget* grid() const { return grid_; }

    // The pattern was saved and added to the list: the list shows it.
    std::function<void()> onSaved;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void load();
    QTableWidget* grid_;
};

} // namespace orv
