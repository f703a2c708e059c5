#include "workspace/main_commands.h"

#include <memory>

#include "formats/reader.h"
#include "polefig/pole_worker.h"
#include "workspace/frame_display.h"
#include "workspace/frame_tools.h"
#include "workspace/host.h"
#include "workspace/run_report.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

bool ZoomIn(Workspace& ws) {
    if (!ws.FrameIsLoaded()) return false;
    const int32_t wider = RoundToInt(ws.DisplayWidth * 1.2);
    if (wider > 8004 || wider > 4 * static_cast<int64_t>(ws.FrameWidth)) return false;
    ws.DisplayWidth = wider;
    return true;
}

bool ZoomOut(Workspace& ws) {
    if (!ws.FrameIsLoaded()) return false;
    const int32_t narrower = RoundToInt(ws.DisplayWidth * 0.8333);
    if (ws.FrameWidth >= ws.FrameHeight) {
        if (narrower < 512) return false;
    } else if (narrower < 512.0 * ws.FrameWidth / ws.FrameHeight) {
        return false;
    }
    ws.DisplayWidth = narrower;
    return true;
}

bool Scale100(Workspace& ws) {
    if (!ws.FrameIsLoaded()) return false;
    ws.DisplayWidth = ws.FrameWidth;
    return true;
}

bool OpenFiles(Workspace& ws, const std::vector<std::string>& files) {
    if (files.empty()) return false;
    ws.FileList = files;
    ws.ScriptList.assign(files.size(), std::string());
    ws.LastFileIndex = static_cast<int32_t>(files.size()) - 1;
    ws.FrameFolder = FolderOf(files.back());
    ws.FileToOpen = files.front();
    ws.SingleFileMode = 1;
    ws.CurrentFileIndex = 0;
    ws.SlicesIntegrated = 0;
    RestartExtrema(ws);
    return true;
}

std::vector<UnreadableFile> UnreadableFrameFiles(const Workspace& ws, const std::vector<std::string>& files) {
    std::vector<UnreadableFile> out;
    if (files.empty()) return out;
    auto own = std::make_unique<Workspace>();
    CopyRunSettings(ws, *own);
    // The settings step's questions take their safe answer and its notes
    // stay here: the open reports only what it leaves out.
    RecordingHost quiet;
    quiet.confirmAnswer = false;
    for (const std::string& file : files) {
        std::string problem;
        if (const std::string fileProblem = FileProblem(file); !fileProblem.empty()) {
            problem = file + " could not be read: " + fileProblem;
        } else {
            const ChainResult chain = RunReaderChain(*own, quiet, ReaderChain::Load, file);
            if (!chain.Read) problem = file + " could not be read" + (chain.Error.empty() ? "" : ": " + chain.Error);
        }
        if (!problem.empty()) out.push_back({file, problem});
    }
    return out;
}

std::string UnreadableFilesMessage(const std::vector<UnreadableFile>& files) {
    std::string text;
    for (const UnreadableFile& f : files) text += (text.empty() ? "" : "\n") + f.Problem;
    return text;
}

void RestartExtrema(Workspace& ws) {
    ws.ProfileMinTwoTheta = 90;
    ws.ProfileMaxTwoTheta = 0;
    ws.ProfileTopIntensity = 0;
    ws.ProfileMinIntensity = 10000;
    ws.SeriesMinTwoTheta = 90;
    ws.SeriesMaxTwoTheta = 0;
    ws.SeriesMinIntensity = 10000;
    ws.SeriesMaxIntensity = 0;
}

namespace {
bool LoadListEntry(Workspace& ws) {
    ws.SingleFileMode = 1;
    ws.FileToOpen = ws.FileList[ws.CurrentFileIndex];
    return !ws.FileToOpen.empty();
}
} // namespace

bool PrevFile(Workspace& ws) {
    if (ws.LastFileIndex == -1 || ws.FileList.empty()) return false;
    if (ws.CurrentFileIndex < 1) return false;
    if (ws.CurrentFileIndex > static_cast<int32_t>(ws.FileList.size())) return false;
    --ws.CurrentFileIndex;
    return LoadListEntry(ws);
}

bool NextFile(Workspace& ws) {
    if (ws.LastFileIndex == -1 || ws.FileList.empty()) return false;
    if (ws.CurrentFileIndex >= ws.LastFileIndex ||
        ws.CurrentFileIndex + 1 >= static_cast<int32_t>(ws.FileList.size()))
        return false;
    ++ws.CurrentFileIndex;
    return LoadListEntry(ws);
}

RunBatchAction RunBatchDecision(const Workspace& ws) {
    if (ws.LastFileIndex == -1 || ws.FileList.empty()) return RunBatchAction::Nothing;
    if (ws.ScriptLoaded) return RunBatchAction::RunScript;
    const TFSetup& s = ws.FSetup;
    const bool any = s.CBAdjustCenter || s.CBBackground || s.CBBackFrame || s.CB2ThScan || s.CBPsiScan ||
                     s.CB2ThScanPeaks || s.CBPsiScanPeaks || s.PSSPSummary || s.CBSectors;
    return any ? RunBatchAction::StartBatch : RunBatchAction::AskForAction;
}

void StopBatch(Workspace& ws, Host& host) {
    ws.BatchRunning = 0;
    ws.ScriptLoaded = 0;
    ws.Form20.EScript.clear();
    host.changed(View::Settings);
}

bool BrightnessStep(Workspace& ws, Host& host, int delta) {
    ReleaseEraser(ws);
    if (ws.LastFileIndex < 0) return false;
    const int position = ws.Form22.TrackBar1;
    if ((delta > 0 && position >= 99) || (delta < 0 && position <= 1)) return false;
    Form22TrackBar1Change(ws, host, position + delta);
    return true;
}

void ReleaseEraser(Workspace& ws) { ws.FrameTools.SBEraser = false; }

void SelectMouseTool(Workspace& ws, Host& host, MouseTool tool) {
    FrameToolState& t = ws.FrameTools;
    t.SBPoint = t.SBSelectRect = t.SBSelectAng = false;
    // A four-click sector starts over with the new tool.
    AbandonSectorClicks(ws, host);
    switch (tool) {
    case MouseTool::Point:
        t.SBPoint = true;
        t.SBEraser = false;
        host.changed(View::Frame);
        break;
    case MouseTool::SelectRect:
        t.SBSelectRect = true;
        t.SBEraser = false;
        ws.FMask.CBRectangle = true;
        break;
    case MouseTool::SelectAng:
        t.SBSelectAng = true;
        t.SBEraser = false;
        ws.FMask.CBRectangle = false;
        break;
    case MouseTool::Eraser:
        t.SBEraser = !t.SBEraser;
        break;
    }
    host.changed(View::Settings);
}

void SetEraserSize(Workspace& ws, int sizeButton) {
    static const int sizes[] = {1, 2, 4, 8};
    if (sizeButton >= 1 && sizeButton <= 4) ws.FrameTools.EraserSize = sizes[sizeButton - 1];
}

} // namespace orv
