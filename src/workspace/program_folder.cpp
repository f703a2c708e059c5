#include "workspace/program_folder.h"

#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

std::string SettingsTxtPath(const Workspace& ws) {
    return ws.InstallDir.empty() ? std::string() : JoinPath(ws.InstallDir, SettingsTxtName);
}

std::vector<std::string> ReadSettingsTxt(const std::string& path) { return ReadTextLines(path, MaxSettingsTxtBytes); }

void WriteSettingsTxt(const Workspace& ws, const std::string& settingsFile) {
    std::string path = SettingsTxtPath(ws);
    if (path.empty()) return;
    WriteTextLines(path, {settingsFile, ws.WorkDir, ws.OutputDir});
}

} // namespace orv
