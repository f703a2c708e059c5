#include "workspace/detector_window_commands.h"

#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv {

void DetectorSettingsOK(Workspace& ws, Host& host) {
    ws.FlatDetector = ws.Form32.RFlat ? 1 : 0;
    host.changed(View::Settings);
}

void DetectorShapeClick(Workspace& ws, Host& host, int shape) {
    if (shape < 1 || shape > 3) return;
    ws.Form32.SelectShape(shape);
    if (shape == 1) ws.FlatDetector = 1;
    if (shape == 2) ws.FlatDetector = 0;
    host.changed(View::Settings);
}

void DetectorSelectAll(Workspace& ws, Host& host) {
    TForm32& f = ws.Form32;
    f.CBXo = f.CBYo = f.CBlanda = f.CBDSize = f.CBDistance = f.CB2thetaD = f.CBSlitDetector =
        f.CBSampleOffset = true;
    host.changed(View::Settings);
}

void WavelengthPresetClick(Workspace& ws, Host& host, const std::string& anode) {
    std::string text = WavelengthPreset(anode);
    if (text.empty()) return;
    ws.Form19.Elanda = text;
    host.changed(View::Settings);
}

} // namespace orv
