#pragma once
// "Find reflections tool" (TForm36): the threshold and window of the spot
// search, "Find spots", "Mask spots" and "Close".

#include "workspace/ui/settings_windows.h"

class QPushButton;

namespace orv {

class TForm36Window : public RecordWindow {
    Q_OBJECT
public:
    TForm36Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPushButton* mask_;
};

} // namespace orv
