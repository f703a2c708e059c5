#include "workspace/ui/centre_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "workspace/centre_search.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

TForm27Window::TForm27Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm27", "Find pattern center", {View::Settings, View::FrameInfo, View::Progress},
                   parent) {
    TForm27& f = ws.Form27;
    RecordBinding& b = binding_;
    QGridLayout* g = nullptr;

    auto* method = Group(this, "Method", g);
    QRadioButton* circle = b.radio(method, "RCircle", "EllipseCenter", f.RCircle);
    QRadioButton* sector = b.radio(method, "RSector", "SectorCenter", f.RSector);
    g->addWidget(circle, 0, 0);
    g->addWidget(sector, 1, 0);
    g->addWidget(b.radio(method, "RGravity", "GravityCenter", f.RGravity), 2, 0);
    g->addWidget(b.radio(method, "RAuto", "Auto", f.RAuto), 3, 0);
    g->addWidget(b.radio(method, "RBDBeam", "Direct beam", f.RBDBeam), 4, 0);

    auto* centre = Group(this, "Center (pixels)", g);
    auto num = [](QLineEdit* e) {
        e->setFixedWidth(90);
        return e;
    };
    Row(g, "Xo", num(b.edit(centre, "EXoM", f.EXoM)), b.check(centre, "CBXo", "Vary", f.CBXo));
    Row(g, "Yo", num(b.edit(centre, "EYoM", f.EYoM)), b.check(centre, "CBYo", "Vary", f.CBYo));
    g->addWidget(b.check(centre, "CBInitPos", "Init Position", f.CBInitPos), g->rowCount(), 1, 1, 2);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setRange(0, 100);

    auto* find = Button(this, "Button5", "FindCenter");
    auto* set = Button(this, "BSet", "Set");
    auto* close = Button(this, "Button1", "Close");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(find);
    buttons->addWidget(set);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto* top = new QVBoxLayout(this);
    top->addWidget(method);
    top->addWidget(centre);
    top->addWidget(progress_);
    top->addLayout(buttons);

    connect(find, &QPushButton::clicked, this, [this] {
        run([this] { Form27FindCenterClick(ws_, host_); });
    });
    connect(set, &QPushButton::clicked, this, [this] { run([this] { BSetClick(ws_, host_); }); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(circle, &QRadioButton::clicked, this, [this] {
        if (showZoom) showZoom();
        run([this] { Form27RCircleClick(ws_, host_); });
    });
    connect(sector, &QRadioButton::clicked, this, [this] { run([this] { Form27RSectorClick(ws_, host_); }); });
}

void TForm27Window::refresh() {
    RecordWindow::refresh();
    progress_->setValue(ws_.Form27.ProgressBar1);
}

} // namespace orv
