#include "workspace/run_report.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "workspace/host.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace fs = std::filesystem;

bool IsCommandLineRun(const std::vector<std::string>& args) {
    if (args.empty()) return false;
    if (args.size() > 1 && !args[1].empty()) return true;
    return ToLower(FileExtension(args[0])) == ".lst";
}

void ReportRunProblem(Workspace& ws, Host& host, RunProblem kind, const std::string& text, bool box) {
    switch (kind) {
    case RunProblem::Frame: ++ws.FramesNotProcessed; break;
    case RunProblem::Command: ++ws.CommandsFailed; break;
    case RunProblem::Setup: ++ws.SetupProblems; break;
    }
    if (host.unattended()) {
        host.message(text);   // standard error and the logbook
        return;
    }
    ws.LLog.Append(text);
    host.changed(View::Logbook);
    if (box) host.message(text);
}

int RunExitStatus(const Workspace& ws) {
    return ws.FramesNotProcessed > 0 || ws.CommandsFailed > 0 || ws.SetupProblems > 0 || ws.ScriptFailed ? 1 : 0;
}

std::string RunProblemSummary(const Workspace& ws) {
    std::string out;
    auto add = [&](int32_t count, const char* one, const char* many) {
        if (count <= 0) return;
        if (!out.empty()) out += ", ";
        out += std::to_string(count) + " " + (count == 1 ? one : many);
    };
    add(ws.FramesNotProcessed, "frame not processed", "frames not processed");
    add(ws.CommandsFailed, "command failed", "commands failed");
    add(ws.SetupProblems, "start-up problem", "start-up problems");
    if (out.empty() && ws.ScriptFailed) out = "a script stopped";
    return out;
}

std::string FileProblem(const std::string& path) {
    if (path.empty()) return "no file named";
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return "not found";
    if (fs::is_directory(status)) return "a folder, not a file";
    if (!fs::is_regular_file(status)) return "not a plain file";
    return {};
}

std::string TextFileProblem(const std::string& path, const std::string& what) {
    if (path.empty()) return "no " + what + " named";
    if (const std::string problem = FileProblem(path); !problem.empty()) return what + " " + path + ": " + problem;
    // The start of the file tells text from other data; reading no further
    // keeps a large binary file from being loaded whole.
    std::ifstream in(path, std::ios::binary);
    if (!in) return what + " " + path + ": cannot be read";
    std::string head(64 * 1024, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) return what + " " + path + ": cannot be read";
    if (!LooksLikeText(head)) return what + " " + path + ": not a text file";
    return {};
}

std::string FrameOverwriteProblem(const Workspace& ws, const std::string& path) {
    std::error_code ec;
    if (path.empty() || !fs::exists(path, ec)) return {};
    // The names first: a list may hold thousands of frames.
    const std::string name = FileNameOnly(path);
    const auto same = [&](const std::string& frame) {
        std::error_code e;
        return !frame.empty() && FileNameOnly(frame) == name && fs::equivalent(path, frame, e);
    };
    if (same(ws.CurrentFile)) return "Not saved: " + path + " is the frame being analysed";
    for (const std::string& frame : ws.FileList)
        if (same(frame)) return "Not saved: " + path + " is a frame of the opened list";
    return {};
}

void RefuseFrameOverwrite(const Workspace& ws, const std::string& path) {
    if (std::string problem = FrameOverwriteProblem(ws, path); !problem.empty()) throw FileError(problem);
}

} // namespace orv
