#include "scans/ui/line_scan_window.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "chart/ui/chart_widget.h"
#include "scans/line_scan_tool.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

TForm34Window::TForm34Window(Workspace& ws, QtHost& host, QWidget* parent)
    : ScanWindowBase(ws, host, "TForm34", QString::fromStdString(ws.Form34.Caption), View::Scan, parent) {
    Workspace& w = ws;
    Host& h = host;
    auto save = [&w, &h] { SaveLineScan(w, h); };
    auto zoomOut = [&w] { LineScanZoomOut(w); };
    auto standards = [this] {
        if (showMineralList) showMineralList();
    };
    auto distance = [&w, &h] { CalibrateFromStandard(w, h, LineScanRequest::Distance); };
    auto wavelength = [&w, &h] { WavelengthFromStandard(w, h); };
    auto angle = [&w, &h] { DetectorAngleFromStandard(w, h); };
    auto snap = [&w] { SnapStandardLines(w); };

    menuItem("File", "Save Scan To File", save)->setObjectName("Save1");
    menuItem("File", "Close", [this] { close(); })->setObjectName("Exit1");
    menuItem("Edit", "CopyPage", [&w] { w.Form34.RChart1.CopyBitmapToClipboard(false); })->setObjectName("CopyPage1");
    menuItem("Zoom", "Out", zoomOut)->setObjectName("In1");
    menuItem("Analyze", "Show Mineral Database", standards)->setObjectName("MineralList1");
    menuItem("Analyze", "Calculate distance to detector and center", distance);
    menuItem("Analyze", "Calculate Wavelength", wavelength);
    menuItem("Analyze", "Calculate detector angle", angle);
    menuItem("Analyze", "Adjust Std lines to peaks", snap);

    toolButton("SpeedButton2", "Save", "Save As", save);
    toolButton("SpeedButton1", "Zoom out", "Zoom out", zoomOut);
    toolButton("SBPDDB", "Standards", "Powder Diffraction Standards", standards);
    toolButton("SBDistance", "Distance", "Calculate distance to detector and center", distance);
    toolButton("SBLanda", "Wavelength", "Calculate wavelength used", wavelength);
    toolButton("SBDAngle", "Angle", "Calculate detector angles", angle);
    toolButton("SBDetectorSize", "Size", "Calculate detector size",
               [&w, &h] { CalibrateFromStandard(w, h, LineScanRequest::DetectorSize); });
    toolButton("SBXo", "xo", "Calculate center", [&w, &h] { CalibrateFromStandard(w, h, LineScanRequest::Centre); });
    toolButton("SBAdjustPeaks", "Fit Std", "Fit Std to peaks", snap);

    panel3_ = new QLabel(this);
    panel3_->setObjectName("Panel3");
    panel3_->setFrameShape(QFrame::StyledPanel);
    panel3_->setMinimumWidth(120);
    pName_ = new QLabel(this);
    pName_->setObjectName("PName");
    pName_->setFrameShape(QFrame::StyledPanel);
    pName_->setMinimumWidth(220);

    chart_ = new TRChartWidget(ws.Form34.RChart1, this);
    chart_->setObjectName("RChart1");
    chart_->setFocusPolicy(Qt::StrongFocus);
    TRChart& chart = ws.Form34.RChart1;
    attachChart(
        chart,
        [this, &w, &h](int key) {
            LineScanKeyDown(w, h, key);
            refresh();
        },
        [&w](int key) { LineScanKeyUp(w, key); }, [this, &w](double x) {
            LineScanMouseMove(w, x);
            refresh();
        },
        [](double) {});
    // Both buttons pick: the left one drags, the right one stretches.
    chart.OnMouseDown = [this, &w, &h](TRChart& c, TMouseButton button, TShiftState, int X, int Y) {
        if (button != TMouseButton::mbLeft && button != TMouseButton::mbRight) return;
        double x = 0, y = 0;
        c.PixelToWorld(1, X, Y, x, y);
        chart_->setFocus();
        run([&] { LineScanMouseDown(w, h, button == TMouseButton::mbLeft, x); });
    };
    chart.OnMouseUp = [this, &w](TRChart& c, TMouseButton button, TShiftState, int X, int Y) {
        if (button != TMouseButton::mbLeft && button != TMouseButton::mbRight) return;
        double x = 0, y = 0;
        c.PixelToWorld(1, X, Y, x, y);
        run([&] { LineScanMouseUp(w, button == TMouseButton::mbLeft, x); });
    };
    connect(this, &QObject::destroyed, [&chart] { chart.OnMouseUp = nullptr; });

    auto* bar = new QHBoxLayout;
    bar->addWidget(toolBar_);
    bar->addWidget(panel3_);
    bar->addWidget(new QLabel("Std", this));
    bar->addWidget(pName_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addLayout(bar);
    layout->addWidget(chart_, 1);
    resize(980, 480);
}

void TForm34Window::closed() { ws_.Form34.Visible = false; }

void TForm34Window::refresh() {
    ScanWindowBase::refresh();
    setWindowTitle(QString::fromStdString(ws_.Form34.Caption));
    panel3_->setText(QString::fromStdString(ws_.Form34.Panel3));
    pName_->setText(QString::fromStdString(ws_.Form34.PName));
    if (ws_.Form34.Visible && !isVisible()) showRestored();
    chart_->update();
}

} // namespace orv
