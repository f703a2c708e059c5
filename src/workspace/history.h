#pragma once
// The History window's pictures and the frame list's entries: which file a
// click loads. The loading worker itself is started by the caller when these
// answer true.

#include <string>
#include <vector>

namespace orv {

struct Workspace;

constexpr int HistoryPictures = 10;

// Picture k (1..10) shows slot k mod 10: the tenth picture holds slot 0.
// -1 for a picture that does not exist.
int HistorySlotOfPicture(int picture);
// The picture (1..10) that shows slot s (0..9); -1 for a slot that does not exist.
int HistoryPictureOfSlot(int slot);

// A click on History picture k: reload the file of its slot into that slot.
// Nothing changes while nothing was opened or when the slot holds no file.
// Returns whether the loading worker is to be started.
bool HistoryPictureClick(Workspace& ws, int picture);

// The entries under "Files" in the frame list: the listed files' names
// without folder, in list order.
std::vector<std::string> FrameListNames(const Workspace& ws);

// A click on entry `entry` (0 = the first file below "Files"): load that
// file alone. Nothing changes while nothing was opened or for an entry that
// is not in the list. Returns whether the loading worker is to be started.
bool FrameListClick(Workspace& ws, int entry);

} // namespace orv
