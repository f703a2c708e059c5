#include "workspace/ui/mask_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "workspace/sector_dialog.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

namespace {
QLineEdit* Narrow(QLineEdit* e) {
    e->setFixedWidth(90);
    return e;
}

QLabel* Hint(QWidget* parent, const QString& first, const QString& second) {
    auto* label = new QLabel(first + "\n" + second, parent);
    label->setWordWrap(true);
    return label;
}
} // namespace

TFMaskWindow::TFMaskWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TFMask", "Mask", {View::Sector, View::Settings}, parent) {
    TFMask& m = ws.FMask;
    QGridLayout* g = nullptr;
    auto* angular = Group(this, "Angular Mask", g);
    Row(g, "2Theta min", Narrow(binding_.edit(angular, "Eth1", m.Eth1)));
    Row(g, "2Theta Max", Narrow(binding_.edit(angular, "Eth2", m.Eth2)));
    Row(g, "Psi min", Narrow(binding_.edit(angular, "EPsi1", m.EPsi1)));
    Row(g, "Psi Max", Narrow(binding_.edit(angular, "EPsi2", m.EPsi2)));
    g->addWidget(Hint(angular, "You can also select these values by clicking in the FRAME displayed",
                      "while holding the A-key pressed"),
                 g->rowCount(), 0, 1, 4);

    QGridLayout* r = nullptr;
    auto* rectangle = Group(this, "Rectangular Mask", r);
    Row(r, "X1", Narrow(binding_.edit(rectangle, "EX1", m.EX1)));
    Row(r, "Y1", Narrow(binding_.edit(rectangle, "EY1", m.EY1)));
    Row(r, "X2", Narrow(binding_.edit(rectangle, "Ex2", m.Ex2)));
    Row(r, "Y2", Narrow(binding_.edit(rectangle, "EY2", m.EY2)));
    Row(r, QString(), binding_.check(rectangle, "CBRectangle", "Apply", m.CBRectangle));
    r->addWidget(Hint(rectangle, "You can also select a rectangular mask by clicking in the FRAME displayed ",
                      "while holding the S-key pressed"),
                 r->rowCount(), 0, 1, 4);
    AlignLabels({angular, rectangle});

    auto* apply = Button(this, "Button1", "Apply");
    auto* fullRange = Button(this, "BFRange", "Full Range");
    auto* cancel = Button(this, "Button3", "Cancel");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(fullRange);
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(angular);
    layout->addWidget(rectangle);
    layout->addLayout(buttons);

    connect(apply, &QPushButton::clicked, this, [this] {
        hide();
        run([this] { FMaskButton1Click(ws_, host_); });
    });
    connect(fullRange, &QPushButton::clicked, this, [this] { run([this] { FMaskBFRangeClick(ws_); }); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
}

} // namespace orv
