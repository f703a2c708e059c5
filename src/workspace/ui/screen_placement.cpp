#include "workspace/ui/screen_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "workspace/window_placement.h"

namespace orv {

namespace {

ScreenRect ToScreenRect(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }

// The windows this applies to: top-level windows and dialogs, not menus,
// tool tips or the splash.
bool IsPlacedWindow(const QWidget* w) {
    if (!w->isWindow()) return false;
    const Qt::WindowType type = w->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Tool;
}

} // namespace

QRect AvailableArea(const QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return QRect();
    // A window placed off every screen belongs on the one nearest to it.
    if (const QScreen* at = QGuiApplication::screenAt(window->frameGeometry().center())) screen = at;
    return screen->availableGeometry();
}

void KeepOnScreen(QWidget* window) {
    const QRect area = AvailableArea(window);
    if (area.isEmpty()) return;
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    // The window manager's frame around the client area (none before the
    // window is decorated).
    const int extraWidth = std::max(0, outer.width() - inner.width());
    const int extraHeight = std::max(0, outer.height() - inner.height());
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    const ScreenRect fitted = FitOnScreen(ToScreenRect(outer), ToScreenRect(area), least.width() + extraWidth,
                                          least.height() + extraHeight);
    if (fitted == ToScreenRect(outer)) return;
    const QSize client(std::max(1, fitted.Width - extraWidth), std::max(1, fitted.Height - extraHeight));
    if (client != inner.size()) window->resize(client);
    // A window's position is that of its outer frame.
    if (fitted.Left != outer.left() || fitted.Top != outer.top()) window->move(fitted.Left, fitted.Top);
}

OnScreenKeeper::OnScreenKeeper(QObject* parent) : QObject(parent) {}

bool OnScreenKeeper::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // Showing and resizing, and the program's own moves; where the user drags
    // a window (a spontaneous move) is left as the user wants it.
    const bool placing = type == QEvent::Show || type == QEvent::Resize || (type == QEvent::Move && !event->spontaneous());
    if (placing && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (IsPlacedWindow(w) && (type == QEvent::Show || w->isVisible())) {
            check(w, 0);
            // Again once the window manager has framed it, which makes it larger.
            if (type == QEvent::Show) check(w, 250);
        }
    }
    return QObject::eventFilter(watched, event);
}

void OnScreenKeeper::check(QWidget* w, int delay) {
    const QPointer<QWidget> window(w);
    auto& pending = delay == 0 ? soon_ : later_;
    if (pending.contains(window)) return;
    pending.push_back(window);
    // Once the window stands where it was put.
    QTimer::singleShot(delay, this, [this, window, &pending] {
        pending.removeAll(window);
        if (window && window->isVisible()) KeepOnScreen(window);
    });
}

} // namespace orv
