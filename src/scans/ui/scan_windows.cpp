#include "scans/ui/scan_windows.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QListWidget>
#include <QVBoxLayout>

#include "chart/ui/chart_widget.h"
#include "workspace/workspace.h"

namespace orv {

TForm2Window::TForm2Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm2", QString::fromStdString(ws.Form2.Caption), {View::Scan}, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu("File");
    QAction* save = file->addAction("Save 2Theta Scan To File");
    connect(save, &QAction::triggered, this, [this] {
        ws_.FromThetaScan = 1;
        if (showFileFormat) showFileFormat();
    });
    layout->setMenuBar(bar);
    chart1_ = new TRChartWidget(ws.Form2.RChart1, this);
    chart1_->setObjectName("RChart1");
    chart2_ = new TRChartWidget(ws.Form2.RChart2, this);
    chart2_->setObjectName("RChart2");
    chart2_->setMinimumHeight(110);
    chart2_->setMaximumHeight(140);
    layout->addWidget(chart1_, 4);
    layout->addWidget(chart2_, 1);
    resize(820, 560);
}

void TForm2Window::refresh() {
    setWindowTitle(QString::fromStdString(ws_.Form2.Caption));
    if (ws_.Form2.Visible && !isVisible()) showRestored();
    chart1_->update();
    chart2_->update();
}

TForm12Window::TForm12Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm12", QString::fromStdString(ws.Form12.Caption), {View::PsiScan}, parent) {
    auto* layout = new QVBoxLayout(this);
    chart2_ = new TRChartWidget(ws.Form12.RChart2, this);
    chart2_->setObjectName("RChart2");
    chart1_ = new TRChartWidget(ws.Form12.RChart1, this);
    chart1_->setObjectName("RChart1");
    chart1_->setMinimumHeight(110);
    chart1_->setMaximumHeight(140);
    layout->addWidget(chart2_, 4);
    layout->addWidget(chart1_, 1);
    resize(720, 500);
}

void TForm12Window::refresh() {
    setWindowTitle(QString::fromStdString(ws_.Form12.Caption));
    if (ws_.Form12.Visible && !isVisible()) showRestored();
    chart1_->update();
    chart2_->update();
}

TForm9Window::TForm9Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm9", "2ThetaScanSeries", {View::Scan}, parent) {
    auto* layout = new QHBoxLayout(this);
    chart_ = new TRChartWidget(ws.Form9.RChart1, this);
    chart_->setObjectName("RChart1");
    list_ = new QListWidget(this);
    list_->setObjectName("LPWD");
    list_->setMaximumWidth(220);
    layout->addWidget(chart_, 4);
    layout->addWidget(list_, 1);
    resize(820, 420);
}

void TForm9Window::refresh() {
    if (list_->count() != static_cast<int>(ws_.Form9.LPWD.size())) {
        list_->clear();
        for (const auto& name : ws_.Form9.LPWD) list_->addItem(QString::fromStdString(name));
    }
    chart_->update();
}

} // namespace orv
