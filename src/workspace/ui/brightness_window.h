#pragma once
// The brightness window "Adjust Brightness" (TForm22): its track bar sets the
// display scale of the frame.

#include <QWidget>

class QLineEdit;
class QSlider;

namespace orv {

class QtHost;
struct Workspace;

class BrightnessWindow : public QWidget {
    Q_OBJECT
public:
    BrightnessWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    QSlider* trackBar() { return trackBar_; }
    // Puts the track bar and its box in step with Form22.
    void refresh();

private:
    Workspace& ws_;
    QtHost& host_;
    QSlider* trackBar_;
    QLineEdit* edit_;
};

} // namespace orv
