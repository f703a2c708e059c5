#include <QApplication>

#include "workspace/ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    orv::MainWindow window;
    window.show();
    return app.exec();
}
