#include "workspace/ui/settings_windows.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <vector>

#include "workspace/detector_settings.h"
#include "workspace/detector_window_commands.h"
#include "workspace/setup_settings.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

// ---- Shared pieces ---------------------------------------------------------

namespace ui_layout {

QGroupBox* Group(QWidget* parent, const QString& title, QGridLayout*& grid) {
    auto* box = new QGroupBox(title, parent);
    grid = new QGridLayout(box);
    // Spare width goes to the right of the boxes, so that boxes of one width
    // line up under each other.
    grid->setColumnStretch(3, 1);
    return box;
}

void Row(QGridLayout* grid, const QString& label, QWidget* box, QWidget* beside) {
    const int row = grid->count() == 0 ? 0 : grid->rowCount();
    if (!label.isEmpty()) {
        auto* l = new QLabel(label, grid->parentWidget());
        l->setBuddy(box);
        grid->addWidget(l, row, 0);
    }
    grid->addWidget(box, row, 1);
    // A box without a fixed width (a folder, a name) takes the spare width.
    if (qobject_cast<QLineEdit*>(box) && box->minimumWidth() != box->maximumWidth()) {
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 0);
    }
    if (beside) grid->addWidget(beside, row, 2);
}

void AlignLabels(std::initializer_list<QGroupBox*> groups) {
    int width = 0;
    std::vector<QGridLayout*> grids;
    for (QGroupBox* g : groups) {
        auto* grid = qobject_cast<QGridLayout*>(g->layout());
        if (!grid) continue;
        grids.push_back(grid);
        for (int i = 0; i < grid->count(); ++i) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            auto* label = qobject_cast<QLabel*>(grid->itemAt(i)->widget());
            if (label && column == 0 && columnSpan == 1) width = std::max(width, label->sizeHint().width());
        }
    }
    for (QGridLayout* grid : grids) grid->setColumnMinimumWidth(0, width);
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace ui_layout

using namespace ui_layout;

namespace {

// Number boxes share one width so that the columns line up.
QLineEdit* Num(QLineEdit* e) {
    e->setFixedWidth(90);
    return e;
}

// A row of buttons: those before the stretch on the left, the rest right.
QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> left, std::initializer_list<QWidget*> right) {
    auto* row = new QHBoxLayout;
    for (QWidget* w : left) row->addWidget(w);
    row->addStretch(1);
    for (QWidget* w : right) row->addWidget(w);
    return row;
}

// The boxes of the settings records are written by the settings commands
// and by the readers' settings step; either notice refreshes them.
constexpr std::initializer_list<View> SettingsViews = {View::Settings, View::FrameInfo};

} // namespace

RecordWindow::RecordWindow(Workspace& ws, QtHost& host, const char* objectName, const QString& caption,
                           std::initializer_list<View> views, QWidget* parent)
    : QWidget(parent, Qt::Window), ws_(ws), host_(host), views_(views) {
    setObjectName(objectName);
    setWindowTitle(caption);
    connect(host_.notifier(), &ViewNotifier::changed, this, [this](View what) {
        if (std::find(views_.begin(), views_.end(), what) == views_.end()) return;
        // A window not shown catches up when it is shown (showEvent).
        if (host_.catchingUp() && !isVisible() && !catchesUpHidden_) return;
        refresh();
    });
}

void RecordWindow::showRestored() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void RecordWindow::refresh() { binding_.refresh(); }

void RecordWindow::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

bool RecordWindow::run(const std::function<void()>& command) {
    try {
        command();
        refresh();
        return true;
    } catch (const std::exception& e) {
        host_.message(e.what());
        refresh();
        return false;
    }
}

// ---- "Detector Settings" ---------------------------------------------------

TForm32Window::TForm32Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm32", "Detector Settings", SettingsViews, parent) {
    TForm32& f = ws.Form32;
    RecordBinding& b = binding_;
    QGridLayout* g = nullptr;

    auto* centre = Group(this, "Pattern center", g);
    Row(g, "Xo (pixels)", Num(b.edit(centre, "EXoM", f.EXoM)), b.check(centre, "CBXo", "Apply", f.CBXo));
    Row(g, "Yo (pixels)", Num(b.edit(centre, "EYoM", f.EYoM)), b.check(centre, "CBYo", "Apply", f.CBYo));
    auto* find = Button(centre, "BFind", "Find");
    g->addWidget(find, g->rowCount(), 1, Qt::AlignLeft);

    auto* wave = Group(this, "Wavelength", g);
    Row(g, "Wavelength ( A )", Num(b.edit(wave, "ELanda", f.ELanda)), b.check(wave, "CBlanda", "Apply", f.CBlanda));
    auto* set = Button(wave, "BSet", "Set");
    g->addWidget(set, g->rowCount(), 1, Qt::AlignLeft);

    auto* detector = Group(this, "Detector", g);
    Row(g, "2Theta detector (deg.)", Num(b.edit(detector, "E2thetaD", f.E2thetaD)),
        b.check(detector, "CB2thetaD", "Apply", f.CB2thetaD));
    Row(g, "2Theta offset (deg.)", Num(b.edit(detector, "Eth2offset", f.Eth2offset)));
    Row(g, "Distance (mm)", Num(b.edit(detector, "EDistance", f.EDistance)),
        b.check(detector, "CBDistance", "Apply", f.CBDistance));
    Row(g, "Detector size (mm)", Num(b.edit(detector, "EDSize", f.EDSize)),
        b.check(detector, "CBDSize", "Apply", f.CBDSize));
    Row(g, "Pixel size (um)", Num(b.edit(detector, "EPixSize", f.EPixSize)),
        b.check(detector, "CBPixSize", "Apply", f.CBPixSize));
    Row(g, "Phi Rotation Axis", Num(b.edit(detector, "EPhiAxis", f.EPhiAxis)));

    auto* shape = Group(this, "Detector shape", g);
    auto* flat = b.radio(shape, "RFlat", "Flat", f.RFlat);
    auto* cylinder = b.radio(shape, "RCylindrical", "Cilindrical", f.RCylindrical);
    auto* sphere = b.radio(shape, "RSphere", "Spherical", f.RSphere);
    auto* radios = new QHBoxLayout;
    radios->addWidget(flat);
    radios->addWidget(cylinder);
    radios->addWidget(sphere);
    radios->addStretch(1);
    g->addLayout(radios, 0, 0, 1, 3);
    Row(g, "Length (mm)", Num(b.edit(shape, "ELength", f.ELength)));
    Row(g, "Height (mm)", Num(b.edit(shape, "EHeight", f.EHeight)));
    Row(g, "Radius (mm)", Num(b.edit(shape, "ERadius", f.ERadius)));
    b.edit(shape, "EAMax", f.EAMax)->hide();   // written by the cylinder mapper only
    g->addWidget(b.check(shape, "CBSlitDetector", "Slit detector", f.CBSlitDetector), g->rowCount(), 0, 1, 3);

    auto* sample = Group(this, "Sample offset", g);
    Row(g, "X (mm)", Num(b.edit(sample, "ESampleX", f.ESampleX)));
    Row(g, "Y (mm)", Num(b.edit(sample, "ESampleY", f.ESampleY)));
    Row(g, QString(), b.check(sample, "CBSampleOffset", "Apply", f.CBSampleOffset));

    auto* raw = Group(this, "Raw data files", g);
    Row(g, "Size X", Num(b.edit(raw, "EDSizeX", f.EDSizeX)));
    Row(g, "Size Y", Num(b.edit(raw, "EDSizeY", f.EDSizeY)));
    Row(g, "Header (bytes)", Num(b.edit(raw, "EHeader", f.EHeader)));
    Row(g, "Bytes per pixel", Num(b.edit(raw, "EBytesPixel", f.EBytesPixel)));
    Row(g, QString(), b.check(raw, "CustomFile", "Apply", f.CustomFile));

    auto* selectAll = Button(this, "BSelectAll", "Select All");
    auto* save = Button(this, "BSave", "Save");
    auto* load = Button(this, "BLoad", "Load");
    auto* apply = Button(this, "BApply", "Apply");
    auto* ok = Button(this, "BOK", "OK");
    auto* cancel = Button(this, "BCancel", "Cancel");

    AlignLabels({centre, wave, detector});
    AlignLabels({shape, sample, raw});
    auto* left = new QVBoxLayout;
    left->addWidget(centre);
    left->addWidget(wave);
    left->addWidget(detector);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(shape);
    right->addWidget(sample);
    right->addWidget(raw);
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto* top = new QVBoxLayout(this);
    top->addLayout(columns);
    top->addLayout(ButtonRow({selectAll, save, load}, {apply, ok, cancel}));

    connect(flat, &QRadioButton::clicked, this, [this] { run([this] { DetectorShapeClick(ws_, host_, 1); }); });
    connect(cylinder, &QRadioButton::clicked, this, [this] { run([this] { DetectorShapeClick(ws_, host_, 2); }); });
    connect(sphere, &QRadioButton::clicked, this, [this] { run([this] { DetectorShapeClick(ws_, host_, 3); }); });
    connect(selectAll, &QPushButton::clicked, this, [this] { run([this] { DetectorSelectAll(ws_, host_); }); });
    connect(apply, &QPushButton::clicked, this, [this] { run([this] { ApplyDetectorSettings(ws_, host_); }); });
    connect(ok, &QPushButton::clicked, this, [this] {
        run([this] { DetectorSettingsOK(ws_, host_); });
        hide();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
    connect(find, &QPushButton::clicked, this, [this] { if (onFind) onFind(); });
    connect(set, &QPushButton::clicked, this, [this] { if (onSetWavelength) onSetWavelength(); });
    connect(save, &QPushButton::clicked, this, [this] { if (onSaveSettings) onSaveSettings(); });
    connect(load, &QPushButton::clicked, this, [this] { if (onLoadSettings) onLoadSettings(); });
}

// ---- "Wavelength" ------------------------------------------------------------

TForm19Window::TForm19Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm19", "Wavelength", SettingsViews, parent) {
    QGridLayout* g = nullptr;
    auto* box = Group(this, "Anode", g);
    Row(g, "Wavelength ( A )", Num(binding_.edit(box, "Elanda", ws.Form19.Elanda)));
    auto* presets = new QHBoxLayout;
    for (const char* anode : {"Mo", "Cu", "Co", "Fe", "Cr"}) {
        auto* b = Button(box, (std::string("B") + anode).c_str(), anode);
        b->setFixedWidth(44);
        presets->addWidget(b);
        connect(b, &QPushButton::clicked, this,
                [this, anode] { run([this, anode] { WavelengthPresetClick(ws_, host_, anode); }); });
    }
    g->addLayout(presets, g->rowCount(), 0, 1, 3);

    auto* ok = Button(this, "BOK", "OK");
    auto* cancel = Button(this, "BCancel", "Cancel");
    auto* top = new QVBoxLayout(this);
    top->addWidget(box);
    top->addLayout(ButtonRow({}, {ok, cancel}));

    connect(ok, &QPushButton::clicked, this, [this] {
        if (run([this] { ApplyWavelength(ws_, host_); })) hide();
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::hide);
}

// ---- "Diffractometer Settings" -------------------------------------------------

TForm28Window::TForm28Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm28", "Diffractometer Settings", SettingsViews, parent) {
    TForm28& f = ws.Form28;
    QGridLayout* g = nullptr;
    auto* box = Group(this, "Diffractometer Info", g);
    auto* model = binding_.edit(box, "Ediffractometer", f.Ediffractometer);
    model->setMinimumWidth(200);
    Row(g, "Model and Maker", model);
    Row(g, "User", binding_.edit(box, "EUser", f.EUser));
    Row(g, "Diffractometer plane", binding_.check(box, "CBVertical", "Vertical", f.CBVertical));

    auto* ok = Button(this, "BOK", "OK");
    auto* top = new QVBoxLayout(this);
    top->addWidget(box);
    top->addLayout(ButtonRow({}, {ok}));
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);
}

// ---- "Frame Info" --------------------------------------------------------------

TForm23Window::TForm23Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm23", "Frame Info", SettingsViews, parent) {
    TForm23& f = ws.Form23;
    QGridLayout* g = nullptr;
    auto* box = Group(this, "Parameters", g);
    auto readOnly = [](QLineEdit* e) {
        e->setReadOnly(true);
        return e;
    };
    Row(g, "Xo (pixels)", Num(readOnly(binding_.edit(box, "EXo", f.EXo))));
    Row(g, "Yo (pixels)", Num(readOnly(binding_.edit(box, "EYo", f.EYo))));
    Row(g, "2Theta detector (deg.)", Num(readOnly(binding_.edit(box, "E2ThetaD", f.E2ThetaD))));
    Row(g, "Wavelength ( A )", Num(readOnly(binding_.edit(box, "EWaveLen", f.EWaveLen))));
    Row(g, "Detector size (mm)", Num(readOnly(binding_.edit(box, "EDSizemm", f.EDSizemm))));
    Row(g, "Distance (mm)", Num(readOnly(binding_.edit(box, "EDistancemm", f.EDistancemm))));
    auto* dir = readOnly(binding_.edit(box, "EWorDir", f.EWorDir));
    dir->setMinimumWidth(220);
    Row(g, "Working Directory", dir);

    auto panel = [this](const char* name) {
        auto* p = new QLabel(this);
        p->setObjectName(name);
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        p->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return p;
    };
    panel2_ = panel("Panel2");
    panel5_ = panel("Panel5");

    auto* ok = Button(this, "BOK", "OK");
    auto* top = new QVBoxLayout(this);
    top->addWidget(box);
    top->addWidget(panel2_);
    top->addWidget(panel5_);
    top->addLayout(ButtonRow({}, {ok}));
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);
    refresh();
}

void TForm23Window::refresh() {
    RecordWindow::refresh();
    panel2_->setText(QString::fromStdString(ws_.Form23.Panel2));
    panel5_->setText(QString::fromStdString(ws_.Form23.Panel5));
}

// ---- "Correct2Theta" -------------------------------------------------------------

TF2ThetaWindow::TF2ThetaWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TF2Theta", "Correct2Theta", SettingsViews, parent) {
    TF2Theta& f = ws.F2Theta;
    QGridLayout* g = nullptr;
    auto* peak = Group(this, "Peak", g);
    Row(g, "2Theta measured", Num(binding_.edit(peak, "E2ThetaMeasured", f.E2ThetaMeasured)));
    Row(g, "2Theta  correct", Num(binding_.edit(peak, "E2ThetaCorrect", f.E2ThetaCorrect)));

    auto* adjust = Group(this, "Adjust", g);
    g->addWidget(binding_.radio(adjust, "RBDistance", "DistanceToSample", f.RBDistance), 0, 0);
    g->addWidget(binding_.radio(adjust, "RBDSize", "DetectorSize", f.RBDSize), 1, 0);

    auto* ok = Button(this, "BOK", "OK");
    auto* top = new QVBoxLayout(this);
    top->addWidget(peak);
    top->addWidget(adjust);
    top->addLayout(ButtonRow({}, {ok}));
    connect(ok, &QPushButton::clicked, this, [this] {
        hide();
        run([this] { Correct2ThetaOK(ws_, host_); });
    });
}

// ---- "Batch process and Scan settings" -------------------------------------------

TFSetupWindow::TFSetupWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TFSetup", "Batch process and Scan settings", SettingsViews, parent) {
    TFSetup& s = ws.FSetup;
    RecordBinding& b = binding_;
    QGridLayout* g = nullptr;

    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");

    // Page 0 "Batch Process Settings"
    auto* batch = new QWidget;
    batch->setObjectName("TabSheet1");
    auto* project = Group(batch, "Project", g);
    auto wide = [](QLineEdit* e) {
        e->setMinimumWidth(280);
        return e;
    };
    Row(g, "Working Directory", wide(b.edit(project, "EWorkDir", s.EWorkDir)));
    Row(g, "Project Name", Num(b.edit(project, "EExperiment", s.EExperiment)));
    Row(g, "Output Directory", wide(b.edit(project, "EOutputdir", s.EOutputdir)));

    auto* outputs = Group(batch, "Outputs", g);
    auto output = [&b, outputs, grid = g](const char* name, const QString& caption, bool& member) {
        auto* c = b.check(outputs, name, caption, member);
        grid->addWidget(c, grid->count() == 0 ? 0 : grid->rowCount(), 0, 1, 2);
        return c;
    };
    output("CB2ThScan", "2Theta Scan (*.ths)", s.CB2ThScan);
    output("CBPsiScan", "Psi Scan (*.pss)", s.CBPsiScan);
    output("CB2ThScanPeaks", "Peaks list in 2Theta Scan (*.tpk)", s.CB2ThScanPeaks);
    output("CBPsiScanPeaks", "Peaks list in Psi Scan (*.ppk)", s.CBPsiScanPeaks);
    auto* summary = output("PSSPSummary", "Peaks in Psi Scan Summary (*.psu)", s.PSSPSummary);
    output("CBdspacing", "d-spacing (*.dsp)", s.CBdspacing);
    output("CBIntegrateslides", "Integrate sector in slices (*.slc)", s.CBIntegrateslides);
    auto* integrate = new QHBoxLayout;
    integrate->setSpacing(4);
    integrate->addWidget(b.check(outputs, "cbIntegrateSector", "IntegrateSector and", s.cbIntegrateSector));
    integrate->addWidget(new QLabel("CalFWHM (save to logbook)", outputs));
    integrate->addStretch(1);
    g->addLayout(integrate, g->rowCount(), 0, 1, 2);
    output("CBSectors", "Calculate 2ThetaScan Sectors (*.sec)", s.CBSectors);
    b.check(outputs, "CBDrings", "Debye Rings", s.CBDrings)->hide();
    b.check(outputs, "CBDRingsSummary", "DebyeRingsPeaksSummary", s.CBDRingsSummary)->hide();

    auto* pre = Group(batch, "Pre-Process Data", g);
    g->addWidget(b.check(pre, "CBAdjustCenter", "AdjustCenter", s.CBAdjustCenter), 0, 0, 1, 2);
    auto* backgroundLabel = new QLabel("Remove Background", pre);
    g->addWidget(backgroundLabel, 1, 0, 1, 2);
    auto* lineScans = b.check(pre, "CBBackground", "Line Scans", s.CBBackground);
    auto* frame2d = b.check(pre, "CBBackFrame", "2D Frame", s.CBBackFrame);
    lineScans->setContentsMargins(16, 0, 0, 0);
    frame2d->setContentsMargins(16, 0, 0, 0);
    g->addWidget(lineScans, 2, 0, 1, 2);
    g->addWidget(frame2d, 3, 0, 1, 2);
    auto* adjust2Theta = b.check(pre, "Adjust2Theta", "Adjust2ThetaMaximum", s.Adjust2Theta);
    g->addWidget(adjust2Theta, 4, 0);
    g->addWidget(Num(b.edit(pre, "E2ThetaMax", s.E2ThetaMax)), 4, 1, Qt::AlignLeft);
    g->setRowStretch(5, 1);

    auto* applyBatch = Button(batch, "BApply", "Apply");
    auto* batchColumns = new QHBoxLayout;
    batchColumns->addWidget(outputs, 1);
    batchColumns->addWidget(pre, 1);
    auto* batchLayout = new QVBoxLayout(batch);
    batchLayout->addWidget(project);
    batchLayout->addLayout(batchColumns);
    batchLayout->addLayout(ButtonRow({}, {applyBatch}));
    pages_->addTab(batch, "Batch Process Settings");

    // Page 1 "Scan settings"
    auto* scan = new QWidget;
    scan->setObjectName("TabSheet2");
    auto* step = Group(scan, "StepSize", g);
    Row(g, "2Theta Scan", Num(b.edit(step, "Eth2step", s.Eth2step)), b.check(step, "CBth2step", "set", s.CBth2step));
    Row(g, "Psi Scan", Num(b.edit(step, "EPsiStep", s.EPsiStep)), b.check(step, "CBPsiStep", "set", s.CBPsiStep));

    auto* background = Group(scan, "Background", g);
    Row(g, "Roll width (deg.)", Num(b.edit(background, "EpeakWidth", s.EpeakWidth)));
    Row(g, "Roll height (counts)", Num(b.edit(background, "EBHeight", s.EBHeight)));

    auto* peaks = Group(scan, "FindPeaks", g);
    Row(g, "Peak width (deg.)", Num(b.edit(peaks, "EPWidth", s.EPWidth)));
    Row(g, "Min Intensity (%)", Num(b.edit(peaks, "EIntPer", s.EIntPer)));
    Row(g, "Min Abs Intensity (counts)", Num(b.edit(peaks, "EMinValue", s.EMinValue)),
        b.check(peaks, "CBMinValue", "set", s.CBMinValue));

    auto* slices = Group(scan, "IntegrateSlices", g);
    Row(g, "SliceWidth (deg.)", Num(b.edit(slices, "ESliceWidth", s.ESliceWidth)));

    auto* geometric = Group(scan, "Geometrical correctiions", g);
    g->addWidget(b.check(geometric, "cbflat", "set", s.cbflat), 0, 0);

    auto* mask = Group(scan, "Mask file", g);
    Row(g, QString(), wide(b.edit(mask, "EMask", s.EMask)), b.check(mask, "CBMask", "Apply", s.CBMask));
    auto* back = Group(scan, "Background file ", g);
    Row(g, QString(), wide(b.edit(back, "EBack", s.EBack)), b.check(back, "CBBack", "Apply", s.CBBack));

    auto* tiff = Group(scan, "TIFF type", g);
    g->addWidget(b.radio(tiff, "RBTIFF1", "1", s.RBTIFF1), 0, 0);
    g->addWidget(b.radio(tiff, "RBTIFF2", "2", s.RBTIFF2), 0, 1);
    tiff->hide();

    AlignLabels({step, background, slices});
    auto* applyScan = Button(scan, "Button2", "APPLY");
    auto* scanLeft = new QVBoxLayout;
    scanLeft->addWidget(step);
    scanLeft->addWidget(background);
    scanLeft->addWidget(slices);
    scanLeft->addStretch(1);
    auto* scanRight = new QVBoxLayout;
    scanRight->addWidget(peaks);
    scanRight->addWidget(geometric);
    scanRight->addStretch(1);
    auto* scanColumns = new QHBoxLayout;
    scanColumns->addLayout(scanLeft, 1);
    scanColumns->addLayout(scanRight, 1);
    auto* scanLayout = new QVBoxLayout(scan);
    scanLayout->addLayout(scanColumns);
    scanLayout->addWidget(mask);
    scanLayout->addWidget(back);
    scanLayout->addLayout(ButtonRow({}, {applyScan}));
    pages_->addTab(scan, "Scan settings");

    // Outside the pages: the 1/R corrections and Close.
    auto* corrections = new QGridLayout;
    Row(corrections, "2Theta Scan 1/R correction", b.check(this, "CB2thetaLorentz", "Apply", s.CB2thetaLorentz));
    Row(corrections, "Psi scan 1/R correction", b.check(this, "CBPsiLorentz", "Apply", s.CBPsiLorentz));
    corrections->setColumnStretch(2, 1);
    auto* close = Button(this, "BClose", "Close");
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(corrections, 1);
    bottom->addWidget(close, 0, Qt::AlignBottom);

    auto* top = new QVBoxLayout(this);
    top->addWidget(pages_);
    top->addLayout(bottom);

    connect(pages_, &QTabWidget::currentChanged, this, [this](int page) { ws_.FSetup.PageIndex = page; });
    connect(applyBatch, &QPushButton::clicked, this, [this] { run([this] { SetupApplyBatch(ws_, host_); }); });
    connect(applyScan, &QPushButton::clicked, this, [this] { run([this] { SetupApplyScan(ws_, host_); }); });
    connect(summary, &QCheckBox::clicked, this, [this] { run([this] { SetupPsiSummaryClick(ws_, host_); }); });
    connect(adjust2Theta, &QCheckBox::clicked, this,
            [this] { run([this] { SetupAdjust2ThetaClick(ws_, host_); }); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void TFSetupWindow::showPage(int page) {
    ws_.FSetup.PageIndex = std::clamp(page, 0, pages_->count() - 1);
    pages_->setCurrentIndex(ws_.FSetup.PageIndex);
    showRestored();
}

void TFSetupWindow::refresh() {
    RecordWindow::refresh();
    if (pages_->currentIndex() != ws_.FSetup.PageIndex) pages_->setCurrentIndex(ws_.FSetup.PageIndex);
}

void TFSetupWindow::closeEvent(QCloseEvent* event) {
    run([this] { SetupClose(ws_, host_); });
    QWidget::closeEvent(event);
}

} // namespace orv
