#include "scans/ui/scan_windows.h"

#include <QAction>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "chart/ui/chart_widget.h"
#include "scans/psi_scan_window.h"
#include "scans/theta_scan_window.h"
#include "scans/ui/scan_dialogs.h"
#include "workspace/sector_scan.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

// ---- What both scan windows share -------------------------------------------

ScanWindowBase::ScanWindowBase(Workspace& ws, QtHost& host, const char* objectName, const QString& caption,
                               View view, QWidget* parent)
    : RecordWindow(ws, host, objectName, caption, {view}, parent) {
    catchesUpHidden_ = true;   // a new scan shows its window
    menuBar_ = new QMenuBar(this);
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName("ToolBar");
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    toolBar_->setFocusPolicy(Qt::NoFocus);
}

QAction* ScanWindowBase::action(const QString& name) const {
    for (QAction* a : findChildren<QAction*>())
        if (a->objectName() == name) return a;
    return nullptr;
}

QAction* ScanWindowBase::menuItem(const QString& menu, const QString& caption, std::function<void()> command) {
    QMenu* m = nullptr;
    for (QAction* a : menuBar_->actions())
        if (a->menu() && a->text() == menu) m = a->menu();
    if (!m) m = menuBar_->addMenu(menu);
    QAction* a = m->addAction(caption);
    a->setObjectName(menu + "/" + caption);
    if (command) connect(a, &QAction::triggered, this, [this, command] { run(command); });
    else a->setEnabled(false);
    return a;
}

QAction* ScanWindowBase::toolButton(const char* name, const QString& text, const QString& hint,
                                    std::function<void()> command, QToolBar* bar) {
    QAction* a = (bar ? bar : toolBar_)->addAction(text);
    a->setObjectName(name);
    a->setToolTip(hint);
    if (command) connect(a, &QAction::triggered, this, [this, command] { run(command); });
    else a->setEnabled(false);
    return a;
}

void ScanWindowBase::attachChart(TRChart& chart, std::function<void(int)> keyDown, std::function<void(int)> keyUp,
                                 std::function<void(double)> mouseMove, std::function<void(double)> mouseDown) {
    keyDown_ = keyDown;
    keyUp_ = keyUp;
    chart.OnKeyDown = [this](TRChart&, int& key, TShiftState) {
        heldKeys_.insert(key);
        keyDown_(key);
    };
    chart.OnKeyUp = [this](TRChart&, int& key, TShiftState) {
        heldKeys_.erase(key);
        keyUp_(key);
    };
    chart.OnMouseMoveInChart = [this, mouseMove](TRChart&, bool, TShiftState, double x, double) {
        run([&] { mouseMove(x); });
    };
    chart.OnMouseDown = [this, mouseDown](TRChart& c, TMouseButton button, TShiftState, int X, int Y) {
        if (button != TMouseButton::mbLeft) return;
        double x = 0, y = 0;
        c.PixelToWorld(1, X, Y, x, y);
        // A key still held counts for this click, as its repeat would.
        for (int key : heldKeys_) keyDown_(key);
        run([&] { mouseDown(x); });
    };
    connect(this, &QObject::destroyed, [&chart] {
        chart.OnKeyDown = nullptr;
        chart.OnKeyUp = nullptr;
        chart.OnMouseMoveInChart = nullptr;
        chart.OnMouseDown = nullptr;
    });
}

void ScanWindowBase::closeEvent(QCloseEvent* event) {
    closed();
    RecordWindow::closeEvent(event);
}

void ScanWindowBase::keyPressEvent(QKeyEvent* event) {
    const int key = TRChartWidget::VirtualKeyFromQt(event->key());
    heldKeys_.insert(key);
    if (keyDown_) keyDown_(key);
}

void ScanWindowBase::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    const int key = TRChartWidget::VirtualKeyFromQt(event->key());
    heldKeys_.erase(key);
    if (keyUp_) keyUp_(key);
}

void ScanWindowBase::focusOutEvent(QFocusEvent* event) {
    // Keys released elsewhere are never reported here.
    heldKeys_.clear();
    RecordWindow::focusOutEvent(event);
}

namespace {

TRChartWidget* ChartWidget(TRChart& chart, QWidget* parent, const char* name) {
    auto* w = new TRChartWidget(chart, parent);
    w->setObjectName(name);
    return w;
}

TRChartWidget* OverviewStrip(TRChart& chart, QWidget* parent, const char* name) {
    TRChartWidget* w = ChartWidget(chart, parent, name);
    w->setMinimumHeight(110);
    w->setMaximumHeight(140);
    return w;
}

} // namespace

// ---- "2Theta Scan of Defined Sector " ------------------------------------------

TForm2Window::TForm2Window(Workspace& ws, QtHost& host, QWidget* parent)
    : ScanWindowBase(ws, host, "TForm2", QString::fromStdString(ws.Form2.Caption), View::Scan, parent) {
    Workspace& w = ws;
    Host& h = host;
    auto findPeaks = [&w, &h] { FindThetaPeaks(w, h, w.Form6); };
    auto removeBackground = [&w, &h] {
        if (RemoveThetaBackground(w, h, w.Form7)) w.ScanBackgroundRemoved = 1;
    };
    auto zoomIn = [this, &w] {
        if (dialogs_.ZoomIn) dialogs_.ZoomIn->openFor([&w] { ThetaZoomIn(w, w.Form5); });
    };
    auto save = [this, &w] {
        w.FromThetaScan = 1;
        if (showFileFormat) showFileFormat();
    };
    auto reload = [&w, &h] { N2ThetaScan1Click(w, h); };
    auto logbook = [this] {
        if (showLogbook) showLogbook();
    };
    auto fullRange = [&w, &h] { SelectFullAngularRange(w, h); };
    auto zoomOut = [&w] { ThetaZoomOut(w, false); };

    menuItem("File", "Open", [this] { openScan(); });
    menuItem("File", "Reload 2Theta Scan", reload);
    menuItem("File", "Save 2Theta Scan To File", save);
    menuItem("File", "Close", [this] { close(); });
    menuItem("Edit", "CopyPage", [&w] { w.Form2.RChart1.CopyBitmapToClipboard(false); });
    menuItem("Zoom", "Out", [&w] { ThetaZoomOut(w, true); });
    menuItem("Zoom", "In", zoomIn);
    menuItem("View", "Select Full Angular Range", fullRange);
    viewIntegrate_ = menuItem("View", "ViewIntegrate", [&w] { w.ViewIntegrate = !w.ViewIntegrate; });
    viewIntegrate_->setCheckable(true);
    menuItem("View", "ShowBackground", [&w] { ShowThetaBackground(w); });
    menuItem("View", "View Logbook", logbook);
    menuItem("Analyze", "RemoveBackground", [this, removeBackground] {
        if (dialogs_.Background) dialogs_.Background->openFor(removeBackground);
    });
    menuItem("Analyze", "UndoBackground", [&w, &h] { UndoThetaBackground(w, h); });
    menuItem("Analyze", "FindPeaks", [this, findPeaks] {
        if (dialogs_.FindPeaks) dialogs_.FindPeaks->openFor(findPeaks);
    });
    menuItem("Analyze", "UnselectPeaks", [&w] { UnselectThetaPeaks(w); });
    menuItem("Analyze", "Correct2Theta", [this] {
        if (showCorrect2Theta) showCorrect2Theta();
    });
    menuItem("Analyze", "Pattern Search Tool", nullptr);
    menuItem("Scan", "Settings", [this] {
        if (showScanSettings) showScanSettings();
    });

    toolButton("SpeedButton8", "Open", "Load file", [this] { openScan(); });
    toolButton("SpeedButton3", "Reload", "Reload 2Theta scan", reload);
    toolButton("SpeedButton2", "Save", "Save As", save);
    toolButton("SpeedButton1", "Zoom out", "Zoom out", zoomOut);
    toolButton("SpeedButton7", "Zoom in", "Zoom in", zoomIn);
    toolButton("SpeedButton10", "Full range", "Full Angular Range", fullRange);
    toolButton("SpeedButton4", "Background", "Remove background", removeBackground);
    toolButton("SpeedButton6", "Peaks", "Find peaks", findPeaks);
    toolButton("SpeedButton9", "Logbook", "Logbook", logbook);
    // The powder standards' row: the pattern list, the overlay's placement
    // and the calibration fit.
    auto* standards = new QToolBar(this);
    standards->setObjectName("StandardsBar");
    standards->setToolButtonStyle(Qt::ToolButtonTextOnly);
    standards->setFocusPolicy(Qt::NoFocus);
    toolButton("SpeedButton5", "Standards", "Powder Diffraction Standards", nullptr, standards);
    toolButton("SBShiftLeft", "<", "Shift left", nullptr, standards);
    toolButton("SBShiftRight", ">", "Shift right", nullptr, standards);
    toolButton("SBFB", "<<", "Shift left", nullptr, standards);
    toolButton("SBFF", ">>", "Shift right", nullptr, standards);
    toolButton("SBExpand", "Expand", "Expand", nullptr, standards);
    toolButton("SBContract", "Contract", "Contract", nullptr, standards);
    toolButton("SBAutoAdjust", "AA", "AA", nullptr, standards);
    toolButton("SBFit2D", "Fit", "Fit", nullptr, standards);

    chart1_ = ChartWidget(ws.Form2.RChart1, this, "RChart1");
    chart2_ = OverviewStrip(ws.Form2.RChart2, this, "RChart2");
    panel1_ = new QLabel(this);
    panel1_->setObjectName("Panel1");
    attachChart(
        ws.Form2.RChart1, [&w](int key) { ThetaKeyDown(w, key); }, [&w](int key) { ThetaKeyUp(w, key); },
        [&w, &h](double x) { ThetaMouseMove(w, h, x); }, [&w, &h](double x) { ThetaMouseDown(w, h, x); });

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addWidget(toolBar_);
    layout->addWidget(standards);
    layout->addWidget(chart1_, 4);
    layout->addWidget(chart2_, 1);
    layout->addWidget(panel1_);
    resize(900, 640);
}

void TForm2Window::openScan() {
    const std::vector<std::string> files =
        host_.askOpenFileNames("2ThetaScan files (*.ths)|*.THS|All files (*.*)|*.*", false);
    if (files.empty()) return;
    if (OpenThetaScanFile(ws_, host_, files.front())) showRestored();
}

void TForm2Window::closed() { ws_.Form2.Visible = false; }

void TForm2Window::refresh() {
    ScanWindowBase::refresh();
    setWindowTitle(QString::fromStdString(ws_.Form2.Caption));
    panel1_->setText(QString::fromStdString(ws_.Form2.Panel1));
    viewIntegrate_->setChecked(ws_.ViewIntegrate);
    if (ws_.Form2.Visible && !isVisible()) {
        ws_.PeakCount = 0;
        showRestored();
    }
    chart1_->update();
    chart2_->update();
}

// ---- "PsiScan of Masked Sector" ----------------------------------------------

TForm12Window::TForm12Window(Workspace& ws, QtHost& host, QWidget* parent)
    : ScanWindowBase(ws, host, "TForm12", QString::fromStdString(ws.Form12.Caption), View::PsiScan, parent) {
    Workspace& w = ws;
    Host& h = host;
    auto findPeaks = [&w, &h] { FindPsiPeaks(w, h, w.Form6); };
    auto removeBackground = [&w, &h] { RemovePsiBackground(w, h, w.Form7); };
    auto reload = [&w, &h] { PsiScan1Click(w, h); };
    auto save = [&w, &h] { SavePsiScan(w, h); };
    auto zoomOut = [&w] { PsiZoomOut(w); };
    auto zoomIn = [this, &w] {
        if (dialogs_.ZoomIn) dialogs_.ZoomIn->openFor([&w] { PsiZoomIn(w, w.Form5); });
    };
    auto logbook = [this] {
        if (showLogbook) showLogbook();
    };

    menuItem("File", "Reload Psi Scan", reload);
    menuItem("File", "SaveScanToFile", save);
    menuItem("File", "Close", [this] { close(); });
    menuItem("Edit", "CopyPage", [&w] { w.Form12.RChart2.CopyBitmapToClipboard(false); });
    menuItem("Zoom", "Out", zoomOut);
    menuItem("Zoom", "In", zoomIn);
    viewIntegrate_ = menuItem("View", "ViewIntegrate", [&w] { w.ViewIntegrate = !w.ViewIntegrate; });
    viewIntegrate_->setCheckable(true);
    menuItem("View", "ShowBackground", [&w] { ShowPsiBackground(w); });
    menuItem("View", "View Logbook", logbook);
    menuItem("Analyze", "RemoveBackground", [this, removeBackground] {
        if (dialogs_.Background) dialogs_.Background->openFor(removeBackground);
    });
    menuItem("Analyze", "UndoBackground", [&w, &h] { UndoPsiBackground(w, h); });
    menuItem("Analyze", "FindPeaks", [this, findPeaks] {
        if (dialogs_.FindPeaks) dialogs_.FindPeaks->openFor(findPeaks);
    });
    menuItem("Analyze", "UnselectPeaks", [&w] { UnselectPsiPeaks(w); });
    menuItem("Scan", "Settings", [this] {
        if (showScanSettings) showScanSettings();
    });

    toolButton("SpeedButton3", "Reload", "Reload Psi scan", reload);
    toolButton("SpeedButton2", "Save", "SaveAs", save);
    toolButton("SpeedButton1", "Zoom out", "Zoom out", zoomOut);
    toolButton("SpeedButton7", "Zoom in", "Zoom in", zoomIn);
    toolButton("SpeedButton4", "Background", "Remove background", removeBackground);
    toolButton("SpeedButton6", "Peaks", "Find peaks", findPeaks);
    toolButton("SpeedButton10", "Logbook", "Logbook", logbook);

    chart2_ = ChartWidget(ws.Form12.RChart2, this, "RChart2");
    chart1_ = OverviewStrip(ws.Form12.RChart1, this, "RChart1");
    attachChart(
        ws.Form12.RChart2, [&w](int key) { PsiKeyDown(w, key); }, [&w](int key) { PsiKeyUp(w, key); },
        [&w](double x) { PsiMouseMove(w, x); }, [&w, &h](double x) { PsiMouseDown(w, h, x); });

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addWidget(toolBar_);
    layout->addWidget(chart2_, 4);
    layout->addWidget(chart1_, 1);
    resize(760, 540);
}

void TForm12Window::closed() { ws_.Form12.Visible = false; }

void TForm12Window::refresh() {
    ScanWindowBase::refresh();
    setWindowTitle(QString::fromStdString(ws_.Form12.Caption));
    viewIntegrate_->setChecked(ws_.ViewIntegrate);
    if (ws_.Form12.Visible && !isVisible()) showRestored();
    chart1_->update();
    chart2_->update();
}

} // namespace orv
