#pragma once
// "History": the last ten frames loaded, as pictures; a click reloads one.

#include <QImage>
#include <QPointer>
#include <array>
#include <functional>

#include "workspace/ui/settings_windows.h"

class QLabel;
class QScrollArea;

namespace orv {

class TForm17Window : public RecordWindow {
    Q_OBJECT
public:
    TForm17Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);

    // The loader shows a frame in slot s (0..9; slot 0 is the tenth picture)
    // with its caption, the file name without folder.
    void setSlot(int slot, const QImage& image, const QString& caption);
    // A click on picture k (1..10).
    void pictureClick(int picture);
    // Whether picture k (1..10) shows a frame.
    bool hasPicture(int picture) const;

    // Starts the loading worker for FileToOpen; the main window sets it.
    std::function<void()> startLoading;
    // The 2-theta scan window, below which the window is placed on tall screens.
    void setPlacementAnchor(QWidget* scanWindow) { anchor_ = scanWindow; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    std::array<QLabel*, 10> images_{};   // Image1..Image10
    std::array<QLabel*, 10> panels_{};   // Pan1..Pan10
    std::array<QWidget*, 10> cells_{};
    QScrollArea* scroll_;
    QPointer<QWidget> anchor_;
};

} // namespace orv
