#pragma once
// The pole-figure windows: "PoleFigures" (TFPoleF) with its four polar plots
// and two profile charts, and "PoleSettings" (TForm14). Both show their core
// records and hand every click to the core's commands.

#include <QWidget>
#include <array>
#include <functional>

#include "workspace/ui/settings_windows.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace orv {

class PictureView;
class TRChartWidget;

// "PoleFigures"
class TFPoleFWindow : public RecordWindow {
    Q_OBJECT
public:
    TFPoleFWindow(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
    ~TFPoleFWindow() override;
    void refresh() override;
    PictureView* panel(int k) const { return panels_[static_cast<size_t>(k)]; }

    // Commands that live in other windows; the program sets them.
    std::function<void()> showSettings;   // Settings: "PoleSettings"
    std::function<void()> showLogbook;    // View > Logbook
    std::function<void()> makePoleFigure; // File > Make PoleFigure: the generator

protected:
    void showEvent(QShowEvent* event) override;

private:
    void copyPanel(int k);

    std::array<PictureView*, 4> panels_{};
    std::array<QLabel*, 4> captions_{};
    QLabel* readOut_;
    QLineEdit* point1_[2];
    QLineEdit* point2_[2];
    QPushButton* absorption_;
    TRChartWidget* psiChart_;
    TRChartWidget* phiChart_;
};

// "PoleSettings"
class TForm14Window : public RecordWindow {
    Q_OBJECT
public:
    TForm14Window(Workspace& ws, QtHost& host, QWidget* parent = nullptr);
};

} // namespace orv
