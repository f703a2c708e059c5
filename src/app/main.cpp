#include <QApplication>
#include <clocale>
#include <cstdlib>

#include "workspace/run_report.h"
#include "workspace/ui/application.h"

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

QtMessageHandler QtDefaultHandler = nullptr;

// Standard error of a run from the command line carries its reasons: the
// toolkit's own notes (what an offscreen screen cannot do, a missing runtime
// folder) are left out; its errors still go through.
void OnlyToolkitErrors(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) QtDefaultHandler(type, context, text);
}

} // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    // A run from the command line shows nothing anybody waits for: on a
    // machine without a display (a server, a job queue) it runs offscreen
    // rather than failing to start.
    if (orv::IsCommandLineRun(args) && !Set("QT_QPA_PLATFORM") && !Set("DISPLAY") && !Set("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (orv::IsCommandLineRun(args)) QtDefaultHandler = qInstallMessageHandler(OnlyToolkitErrors);
    QApplication app(argc, argv);
    // Numbers are read and written with "." whatever the desktop's locale.
    std::setlocale(LC_NUMERIC, "C");
    orv::Application program(std::move(args));
    program.start();
    const int status = app.exec();
    return status != 0 ? status : program.exitStatus();
}
