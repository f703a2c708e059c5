#pragma once
// "FileFormat": the layout of the 2-theta scan export.

#include "workspace/ui/settings_windows.h"

namespace orv {

class TForm13Window : public RecordWindow {
    Q_OBJECT
public:
    TForm13Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
};

} // namespace orv
