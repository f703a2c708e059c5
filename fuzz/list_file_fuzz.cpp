// ".lst" list files: the parser, and what the loading worker relies on
// afterwards (one script entry per list entry, the last index inside both).
#include <cstdlib>

#include "fuzz_workspace.h"
#include "workspace/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv;
    const std::string list = JoinPath(fuzzing::PrivateFolder(), "f.lst");
    WriteFileAtomically(list, std::string(fuzzing::Text(data, size)));
    // One workspace for the whole run (making one costs more than parsing a
    // list); what a list does not always set starts empty.
    static Workspace ws;
    ws.FileToOpen.clear();
    ws.ScriptFile.clear();
    ws.ScriptLoaded = 0;
    try {
        ReadListFile(ws, list);
    } catch (const FileError&) {
        return 0;
    }
    if (ws.ScriptList.size() != ws.FileList.size()) std::abort();
    if (ws.LastFileIndex < -1 || ws.LastFileIndex >= static_cast<int32_t>(ws.FileList.size())) std::abort();
    // The first frame to open is the first line's, when that line names one.
    if (!ws.FileToOpen.empty() && ws.FileToOpen != ws.FileList.at(0)) std::abort();
    return 0;
}
