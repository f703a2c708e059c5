// Scripts run on a small loaded frame. Names in a script are kept inside a
// private folder (no path separators), so the commands that write files and
// make folders write nowhere else.
#include <filesystem>

#include "fuzz_workspace.h"
#include "workspace/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv;
    const std::string_view text = fuzzing::Text(data, size);
    if (text.find_first_of("/\\") != std::string_view::npos || text.find("..") != std::string_view::npos) return 0;
    // The script's names are taken from the current folder: the private one
    // while it runs (the fuzzer's own corpus paths are relative).
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(fuzzing::PrivateFolder());
    fuzzing::ClearPrivateFolder();
    {
        // One workspace for the whole run (making one costs more than most
        // scripts): each input starts on the small frame loaded anew, with
        // the settings earlier scripts left.
        static Workspace ws;
        RecordingHost host;
        host.Unattended = true;
            if (!fuzzing::LoadSmallFrame(ws, host, "f.orv")) std::abort();
        WriteFileAtomically("s.txt", std::string(text));
        RunScriptFile(ws, host, "s.txt");
    }
    std::filesystem::current_path(before);
    return 0;
}
