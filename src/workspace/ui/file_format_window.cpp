#include "workspace/ui/file_format_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "workspace/scan_writers.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

TForm13Window::TForm13Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm13", "FileFormat", {View::Settings}, parent) {
    auto* layout = new QVBoxLayout(this);
    QGridLayout* grid = nullptr;
    QGroupBox* group = ui_layout::Group(this, "2ThetaScanOutputFile", grid);
    TForm13& f = ws.Form13;
    int row = 0;
    grid->addWidget(binding_.radio(group, "RB2Column", "Angle + Intensity (*.xy)", f.RB2Column), row++, 0);
    grid->addWidget(binding_.radio(group, "RB1Column", "Intensity (XPowder; *.plv)", f.RB1Column), row++, 0);
    grid->addWidget(binding_.radio(group, "RB3Column", "Angle + d + Intensity (*.ths)", f.RB3Column), row++, 0);
    grid->addWidget(binding_.radio(group, "RBJade", "Jade Software (*.mdi)", f.RBJade), row++, 0);
    grid->addWidget(binding_.radio(group, "RBBruker", "Eva Bruker (*.uxd)", f.RBBruker), row++, 0);
    layout->addWidget(group);
    QPushButton* ok = ui_layout::Button(this, "Button1", "OK");
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] {
        hide();
        run([this] { FileFormatOK(ws_, host_); });
    });
}

} // namespace orv
