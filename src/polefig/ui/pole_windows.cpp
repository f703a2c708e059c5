#include "polefig/ui/pole_windows.h"

#include <QAction>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "chart/ui/chart_widget.h"
#include "polefig/pole_viewer.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

using namespace ui_layout;

namespace {

QLabel* Panel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setMinimumHeight(22);
    return l;
}

QLineEdit* Small(QLineEdit* e, int width = 56) {
    e->setFixedWidth(width);
    return e;
}

// The point being set shows light blue, the other white.
void Light(QLineEdit* e, bool lit) {
    const uint32_t c = PointEditColor;   // 0x00BBGGRR
    e->setStyleSheet(lit ? QString("QLineEdit { background: rgb(%1, %2, %3); }")
                               .arg(c & 0xFF).arg((c >> 8) & 0xFF).arg((c >> 16) & 0xFF)
                         : QString("QLineEdit { background: white; }"));
}

} // namespace

TFPoleFWindow::TFPoleFWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TFPoleF", "PoleFigures", {View::PoleFigures}, parent) {
    TFPoleF& f = ws.FPoleF;
    RecordBinding& b = binding_;
    auto* layout = new QVBoxLayout(this);

    // ---- menus
    auto* bar = new QMenuBar(this);
    QMenu* file = bar->addMenu("File");
    QAction* generate = file->addAction("Make PoleFigure");
    generate->setObjectName("Generate1");
    connect(generate, &QAction::triggered, this, [this] {
        if (makePoleFigure) makePoleFigure();
    });
    auto action = [this](QMenu* menu, const char* name, const QString& caption, std::function<void()> run) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, [this, run] {
            this->run(run);
        });
        return a;
    };
    action(file, "Open1", "Open", [this] { Open1Click(ws_, host_); });
    action(file, "SavePoleFigures1", "Save PoleFigures", [this] { SavePoleFigures1Click(ws_, host_); });
    action(file, "SavePsiProfile1", "Save PsiProfile", [this] { SavePsiProfile1Click(ws_, host_); });
    action(file, "SavePhiProfile1", "Save PhiProfile", [this] { SavePhiProfile1Click(ws_, host_); });
    file->addSeparator();
    action(file, "Exit1", "Exit", [this] { hide(); });
    QMenu* edit = bar->addMenu("Edit");
    static const char* const copyNames[] = {"CopyPoleFig11", "CopyPoleFig21", "CopyPoleFig31", "CopyPoleFig41"};
    for (int k = 0; k < 4; ++k)
        action(edit, copyNames[k], k == 0 ? QString("Copy PoleFig1") : QString("CopyPoleFig%1").arg(k + 1),
               [this, k] { copyPanel(k); });
    action(edit, "CopyPsiScan1", "Copy PsiScan", [this] { ws_.FPoleF.RChart1.CopyBitmapToClipboard(false); });
    action(edit, "CopyPhiScan1", "Copy PhiScan", [this] { ws_.FPoleF.RChart2.CopyBitmapToClipboard(false); });
    QAction* copyAll = edit->addAction("Copy All");
    copyAll->setObjectName("CopyAll1");
    copyAll->setEnabled(false);
    QAction* settings = bar->addAction("Settings");
    settings->setObjectName("Settings1");
    connect(settings, &QAction::triggered, this, [this] {
        if (showSettings) showSettings();
    });
    QMenu* view = bar->addMenu("View");
    QAction* logbook = view->addAction("Logbook");
    logbook->setObjectName("Logbook1");
    connect(logbook, &QAction::triggered, this, [this] {
        if (showLogbook) showLogbook();
    });
    layout->setMenuBar(bar);

    // ---- the four panels
    auto* panels = new QHBoxLayout;
    static const char* const imageNames[] = {"Image1", "Image2", "Image3", "Image4"};
    static const char* const captionNames[] = {"panelp1", "panelp2", "panelp3", "panelp4"};
    static const char* const hklNames[] = {"Ehkl1", "Ehkl2", "Ehkl3", "Ehkl4"};
    for (int k = 0; k < 4; ++k) {
        auto* column = new QVBoxLayout;
        captions_[static_cast<size_t>(k)] = Panel(this, captionNames[k]);
        auto* picture = new PictureView(f.Image[static_cast<size_t>(k)], this);
        picture->setObjectName(imageNames[k]);
        picture->setCursor(Qt::CrossCursor);
        panels_[static_cast<size_t>(k)] = picture;
        connect(picture, &PictureView::mouseMoved, this, [this, k](int x, int y) {
            PolePanelMouseMove(ws_, host_, k + 1, x, y);
            readOut_->setText(QString::fromStdString(ws_.FPoleF.panelout));
        });
        connect(picture, &PictureView::mousePressed, this,
                [this, k](int x, int y) { run([&] { PolePanelMouseDown(ws_, host_, k + 1, x, y); }); });
        auto* hkl = new QHBoxLayout;
        hkl->addWidget(new QLabel("hkl", this));
        hkl->addWidget(Small(b.edit(this, hklNames[k], f.Ehkl[static_cast<size_t>(k)]), 70));
        hkl->addStretch(1);
        column->addWidget(captions_[static_cast<size_t>(k)]);
        column->addWidget(picture);
        column->addLayout(hkl);
        panels->addLayout(column);
    }
    panels->addStretch(1);
    layout->addLayout(panels);

    // ---- read-out, points, rotation, correction, scale
    auto* controls = new QHBoxLayout;
    readOut_ = Panel(this, "panelout");
    readOut_->setMinimumWidth(230);
    controls->addWidget(readOut_, 0, Qt::AlignTop);

    QGridLayout* g = nullptr;
    auto* points = Group(this, "Poles", g);
    point1_[0] = Small(b.edit(points, "EPSI", f.EPSI));
    point1_[1] = Small(b.edit(points, "EPHI", f.EPHI));
    point2_[0] = Small(b.edit(points, "EPSI3", f.EPSI3));
    point2_[1] = Small(b.edit(points, "EPHI3", f.EPHI3));
    g->addWidget(new QLabel("Psi", points), 0, 1);
    g->addWidget(new QLabel("Phi", points), 0, 2);
    g->addWidget(new QLabel("Point 1", points), 1, 0);
    g->addWidget(point1_[0], 1, 1);
    g->addWidget(point1_[1], 1, 2);
    g->addWidget(new QLabel("Point 2", points), 2, 0);
    g->addWidget(point2_[0], 2, 1);
    g->addWidget(point2_[1], 2, 2);
    auto* angle = Button(points, "Angle", "GetAngle");
    connect(angle, &QPushButton::clicked, this, [this] { run([this] { AngleClick(ws_, host_); }); });
    g->addWidget(angle, 1, 3);
    g->addWidget(Small(b.edit(points, "Eangle", f.Eangle)), 2, 3);
    controls->addWidget(points);

    auto* rotation = Group(this, "Rotate", g);
    auto* minus = Button(rotation, "Button3", "- 5");
    auto* plus = Button(rotation, "Button2", "+ 5");
    connect(minus, &QPushButton::clicked, this, [this] { run([this] { RotatePoleFigures(ws_, host_, -1); }); });
    connect(plus, &QPushButton::clicked, this, [this] { run([this] { RotatePoleFigures(ws_, host_, +1); }); });
    g->addWidget(minus, 0, 0);
    g->addWidget(Small(b.edit(rotation, "Edit2", f.Edit2), 48), 0, 1);
    g->addWidget(plus, 0, 2);
    controls->addWidget(rotation);

    auto* correction = Group(this, "Correct Absorption", g);
    absorption_ = Button(correction, "Button4", "OK");
    connect(absorption_, &QPushButton::clicked, this, [this] { run([this] { CorrectAbsorptionClick(ws_, host_); }); });
    g->addWidget(absorption_, 0, 0);
    controls->addWidget(correction);

    auto* scale = Group(this, "Scale", g);
    g->addWidget(b.radio(scale, "Rlineal", "Lineal", f.Rlineal), 0, 0);
    g->addWidget(b.radio(scale, "Rloga", "Log10", f.Rloga), 1, 0);
    controls->addWidget(scale);
    controls->addStretch(1);
    auto* close = Button(this, "Button1", "Close");
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    controls->addWidget(close, 0, Qt::AlignBottom);
    layout->addLayout(controls);

    // ---- the profiles
    auto* charts = new QHBoxLayout;
    psiChart_ = new TRChartWidget(f.RChart1, this);
    psiChart_->setObjectName("RChart1");
    phiChart_ = new TRChartWidget(f.RChart2, this);
    phiChart_->setObjectName("RChart2");
    for (TRChartWidget* w : {psiChart_, phiChart_}) {
        w->setMinimumHeight(220);
        charts->addWidget(w);
    }
    auto pick = [this](bool psi) {
        return [this, psi](TRChart&, TMouseButton button, TShiftState, int X, int Y) {
            if (button == TMouseButton::mbLeft) run([&] { PoleProfileMouseDown(ws_, host_, psi, X, Y); });
        };
    };
    f.RChart1.OnMouseDown = pick(true);
    f.RChart2.OnMouseDown = pick(false);
    layout->addLayout(charts, 1);
    resize(1290, 820);
}

TFPoleFWindow::~TFPoleFWindow() {
    ws_.FPoleF.RChart1.OnMouseDown = nullptr;
    ws_.FPoleF.RChart2.OnMouseDown = nullptr;
}

void TFPoleFWindow::showEvent(QShowEvent* event) {
    // The window system's own showings (a restore) keep the figures.
    if (!event->spontaneous()) {
        PoleViewerShown(ws_, host_);
        if (QScreen* s = screen()) {
            const QRect free = s->availableGeometry();
            resize(std::min(width(), free.width()), std::min(height(), free.height() - std::max(0, y() - free.y())));
        }
    }
    RecordWindow::showEvent(event);
}

void TFPoleFWindow::refresh() {
    RecordWindow::refresh();
    const TFPoleF& f = ws_.FPoleF;
    for (size_t k = 0; k < 4; ++k) {
        captions_[k]->setText(QString::fromStdString(f.panelp[k]));
        panels_[k]->pictureChanged();
    }
    readOut_->setText(QString::fromStdString(f.panelout));
    for (QLineEdit* e : point1_) Light(e, f.LitPoint == 1);
    for (QLineEdit* e : point2_) Light(e, f.LitPoint == 2);
    absorption_->setEnabled(f.Button4Enabled);
    psiChart_->update();
    phiChart_->update();
}

void TFPoleFWindow::copyPanel(int k) {
    QGuiApplication::clipboard()->setImage(ImageOf(ws_.FPoleF.Image[static_cast<size_t>(k)]).copy());
}

// ---- "PoleSettings" ---------------------------------------------------------------

TForm14Window::TForm14Window(Workspace& ws, QtHost& host, QWidget* parent)
    : RecordWindow(ws, host, "TForm14", "PoleSettings", {View::Settings}, parent) {
    TForm14& f = ws.Form14;
    RecordBinding& b = binding_;
    auto* layout = new QVBoxLayout(this);
    QGridLayout* g = nullptr;
    auto* angles = Group(this, "Pole figure", g);
    Row(g, "Phi axis (deg.)", Small(b.edit(angles, "EPhiAxis", f.EPhiAxis), 80));
    QLineEdit* psiStep = Small(b.edit(angles, "Eincps", f.Eincps), 80);
    QLineEdit* phiStep = Small(b.edit(angles, "Eincph", f.Eincph), 80);
    psiStep->setEnabled(false);
    phiStep->setEnabled(false);
    Row(g, "Psi step (deg.)", psiStep);
    Row(g, "Phi step (deg.)", phiStep);
    layout->addWidget(angles);
    auto* palette = Group(this, "Palette", g);
    g->addWidget(b.radio(palette, "RadioButton1", "10 levels palette", f.RadioButton1), 0, 0);
    g->addWidget(b.radio(palette, "RadioButton2", "Continuous palette", f.RadioButton2), 1, 0);
    layout->addWidget(palette);
    auto* ok = Button(this, "Button1", "OK");
    connect(ok, &QPushButton::clicked, this, [this] {
        bool taken = false;
        run([&] { taken = PoleSettingsOK(ws_, host_); });
        if (taken) hide();
    });
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    layout->addLayout(row);
}

} // namespace orv
