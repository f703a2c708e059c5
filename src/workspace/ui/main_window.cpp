#include "workspace/ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QToolBar>
#include <QVBoxLayout>

#include "workspace/main_commands.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// The menus in menu-bar order; a menu whose only item shares its name is a
// single command on the menu bar.
const char* const MenuOrder[] = {"File",    "Edit",          "View",             "Diffractometer",
                                 "Math",    "Select area",   "Analyze",          "Scan settings",
                                 "Batch Processing", "Script", "Help"};

// Component names of the buttons other parts refer to.
const char* ButtonObjectName(CommandId id) {
    switch (id) {
    case CommandId::LoadFile: return "SBFileOpen";
    case CommandId::ToolPoint: return "SBPoint";
    case CommandId::ToolSelectRect: return "SBSelectRect";
    case CommandId::ToolSelectAng: return "SBSelectAng";
    case CommandId::ToolEraser: return "SBEraser";
    default: return nullptr;
    }
}

bool IsMouseTool(CommandId id) {
    return id == CommandId::ToolPoint || id == CommandId::ToolSelectRect || id == CommandId::ToolSelectAng ||
           id == CommandId::ToolEraser;
}

} // namespace

QString ToolButtonLabel(CommandId id) {
    using C = CommandId;
    switch (id) {
    case C::LoadFile: return "Open";
    case C::PrevFile: return "Prev";
    case C::NextFile: return "Next";
    case C::RunBatch: return "Run";
    case C::StopBatch: return "Stop";
    case C::PsiScan: return "Psi";
    case C::TwoThetaScan: return "2Th";
    case C::DefineSector: return "Sector";
    case C::IntegrateSector: return "Integ";
    case C::DeleteSector: return "Del";
    case C::AddFrames: return "+Fr";
    case C::SubtractFrames: return "-Fr";
    case C::MultiplyByConstant: return "x k";
    case C::AddConstant: return "+ k";
    case C::ShowLogbook: return "Log";
    case C::FindAndMaskSpots: return "Spots";
    case C::ScanSettings: return "Scan";
    case C::BatchProcess: return "Batch";
    case C::CenteringTool: return "Centre";
    case C::RemoveFrameBackground: return "Bkg";
    case C::XLineScan: return "X line";
    case C::YLineScan: return "Y line";
    case C::About: return "?";
    case C::SmoothFrame: return "Smooth";
    case C::ShowWavelength: return "Lambda";
    case C::ShowDetectorSettings: return "Det";
    case C::NewPoleFigure: return "Pole";
    case C::PoleFigureAnalysis: return "PoleFig";
    case C::Rotate90: return "r90";
    case C::ZoomIn: return "Zoom+";
    case C::ZoomOut: return "Zoom-";
    case C::Scale100: return "1:1";
    case C::BrightnessUp: return "Br+";
    case C::BrightnessDown: return "Br-";
    case C::ToolPoint: return "Point";
    case C::ToolSelectRect: return "Rect";
    case C::ToolSelectAng: return "Ang";
    case C::ToolEraser: return "Eraser";
    default: return "?";
    }
}

MainWindow::MainWindow(Workspace& ws, QtHost& host, QWidget* parent)
    : QMainWindow(parent), ws_(ws), host_(host) {
    setObjectName("TForm20");
    setWindowTitle("Orvantide");
    buildMenus();
    buildToolButtons();
    buildStatusRow();
    for (const auto& [id, action] : actions_) updateAction(id);
    int width = 1268;
    if (QScreen* screen = QGuiApplication::primaryScreen()) width = std::min(width, screen->availableGeometry().width());
    resize(width, sizeHint().height());
    QObject::connect(host_.notifier(), &ViewNotifier::changed, this, [this](View v) {
        if (v == View::Progress || v == View::Settings || v == View::Frame) refresh();
    });
    refresh();
}

void MainWindow::buildMenus() {
    std::map<std::string, QMenu*> menus;
    for (const char* name : MenuOrder) {
        auto entries = CommandsOf(name);
        if (entries.size() == 1 && entries[0].Caption == name) {
            QAction* a = menuBar()->addAction(QString::fromStdString(entries[0].Caption));
            actions_.emplace(entries[0].Id, a);
            CommandId id = entries[0].Id;
            connect(a, &QAction::triggered, this, [this, id] { trigger(id); });
            continue;
        }
        QMenu* menu = menuBar()->addMenu(name);
        menus[name] = menu;
        for (const auto& e : entries) {
            QAction* a = menu->addAction(QString::fromStdString(e.Caption));
            actions_.emplace(e.Id, a);
            CommandId id = e.Id;
            connect(a, &QAction::triggered, this, [this, id] { trigger(id); });
        }
        if (std::string(name) == "Analyze") {
            QMenu* line = menu->addMenu("Line scan");
            for (const auto& e : CommandsOf("Analyze/Line scan")) {
                QAction* a = line->addAction(QString::fromStdString(e.Caption));
                actions_.emplace(e.Id, a);
                CommandId id = e.Id;
                connect(a, &QAction::triggered, this, [this, id] { trigger(id); });
            }
        }
    }
}

void MainWindow::buildToolButtons() {
    auto buttons = CommandsOf("Button");
    const size_t firstRow = (buttons.size() + 1) / 2;
    QToolBar* bar = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (i == 0 || i == firstRow) {
            if (i == firstRow) addToolBarBreak();
            bar = addToolBar(i == 0 ? "Tools 1" : "Tools 2");
            bar->setMovable(false);
            bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
        }
        const auto& e = buttons[i];
        QAction* a = bar->addAction(ToolButtonLabel(e.Id));
        a->setToolTip(QString::fromStdString(e.Caption));
        if (const char* name = ButtonObjectName(e.Id)) a->setObjectName(name);
        if (IsMouseTool(e.Id)) a->setCheckable(true);
        actions_.emplace(e.Id, a);
        CommandId id = e.Id;
        connect(a, &QAction::triggered, this, [this, id] { trigger(id); });
    }
}

void MainWindow::buildStatusRow() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(6, 2, 6, 2);
    progress_ = new QProgressBar(central);
    progress_->setObjectName("ProgressBar1");
    progress_->setRange(0, 100);
    row->addWidget(progress_, 2);
    row->addWidget(new QLabel("Script", central));
    script_ = new QLineEdit(central);
    script_->setObjectName("EScript");
    script_->setEnabled(false);
    row->addWidget(script_, 3);
    row->addWidget(binding_.check(central, "CBFSettings", "File Settings", ws_.Form20.CBFSettings));
    eraserPanel_ = new QWidget(central);
    eraserPanel_->setObjectName("Panel1");
    auto* sizes = new QHBoxLayout(eraserPanel_);
    sizes->setContentsMargins(0, 0, 0, 0);
    for (int k = 1; k <= 4; ++k) {
        auto* r = new QRadioButton(QString("Size %1").arg(k), eraserPanel_);
        r->setObjectName(QString("RadioButton%1").arg(k));
        sizes->addWidget(r);
        eraserSizes_.push_back(r);
        connect(r, &QRadioButton::toggled, this, [this, k](bool on) {
            if (on) SetEraserSize(ws_, k);
        });
    }
    eraserPanel_->hide();
    row->addWidget(eraserPanel_);
    setCentralWidget(central);
}

void MainWindow::setHandler(CommandId id, std::function<void()> handler) {
    handlers_[id] = std::move(handler);
    updateAction(id);
}

void MainWindow::setCommandEnabled(CommandId id, bool enabled) {
    disabled_[id] = !enabled;
    updateAction(id);
}

bool MainWindow::commandEnabled(CommandId id) const {
    auto d = disabled_.find(id);
    return handlers_.count(id) && !(d != disabled_.end() && d->second);
}

void MainWindow::updateAction(CommandId id) {
    const bool enabled = commandEnabled(id);
    auto range = actions_.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) it->second->setEnabled(enabled);
}

std::vector<QAction*> MainWindow::actionsOf(CommandId id) const {
    std::vector<QAction*> out;
    auto range = actions_.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) out.push_back(it->second);
    return out;
}

bool MainWindow::trigger(CommandId id) {
    if (!commandEnabled(id)) return false;
    auto handler = handlers_[id];   // a copy: the handler may replace itself
    handler();
    refresh();
    return true;
}

void MainWindow::refresh() {
    progress_->setValue(std::clamp(ws_.Form20.ProgressBar1, 0, 100));
    if (script_->text().toStdString() != ws_.Form20.EScript) script_->setText(QString::fromStdString(ws_.Form20.EScript));
    script_->setToolTip(script_->text());
    binding_.refresh();
    // The pressed mouse tool, and the eraser sizes while the eraser is on.
    const FrameToolState& tools = ws_.FrameTools;
    const std::pair<CommandId, bool> pressed[] = {{CommandId::ToolPoint, tools.SBPoint},
                                                  {CommandId::ToolSelectRect, tools.SBSelectRect},
                                                  {CommandId::ToolSelectAng, tools.SBSelectAng},
                                                  {CommandId::ToolEraser, tools.SBEraser}};
    for (const auto& [id, down] : pressed)
        for (QAction* a : actionsOf(id)) a->setChecked(down);
    eraserPanel_->setVisible(tools.SBEraser);
    const int sizeButton = tools.EraserSize >= 8 ? 4 : tools.EraserSize >= 4 ? 3 : tools.EraserSize >= 2 ? 2 : 1;
    if (!eraserSizes_[sizeButton - 1]->isChecked()) eraserSizes_[sizeButton - 1]->setChecked(true);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (onClosing && !onClosing()) {
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace orv
