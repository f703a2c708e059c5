#include "workspace/ui/application.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>

#include "formats/batch_worker.h"
#include "formats/frame_merge.h"
#include "formats/native_frame.h"
#include "polefig/pole_viewer.h"
#include "polefig/pole_worker.h"
#include "polefig/ui/pole_generator_window.h"
#include "polefig/ui/pole_windows.h"
#include "scans/calibration_fit.h"
#include "scans/ui/calibration_window.h"
#include "scans/ui/scan_dialogs.h"
#include "scans/mineral_list.h"
#include "scans/ui/mineral_windows.h"
#include "scans/line_scan_tool.h"
#include "scans/series_windows.h"
#include "scans/ui/scan_windows.h"
#include "scans/ui/line_scan_window.h"
#include "scans/ui/series_windows.h"
#include "workspace/centre_search.h"
#include "workspace/detector_settings.h"
#include "workspace/frame_background.h"
#include "workspace/frame_display.h"
#include "workspace/main_commands.h"
#include "workspace/run_report.h"
#include "workspace/script.h"
#include "workspace/sector_dialog.h"
#include "workspace/sector_reductions.h"
#include "workspace/sector_scan.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/ui/brightness_window.h"
#include "workspace/ui/centre_window.h"
#include "workspace/ui/file_format_window.h"
#include "workspace/ui/frame_edit_dialogs.h"
#include "workspace/ui/frame_list_window.h"
#include "workspace/ui/frame_window.h"
#include "workspace/ui/help_window.h"
#include "workspace/ui/history_window.h"
#include "workspace/ui/logbook_window.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/mask_window.h"
#include "workspace/ui/screen_placement.h"
#include "workspace/ui/settings_windows.h"
#include "workspace/ui/spot_window.h"
#include "workspace/ui/zoom_window.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

const char* const SettingsFilter = "Settings files (*.set)|*.set|All files (*.*)|*.*";
const char* const FrameFilter = "All files (*.*)|*.*";

// Accepts files dropped onto the frame window.
class DropFilter : public QObject {
public:
    DropFilter(QObject* parent, std::function<void(const std::vector<std::string>&)> dropped)
        : QObject(parent), dropped_(std::move(dropped)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::DragEnter) {
            auto* e = static_cast<QDragEnterEvent*>(event);
            if (e->mimeData()->hasUrls()) e->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* e = static_cast<QDropEvent*>(event);
            std::vector<std::string> paths;
            for (const QUrl& url : e->mimeData()->urls())
                if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
            e->acceptProposedAction();
            if (!paths.empty()) dropped_(paths);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const std::vector<std::string>&)> dropped_;
};

void ShowRestored(QWidget* w) {
    w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
}

} // namespace

// ---- Splash -----------------------------------------------------------------

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint) {
    setObjectName("TForm30");
    setWindowTitle("Orvantide");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel("Orvantide 4.1", this);
    QFont f = title->font();
    f.setPointSize(f.pointSize() * 2);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title, 0, Qt::AlignCenter);
    layout->addWidget(new QLabel("2-D X-ray diffraction frames", this), 0, Qt::AlignCenter);
    resize(360, 160);
    connect(&timer_, &QTimer::timeout, this, &SplashWindow::tick);
}

void SplashWindow::start() {
    count_ = 0;
    timer_.start(1000);
}

void SplashWindow::showEvent(QShowEvent* event) {
    count_ = 0;
    QWidget::showEvent(event);
}

void SplashWindow::tick() {
    timer_.setInterval(100);
    if (count_ == 3 && !isVisible()) show();
    ++count_;
    if (count_ >= 10) {
        timer_.stop();
        close();
        emit finished();
    }
}

// ---- Application ------------------------------------------------------------

Application::Application(std::vector<std::string> args)
    : ws_(std::make_unique<Workspace>()), args_(std::move(args)) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) ws_->ScreenHeight = screen->geometry().height();
    // A run from the command line has nobody at the screen from the start:
    // even the set-up's settings file reports on standard error.
    run_ = IsCommandLineRun(args_);
    host_.setUnattended(run_);
    host_.setLogbook([this](const std::string& line) {
        ws_->LLog.Append(line);
        host_.changed(View::Logbook);
    });
    host_.setExitHandler([this](int status) { exitRequested(status); });
    // While a worker runs, the windows catch up 25 times a second; a run
    // from the command line, where nobody watches, ends with its load
    // without their ever drawing what it did.
    host_.setCatchUpInterval(run_ ? -1 : 40);
    // Every window and dialog opens wholly on the screen.
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(new OnScreenKeeper(this));
    createWindows();
    installCommands();
}

Application::~Application() {
    host_.shutdown();
    ws_->BatchRunning = 0;
    if (loader_) loader_->Join();
    if (background2D_) background2D_->Join();
}

void Application::createWindows() {
    Workspace& ws = *ws_;
    main_ = std::make_unique<MainWindow>(ws, host_);
    host_.setDialogParent(main_.get());
    frame_ = std::make_unique<FrameWindow>(ws, host_);
    scan_ = std::make_unique<TForm2Window>(ws, host_);
    correct2Theta_ = std::make_unique<TF2ThetaWindow>(ws, host_);
    setup_ = std::make_unique<TFSetupWindow>(ws, host_);
    mask_ = std::make_unique<TFMaskWindow>(ws, host_);
    dspacing_ = std::make_unique<TForm10Window>(ws, host_);
    logbook_ = std::make_unique<TForm11Window>(ws, host_);
    psiScan_ = std::make_unique<TForm12Window>(ws, host_);
    series_ = std::make_unique<TForm9Window>(ws, host_);
    help_ = std::make_unique<TFAboutWindow>();
    fileFormat_ = std::make_unique<TForm13Window>(ws, host_);
    poleFigures_ = std::make_unique<TFPoleFWindow>(ws, host_);
    poleSettings_ = std::make_unique<TForm14Window>(ws, host_);
    poleGenerator_ = std::make_unique<TForm16Window>(ws, host_);
    history_ = std::make_unique<TForm17Window>(ws, host_);
    mineralList_ = std::make_unique<TForm18Window>(ws, host_);
    wavelength_ = std::make_unique<TForm19Window>(ws, host_);
    zoom_ = std::make_unique<ZoomWindow>(ws, host_);
    brightness_ = std::make_unique<BrightnessWindow>(ws, host_);
    frameInfo_ = std::make_unique<TForm23Window>(ws, host_);
    centre_ = std::make_unique<TForm27Window>(ws, host_);
    diffractometer_ = std::make_unique<TForm28Window>(ws, host_);
    newPattern_ = std::make_unique<TForm29Window>(ws, host_);
    splash_ = std::make_unique<SplashWindow>();
    detector_ = std::make_unique<TForm32Window>(ws, host_);
    lineScan_ = std::make_unique<TForm34Window>(ws, host_);
    spots_ = std::make_unique<TForm36Window>(ws, host_);
    frameList_ = std::make_unique<TForm4Window>(ws, host_);
    zoomIn_ = std::make_unique<TForm5Window>(ws, host_);
    findPeaks_ = std::make_unique<TForm6Window>(ws, host_);
    background_ = std::make_unique<TForm7Window>(ws, host_);
    fitTool_ = std::make_unique<TForm41FitWindow>(ws, host_);

    frame_->setZoomWindow(zoom_.get());
    frame_->setAcceptDrops(true);
    frame_->installEventFilter(new DropFilter(frame_.get(), [this](const auto& paths) { frameFilesDropped(paths); }));
    connect(frame_.get(), &FrameWindow::setupWindowRequested, this,
            [this] { setup_->showPage(ws_->FSetup.PageIndex); });
    scan_->showFileFormat = [this] { ShowRestored(fileFormat_.get()); };
    for (ScanWindowBase* w : {static_cast<ScanWindowBase*>(scan_.get()), static_cast<ScanWindowBase*>(psiScan_.get())}) {
        w->setDialogs({zoomIn_.get(), findPeaks_.get(), background_.get()});
        w->showLogbook = [this] { ShowRestored(logbook_.get()); };
        w->showScanSettings = [this] { setup_->showPage(TFSetupWindow::ScanPage); };
    }
    series_->showLogbook = [this] { ShowRestored(logbook_.get()); };
    scan_->showCorrect2Theta = [this] { ShowRestored(correct2Theta_.get()); };
    history_->startLoading = [this] { startLoading(); };
    history_->setPlacementAnchor(scan_.get());
    frameList_->showFrameWindow = [this] { ShowRestored(frame_.get()); };
    frameList_->startLoading = [this] { startLoading(); };
    frameList_->setPlacementAnchor(main_.get());
    poleFigures_->showSettings = [this] { ShowRestored(poleSettings_.get()); };
    poleFigures_->showLogbook = [this] { ShowRestored(logbook_.get()); };
    poleFigures_->makePoleFigure = [this] {
        Generate1Click(*ws_, host_);
        poleGenerator_->showRestored();
    };
    detector_->onSetWavelength = [this] { ShowRestored(wavelength_.get()); };
    detector_->onFind = [this] { centre_->showRestored(); };
    centre_->showZoom = [this] { ShowRestored(zoom_.get()); };
    connect(frame_.get(), &FrameWindow::centreWindowRequested, this, [this] { centre_->showRestored(); });
    connect(frame_.get(), &FrameWindow::autoCentreRequested, this, [this] { SpeedButton1Click(*ws_, host_); });
    detector_->onSaveSettings = [this] { main_->trigger(CommandId::SaveSettings); };
    detector_->onLoadSettings = [this] { main_->trigger(CommandId::LoadSettings); };
    mineralList_->setPlacementAnchor(scan_.get());
    mineralList_->showNewPattern = [this] { ShowRestored(newPattern_.get()); };
    newPattern_->onSaved = [this] { mineralList_->refresh(); };
    // FITTOSTD: the list is shown (and so read), then the standard selected.
    ws.Hooks.SelectStandard = [this](Workspace& w, Host&, const std::string& name) {
        showMineralList();
        const bool found = SelectStandardByName(w, name);
        mineralList_->refresh();
        return found;
    };
    // The powder standards: the list, the overlay and the fit from the scan
    // window; FITTOSTD shows the fit tool as it works.
    ConnectStandardTools(*scan_, *mineralList_, *fitTool_, host_, ws, [this] { showMineralList(); });
    // A standard clicked in the list is also laid over the visible line scan.
    mineralList_->onStandardSelected = [this, previous = mineralList_->onStandardSelected](int32_t pattern) {
        if (previous) previous(pattern);
        if (!ws_->Form34.Visible) return;
        DrawStandardOnLineScan(*ws_, pattern, ws_->StandardScale, ws_->StandardShift);
        lineScan_->refresh();
    };
    lineScan_->showMineralList = [this] { showMineralList(); };
    ws.Hooks.FitToStandard = [this](Workspace& w, Host& h, bool autoAdjust, int rounds) {
        fitTool_->showRestored();
        return FitToStandardSteps(w, h, autoAdjust, rounds);
    };
    main_->onClosing = [this] { return closing(); };
    connect(host_.notifier(), &ViewNotifier::noted, this, [this](View v) {
        // Every frame of an interactive load keeps its picture until the
        // windows catch up.
        if (v == View::History && !host_.unattended()) noteHistoryPicture();
    });
    connect(host_.notifier(), &ViewNotifier::changed, this, [this](View v) {
        if (v == View::History) showHistoryPicture();
        if (v == View::FileList) frameList_->refresh();
    });
}

void Application::installCommands() {
    Workspace& ws = *ws_;
    MainWindow& m = *main_;
    using C = CommandId;
    auto show = [](QWidget* w) { return [w] { ShowRestored(w); }; };

    auto fileOpen = [this, &ws](bool fromButton) {
        if (!frame_->isVisible()) ShowRestored(frame_.get());
        host_.setDialogFolder(ws.OpenDialogFolder);
        openFiles(host_.askOpenFileNames(FrameFilter, true), fromButton);
    };
    m.setHandler(C::FileOpen, [fileOpen] { fileOpen(false); });
    m.setHandler(C::LoadFile, [fileOpen] { fileOpen(true); });
    auto step = [this, &ws](bool next) {
        if (!frame_->isVisible()) ShowRestored(frame_.get());
        if (!(next ? NextFile(ws) : PrevFile(ws))) return;
        startLoading();
        frameList_->highlightEntry(ws.CurrentFileIndex);
    };
    m.setHandler(C::PrevFile, [step] { step(false); });
    m.setHandler(C::NextFile, [step] { step(true); });
    m.setHandler(C::RunBatch, [this, &ws] {
        ws.BatchRunning = 1;
        switch (RunBatchDecision(ws)) {
        case RunBatchAction::Nothing: break;
        case RunBatchAction::RunScript: RunScriptFile(ws, host_, ws.ScriptFile); break;
        case RunBatchAction::AskForAction:
            host_.message("Please select a Script File or Batch action to process !");
            break;
        case RunBatchAction::StartBatch:
            ws.SingleFileMode = 0;
            ws.LoadFromHistory = 0;
            startLoading();
            break;
        }
    });
    m.setHandler(C::StopBatch, [this, &ws] { StopBatch(ws, host_); });

    m.setHandler(C::SaveFrame, [this, &ws] {
        if (!ws.FrameIsLoaded()) {
            host_.message("Need to open a file first");
            return;
        }
        host_.setDialogFolder(ws.OpenDialogFolder);
        const auto name = host_.askSaveFileName(ProposedSaveName(ws.CurrentFile, ".orv"),
                                                "Frame files (*.orv)|*.orv|All files (*.*)|*.*");
        if (!name) return;
        try {
            WriteNativeFrame(ws, *name);
        } catch (const FileError& e) {
            host_.message(e.what());
        }
    });
    m.setHandler(C::SaveFrameAsBmp, [this] { saveFramePicture(); });
    m.setHandler(C::CopyFrame, [this] { copyFramePicture(); });
    m.setHandler(C::SaveLogbook, [this, &ws] {
        host_.setDialogFolder(ws.OpenDialogFolder);
        const auto name =
            host_.askSaveFileName(ProposedSaveName(ws.CurrentFile, ".log"), "Logbook files (*.log)|*.LOG|All files (*.*)|*.*");
        if (!name) return;
        try {
            RefuseFrameOverwrite(ws, *name);
            ws.LLog.SaveToFile(*name);
        } catch (const FileError& e) {
            host_.message(e.what());
        }
    });
    m.setHandler(C::Exit, [this] { main_->close(); });

    auto zoom = [this, &ws](bool (*change)(Workspace&)) {
        ReleaseEraser(ws);
        if (change(ws)) RedrawFrame(ws, host_);
        main_->refresh();
    };
    m.setHandler(C::ZoomIn, [zoom] { zoom(ZoomIn); });
    m.setHandler(C::ZoomOut, [zoom] { zoom(ZoomOut); });
    m.setHandler(C::Scale100, [zoom] { zoom(Scale100); });
    m.setHandler(C::ShowFullSize, [zoom] { zoom(Scale100); });
    auto brightness = [this, &ws](int delta) {
        if (ws.LastFileIndex >= 0) ShowRestored(brightness_.get());
        BrightnessStep(ws, host_, delta);
    };
    m.setHandler(C::BrightnessUp, [brightness] { brightness(+2); });
    m.setHandler(C::BrightnessDown, [brightness] { brightness(-2); });
    m.setHandler(C::ToolPoint, [this, &ws] { SelectMouseTool(ws, host_, MouseTool::Point); });
    m.setHandler(C::ToolSelectRect, [this, &ws] { SelectMouseTool(ws, host_, MouseTool::SelectRect); });
    m.setHandler(C::ToolSelectAng, [this, &ws] { SelectMouseTool(ws, host_, MouseTool::SelectAng); });
    m.setHandler(C::ToolEraser, [this, &ws] { SelectMouseTool(ws, host_, MouseTool::Eraser); });

    m.setHandler(C::AdjustBrightness, show(brightness_.get()));
    m.setHandler(C::ZoomTool, show(zoom_.get()));
    m.setHandler(C::ShowHistory, show(history_.get()));
    m.setHandler(C::ShowLogbook, show(logbook_.get()));
    m.setHandler(C::ShowFrameInfo, show(frameInfo_.get()));
    m.setHandler(C::ShowScanSeries, [this, &ws] {
        if (!ws.FrameIsLoaded()) return host_.message("Need to open a file first");
        placeScanSeries();
        ShowRestored(series_.get());
    });
    m.setHandler(C::ShowWavelength, show(wavelength_.get()));
    m.setHandler(C::ShowDetectorSettings, show(detector_.get()));
    m.setHandler(C::ShowModelUserInfo, show(diffractometer_.get()));
    m.setHandler(C::DetectorRotations, [] {});
    m.setHandler(C::LoadBackgroundFile, [] {});
    m.setHandler(C::About, show(help_.get()));
    m.setHandler(C::PoleFigureAnalysis, [this, &ws] {
        ResetPoleViewer(ws, host_);
        ShowRestored(poleFigures_.get());
    });
    m.setHandler(C::NewPoleFigure, [this] { poleFigures_->makePoleFigure(); });
    m.setHandler(C::DefineSector, show(mask_.get()));
    m.setHandler(C::DeleteSector, [this, &ws] {
        if (ws.FrameIsLoaded()) DeleteSector1Click(ws, host_);
    });
    m.setHandler(C::TwoThetaScan, [this, &ws] { N2ThetaScan1Click(ws, host_); });
    m.setHandler(C::PsiScan, [this, &ws] { PsiScan1Click(ws, host_); });
    m.setHandler(C::ScanSettings, [this] { setup_->showPage(TFSetupWindow::ScanPage); });
    auto batchProject = [this, &ws] {
        ws.Form20.EScript.clear();
        main_->refresh();
        setup_->showPage(TFSetupWindow::BatchPage);
    };
    m.setHandler(C::NewBatchProject, batchProject);
    m.setHandler(C::BatchProcess, batchProject);

    m.setHandler(C::LoadSettings, [this, &ws] {
        host_.setDialogFolder(ws.InstallDir);
        const auto files = host_.askOpenFileNames(SettingsFilter, false);
        host_.setDialogFolder(ws.OpenDialogFolder);
        if (files.empty()) return;
        if (LoadSettingsFile(ws, host_, files.front())) ShowRestored(detector_.get());
    });
    m.setHandler(C::SaveSettings, [this, &ws] {
        host_.setDialogFolder(ws.InstallDir);
        const auto name = host_.askSaveFileName("MyDiffractometer", SettingsFilter);
        host_.setDialogFolder(ws.OpenDialogFolder);
        if (!name) return;
        try {
            SaveSettingsFile(ws, WithExtension(*name, ".set"));
        } catch (const FileError& e) {
            host_.message(e.what());
        }
    });
    m.setHandler(C::Merge, [this, &ws] {
        host_.setDialogFolder(ws.OpenDialogFolder);
        try {
            Merge1Click(ws, host_);
        } catch (const std::exception& e) {
            host_.message(e.what());
        }
        main_->refresh();
    });
    m.setHandler(C::RemoveFrameBackground, [this] { startFrameBackground(); });
    m.setHandler(C::FindSpots, show(spots_.get()));
    m.setHandler(C::FindAndMaskSpots, [this, &ws] {
        if (!ws.FrameIsLoaded()) return;
        ws.Form36.BMaskspotsEnabled = false;
        ShowRestored(spots_.get());
        spots_->refresh();
    });
    m.setHandler(C::LoadScript, [this, &ws] {
        LoadScriptCommand(ws, host_);
        // The chosen script is opened in the desktop's text editor for viewing.
        if (ws.ScriptLoaded && !ws.ScriptFile.empty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(ws.ScriptFile)));
    });
    m.setHandler(C::RunScript, [this, &ws] { RunScriptCommand(ws, host_); });

    frameEdits_ = std::make_unique<FrameEditCommands>(ws, host_, m, [this](bool running) { enableFrameCommands(!running); });
    frameEdits_->install();
    installAnalysisCommands();
}

void Application::installAnalysisCommands() {
    Workspace& ws = *ws_;
    MainWindow& m = *main_;
    using C = CommandId;
    m.setHandler(C::PatternCentre, [this] { centre_->showRestored(); });
    m.setHandler(C::CenteringTool, [this] { centre_->showRestored(); });
    m.setHandler(C::IntegrateSector, [this, &ws] {
        Integrate1Click(ws, host_);
        if (ws.FrameIsLoaded()) ShowRestored(logbook_.get());
    });
    m.setHandler(C::DSpacingVsPsi, [this, &ws] {
        if (!Calculatedspacing1Click(ws, host_)) return;
        PlotDSpacing(ws);
        dspacing_->showRestored();
    });
    auto lineScan = [this, &ws](bool alongX) {
        if (!ws.FrameIsLoaded()) {
            host_.message("Need to open a file first");
            return;
        }
        std::optional<std::string> width = std::string("1");
        if (!host_.unattended()) {
            bool ok = false;
            const QString typed = QInputDialog::getText(main_.get(), "Line Scan", "Width (pixels)", QLineEdit::Normal,
                                                        "1", &ok);
            if (ok) width = typed.toStdString();
        }
        if (ShowLineScan(ws, host_, alongX, width)) lineScan_->showRestored();
    };
    m.setHandler(C::LineScanY, [lineScan] { lineScan(true); });
    m.setHandler(C::LineScanX, [lineScan] { lineScan(false); });
    m.setHandler(C::XLineScan, [lineScan] { lineScan(true); });
    m.setHandler(C::YLineScan, [lineScan] { lineScan(false); });
}

bool Application::openFiles(const std::vector<std::string>& chosen, bool fromButton) {
    Workspace& ws = *ws_;
    if (chosen.empty()) return false;   // cancelled: everything stays as it was
    // Files no reader accepts are left out of the list and named in one
    // message; with none readable, the frame and the scans stay as they are.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<UnreadableFile> unreadable = UnreadableFrameFiles(ws, chosen);
    QApplication::restoreOverrideCursor();
    std::vector<std::string> files;
    for (const std::string& f : chosen)
        if (std::none_of(unreadable.begin(), unreadable.end(), [&](const UnreadableFile& u) { return u.Path == f; }))
            files.push_back(f);
    if (!unreadable.empty()) host_.message(UnreadableFilesMessage(unreadable));
    if (!OpenFiles(ws, files)) return false;
    if (fromButton) ws.MergedFrame = 0;
    host_.changed(View::FileList);
    return startLoading();
}

void Application::showMineralList() { ShowRestored(mineralList_.get()); }

void Application::start() {
    // The main window at the top left, the others below and beside it.
    main_->move(AvailableArea(main_.get()).topLeft());
    main_->show();
    ShowRestored(frame_.get());
    ShowRestored(logbook_.get());
    ShowRestored(history_.get());
    // The splash is only a greeting: the set-up and the command line's work
    // start at once, and a run from the command line shows none.
    if (!run_) splash_->start();
    QTimer::singleShot(0, this, [this] { firstShowSetup(); });
}

void Application::firstShowSetup() {
    if (setupDone_) return;   // the set-up runs once, not at every showing
    setupDone_ = true;
    Workspace& ws = *ws_;
    placeStartWindows();
    // The window manager frames the main window after it is first shown,
    // which makes it taller: the windows below it move down with it.
    QTimer::singleShot(300, this, [this, shown = main_->frameGeometry()] {
        if (main_->frameGeometry() != shown) placeStartWindows();
    });

    if (!PrepareProgramFolder(ws, host_, DefaultProgramFolder())) ws.InstallDir.clear();
    RunTimeSetup(ws, host_);
    BuildPalette(ws);
    host_.setDialogFolder(ws.OpenDialogFolder);
    main_->refresh();
    if (args_.empty()) return;
    switch (ProcessCommandLine(ws, host_, args_)) {
    case LoadRequest::StartLoading:
        commandLineLoad_ = startLoading();
        if (!commandLineLoad_ && run_) finishRun();
        break;
    case LoadRequest::MissingFile:
        if (run_) {
            ReportRunProblem(ws, host_, RunProblem::Frame, args_[0] + ": " + FileProblem(args_[0]));
            finishRun();
        } else {
            std::fprintf(stderr, "orvantide: %s does not exist\n", args_[0].c_str());
        }
        break;
    case LoadRequest::Refused: finishRun(); break;
    case LoadRequest::None:
        // A settings file with a script: there is no frame to run it on.
        if (run_) {
            ws.LLog.Append("No frame given: the script " + ws.ScriptFile + " was not run");
            host_.changed(View::Logbook);
            finishRun();
        }
        break;
    }
}

void Application::placeStartWindows() {
    const Workspace& ws = *ws_;
    // The frame window under the whole main window, so that neither covers
    // the other's menus and buttons; the scan window beside the frame
    // window; the logbook under the scan window. Each is then kept on the
    // screen.
    const QRect main = main_->frameGeometry();
    frame_->move(main.left(), main.bottom() + 1);
    frame_->fitToPicture();
    scan_->move(main.left() + std::max(frame_->frameGeometry().width(), 520), frame_->y());
    const QRect scan = scan_->frameGeometry();
    logbook_->move(scan.left(), std::min(scan.top() + scan.height(), ws.ScreenHeight - 200));
    psiScan_->move(scan.left(), std::min(scan.top() + scan.height() / 2, ws.ScreenHeight - 200));
    for (QWidget* w : {static_cast<QWidget*>(frame_.get()), static_cast<QWidget*>(scan_.get()),
                       static_cast<QWidget*>(logbook_.get()), static_cast<QWidget*>(psiScan_.get())})
        if (w->isVisible()) KeepOnScreen(w);
}

void Application::placeScanSeries() {
    // Beside the frame window, under the main window, as wide as the rest of
    // the screen; when the 2-theta window stands there, under its menu bar,
    // so that both menus can be reached.
    const QRect main = main_->frameGeometry();
    const int left = frame_->frameGeometry().right() + 1;
    int top = main.bottom() + 21;
    if (scan_->isVisible()) {
        if (const QMenuBar* bar = scan_->findChild<QMenuBar*>()) {
            const QRect menus(bar->mapToGlobal(QPoint(0, 0)), bar->size());
            const QRect series(left, top, series_->frameGeometry().width(), series_->frameGeometry().height());
            if (series.intersects(menus) || (top < menus.top() && series.bottom() >= menus.top()))
                top = std::max(top, menus.bottom() + 1);
        }
    }
    series_->move(left, top);
    series_->resize(std::max(AvailableArea(series_.get()).right() + 1 - left, 400), series_->height());
}

void Application::exitRequested(int status) {
    requestedStatus_ = std::max(requestedStatus_, status);
    // The load that ran the ending script finishes first (a list from the
    // command line goes on to its last frame); then the program ends.
    if (loading()) {
        exitPending_ = true;
        return;
    }
    endProgram(requestedStatus_);
}

void Application::finishRun() {
    const int status = std::max(requestedStatus_, RunExitStatus(*ws_));
    if (status != 0) {
        const std::string summary = RunProblemSummary(*ws_);
        std::fprintf(stderr, "orvantide: the run failed%s%s\n", summary.empty() ? "" : ": ", summary.c_str());
    }
    endProgram(status);
}

void Application::endProgram(int status) {
    if (ended_) return;
    ended_ = true;
    exitStatus_ = status;
    // The event loop ends once this step has returned; a worker still
    // waiting on a hand-over is released when the program object goes.
    ws_->BatchRunning = 0;
    QCoreApplication::exit(status);
}

bool Application::loading() const { return loader_ && !loader_->Finished(); }

bool Application::startLoading() {
    Workspace& ws = *ws_;
    if (!claimFrame("A frame is still being loaded; the new load was not started")) return false;
    if (loader_) loader_->Join();
    host_.setPaintsWaitForCatchUp(true);
    loader_ = std::make_unique<TBatchThread>(ws, host_, [this] { loadingFinished(); });
    return true;
}

bool Application::claimFrame(const char* refusal) {
    Workspace& ws = *ws_;
    // Only one job may change the frame at a time.
    if (ws.FrameJobRunning) {
        ws.LLog.Append(refusal);
        host_.changed(View::Logbook);
        return false;
    }
    ws.FrameJobRunning = true;
    enableFrameCommands(false);
    return true;
}

bool Application::startFrameBackground() {
    Workspace& ws = *ws_;
    if (!ws.FrameIsLoaded()) return false;
    if (!claimFrame("A frame is still being loaded or changed; the background was not removed")) return false;
    if (background2D_) background2D_->Join();
    background2D_ = std::make_unique<T2DBackThread>(ws, host_, [this] {
        ws_->FrameJobRunning = false;
        enableFrameCommands(true);
    });
    return true;
}

bool Application::removingBackground() const { return background2D_ && !background2D_->Finished(); }

void Application::waitForLoading() {
    while (loading() || removingBackground()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}

void Application::loadingFinished() {
    Workspace& ws = *ws_;
    const bool commandLineLoad = commandLineLoad_;
    commandLineLoad_ = false;
    // A run from the command line ends with its work, with or without
    // ENDAPPLI, and its status tells whether everything worked.
    const bool ending = (run_ && commandLineLoad) || exitPending_;
    if (!ending) host_.catchUp();   // the windows show where the load ended
    host_.setPaintsWaitForCatchUp(false);
    ws.FrameJobRunning = false;
    enableFrameCommands(true);
    if (ending) finishRun();
}

void Application::enableFrameCommands(bool enabled) {
    for (CommandId id : {CommandId::FileOpen, CommandId::LoadFile, CommandId::PrevFile, CommandId::NextFile,
                         CommandId::RunBatch, CommandId::RunScript, CommandId::DeleteSector, CommandId::Merge,
                         CommandId::RemoveFrameBackground})
        main_->setCommandEnabled(id, enabled);
    for (CommandId id : FrameEditCommands::FrameChangingCommands()) main_->setCommandEnabled(id, enabled);
}

void Application::noteHistoryPicture() {
    const Workspace& ws = *ws_;
    RgbImage thumbnail;
    RenderFrameToImage(ws, thumbnail);
    const int slot = std::clamp(ws.HistorySlot, 0, 9);
    std::erase_if(historyWaiting_, [slot](const HistoryPicture& p) { return p.Slot == slot; });
    historyWaiting_.push_back(
        {slot, ImageOf(thumbnail).copy(), QString::fromStdString(FileNameOnly(ws.HistoryFiles[slot]))});
}

void Application::showHistoryPicture() {
    // A run from the command line notes none (nobody watches): the frame now.
    if (historyWaiting_.empty()) noteHistoryPicture();
    for (const HistoryPicture& p : historyWaiting_) history_->setSlot(p.Slot, p.Picture, p.Caption);
    historyWaiting_.clear();
    if (!frame_->isVisible()) ShowRestored(frame_.get());
    if (!logbook_->isVisible()) ShowRestored(logbook_.get());
}

void Application::frameFilesDropped(const std::vector<std::string>& paths) {
    Workspace& ws = *ws_;
    if (ws.FrameJobRunning) return;
    if (DropFiles(ws, host_, paths) == LoadRequest::StartLoading) startLoading();
}

namespace {
// The frame picture cut to the frame's displayed size.
QImage ShownFramePicture(const Workspace& ws) {
    const int w = ws.DisplayWidth;
    const int h = ws.FrameWidth > 0 ? static_cast<int>(std::lround(double(ws.FrameHeight) * w / ws.FrameWidth)) : 0;
    return ImageOf(ws.Form1.Image1).copy(0, 0, w, h);
}
} // namespace

void Application::saveFramePicture() {
    Workspace& ws = *ws_;
    if (!ws.FrameIsLoaded()) return;
    const auto name = host_.askSaveFileName(ProposedSaveName(ws.CurrentFile, ".bmp"), "Bitmap files (*.bmp)|*.bmp");
    if (!name) return;
    if (const std::string problem = FrameOverwriteProblem(ws, *name); !problem.empty())
        host_.message(problem);
    else if (!ShownFramePicture(ws).save(QString::fromStdString(*name), "BMP"))
        host_.message("Cannot write file " + *name);
}

void Application::copyFramePicture() {
    const Workspace& ws = *ws_;
    if (!ws.FrameIsLoaded()) return;
    QGuiApplication::clipboard()->setImage(ShownFramePicture(ws));
}

bool Application::closing() {
    if (!logbook_->closingProgram()) return false;   // the user stays
    host_.shutdown();
    QCoreApplication::exit(exitStatus_);
    return true;
}

} // namespace orv
