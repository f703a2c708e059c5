#pragma once
// The "Fitting Standard Tool" window (the record TForm41Fit and the commands
// of scans/calibration_fit.h) and the powder-standard buttons of the 2-theta
// scan window: the pattern list, the overlay's placement and the fit.

#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

#include "workspace/ui/settings_windows.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orv {

class TFitThread;
class TForm18Window;
class TForm2Window;

// "Fitting Standard Tool"
class TForm41FitWindow : public RecordWindow {
    Q_OBJECT
public:
    TForm41FitWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    ~TForm41FitWindow() override;
    void refresh() override;
    // "Start": the "Auto" boxes, then the search on its own thread; the
    // button reads "Stop" while it runs.
    void start();
    void stop();
    bool running() const { return worker_ != nullptr; }
    // Waits for a running search and reports it (tests).
    void waitForFit();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void poll();
    void finish();
    QLabel* label3_;
    QLabel* label6_;
    QLineEdit* angle_;
    QWidget* angleVary_;
    std::vector<QWidget*> offsetBoxes_;
    QPushButton* apply_;
    QPushButton* start_;
    QProgressBar* progress_;
    std::unique_ptr<TFitThread> worker_;
    QTimer poll_;
};

// The 2-theta scan window's "Powder Diffraction Standards" and Analyze >
// "Pattern Search Tool" (`showList`), the overlay's buttons, "AA" and "Fit",
// and the pattern list's hooks that draw over the scan.
void ConnectStandardTools(TForm2Window& scan, TForm18Window& list, TForm41FitWindow& fit, QtHost& host,
                          Workspace& ws, std::function<void()> showList);

} // namespace orv
