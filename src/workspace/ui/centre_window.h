#pragma once
// "Find pattern center" (TForm27): the method, the start or typed centre,
// the "Vary" boxes, and the commands of the centre search.

#include <functional>

#include "workspace/ui/settings_windows.h"

class QProgressBar;

namespace orv {

class TForm27Window : public RecordWindow {
    Q_OBJECT
public:
    TForm27Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;

    // "EllipseCenter" chosen: the zoom window is shown for picking points.
    std::function<void()> showZoom;

private:
    QProgressBar* progress_;
};

} // namespace orv
