// "Settings.txt" at start-up: the run-time set-up of a program folder holding
// the fuzzer's bytes as "Settings.txt" and a settings file "s.set" that they
// may name. Names are kept inside the private folder (no path separators),
// so the set-up writes nowhere else; it must end with a working and an
// output folder.
#include <cstdlib>
#include <filesystem>

#include "fuzz_workspace.h"
#include "workspace/detector_settings.h"
#include "workspace/program_folder.h"
#include "workspace/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv;
    const std::string_view text = fuzzing::Text(data, size);
    fuzzing::InPrivateFolder(text, [&] {
        // One workspace for the whole run (making one costs more than the
        // set-up); the set-up gives every value it reads a start value.
        static Workspace ws;
        RecordingHost host;
        host.Unattended = (size % 2) == 1;
        ws.InstallDir = fuzzing::PrivateFolder() + "/";
        std::filesystem::create_directory(JoinPath(ws.InstallDir, "Data"));
        SaveSettingsFile(ws, "s.set");
        WriteFileAtomically(SettingsTxtPath(ws), std::string(text));
        RunTimeSetup(ws, host);
        if (ws.WorkDir.empty() || ws.OutputDir.empty()) std::abort();
    });
    return 0;
}
