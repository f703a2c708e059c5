#include "workspace/ui/spot_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "workspace/spot_finder.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

TForm36Window::TForm36Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm36", "Find reflections tool", {View::Settings}, parent) {
    TForm36& f = ws.Form36;
    QGridLayout* g = nullptr;
    auto* search = Group(this, "Spots", g);
    Row(g, "Intensity Threshold", binding_.edit(search, "Eintensity", f.Eintensity));
    Row(g, "Window Size (pixels)", binding_.edit(search, "Epixels", f.Epixels),
        binding_.check(search, "CheckBox1", "Auto", f.CheckBox1));
    g->addWidget(binding_.radio(search, "RadioButton1", "Above background", f.RadioButton1), g->rowCount(), 0, 1, 3);
    g->addWidget(binding_.radio(search, "RadioButton2", "Absolute Intensity", f.RadioButton2), g->rowCount(), 0, 1, 3);

    auto* find = Button(this, "BFind", "Find spots");
    mask_ = Button(this, "BMaskspots", "Mask spots");
    auto* close = Button(this, "Button1", "Close");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(find);
    buttons->addWidget(mask_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search);
    layout->addLayout(buttons);

    connect(find, &QPushButton::clicked, this, [this] { run([this] { TForm36BFindClick(ws_, host_); }); });
    connect(mask_, &QPushButton::clicked, this, [this] { run([this] { TForm36BMaskspotsClick(ws_, host_); }); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
}

void TForm36Window::refresh() {
    RecordWindow::refresh();
    mask_->setEnabled(ws_.Form36.BMaskspotsEnabled);
}

void TForm36Window::showEvent(QShowEvent* event) {
    TForm36FormShow(ws_);
    RecordWindow::showEvent(event);
}

} // namespace orv
