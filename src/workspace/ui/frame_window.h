#pragma once
// The frame window "Frame" (TForm1): shows the core's frame picture
// (Form1.Image1) and hands mouse and keys to the core's frame tools.

#include <QImage>
#include <QWidget>

class QLabel;
class QScrollArea;

namespace orv {

class QtHost;
class ZoomWindow;
struct RgbImage;
struct Workspace;

// A core picture as a QImage over its buffer (no copy); valid while the
// picture is not changed.
QImage ImageOf(const RgbImage& image);

// Paints a core picture 1:1 and reports the mouse in its pixels.
class PictureView : public QWidget {
    Q_OBJECT
public:
    PictureView(const RgbImage& image, QWidget* parent = nullptr);
    // The picture changed (perhaps its size too).
    void pictureChanged();
    QSize sizeHint() const override;

signals:
    void mousePressed(int x, int y);
    void mouseMoved(int x, int y);
    void mouseReleased();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const RgbImage& image_;
};

class FrameWindow : public QWidget {
    Q_OBJECT
public:
    FrameWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    // The zoom window that mouse-downs show and mouse moves update.
    void setZoomWindow(ZoomWindow* zoom) { zoom_ = zoom; }
    PictureView* view() { return view_; }
    // Shows the core's picture; when the frame changed without a new picture
    // (a notice of View::Frame only), draws it first.
    void refreshPicture();
    // As wide as the shown frame and as high as fits below the window's top.
    void fitToPicture();

signals:
    // A centre was picked with 'C' held: "Find pattern center" is to be shown
    // and its centre command run on the picked centre.
    void centreWindowRequested();
    // A double click on the window: the batch settings window.
    void setupWindowRequested();
    // The centring button: the automatic centre search for both axes.
    void autoCentreRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // What a notice of View::Frame says when it is given: a new picture, or
    // a changed frame whose picture must be drawn again.
    void notePicture();
    // Shows the picture as the notices so far leave it.
    void showPicture();
    void updateZoom();
    // The status text: what the next click does towards a sector.
    void showPrompt();

    Workspace& ws_;
    QtHost& host_;
    PictureView* view_;
    QScrollArea* scroll_;
    QWidget* bar_;
    QLabel* prompt_;
    ZoomWindow* zoom_ = nullptr;
    QSize shownSize_;
    bool redrawOwed_ = false;
};

} // namespace orv
