#include <QApplication>

#include "workspace/ui/qt_host.h"
#include "workspace/ui/main_window.h"
#include "workspace/workspace.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    auto ws = std::make_unique<orv::Workspace>();
    orv::QtHost host;
    orv::MainWindow window(*ws, host);
    window.show();
    return app.exec();
}
