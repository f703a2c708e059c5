#include "workspace/startup.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "scans/scan_analysis.h"
#include "scans/mineral_database.h"
#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "base/numbers.h"
#include "workspace/program_folder.h"
#include "workspace/run_report.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

float BoxOr(const std::string& text, float fallback) {
    double v = 0;
    return TryParseNumber(text, v) ? static_cast<float>(v) : fallback;
}

void BuiltInDefaults(Workspace& ws) {
    ws.Form32.E2thetaD = "0.000";
    ws.Form32.CB2thetaD = false;
    ws.Form27.EXoM = "256";
    ws.Form27.CBInitPos = false;
    ws.Form27.EYoM = "256";
    ws.Form32.EDistance = "61.54";
    ws.Form32.CBDistance = false;
    ws.Form32.EDSize = "61.00";
    ws.Form32.CBDSize = false;
    ws.Form27.RAuto = true;
    ws.Form27.RCircle = ws.Form27.RSector = ws.Form27.RGravity = ws.Form27.RBDBeam = false;
    ws.FSetup.Eth2step = "0.1";
    ws.FSetup.CBth2step = false;
    ws.FSetup.EPsiStep = "0.5";
    ws.FSetup.CBPsiStep = false;
}

// The frame list's bookkeeping for a new list of `count` entries.
void StartList(Workspace& ws, size_t count) {
    ws.FileList.assign(count, std::string());
    ws.ScriptList.assign(count, std::string());
}

} // namespace

std::string DefaultProgramFolder() {
    if (const char* home = std::getenv("ORVANTIDE_HOME"); home && *home) return WithSlash(home);
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return WithSlash(JoinPath(data, "Orvantide"));
    const char* home = std::getenv("HOME");
    return WithSlash(JoinPath(JoinPath(home && *home ? home : ".", ".local/share"), "Orvantide"));
}

bool PrepareProgramFolder(Workspace& ws, Host& host, const std::string& folder) {
    std::error_code ec;
    fs::create_directories(fs::path(folder) / DataFolderName, ec);
    if (ec) {
        host.message(folder + "can not be created");
        return false;
    }
    ws.InstallDir = WithSlash(folder);
    const std::string marker = JoinPath(ws.InstallDir, ProgramFolderMarker);
    if (!FileExists(marker)) {
        try {
            WriteFileAtomically(marker, "");
        } catch (const FileError& e) {
            host.message(e.what());
        }
    }
    try {
        InstallShippedMinerals(ws.InstallDir);   // a database already there stays as it is
    } catch (const FileError& e) {
        host.message(e.what());
    }
    return true;
}

void RunTimeSetup(Workspace& ws, Host& host) {
    ws.FlatDetector = 1;
    ws.RectangularSector = 0;
    ws.ShowScanResults = 1;
    ws.LastFileIndex = -1;
    ws.SectorTwoTheta1 = BoxOr(ws.FMask.Eth1, 0);
    ws.SectorPsi1 = BoxOr(ws.FMask.EPsi1, 0);
    ws.SectorTwoTheta2 = BoxOr(ws.FMask.Eth2, 45);
    ws.SectorPsi2 = BoxOr(ws.FMask.EPsi2, 360);
    ws.ProfileTopIntensity = 0;
    ws.FrameSize = 0;
    ws.PsiStep = 0.5f;

    const std::string dataFolder = WithSlash(JoinPath(ws.InstallDir, DataFolderName));
    const std::string settingsTxt = SettingsTxtPath(ws);
    bool loaded = false;
    if (!settingsTxt.empty() && FileExists(settingsTxt)) {
        std::vector<std::string> lines;
        try {
            lines = ReadSettingsTxt(settingsTxt);
        } catch (const FileError& e) {
            // The built-in defaults then serve; a run that goes on with them
            // says so in its status.
            if (host.unattended())
                ReportRunProblem(ws, host, RunProblem::Setup, e.what());
            else
                ws.LLog.Append(e.what());
        }
        lines.resize(3);
        ws.WorkDir = ws.FSetup.EWorkDir = lines[1].empty() ? dataFolder : lines[1];
        ws.OutputDir = ws.FSetup.EOutputdir = lines[2].empty() ? dataFolder : lines[2];
        StartIntensitiesFile(ws);
        if (!lines[0].empty() && FileExists(lines[0])) {
            loaded = LoadSettingsFile(ws, host, lines[0]);
            // The box (or standard error) told why; a run that goes on with
            // the built-in defaults says so in its status.
            if (!loaded) ++ws.SetupProblems;
        } else if (!lines[0].empty()) {
            if (host.unattended())
                ReportRunProblem(ws, host, RunProblem::Setup, "Settings file not found: " + lines[0]);
            else
                ws.LLog.Append("Settings file not found: " + lines[0]);
        }
    } else {
        ws.WorkDir = ws.FSetup.EWorkDir = dataFolder;
        ws.OutputDir = ws.FSetup.EOutputdir = dataFolder;
        StartIntensitiesFile(ws);
    }
    if (!loaded) BuiltInDefaults(ws);
    ws.Form23.EWorDir = ws.FSetup.EWorkDir;
    ws.OpenDialogFolder = ws.FSetup.EWorkDir;
    ws.Brightness = 800;
    host.changed(View::Settings);
    host.changed(View::Logbook);
}

void ReadListFile(Workspace& ws, const std::string& path) {
    const std::vector<std::string> lines = ReadTextLines(path);
    StartList(ws, lines.size());
    ws.SingleFileMode = 0;
    int32_t k = 0;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::string head = line.substr(0, 4);
        const std::string rest = line.size() > 5 ? line.substr(5) : std::string();
        if (head == "FILE") {
            ws.FileList[k] = rest;
            if (n == 0) {
                ws.FileToOpen = rest;
                ws.FrameFolder = FolderOf(rest);
            }
            ++k;
        } else if (head == "SCRT") {
            ws.ScriptLoaded = 1;
            ws.ScriptList[std::max(k - 1, 0)] = rest;
            if (k == 1) {
                ws.ScriptFile = rest;
                ws.Form20.EScript = rest;
            }
        }
    }
    ws.LastFileIndex = k - 1;
}

LoadRequest ProcessCommandLine(Workspace& ws, Host& host, const std::vector<std::string>& args) {
    if (args.empty()) return LoadRequest::None;
    const std::string name = args[0];
    ws.ScriptFile = args.size() > 1 ? args[1] : std::string();
    ws.ScriptLoaded = 0;
    ws.CommandLineRun = 1;
    if (!FileExists(name)) return LoadRequest::MissingFile;
    // A script that cannot be run leaves nothing to do: the run ends at once
    // rather than loading frames that nothing will process.
    if (!ws.ScriptFile.empty()) {
        if (std::string problem = TextFileProblem(ws.ScriptFile, "script"); !problem.empty()) {
            ReportRunProblem(ws, host, RunProblem::Setup, problem, true);
            return LoadRequest::Refused;
        }
        ws.ScriptLoaded = 1;
        ws.Form20.EScript = ws.ScriptFile;
    }
    const std::string ext = ToLower(FileExtension(name));
    if (ext == ".set") {
        // A settings file loads no frame.
        if (!LoadSettingsFile(ws, host, name)) ++ws.SetupProblems;
        return LoadRequest::None;
    }
    if (ext == ".lst") {
        std::string problem = TextFileProblem(name, "list file");
        if (problem.empty()) {
            try {
                ReadListFile(ws, name);
                if (ws.LastFileIndex < 0) problem = "the list file names no frame (no FILE line): " + name;
            } catch (const FileError& e) {
                problem = e.what();
            }
        }
        if (!problem.empty()) {
            ws.LastFileIndex = -1;
            ReportRunProblem(ws, host, RunProblem::Setup, problem, true);
            return LoadRequest::Refused;
        }
        ws.ListFileRead = 1;
        host.changed(View::FileList);
        return LoadRequest::StartLoading;
    }
    StartList(ws, 1);
    ws.FileList[0] = name;
    ws.FrameFolder = FolderOf(name);
    ws.LastFileIndex = 0;
    ws.SingleFileMode = 1;
    ws.FileToOpen = name;
    host.changed(View::FileList);
    return LoadRequest::StartLoading;
}

LoadRequest DropFiles(Workspace& ws, Host& host, const std::vector<std::string>& paths) {
    if (paths.empty()) return LoadRequest::None;
    StartList(ws, paths.size());
    ws.LastFileIndex = static_cast<int32_t>(paths.size()) - 1;
    for (size_t a = 0; a < paths.size(); ++a) {
        ws.CurrentFile = paths[a];
        ws.FileList[a] = paths[a];
        ws.FrameFolder = FolderOf(paths[a]);
    }
    RestartExtrema(ws);
    ws.FileToOpen = paths[0];
    ws.SingleFileMode = 1;
    host.changed(View::FileList);
    return LoadRequest::StartLoading;
}

} // namespace orv
