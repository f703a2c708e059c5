#pragma once
// Keeps every window and dialog of the program wholly on the screen: each
// one, when it is shown or the program moves or resizes it, is fitted into
// the available area of its screen (FitOnScreen).

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace orv {

// The area of `window`'s screen that windows may use (without panels).
QRect AvailableArea(const QWidget* window);
// Fits the window's outer frame into the available area of its screen.
void KeepOnScreen(QWidget* window);

// Watches the program's windows (installed on the application).
class OnScreenKeeper : public QObject {
public:
    explicit OnScreenKeeper(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Fits `window` after `delay` ms, once however often it is asked.
    void check(QWidget* window, int delay);
    QList<QPointer<QWidget>> soon_, later_;
};

} // namespace orv
