#pragma once
// The zoom window "Zoom" (TForm21): the magnified neighbourhood of the mouse
// (Form21.Image2) with its read-outs.

#include <QWidget>

class QLabel;

namespace orv {

class PictureView;
class QtHost;
struct Workspace;

class ZoomWindow : public QWidget {
    Q_OBJECT
public:
    ZoomWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    PictureView* view() { return view_; }
    // Shows the zoom picture and the read-outs as the core left them.
    void refresh();

private:
    Workspace& ws_;
    PictureView* view_;
    QLabel* panel1_;
    QLabel* panel4_;
};

} // namespace orv
