#include <QApplication>
#include <clocale>

#include "workspace/ui/application.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Numbers are read and written with "." whatever the desktop's locale.
    std::setlocale(LC_NUMERIC, "C");
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    orv::Application program(std::move(args));
    program.start();
    const int status = app.exec();
    return status != 0 ? status : program.exitStatus();
}
