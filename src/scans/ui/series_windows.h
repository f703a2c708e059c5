#pragma once
// The scan-series window ("2ThetaScanSeries") and the d-spacing window
// ("d-spacing"); their commands are in scans/series_windows.h.

#include "scans/ui/scan_windows.h"

class QListWidget;

namespace orv {

// "2ThetaScanSeries": the stored scans over each other, the list of their
// frames beside them.
class TForm9Window : public ScanWindowBase {
    Q_OBJECT
public:
    TForm9Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    TRChartWidget* chart() const { return chart_; }

protected:
    void closed() override {}
    void showEvent(QShowEvent* event) override;

private:
    TRChartWidget* chart_;
    QListWidget* list_;
};

// "d-spacing": the d-spacing against psi of the last d-spacing command.
class TForm10Window : public ScanWindowBase {
    Q_OBJECT
public:
    TForm10Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    TRChartWidget* chart() const { return chart_; }

protected:
    void closed() override;

private:
    TRChartWidget* chart_;
};

} // namespace orv
