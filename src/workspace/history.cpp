#include "workspace/history.h"

#include <algorithm>

#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// The entries that the list shows: FileList up to LastFileIndex.
size_t ListedFileCount(const Workspace& ws) {
    if (ws.LastFileIndex < 0) return 0;
    return std::min(ws.FileList.size(), static_cast<size_t>(ws.LastFileIndex) + 1);
}

} // namespace

int HistorySlotOfPicture(int picture) {
    if (picture < 1 || picture > HistoryPictures) return -1;
    return picture % HistoryPictures;
}

int HistoryPictureOfSlot(int slot) {
    if (slot < 0 || slot >= HistoryPictures) return -1;
    return slot == 0 ? HistoryPictures : slot;
}

bool HistoryPictureClick(Workspace& ws, int picture) {
    const int slot = HistorySlotOfPicture(picture);
    if (slot < 0 || !ws.SomethingOpened()) return false;
    const std::string& file = ws.HistoryFiles[static_cast<size_t>(slot)];
    // An empty slot leaves every flag alone: a pending reload flag would
    // turn the next batch run into a single-file load.
    if (file.empty()) return false;
    // The slot, not the picture number: the worker indexes its per-slot
    // tables with it.
    ws.HistorySlot = slot;
    ws.FileToOpen = file;
    ws.LoadFromHistory = 1;
    return true;
}

std::vector<std::string> FrameListNames(const Workspace& ws) {
    std::vector<std::string> names;
    const size_t count = ListedFileCount(ws);
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) names.push_back(FileNameOnly(ws.FileList[i]));
    return names;
}

bool FrameListClick(Workspace& ws, int entry) {
    if (!ws.SomethingOpened() || entry < 0 || static_cast<size_t>(entry) >= ListedFileCount(ws)) return false;
    const std::string& path = ws.FileList[static_cast<size_t>(entry)];
    if (path.empty()) return false;
    ws.SingleFileMode = 1;
    ws.CurrentFileIndex = entry;
    // The entry's own path: files dropped from several folders share one
    // FrameFolder, so folder + name could name another file.
    ws.FileToOpen = path;
    return true;
}

} // namespace orv
