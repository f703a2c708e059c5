#include "workspace/ui/history_window.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "workspace/history.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr int PictureWidth = 104;
constexpr int PictureHeight = 66;
constexpr int WindowHeight = 280;

} // namespace

TForm17Window::TForm17Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm17", "History", {}, parent) {
    auto* sheet = new QWidget;
    auto* grid = new QGridLayout(sheet);
    grid->setSpacing(4);
    grid->setContentsMargins(4, 4, 4, 4);
    // Two pictures a row, in the order 1, 2 / 3, 4 / ... / 9, 10.
    for (int k = 1; k <= HistoryPictures; ++k) {
        auto* cell = new QWidget(sheet);
        auto* column = new QVBoxLayout(cell);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        auto* image = new QLabel(cell);
        image->setObjectName(QString("Image%1").arg(k));
        image->setFixedSize(PictureWidth, PictureHeight);
        image->setAlignment(Qt::AlignCenter);
        image->setFrameStyle(QFrame::Box | QFrame::Plain);
        image->setCursor(Qt::PointingHandCursor);
        image->installEventFilter(this);
        auto* panel = new QLabel(cell);
        panel->setObjectName(QString("Pan%1").arg(k));
        panel->setFixedWidth(PictureWidth);
        panel->setAlignment(Qt::AlignCenter);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        column->addWidget(image);
        column->addWidget(panel);
        grid->addWidget(cell, (k - 1) / 2, (k - 1) % 2);
        images_[static_cast<size_t>(k - 1)] = image;
        panels_[static_cast<size_t>(k - 1)] = panel;
        cells_[static_cast<size_t>(k - 1)] = cell;
    }
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(sheet);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(scroll_);
    resize(sheet->sizeHint().width() + scroll_->verticalScrollBar()->sizeHint().width() + 4, WindowHeight);
}

void TForm17Window::setSlot(int slot, const QImage& image, const QString& caption) {
    const int picture = HistoryPictureOfSlot(slot);
    if (picture < 0) return;
    const size_t i = static_cast<size_t>(picture - 1);
    QPixmap pixmap = QPixmap::fromImage(image);
    if (!pixmap.isNull())
        pixmap = pixmap.scaled(PictureWidth - 2, PictureHeight - 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    images_[i]->setPixmap(pixmap);
    panels_[i]->setText(caption);
    panels_[i]->setToolTip(caption);
    // The odd slots begin a row: scroll so that the newest picture is seen.
    if (slot % 2 == 1) scroll_->verticalScrollBar()->setValue(cells_[i]->y());
}

bool TForm17Window::hasPicture(int picture) const {
    if (picture < 1 || picture > HistoryPictures) return false;
    return !images_[static_cast<size_t>(picture - 1)]->pixmap().isNull();
}

void TForm17Window::pictureClick(int picture) {
    if (HistoryPictureClick(ws_, picture) && startLoading) startLoading();
}

bool TForm17Window::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto it = std::find(images_.begin(), images_.end(), watched);
        if (it != images_.end() && mouse->button() == Qt::LeftButton) {
            pictureClick(static_cast<int>(it - images_.begin()) + 1);
            return true;
        }
    }
    return RecordWindow::eventFilter(watched, event);
}

void TForm17Window::showEvent(QShowEvent* event) {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
        const int screenHeight = s->geometry().height();
        int top = y();
        if (screenHeight > 900 && anchor_) {
            const int below = anchor_->frameGeometry().bottom() + 1;
            if (below < 1000) top = below;
        }
        if (top + WindowHeight > screenHeight) top = screenHeight - WindowHeight;
        move(x(), top);
    }
    RecordWindow::showEvent(event);
}

} // namespace orv
