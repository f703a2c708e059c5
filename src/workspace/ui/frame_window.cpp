#include "workspace/ui/frame_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "workspace/frame_display.h"
#include "workspace/frame_tools.h"
#include "workspace/ui/qt_host.h"
#include "workspace/ui/zoom_window.h"
#include "workspace/workspace.h"

namespace orv {

QImage ImageOf(const RgbImage& image) {
    if (image.Width <= 0 || image.Height <= 0) return QImage();
    // The buffer holds 0xFFRRGGBB words, Qt's RGB32 layout.
    return QImage(reinterpret_cast<const uchar*>(image.Pixels.data()), image.Width, image.Height,
                  static_cast<qsizetype>(image.Width) * 4, QImage::Format_RGB32);
}

// ---- PictureView -------------------------------------------------------------

PictureView::PictureView(const RgbImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    pictureChanged();
}

void PictureView::pictureChanged() {
    const QSize size(std::max(1, image_.Width), std::max(1, image_.Height));
    if (size != this->size()) {
        setFixedSize(size);
        updateGeometry();
    }
    update();
}

QSize PictureView::sizeHint() const { return QSize(std::max(1, image_.Width), std::max(1, image_.Height)); }

void PictureView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QImage image = ImageOf(image_);
    if (image.isNull()) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    const QRect r = event->rect();
    painter.drawImage(r.topLeft(), image, r);
    // Beyond the picture (while the widget is being resized) stays white.
    if (r.right() >= image.width() || r.bottom() >= image.height()) {
        painter.fillRect(QRect(image.width(), 0, width(), height()), Qt::white);
        painter.fillRect(QRect(0, image.height(), width(), height()), Qt::white);
    }
}

namespace {
QPoint PixelOf(QMouseEvent* event) {
    const QPointF p = event->position();
    return QPoint(static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
}
} // namespace

void PictureView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const QPoint p = PixelOf(event);
    emit mousePressed(p.x(), p.y());
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = PixelOf(event);
    emit mouseMoved(p.x(), p.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    emit mouseReleased();
}

// A double click on the picture is two clicks, not the window's double click.
void PictureView::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

// ---- FrameWindow ---------------------------------------------------------------

FrameWindow::FrameWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), ws_(ws), host_(host) {
    setObjectName("TForm1");
    setWindowTitle(QString::fromStdString(ws_.Form1.Caption));
    setFocusPolicy(Qt::StrongFocus);
    // A run nobody watches needs no blank picture: its frame's picture is
    // drawn afresh.
    if (ws_.Form1.Image1.Pixels.empty() && !host_.unattended()) {
        BlankFramePicture(ws_, 1024, 1024);
        ws_.Form1.PicturePending = false;   // the blank picture is shown as it is
    }

    view_ = new PictureView(ws_.Form1.Image1);
    view_->setObjectName("Image1");
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(view_);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Base);
    scroll_->setFocusPolicy(Qt::NoFocus);
    // One-button centring above the picture.
    bar_ = new QWidget(this);
    auto* barLayout = new QHBoxLayout(bar_);
    barLayout->setContentsMargins(2, 2, 2, 0);
    auto* centre = new QToolButton(bar_);
    centre->setObjectName("SpeedButton1");
    centre->setText("Center");
    centre->setToolTip("Find the pattern center (Auto, both axes)");
    centre->setFocusPolicy(Qt::NoFocus);   // the keys stay with the frame
    barLayout->addWidget(centre);
    // What the next click does towards a four-click sector.
    prompt_ = new QLabel(bar_);
    prompt_->setObjectName("SectorPrompt");
    // The text never widens the window beyond the frame.
    prompt_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    barLayout->addWidget(prompt_);
    barLayout->addStretch(1);
    connect(centre, &QToolButton::clicked, this, [this] { emit autoCentreRequested(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar_);
    layout->addWidget(scroll_);

    connect(view_, &PictureView::mousePressed, this, [this](int x, int y) {
        const FrameClick click = Image1MouseDown(ws_, host_, x, y);
        if (click.ShowZoom && zoom_) zoom_->show();
        refreshPicture();
        updateZoom();
        if (click.ShowCentreWindow) emit centreWindowRequested();
    });
    connect(view_, &PictureView::mouseMoved, this, [this](int x, int y) {
        Image1MouseMove(ws_, host_, x, y);
        if (ws_.Form1.PicturePending) refreshPicture();
        updateZoom();
    });
    connect(view_, &PictureView::mouseReleased, this, [this] {
        Image1MouseUp(ws_, host_);
        refreshPicture();
    });
    connect(host_.notifier(), &ViewNotifier::noted, this, [this](View what) {
        if (what == View::Frame) notePicture();
    });
    connect(host_.notifier(), &ViewNotifier::changed, this, [this](View what) {
        if (what == View::Frame) showPicture();
        if (what == View::Sector || what == View::Settings) showPrompt();
    });
    fitToPicture();
}

void FrameWindow::refreshPicture() {
    notePicture();
    showPicture();
}

void FrameWindow::notePicture() {
    // The latest notice decides: a new picture replaces a redraw still owed,
    // a change without one asks for a redraw.
    redrawOwed_ = !ws_.Form1.PicturePending;
    ws_.Form1.PicturePending = false;
}

void FrameWindow::showPicture() {
    if (redrawOwed_ && ws_.FrameIsLoaded()) {
        RedrawFramePicture(ws_, host_);
        ws_.Form1.PicturePending = false;   // drawn here, shown now
    }
    redrawOwed_ = false;
    setWindowTitle(QString::fromStdString(ws_.Form1.Caption));
    view_->pictureChanged();
    showPrompt();
    const QSize size(ws_.Form1.Image1.Width, ws_.Form1.Image1.Height);
    if (size != shownSize_) fitToPicture();
}

void FrameWindow::fitToPicture() {
    shownSize_ = QSize(ws_.Form1.Image1.Width, ws_.Form1.Image1.Height);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    // As wide as the shown frame and as high as fits below the window's top.
    const int frame = 2 * scroll_->frameWidth();
    const int w = std::min(shownSize_.width() + frame, area.width());
    const int h = std::min(std::abs(y() - area.bottom()), shownSize_.height()) + 10 + frame + bar_->sizeHint().height();
    resize(std::max(w, 100), std::max(h, 60));
}

void FrameWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    fitToPicture();
}

void FrameWindow::updateZoom() {
    if (zoom_) zoom_->refresh();
}

void FrameWindow::showPrompt() {
    const QString text = QString::fromStdString(SectorClickPrompt(ws_));
    if (prompt_->text() != text) prompt_->setText(text);
}

void FrameWindow::keyPressEvent(QKeyEvent* event) {
    // Escape gives up the sector being clicked.
    if (event->key() == Qt::Key_Escape) {
        if (AbandonSectorClicks(ws_, host_)) refreshPicture();
    } else {
        FrameKeyDown(ws_, event->key());
    }
    showPrompt();
    QWidget::keyPressEvent(event);
}

void FrameWindow::keyReleaseEvent(QKeyEvent* event) {
    // A held key repeats as release-press pairs: only the real release counts.
    if (!event->isAutoRepeat()) FrameKeyUp(ws_, event->key());
    showPrompt();
    QWidget::keyReleaseEvent(event);
}

void FrameWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    emit setupWindowRequested();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace orv
