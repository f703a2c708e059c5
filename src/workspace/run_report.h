#pragma once
// How a run tells of what went wrong. A run started from the command line
// (a list, or a frame with a script) has nobody at the screen: its problems
// go to the logbook and standard error, and it ends with status 1 when any
// was counted. The same problems in a window go to the logbook (and a box
// where the user asked for the one thing that failed).

#include <string>
#include <vector>

namespace orv {

class Host;
struct Workspace;

// Whether a command line asks for an unattended run: a list file, or a
// frame (or settings file) with a script.
bool IsCommandLineRun(const std::vector<std::string>& args);

enum class RunProblem {
    Frame,     // a frame was not processed (unreadable, no geometry, no script)
    Command,   // a script command or a batch output failed
    Setup,     // the start-up settings could not be used
};

// Counts the problem and reports it: unattended, through the host (standard
// error and logbook); otherwise in the logbook, and in a box when `box`.
// Main thread only.
void ReportRunProblem(Workspace& ws, Host& host, RunProblem kind, const std::string& text, bool box = false);

// 0 when nothing went wrong in this run, else 1.
int RunExitStatus(const Workspace& ws);
// What went wrong, in one line ("" when nothing did).
std::string RunProblemSummary(const Workspace& ws);

// Why `path` is not a file that can be read ("" when it is): missing, a
// folder, or another kind of file (a pipe would wait for ever).
std::string FileProblem(const std::string& path);
// Why `path` cannot serve as a text file of commands or entries ("" when it
// can): missing, a folder or another kind of file, unreadable, or not text.
// `what` names its role in the answer ("script", "list file").
std::string TextFileProblem(const std::string& path, const std::string& what);

// Why writing `path` would replace a frame in use ("" when it would not):
// the frame now open, or a frame of the opened list. Every save, of a
// script or a window, asks this before it writes.
std::string FrameOverwriteProblem(const Workspace& ws, const std::string& path);
// The same as a FileError, for writers that report failures that way.
void RefuseFrameOverwrite(const Workspace& ws, const std::string& path);

} // namespace orv
