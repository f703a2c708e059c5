// Scripts run on a small loaded frame. Names in a script are kept inside a
// private folder (no path separators), so the commands that write files and
// make folders write nowhere else.
#include "fuzz_workspace.h"
#include "workspace/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv;
    const std::string_view text = fuzzing::Text(data, size);
    // The script's names are taken from the current folder: the private one
    // while it runs (the fuzzer's own corpus paths are relative).
    fuzzing::InPrivateFolder(text, [&] {
        // One workspace for the whole run (making one costs more than most
        // scripts): each input starts on the small frame loaded anew, with
        // the settings earlier scripts left.
        static Workspace ws;
        RecordingHost host;
        host.Unattended = true;
        if (!fuzzing::LoadSmallFrame(ws, host, "f.orv")) std::abort();
        WriteFileAtomically("s.txt", std::string(text));
        RunScriptFile(ws, host, "s.txt");
    });
    return 0;
}
