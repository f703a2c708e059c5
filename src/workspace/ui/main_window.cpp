#include "workspace/ui/main_window.h"

namespace orv {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName("TForm20");
    setWindowTitle("Orvantide");
    resize(1000, 120);
}

} // namespace orv
