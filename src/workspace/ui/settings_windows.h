#pragma once
// The settings windows: each shows and edits its record in the Workspace
// (records.h) and runs the core's commands from its buttons. They are
// created once and only shown and hidden; every change notice of their view
// puts the boxes back in step with the record.

#include <QWidget>
#include <functional>
#include <initializer_list>
#include <vector>

#include "workspace/host.h"
#include "workspace/ui/record_binding.h"

class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace orv {

class QtHost;
struct Workspace;

// What every window of a record has in common: the workspace, the host, the
// binding of its boxes, and the views whose change notices refresh it.
class RecordWindow : public QWidget {
    Q_OBJECT
public:
    RecordWindow(Workspace& ws, QtHost& host, const char* objectName, const QString& caption,
                 std::initializer_list<View> views, QWidget* parent = nullptr);
    // Shows the window, restored from minimised, in front.
    void showRestored();
    // Puts every box back in step with the record.
    virtual void refresh();

protected:
    // Runs a core command; a box that is not a number or a failed file
    // operation is reported through the host. Returns whether it completed.
    bool run(const std::function<void()>& command);
    void showEvent(QShowEvent* event) override;

    Workspace& ws_;
    QtHost& host_;
    RecordBinding binding_;
    // The window's refresh may show it (the scan windows): it is refreshed
    // on a catch-up even while it is not shown.
    bool catchesUpHidden_ = false;

private:
    std::vector<View> views_;
};

// "Detector Settings"
class TForm32Window : public RecordWindow {
    Q_OBJECT
public:
    TForm32Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);

    // Commands that live in other windows; the main window sets them.
    std::function<void()> onFind;            // "Find": the centre window
    std::function<void()> onSetWavelength;   // "Set": the Wavelength window
    std::function<void()> onSaveSettings;    // "Save": the main window's Save Settings
    std::function<void()> onLoadSettings;    // "Load": the main window's Load Settings
};

// "Wavelength"
class TForm19Window : public RecordWindow {
    Q_OBJECT
public:
    TForm19Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
};

// "Diffractometer Settings"
class TForm28Window : public RecordWindow {
    Q_OBJECT
public:
    TForm28Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
};

// "Frame Info": the values in force for the current frame, not for typing.
class TForm23Window : public RecordWindow {
    Q_OBJECT
public:
    TForm23Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;

private:
    QLabel* panel2_;   // " MaxInt = ..."
    QLabel* panel5_;   // the file name
};

// "Correct2Theta"
class TF2ThetaWindow : public RecordWindow {
    Q_OBJECT
public:
    TF2ThetaWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
};

// "Batch process and Scan settings", two pages.
class TFSetupWindow : public RecordWindow {
    Q_OBJECT
public:
    enum Page { BatchPage = 0, ScanPage = 1 };
    TFSetupWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    // Shows the window on one of its pages, restored from minimised.
    void showPage(int page);
    void refresh() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QTabWidget* pages_;
};

// Layout pieces the windows share.
namespace ui_layout {
// A group box with a grid, titled as given.
QGroupBox* Group(QWidget* parent, const QString& title, QGridLayout*& grid);
// One row: a label, the box and, when given, a box beside it.
void Row(QGridLayout* grid, const QString& label, QWidget* box, QWidget* beside = nullptr);
// Gives the label columns of these groups one width, so that boxes stacked
// in one column of the window line up.
void AlignLabels(std::initializer_list<QGroupBox*> groups);
// A push button with its component name.
QPushButton* Button(QWidget* parent, const char* name, const QString& caption);
} // namespace ui_layout

} // namespace orv
