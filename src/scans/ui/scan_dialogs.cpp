#include "scans/ui/scan_dialogs.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "scans/scan_analysis.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

namespace {

QLineEdit* Narrow(QLineEdit* e) {
    e->setFixedWidth(90);
    return e;
}

// The boxes in one group, then "OK" under them.
QGridLayout* DialogLayout(ScanDialog* dialog, QPushButton*& ok) {
    QGridLayout* grid = nullptr;
    auto* group = Group(dialog, QString(), grid);
    ok = Button(dialog, "Button1", "OK");
    ok->setDefault(true);
    auto* top = new QVBoxLayout(dialog);
    top->addWidget(group);
    top->addWidget(ok, 0, Qt::AlignRight);
    return grid;
}

} // namespace

ScanDialog::ScanDialog(Workspace& ws, QtHost& host, const char* objectName, const QString& caption)
    : RecordWindow(ws, host, objectName, caption, {View::Settings}) {
    setWindowFlag(Qt::Tool);
}

void ScanDialog::openFor(std::function<void()> onOK) {
    onOK_ = std::move(onOK);
    showRestored();
}

void ScanDialog::ok() {
    hide();
    if (onOK_) run(onOK_);
    afterRun();
    refresh();
}

TForm5Window::TForm5Window(Workspace& ws, QtHost& host) : ScanDialog(ws, host, "TForm5", "Zoom In") {
    TForm5& f = ws.Form5;
    QPushButton* ok = nullptr;
    QGridLayout* g = DialogLayout(this, ok);
    ok->setObjectName("OKZoom");
    Row(g, "Amin", Narrow(binding_.edit(this, "EXMin", f.EXMin)));
    Row(g, "AMax", Narrow(binding_.edit(this, "EXmax", f.EXmax)));
    Row(g, "Imin", yMin_ = Narrow(binding_.edit(this, "EYMin", f.EYMin)));
    Row(g, "IMax", yMax_ = Narrow(binding_.edit(this, "EYMax", f.EYMax)));
    QCheckBox* autoMax = binding_.check(this, "CBAMax", "AutoMax", f.CBAMax);
    g->addWidget(autoMax, g->rowCount(), 1);
    connect(autoMax, &QCheckBox::toggled, this, [this] { refresh(); });
    connect(ok, &QPushButton::clicked, this, [this] { this->ok(); });
}

void TForm5Window::refresh() {
    ScanDialog::refresh();
    // The intensity range is typed only when it is not taken from the scan.
    yMin_->setEnabled(!ws_.Form5.CBAMax);
    yMax_->setEnabled(!ws_.Form5.CBAMax);
}

TForm6Window::TForm6Window(Workspace& ws, QtHost& host) : ScanDialog(ws, host, "TForm6", "FindPeaks") {
    TForm6& f = ws.Form6;
    QPushButton* ok = nullptr;
    QGridLayout* g = DialogLayout(this, ok);
    Row(g, "Peak width (deg.)", Narrow(binding_.edit(this, "EPWidth", f.EPWidth)));
    Row(g, "Min Intensity (%)", Narrow(binding_.edit(this, "EIntPer", f.EIntPer)));
    Row(g, "Min Abs Intensity (counts)", Narrow(binding_.edit(this, "EMinValue", f.EMinValue)),
        binding_.check(this, "CBMinValue", "set", f.CBMinValue));
    Row(g, "Only within range selected", binding_.check(this, "CBSelect", "set", f.CBSelect));
    connect(ok, &QPushButton::clicked, this, [this] { this->ok(); });
}

void TForm6Window::afterRun() { ws_.Form6 = BatchPeakBoxes(ws_); }

TForm7Window::TForm7Window(Workspace& ws, QtHost& host) : ScanDialog(ws, host, "TForm7", "Background") {
    TForm7& f = ws.Form7;
    QPushButton* ok = nullptr;
    QGridLayout* g = DialogLayout(this, ok);
    Row(g, "Roll width (deg.)", Narrow(binding_.edit(this, "EPeakWidth", f.EPeakWidth)));
    Row(g, "Roll height (counts)", Narrow(binding_.edit(this, "EBHeight", f.EBHeight)));
    connect(ok, &QPushButton::clicked, this, [this] { this->ok(); });
}

void TForm7Window::afterRun() { ws_.Form7 = BatchRollBoxes(ws_); }

} // namespace orv
