#pragma once
// The sector dialog "Mask" (TFMask): the angular limits and the rectangle,
// with Apply, Full Range and Cancel.

#include "workspace/ui/settings_windows.h"

namespace orv {

class TFMaskWindow : public RecordWindow {
    Q_OBJECT
public:
    TFMaskWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
};

} // namespace orv
