#pragma once
// The dialogs the two scan windows share: "Zoom In", "FindPeaks" and
// "Background". A window opens one with the command its "OK" runs, so the
// dialog serves whichever window asked last.

#include <functional>

#include "workspace/ui/settings_windows.h"

class QLineEdit;

namespace orv {

class ScanDialog : public RecordWindow {
    Q_OBJECT
public:
    ScanDialog(Workspace& ws, QtHost& host, const char* objectName, const QString& caption);
    // Shows the dialog; its "OK" hides it and runs `onOK`.
    void openFor(std::function<void()> onOK);

protected:
    // "OK": hides the dialog, runs the command (a box that is not a number
    // is reported), then `afterRun`.
    void ok();
    virtual void afterRun() {}

private:
    std::function<void()> onOK_;
};

// "Zoom In": Amin, AMax and, unless "AutoMax" is ticked, Imin and IMax.
class TForm5Window : public ScanDialog {
    Q_OBJECT
public:
    TForm5Window(Workspace& ws, QtHost& host);
    void refresh() override;

private:
    QLineEdit* yMin_;
    QLineEdit* yMax_;
};

// "FindPeaks": values typed here serve one search; the boxes then take up
// the batch settings' peak boxes again.
class TForm6Window : public ScanDialog {
    Q_OBJECT
public:
    TForm6Window(Workspace& ws, QtHost& host);

protected:
    void afterRun() override;
};

// "Background": likewise with the batch settings' roll width and height.
class TForm7Window : public ScanDialog {
    Q_OBJECT
public:
    TForm7Window(Workspace& ws, QtHost& host);

protected:
    void afterRun() override;
};

} // namespace orv
