#include "workspace/ui/brightness_window.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "workspace/frame_display.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

BrightnessWindow::BrightnessWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), ws_(ws), host_(host) {
    setObjectName("TForm22");
    setWindowTitle("Adjust Brightness");
    trackBar_ = new QSlider(Qt::Horizontal, this);
    trackBar_->setObjectName("TrackBar1");
    trackBar_->setRange(0, 100);
    trackBar_->setMinimumWidth(260);
    edit_ = new QLineEdit(this);
    edit_->setObjectName("Edit1");
    edit_->setReadOnly(true);
    edit_->setFixedWidth(50);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Button1");
    ok->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(trackBar_, 1);
    row->addWidget(edit_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(trackBar_, &QSlider::valueChanged, this, [this](int position) {
        Form22TrackBar1Change(ws_, host_, position);
        refresh();
    });
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);
    // The main window's brightness steps move Form22's track bar and redraw.
    connect(host_.notifier(), &ViewNotifier::changed, this, [this](View what) {
        if (what == View::Frame || what == View::Settings) refresh();
    });
    refresh();
}

void BrightnessWindow::refresh() {
    const QSignalBlocker block(trackBar_);
    trackBar_->setValue(ws_.Form22.TrackBar1);
    edit_->setText(QString::fromStdString(ws_.Form22.Edit1));
}

} // namespace orv
