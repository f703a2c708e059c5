#pragma once
// The main window "Orvantide": the menus and the two rows of tool buttons of
// the whole program, built from the command table, the progress bar, the
// script box and "File Settings". A command runs through the handler
// installed for it; a command without one is shown disabled.

#include <QMainWindow>
#include <functional>
#include <map>
#include <vector>

#include "workspace/command_table.h"
#include "workspace/ui/record_binding.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QRadioButton;
class QWidget;

namespace orv {

class QtHost;
struct Workspace;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);

    // Installs the command behind every menu item and button of `id`.
    void setHandler(CommandId id, std::function<void()> handler);
    bool hasHandler(CommandId id) const { return handlers_.count(id) > 0; }
    // Enables or disables a command for a while (a worker running).
    void setCommandEnabled(CommandId id, bool enabled);
    bool commandEnabled(CommandId id) const;
    // Runs a command as a click would; false when it is disabled.
    bool trigger(CommandId id);
    // Every action of a command (menu items and buttons).
    std::vector<QAction*> actionsOf(CommandId id) const;

    // Puts the progress bar, the script box and the tool buttons in step
    // with the workspace.
    void refresh();
    // Called when the window is to close: true lets it close (the program
    // ends), false keeps it open.
    std::function<bool()> onClosing;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolButtons();
    void buildStatusRow();
    void updateAction(CommandId id);

    Workspace& ws_;
    QtHost& host_;
    RecordBinding binding_;
    std::map<CommandId, std::function<void()>> handlers_;
    std::map<CommandId, bool> disabled_;
    std::multimap<CommandId, QAction*> actions_;
    QProgressBar* progress_ = nullptr;
    QLineEdit* script_ = nullptr;
    QWidget* eraserPanel_ = nullptr;
    std::vector<QRadioButton*> eraserSizes_;
};

// The short label a tool button shows (its hint is the table's caption).
QString ToolButtonLabel(CommandId id);

} // namespace orv
