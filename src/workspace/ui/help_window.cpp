#include "workspace/ui/help_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orv {

const std::vector<HotKey>& HotKeys() {
    static const std::vector<HotKey> keys = {
        {{"A + mouse clicks "},
         {"Selects a angular sector in a Frame", "Selects a 2Theta range in 2Theta scan",
          "Selects a 2Theta or Psi range for integration", "Selects a range in X or Y line scan for analysis"}},
        {{"S + mouse clicks "},
         {"Selects a rectangular sector in a Frame", "Selects a standard line in a X or Y line scan"}},
        {{"Z + mouse clicks ", "( in 2Theta or Psi scans )"}, {"Selects a 2Theta or Psi range to zoom in"}},
        {{"C + mouse click "}, {"Selects a new center in a Frame"}},
        {{"D + mouse click "}, {"Delete pixels in a Frame"}},
        {{"Space bar + mouse clicks ", "( in a 2Theta scan )"}, {"Mark a ring at a given 2Theta angle"}},
        {{"Mouse drag", " (with the right or left button pressed) "},
         {"Adjust and scale the standard lines in a X or Y line scan"}},
    };
    return keys;
}

TFAboutWindow::TFAboutWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TFAbout");
    setWindowTitle("Help");

    auto* product = new QLabel("Orvantide 4.1", this);
    product->setObjectName("ProductName");
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    product->setFont(big);
    product->setAlignment(Qt::AlignCenter);

    auto* table = new QGroupBox("Hot kyes", this);
    table->setObjectName("HotKeys");
    auto* grid = new QGridLayout(table);
    grid->setHorizontalSpacing(16);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const HotKey& k : HotKeys()) {
        auto* key = new QLabel(k.key.join('\n'), table);
        QFont bold = key->font();
        bold.setBold(true);
        key->setFont(bold);
        grid->addWidget(key, row, 0, static_cast<int>(k.descriptions.size()), 1, Qt::AlignTop);
        for (const QString& d : k.descriptions) grid->addWidget(new QLabel(d, table), row++, 1, Qt::AlignTop);
        if (&k != &HotKeys().back()) {
            auto* line = new QFrame(table);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            grid->addWidget(line, row++, 0, 1, 2);
        }
    }

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("BOK");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    auto* top = new QVBoxLayout(this);
    top->addWidget(product);
    top->addWidget(table);
    top->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);
}

} // namespace orv
