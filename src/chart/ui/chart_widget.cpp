#include "chart/ui/chart_widget.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace orv {

namespace {

TShiftState ShiftFrom(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier) s |= ssShift;
    if (modifiers & Qt::AltModifier) s |= ssAlt;
    if (modifiers & Qt::ControlModifier) s |= ssCtrl;
    if (buttons & Qt::LeftButton) s |= ssLeft;
    if (buttons & Qt::RightButton) s |= ssRight;
    if (buttons & Qt::MiddleButton) s |= ssMiddle;
    return s;
}

TMouseButton ButtonFrom(Qt::MouseButton button) {
    switch (button) {
    case Qt::RightButton: return TMouseButton::mbRight;
    case Qt::MiddleButton: return TMouseButton::mbMiddle;
    default: return TMouseButton::mbLeft;
    }
}

// Mouse positions reach the chart as signed 16-bit values.
int Clamp16(int v) { return std::clamp(v, -32768, 32767); }

} // namespace

TRChartWidget::TRChartWidget(QWidget* parent)
    : QWidget(parent), Owned_(std::make_unique<TRChart>()), Chart_(Owned_.get()) {
    Attach();
}

TRChartWidget::TRChartWidget(TRChart& chart, QWidget* parent) : QWidget(parent), Chart_(&chart) {
    Attach();
}

TRChartWidget::~TRChartWidget() {
    ReleaseCursor();
    Chart_->OnRepaint = nullptr;
    Chart_->OnCopyBitmap = nullptr;
}

void TRChartWidget::Attach() {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(Chart_->Width(), Chart_->Height());
    Chart_->OnRepaint = [this] { update(); };
    Chart_->OnCopyBitmap = [](TRChart& chart, bool blackAndWhite) {
        CopyChartToClipboard(chart, blackAndWhite);
    };
}

void TRChartWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Cache_.Update(*Chart_);
    Cache_.Present(*Chart_, painter);
}

void TRChartWidget::resizeEvent(QResizeEvent*) {
    Chart_->SetBounds(x(), y(), width(), height());
}

void TRChartWidget::moveEvent(QMoveEvent*) {
    Chart_->SetBounds(x(), y(), width(), height());
}

void TRChartWidget::mouseMoveEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    Chart_->MouseMove(ShiftFrom(event->modifiers(), event->buttons()), Clamp16(p.x()), Clamp16(p.y()));
    ApplyCursor();
}

void TRChartWidget::mousePressEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    Chart_->MouseDown(ButtonFrom(event->button()), ShiftFrom(event->modifiers(), event->buttons()),
                      Clamp16(p.x()), Clamp16(p.y()));
}

void TRChartWidget::mouseReleaseEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    // The released button is still part of the state, as the chart expects.
    Chart_->MouseUp(ButtonFrom(event->button()),
                    ShiftFrom(event->modifiers(), event->buttons() | event->button()), Clamp16(p.x()),
                    Clamp16(p.y()));
}

void TRChartWidget::enterEvent(QEnterEvent*) { Chart_->MouseEnter(); }

void TRChartWidget::leaveEvent(QEvent*) {
    ReleaseCursor();
    Chart_->MouseLeave();
}

void TRChartWidget::keyPressEvent(QKeyEvent* event) {
    int key = VirtualKeyFromQt(event->key());
    Chart_->KeyDown(key, ShiftFrom(event->modifiers(), Qt::NoButton));
}

void TRChartWidget::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    int key = VirtualKeyFromQt(event->key());
    Chart_->KeyUp(key, ShiftFrom(event->modifiers(), Qt::NoButton));
}

// The chart wants Tab for itself.
bool TRChartWidget::focusNextPrevChild(bool) { return false; }

void TRChartWidget::ApplyCursor() {
    Qt::CursorShape shape;
    switch (Chart_->ScreenCursor()) {
    case TChartCursor::crDefault: ReleaseCursor(); return;
    case TChartCursor::Unchanged: return;
    case TChartCursor::crCross: shape = Qt::CrossCursor; break;
    case TChartCursor::Hand: shape = Qt::OpenHandCursor; break;
    case TChartCursor::ZoomWindow:
    case TChartCursor::ZoomDrag:
    case TChartCursor::ZoomWindowPos: shape = Qt::SizeAllCursor; break;
    default: return;
    }
    if (CursorOverridden_) {
        QGuiApplication::changeOverrideCursor(QCursor(shape));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(shape));
        CursorOverridden_ = true;
    }
}

void TRChartWidget::ReleaseCursor() {
    if (!CursorOverridden_) return;
    QGuiApplication::restoreOverrideCursor();
    CursorOverridden_ = false;
}

int TRChartWidget::VirtualKeyFromQt(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) ||
        qtKey == Qt::Key_Space)
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return qtKey & 0xFFFF;
    }
}

} // namespace orv
