#pragma once

#include <QMainWindow>

namespace orv {

// The main window: menus, tool buttons, the progress bar.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};

} // namespace orv
