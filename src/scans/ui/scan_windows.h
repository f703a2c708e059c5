#pragma once
// The windows the scans are drawn in: the 2-theta scan window, the psi-scan
// window and the scan series. They show the chart models the core fills;
// their own analysis commands come with the scan-analysis tools.

#include <QWidget>
#include <functional>

#include "workspace/ui/settings_windows.h"

class QListWidget;

namespace orv {

class TRChartWidget;

// "2Theta Scan of Defined Sector ": the working chart and the overview strip.
class TForm2Window : public RecordWindow {
    Q_OBJECT
public:
    TForm2Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    TRChartWidget* workingChart() const { return chart1_; }
    // File > "Save 2Theta Scan To File": the FileFormat window.
    std::function<void()> showFileFormat;

private:
    TRChartWidget* chart1_;
    TRChartWidget* chart2_;
};

// "PsiScan of Masked Sector"
class TForm12Window : public RecordWindow {
    Q_OBJECT
public:
    TForm12Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;

private:
    TRChartWidget* chart1_;
    TRChartWidget* chart2_;
};

// "2ThetaScanSeries": the scans of the frames loaded, one over the other.
class TForm9Window : public RecordWindow {
    Q_OBJECT
public:
    TForm9Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;

private:
    TRChartWidget* chart_;
    QListWidget* list_;
};

} // namespace orv
