// ".set" files: loaded into the settings boxes, then used as a user would:
// Apply with every box ticked and the geometry of a small frame computed
// from the file's values ("File Settings").
#include "fuzz_workspace.h"
#include "workspace/detector_settings.h"
#include "base/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv;
    const std::string folder = fuzzing::PrivateFolder();
    // One workspace for the whole run (making one costs more than the work
    // on it); every input loads the frame again and all 19 lines anew.
    static Workspace ws;
    RecordingHost host;
    host.Unattended = true;
    if (!fuzzing::LoadSmallFrame(ws, host, JoinPath(folder, "f.orv"))) std::abort();
    const std::string set = JoinPath(folder, "f.set");
    WriteFileAtomically(set, std::string(fuzzing::Text(data, size)));
    if (!LoadSettingsFile(ws, host, set)) return 0;
    TForm32& f = ws.Form32;
    f.CBXo = f.CBYo = f.CBlanda = f.CBDSize = f.CBDistance = f.CB2thetaD = true;
    try {
        ApplyDetectorSettings(ws, host);
    } catch (const ConversionError&) {
    }
    ws.Form20.CBFSettings = true;
    try {
        ComputeFrameGeometry(ws, host);
    } catch (const ConversionError&) {
    }
    return 0;
}
