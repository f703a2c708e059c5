#include "workspace/main_commands.h"

#include "workspace/host.h"
#include "workspace/numbers.h"
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
    return true;
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

} // namespace orv
