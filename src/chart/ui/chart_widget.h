#pragma once
// TRChartWidget: shows one TRChart and hands the user's mouse and keys to
// it. The chart's repaint requests become update() calls, so a crosshair
// drag or a burst of setters repaints once per event-loop pass.

#include <QWidget>
#include <memory>

#include "chart/rchart.h"
#include "chart/ui/chart_painter.h"

namespace orv {

class TRChartWidget : public QWidget {
    Q_OBJECT
public:
    // A widget with a chart of its own.
    explicit TRChartWidget(QWidget* parent = nullptr);
    // A widget showing `chart`, which must outlive it (a window's core model
    // usually owns its charts).
    explicit TRChartWidget(TRChart& chart, QWidget* parent = nullptr);
    ~TRChartWidget() override;

    TRChart& Chart() { return *Chart_; }

    // Windows key code of a Qt key (letters and digits are their ASCII codes).
    static int VirtualKeyFromQt(int qtKey);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void Attach();
    void ApplyCursor();
    void ReleaseCursor();

    std::unique_ptr<TRChart> Owned_;
    TRChart* Chart_;
    TChartImageCache Cache_;
    bool CursorOverridden_ = false;
};

} // namespace orv
