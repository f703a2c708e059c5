#pragma once
// The windows the scans are drawn in: the 2-theta scan window and the
// psi-scan window (the scan series and d-spacing windows are in
// series_windows.h). They show the chart models the core fills and
// turn menus, buttons, keys and clicks into the core's scan commands
// (theta_scan_window.h, psi_scan_window.h).

#include <QWidget>
#include <functional>
#include <set>

#include "workspace/ui/settings_windows.h"

class QAction;
class QLabel;
class QMenuBar;
class QToolBar;

namespace orv {

class TRChart;
class TRChartWidget;
class TForm5Window;
class TForm6Window;
class TForm7Window;

// The dialogs a scan window opens.
struct ScanDialogs {
    TForm5Window* ZoomIn = nullptr;
    TForm6Window* FindPeaks = nullptr;
    TForm7Window* Background = nullptr;
};

// What a scan window shares: the menu bar, the tool bar, and the keys held
// over it (a click sees the keys still held, even after a command cleared
// their flags).
class ScanWindowBase : public RecordWindow {
    Q_OBJECT
public:
    ScanWindowBase(Workspace& ws, QtHost& host, const char* objectName, const QString& caption, View view,
                   QWidget* parent);
    void setDialogs(const ScanDialogs& dialogs) { dialogs_ = dialogs; }
    // A menu item or tool button by its component name ("SpeedButton4",
    // "SBFit2D") or its caption ("Analyze/FindPeaks"); nullptr when none.
    QAction* action(const QString& name) const;

    // Commands that live in other windows; the program sets them.
    std::function<void()> showLogbook;        // "View Logbook"
    std::function<void()> showScanSettings;   // Scan > "Settings": the batch settings' second page

protected:
    QAction* menuItem(const QString& menu, const QString& caption, std::function<void()> run);
    // A tool button on `bar` (the window's tool bar when none is given).
    QAction* toolButton(const char* name, const QString& text, const QString& hint, std::function<void()> run,
                        QToolBar* bar = nullptr);
    // Keys and mouse of a chart go to these handlers.
    void attachChart(TRChart& chart, std::function<void(int key)> keyDown, std::function<void(int key)> keyUp,
                     std::function<void(double x)> mouseMove, std::function<void(double x)> mouseDown);
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    // The record's "shown" flag, cleared when the user closes the window.
    virtual void closed() = 0;

    QMenuBar* menuBar_;
    QToolBar* toolBar_;
    ScanDialogs dialogs_;

private:
    std::set<int> heldKeys_;
    std::function<void(int)> keyDown_, keyUp_;
};

// "2Theta Scan of Defined Sector ": the working chart RChart1 with the
// read-out in its caption, the overview strip RChart2 below it, whose
// crosshairs 1 and 2 show the range RChart1 displays.
//
// The standard overlay (SBShiftLeft, SBShiftRight, SBFB, SBFF, SBExpand,
// SBContract, SBAutoAdjust), the calibration fit (SBFit2D) and the pattern
// list (SpeedButton5, Analyze/"Pattern Search Tool") are present but
// disabled until the program connects them through action()
// (ConnectStandardTools, scans/ui/calibration_window.h).
class TForm2Window : public ScanWindowBase {
    Q_OBJECT
public:
    TForm2Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    TRChartWidget* workingChart() const { return chart1_; }
    TRChartWidget* overviewChart() const { return chart2_; }

protected:
    void closed() override;

public:
    // File > "Save 2Theta Scan To File": the FileFormat window.
    std::function<void()> showFileFormat;
    // Analyze > "Correct2Theta".
    std::function<void()> showCorrect2Theta;

private:
    void openScan();
    TRChartWidget* chart1_;
    TRChartWidget* chart2_;
    QLabel* panel1_;
    QAction* viewIntegrate_;
};

// "PsiScan of Masked Sector": the working chart RChart2 over the overview
// strip RChart1 (0..360 degrees).
class TForm12Window : public ScanWindowBase {
    Q_OBJECT
public:
    TForm12Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    void refresh() override;
    TRChartWidget* workingChart() const { return chart2_; }
    TRChartWidget* overviewChart() const { return chart1_; }

protected:
    void closed() override;

private:
    TRChartWidget* chart1_;
    TRChartWidget* chart2_;
    QAction* viewIntegrate_;
};

} // namespace orv
