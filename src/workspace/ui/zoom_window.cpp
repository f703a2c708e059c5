#include "workspace/ui/zoom_window.h"

#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "workspace/frame_display.h"
#include "workspace/frame_tools.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {
// A read-out panel wide enough for its longest text, so that no number is
// ever cut short.
QLabel* Panel(QWidget* parent, const char* name, const char* longest) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const int text = label->fontMetrics().horizontalAdvance(QString::fromLatin1(longest));
    label->setMinimumWidth(std::max(ZoomImageSize, text + 2 * label->frameWidth() + 2 * label->margin() + 8));
    return label;
}
} // namespace

ZoomWindow::ZoomWindow(Workspace& ws, QtHost& host, QWidget* parent) : QWidget(parent, Qt::Window), ws_(ws) {
    setObjectName("TForm21");
    setWindowTitle("Zoom");
    if (ws_.Form21.Image2.Pixels.empty()) ws_.Form21.Image2.Reset(ZoomImageSize, ZoomImageSize, WhiteColor);
    view_ = new PictureView(ws_.Form21.Image2, this);
    view_->setObjectName("Image2");
    panel4_ = Panel(this, "Panel4", "X= 24000, Y= 24000, I= -2147483648");
    panel1_ = Panel(this, "Panel1", "2Theta= 180.000, Psi= 360");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 0, Qt::AlignHCenter);
    layout->addWidget(panel4_);
    layout->addWidget(panel1_);
    connect(view_, &PictureView::mouseMoved, this, [this](int x, int y) {
        ZoomImageMouseMove(ws_, x, y);
        refresh();
    });
    connect(host.notifier(), &ViewNotifier::changed, this, [this](View what) {
        if (what == View::Frame) refresh();
    });
    refresh();
}

void ZoomWindow::refresh() {
    view_->pictureChanged();
    panel1_->setText(QString::fromStdString(ws_.Form21.Panel1));
    panel4_->setText(QString::fromStdString(ws_.Form21.Panel4));
}

} // namespace orv
