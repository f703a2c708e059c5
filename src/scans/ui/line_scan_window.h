#pragma once
// "X Line scan": the line-scan tool's window (scans/line_scan_tool.h).

#include "scans/ui/scan_windows.h"

namespace orv {

class TForm34Window : public ScanWindowBase {
    Q_OBJECT
public:
    TForm34Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    TRChartWidget* chart() const { return chart_; }

    // Analyze > "Show Mineral Database" and the "Standards" button; the program sets it.
    std::function<void()> showMineralList;

protected:
    void closed() override;

private:
    TRChartWidget* chart_;
    QLabel* panel3_;
    QLabel* pName_;
};

} // namespace orv
