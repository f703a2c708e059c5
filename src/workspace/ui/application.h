#pragma once
// The program as a whole: the workspace, the Qt host, every window in the
// order the program creates them, the commands of the main window, the
// splash, the one-time set-up and the loading worker.

#include <QImage>
#include <QObject>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "workspace/ui/qt_host.h"

class QWidget;

namespace orv {

class BrightnessWindow;
class FrameEditCommands;
class FrameWindow;
class MainWindow;
class T2DBackThread;
class TBatchThread;
class TF2ThetaWindow;
class TFPoleFWindow;
class TFAboutWindow;
class TFMaskWindow;
class TFSetupWindow;
class TForm11Window;
class TForm12Window;
class TForm13Window;
class TForm14Window;
class TForm16Window;
class TForm17Window;
class TForm18Window;
class TForm19Window;
class TForm23Window;
class TForm27Window;
class TForm28Window;
class TForm29Window;
class TForm2Window;
class TForm32Window;
class TForm36Window;
class TForm5Window;
class TForm6Window;
class TForm7Window;
class TForm4Window;
class TForm41FitWindow;
class TForm9Window;
class TForm10Window;
class TForm34Window;
class ZoomWindow;
struct Workspace;

// The splash: shown after the first ticks, it closes itself and shows the
// frame window, the logbook and the history.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);
    void start();
    int ticks() const { return count_; }

signals:
    void finished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void tick();
    QTimer timer_;
    int count_ = 0;
};

class Application : public QObject {
    Q_OBJECT
public:
    // `args`: the command line without the program's own name.
    explicit Application(std::vector<std::string> args);
    ~Application() override;

    // Shows the main window and starts the splash.
    void start();
    // The one-time set-up of the frame window's first showing: program
    // folder, "Settings.txt", palette, then the command line.
    void firstShowSetup();
    // File Open after its dialog: the readable files of `chosen` become the
    // list and the first is loaded; the others are named in one message.
    // `fromButton`: the "Load file" button (not a merged frame any more).
    bool openFiles(const std::vector<std::string>& chosen, bool fromButton = false);
    // Starts the loading worker unless a job that changes the frame runs.
    bool startLoading();
    bool loading() const;
    // Starts the frame background removal unless a job that changes the
    // frame runs (nothing without a frame).
    bool startFrameBackground();
    bool removingBackground() const;
    // Waits for the loading worker and the background removal (tests).
    void waitForLoading();
    // The status the program ends with.
    int exitStatus() const { return exitStatus_; }
    // Whether the command line asked for a run without anybody at the screen.
    bool unattendedRun() const { return run_; }

    Workspace& workspace() { return *ws_; }
    QtHost& host() { return host_; }
    MainWindow& mainWindow() { return *main_; }
    FrameWindow& frameWindow() { return *frame_; }
    TForm2Window& scanWindow() { return *scan_; }
    TForm12Window& psiScanWindow() { return *psiScan_; }
    TForm32Window& detectorSettings() { return *detector_; }
    TForm27Window& centreWindow() { return *centre_; }
    TForm11Window& logbook() { return *logbook_; }
    TFPoleFWindow& poleFigures() { return *poleFigures_; }
    TForm16Window& poleGenerator() { return *poleGenerator_; }
    // "Mineral List": the reference patterns and the current standard.
    TForm18Window& mineralList() { return *mineralList_; }
    TForm36Window& spotTool() { return *spots_; }
    TForm29Window& newPattern() { return *newPattern_; }
    TForm41FitWindow& fitTool() { return *fitTool_; }
    // Shows the Mineral List, restored from minimised (the scan windows'
    // "Pattern Search Tool" and "Show Mineral Database").
    void showMineralList();
    SplashWindow& splash() { return *splash_; }
    // The frame-editing commands and their workers.
    FrameEditCommands& frameEdits() { return *frameEdits_; }

private:
    void createWindows();
    // Where the windows shown at start stand, and the scan-series window.
    void placeStartWindows();
    void placeScanSeries();
    void installCommands();
    void loadingFinished();
    // Marks a job as changing the frame and disables the commands that would
    // change it too; logs `refusal` and answers false while another job runs.
    bool claimFrame(const char* refusal);
    // A step asked the program to end (ENDAPPLI): once the running load is
    // done, the program ends with the worse of `status` and the run's own.
    void exitRequested(int status);
    // The command-line run is over: the reason on standard error when it
    // failed, then the program ends with its status.
    void finishRun();
    void endProgram(int status);
    void showHistoryPicture();
    void enableFrameCommands(bool enabled);
    void frameFilesDropped(const std::vector<std::string>& paths);
    // The main window is to close; false when the user stays.
    bool closing();
    void saveFramePicture();
    void copyFramePicture();
    void installAnalysisCommands();

    std::unique_ptr<Workspace> ws_;
    QtHost host_;
    std::vector<std::string> args_;
    bool setupDone_ = false;
    bool commandLineLoad_ = false;   // the running load was started by the command line
    bool run_ = false;               // an unattended run from the command line
    bool exitPending_ = false;       // the program ends when the running load is done
    bool ended_ = false;
    int requestedStatus_ = 0;
    int exitStatus_ = 0;
    std::unique_ptr<TBatchThread> loader_;
    std::unique_ptr<T2DBackThread> background2D_;
    // History pictures of frames loaded since the windows last caught up.
    struct HistoryPicture {
        int Slot;
        QImage Picture;
        QString Caption;
    };
    std::vector<HistoryPicture> historyWaiting_;
    // The frame's picture for its history slot, waiting to be shown.
    void noteHistoryPicture();

    // Windows, in the order the program creates them.
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<FrameWindow> frame_;
    std::unique_ptr<TForm2Window> scan_;
    std::unique_ptr<TF2ThetaWindow> correct2Theta_;
    std::unique_ptr<TFSetupWindow> setup_;
    std::unique_ptr<TFMaskWindow> mask_;
    std::unique_ptr<TForm10Window> dspacing_;         // "d-spacing"
    std::unique_ptr<TForm11Window> logbook_;
    std::unique_ptr<TForm12Window> psiScan_;
    std::unique_ptr<TForm9Window> series_;
    std::unique_ptr<TFAboutWindow> help_;
    std::unique_ptr<TForm13Window> fileFormat_;
    std::unique_ptr<TFPoleFWindow> poleFigures_;
    std::unique_ptr<TForm14Window> poleSettings_;
    std::unique_ptr<TForm16Window> poleGenerator_;
    std::unique_ptr<TForm17Window> history_;
    std::unique_ptr<TForm18Window> mineralList_;
    std::unique_ptr<TForm19Window> wavelength_;
    std::unique_ptr<ZoomWindow> zoom_;
    std::unique_ptr<BrightnessWindow> brightness_;
    std::unique_ptr<TForm23Window> frameInfo_;
    std::unique_ptr<TForm27Window> centre_;            // "Find pattern center"
    std::unique_ptr<TForm28Window> diffractometer_;
    std::unique_ptr<TForm29Window> newPattern_;
    std::unique_ptr<SplashWindow> splash_;
    std::unique_ptr<TForm32Window> detector_;
    std::unique_ptr<TForm34Window> lineScan_;         // "X Line scan"
    std::unique_ptr<TForm36Window> spots_;
    std::unique_ptr<TForm4Window> frameList_;
    std::unique_ptr<TForm5Window> zoomIn_;            // the scan windows' dialogs
    std::unique_ptr<TForm6Window> findPeaks_;
    std::unique_ptr<TForm7Window> background_;
    std::unique_ptr<TForm41FitWindow> fitTool_;       // "Fitting Standard Tool"
    std::unique_ptr<FrameEditCommands> frameEdits_;   // last: its workers stop first
};

} // namespace orv
