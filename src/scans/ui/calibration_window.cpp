#include "scans/ui/calibration_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QThread>

#include "scans/calibration_fit.h"
#include "scans/standard_overlay.h"
#include "scans/ui/mineral_windows.h"
#include "scans/ui/scan_windows.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

namespace {

QLineEdit* NumberBox(QLineEdit* e) {
    e->setFixedWidth(90);
    return e;
}

// A row of the tool: its caption, the box and the box beside it.
QLabel* ToolRow(QGridLayout* grid, const QString& caption, QWidget* box, QWidget* beside) {
    const int row = grid->count() == 0 ? 0 : grid->rowCount();
    auto* label = new QLabel(caption, grid->parentWidget());
    label->setBuddy(box);
    grid->addWidget(label, row, 0);
    grid->addWidget(box, row, 1);
    grid->addWidget(beside, row, 2);
    return label;
}

} // namespace

TForm41FitWindow::TForm41FitWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm41Fit", "Fitting Standard Tool", {View::Settings}, parent) {
    TForm41Fit& f = ws.Form41Fit;
    RecordBinding& b = binding_;
    auto* layout = new QVBoxLayout(this);
    QGridLayout* g = nullptr;

    // Ticking a "Vary" box clears those it cannot be fitted with.
    auto vary = [this, &b](QWidget* parentBox, const char* name, bool& member, FitBox box) {
        QCheckBox* c = b.check(parentBox, name, "Vary", member);
        connect(c, &QCheckBox::clicked, this, [this, box](bool on) {
            if (on) TickFitBox(ws_.Form41Fit, box);
            binding_.refresh();
        });
        return c;
    };

    QGroupBox* fitting = Group(this, "Fitting parameters", g);
    ToolRow(g, "Xo", NumberBox(b.edit(fitting, "EXo", f.EXo)), vary(fitting, "CBXo", f.CBXo, FitBox::Xo));
    ToolRow(g, "Yo", NumberBox(b.edit(fitting, "EYo", f.EYo)), vary(fitting, "CBYo", f.CBYo, FitBox::Yo));
    angle_ = NumberBox(b.edit(fitting, "E2theta", f.E2theta));
    angleVary_ = vary(fitting, "CB2theta", f.CB2theta, FitBox::Angle);
    ToolRow(g, "2Theta (deg.)", angle_, angleVary_);
    label3_ = ToolRow(g, QString::fromStdString(f.Label3), NumberBox(b.edit(fitting, "EDistancemm", f.EDistancemm)),
                      vary(fitting, "CBdistance", f.CBdistance, FitBox::Distance));
    label3_->setObjectName("Label3");
    label6_ = ToolRow(g, QString::fromStdString(f.Label6), NumberBox(b.edit(fitting, "EDSizemm", f.EDSizemm)),
                      vary(fitting, "CBDSize", f.CBDSize, FitBox::DSize));
    label6_->setObjectName("Label6");

    QGroupBox* settings = Group(this, "Settings", g);
    ToolRow(g, "Peak width (deg.)", NumberBox(b.edit(settings, "EPeakwidth", f.EPeakwidth)),
            b.check(settings, "CBPK", "Auto", f.CBPK));
    ToolRow(g, "Background", NumberBox(b.edit(settings, "EBackground", f.EBackground)),
            b.check(settings, "cbbck", "Auto", f.cbbck));

    QGroupBox* sample = Group(this, "Sample position", g);
    QLineEdit* xOffset = NumberBox(b.edit(sample, "EXoffset", f.EXoffset));
    QLineEdit* yOffset = NumberBox(b.edit(sample, "EYoffset", f.EYoffset));
    QWidget* xVary = vary(sample, "CBXOffset", f.CBXOffset, FitBox::XOffset);
    QWidget* yVary = vary(sample, "CBYoffset", f.CBYoffset, FitBox::YOffset);
    ToolRow(g, "X Offset (mm)", xOffset, xVary);
    ToolRow(g, "Y Offset (mm)", yOffset, yVary);
    offsetBoxes_ = {xOffset, yOffset, xVary, yVary};

    for (QGroupBox* group : {fitting, settings, sample}) layout->addWidget(group);
    AlignLabels({fitting, settings, sample});

    apply_ = Button(this, "BApply", "Apply");
    start_ = Button(this, "BStart", "Start");
    QPushButton* close = Button(this, "Button3", "Close");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(apply_);
    buttons->addWidget(start_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setRange(0, 100);
    layout->addWidget(progress_);

    connect(apply_, &QPushButton::clicked, this, [this] { run([this] { ApplyCalibration(ws_, host_); }); });
    connect(start_, &QPushButton::clicked, this, [this] { running() ? stop() : start(); });
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    connect(&poll_, &QTimer::timeout, this, [this] { poll(); });
    poll_.setInterval(50);
}

TForm41FitWindow::~TForm41FitWindow() = default;

void TForm41FitWindow::refresh() {
    RecordWindow::refresh();
    const TForm41Fit& f = ws_.Form41Fit;
    label3_->setText(QString::fromStdString(f.Label3));
    label6_->setText(QString::fromStdString(f.Label6));
    angle_->setEnabled(!f.Cylindrical);
    angleVary_->setEnabled(!f.Cylindrical);
    for (QWidget* w : offsetBoxes_) w->setEnabled(f.Cylindrical);
    if (!running()) progress_->setValue(f.ProgressBar1);
}

void TForm41FitWindow::start() {
    if (running()) return;
    CalibrationStart prepared;
    if (!run([&] { prepared = PrepareCalibration(ws_, host_); }) || !prepared.Setup) {
        ws_.Form41Fit.ProgressBar1 = 0;
        refresh();
        return;
    }
    // A new fit starts its bar from 0.
    ws_.Form41Fit.ProgressBar1 = 0;
    worker_ = std::make_unique<TFitThread>(std::move(*prepared.Setup));
    start_->setText("Stop");
    apply_->setEnabled(false);
    progress_->setValue(worker_->Progress());
    poll_.start();
}

void TForm41FitWindow::stop() {
    if (worker_) worker_->Stop();
}

void TForm41FitWindow::poll() {
    if (!worker_) return;
    progress_->setValue(worker_->Progress());
    if (worker_->Finished()) finish();
}

void TForm41FitWindow::finish() {
    poll_.stop();
    const std::unique_ptr<TFitThread> done = std::move(worker_);
    start_->setText("Start");
    apply_->setEnabled(true);
    if (!done->Error().empty()) {
        host_.message("The fit stopped: " + done->Error());
    } else if (!done->Result().Completed) {
        ws_.LLog.Append("Fitting stopped; the boxes keep their values");
        host_.changed(View::Logbook);
    } else {
        run([&] { ReportCalibration(ws_, host_, done->Setup(), done->Result()); });
    }
    // A fit that ran to its end shows 100; a stopped one where it stopped.
    const bool completed = done->Error().empty() && done->Result().Completed;
    ws_.Form41Fit.ProgressBar1 = completed ? 100 : progress_->value();
    refresh();
}

void TForm41FitWindow::waitForFit() {
    while (worker_ && !worker_->Finished()) QThread::msleep(5);
    if (worker_) finish();
}

void TForm41FitWindow::showEvent(QShowEvent* event) {
    ws_.Form41Fit.Visible = true;
    RecordWindow::showEvent(event);
}

void TForm41FitWindow::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) ws_.Form41Fit.Visible = false;
    RecordWindow::hideEvent(event);
}

void ConnectStandardTools(TForm2Window& scan, TForm18Window& list, TForm41FitWindow& fit, QtHost& host,
                          Workspace& ws, std::function<void()> showList) {
    // A command of the scan window: what it refuses is said through the host.
    auto command = [&scan, &host](std::function<void()> run) {
        return [&scan, &host, run] {
            try {
                run();
            } catch (const std::exception& e) {
                host.message(e.what());
            }
            scan.refresh();
        };
    };
    auto connectAction = [&scan](const char* name, std::function<void()> run) {
        QAction* a = scan.action(name);
        if (!a) return;
        a->setEnabled(true);
        QObject::connect(a, &QAction::triggered, &scan, run);
    };
    connectAction("SpeedButton5", showList);
    connectAction("Analyze/Pattern Search Tool", showList);
    const double step = 0.5;   // degrees, the fast buttons
    connectAction("SBShiftLeft", command([&ws, &host] { ShiftStandard(ws, host, -ws.TwoThetaStep); }));
    connectAction("SBShiftRight", command([&ws, &host] { ShiftStandard(ws, host, ws.TwoThetaStep); }));
    connectAction("SBFB", command([&ws, &host, step] { ShiftStandard(ws, host, -step); }));
    connectAction("SBFF", command([&ws, &host, step] { ShiftStandard(ws, host, step); }));
    connectAction("SBExpand", command([&ws, &host] { ScaleStandard(ws, host, 1.005); }));
    connectAction("SBContract", command([&ws, &host] { ScaleStandard(ws, host, 0.995); }));
    connectAction("SBAutoAdjust", command([&ws, &host] { AutoAdjustStandard(ws, host); }));
    connectAction("SBFit2D", command([&ws, &host, &fit] {
        if (OpenFitTool(ws, host)) fit.showRestored();
    }));

    list.onStandardSelected = [&ws, &host, &scan](int32_t pattern) {
        if (StandardSelected(ws, host, pattern)) {
            scan.refresh();
            scan.activateWindow();
        }
    };
    list.removeBackground = [&scan] {
        if (QAction* a = scan.action("SpeedButton4")) a->trigger();
    };
    list.showMatch = [&ws, &host, &scan](int32_t, const MineralMatchScore& score) {
        DrawMatchSticks(ws, host, score);
        scan.refresh();
    };
}

} // namespace orv
