#include "scans/ui/series_windows.h"

#include <QAction>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "chart/ui/chart_widget.h"
#include "scans/series_windows.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

// ---- "2ThetaScanSeries" ----------------------------------------------------------

TForm9Window::TForm9Window(Workspace& ws, QtHost& host, QWidget* parent)
    : ScanWindowBase(ws, host, "TForm9", "2ThetaScanSeries", View::Scan, parent) {
    Workspace& w = ws;
    Host& h = host;
    menuItem("File", "SaveScanToFile", [&w, &h] { SaveScanSeries(w, h); });
    menuItem("File", "Close", [this] { close(); });
    menuItem("Edit", "CopyPage", [&w] { w.Form9.RChart1.CopyBitmapToClipboard(false); });
    menuItem("Zoom", "Out", [&w] { ShowScanSeries(w); });
    QAction* logbook = menuBar_->addAction("Logbook");
    logbook->setObjectName("Logbook");
    connect(logbook, &QAction::triggered, this, [this] {
        if (showLogbook) showLogbook();
    });
    toolBar_->hide();

    chart_ = new TRChartWidget(ws.Form9.RChart1, this);
    chart_->setObjectName("RChart1");
    chart_->setFocusPolicy(Qt::StrongFocus);
    list_ = new QListWidget(this);
    list_->setObjectName("LPWD");
    list_->setMaximumWidth(260);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row != ws_.Form9.ItemIndex) run([this, row] { SelectSeriesRow(ws_, row); });
    });
    attachChart(
        ws.Form9.RChart1,
        [this, &w](int key) {
            SeriesKeyDown(w, key);
            refresh();
        },
        [&w](int key) { SeriesKeyUp(w, key); }, [&w](double x) { SeriesMouseMove(w, x); },
        [this, &w](double x) {
            chart_->setFocus();
            SeriesMouseDown(w, x);
        });

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    auto* row = new QHBoxLayout;
    row->addWidget(chart_, 4);
    row->addWidget(list_, 1);
    layout->addLayout(row);
    resize(820, 420);
}

void TForm9Window::showEvent(QShowEvent* event) {
    ShowScanSeries(ws_);
    ScanWindowBase::showEvent(event);
    chart_->setFocus();
}

void TForm9Window::refresh() {
    ScanWindowBase::refresh();
    const std::vector<std::string>& names = ws_.Form9.LPWD;
    bool same = list_->count() == static_cast<int>(names.size());
    for (int i = 0; same && i < list_->count(); ++i)
        same = list_->item(i)->text().toStdString() == names[static_cast<size_t>(i)];
    const QSignalBlocker quiet(list_);
    if (!same) {
        list_->clear();
        for (const auto& name : names) list_->addItem(QString::fromStdString(name));
    }
    list_->setCurrentRow(ws_.Form9.ItemIndex);
    chart_->update();
}

// ---- "d-spacing" ------------------------------------------------------------------

TForm10Window::TForm10Window(Workspace& ws, QtHost& host, QWidget* parent)
    : ScanWindowBase(ws, host, "TForm10", "d-spacing", View::Scan, parent) {
    Workspace& w = ws;
    Host& h = host;
    menuItem("File", "SaveToFile", [&w, &h] { SaveDSpacingTable(w, h); });
    menuItem("File", "Close", [this] { close(); });
    QAction* copy = menuBar_->addAction("Copy_dspacingGraph");
    copy->setObjectName("Copy_dspacingGraph");
    connect(copy, &QAction::triggered, this, [&w] { w.Form10.RChart1.CopyBitmapToClipboard(false); });
    toolBar_->hide();

    chart_ = new TRChartWidget(ws.Form10.RChart1, this);
    chart_->setObjectName("RChart1");
    attachChart(
        ws.Form10.RChart1, [](int) {}, [](int) {}, [&w](double x) { DSpacingMouseMove(w, x); }, [](double) {});

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar_);
    layout->addWidget(chart_);
    resize(640, 420);
}

void TForm10Window::closed() { ws_.Form10.Visible = false; }

void TForm10Window::refresh() {
    ScanWindowBase::refresh();
    if (ws_.Form10.Visible && !isVisible()) showRestored();
    chart_->update();
}

} // namespace orv
