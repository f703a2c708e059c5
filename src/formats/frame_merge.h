#pragma once
// File > Merge: frames that a flat detector recorded at several detector
// 2-theta positions, stitched into one wide frame so that one 2-theta scan
// covers the whole range. The frames are read through the merge chain and
// kept in memory, ordered from the largest detector 2-theta to the
// smallest, cut at the middle of each overlap and laid side by side; the
// column table records, for every merged column, the detector 2-theta and
// the column of the frame it came from (the merged-frame mapping reads it).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/reader.h"
#include "workspace/frame_types.h"

namespace orv {

class Host;
struct Workspace;

constexpr size_t MaxMergeFrames = 100;
// The widest merged frame the column table holds.
constexpr int32_t MaxMergedWidth = 24000;
// The rows searched each way for the row shift between neighbours.
constexpr int32_t MaxRowShift = 20;

// A frame read for the merge.
struct MergeSource {
    std::string Path;
    NewFrame Frame;
};

// Which columns of a frame are kept.
struct MergeCut {
    size_t Source = 0;      // index into the sources
    int32_t Left = 0, Right = 0;
};

struct MergePlan {
    std::vector<MergeCut> Cuts;   // in merge order: largest detector 2-theta first
    int32_t Width = 0;            // of the merged frame
    std::string Refusal;          // why the frames cannot be merged ("" when they can)
};

// Orders the frames by detector 2-theta, largest first (equal angles in the
// order read), and cuts every overlap at its middle, tan(gap / 2) x k pixels
// from the centre column, k = Distance / DSize x FrameWidth. The centre and
// distances are those of the last frame read. Refused when the frames'
// sizes differ, a cut falls outside the frame ("Frames do not overlap!") or
// the result would be wider than MaxMergedWidth.
MergePlan PlanMerge(const std::vector<MergeSource>& sources);

struct MergeResult {
    NewFrame Frame;                     // geometry of the last frame in merge order
    std::vector<MergeColumn> Table;     // rows 1..width (row 0 unused)
    std::vector<int32_t> RowShifts;     // one per joined pair, in merge order
};

// Lays the kept columns side by side (where the last kept column of a frame
// and the first of the next meet, the later frame's value stays) and finds
// the row shift at each join. Throws FrameReadError when the merged frame
// cannot be had.
MergeResult StitchFrames(const std::vector<MergeSource>& sources, const MergePlan& plan);

// The shift t in -MaxRowShift..MaxRowShift (rows) of column `column` + 1
// against column `column` that gives the largest sum of |I[column][y] x
// I[column + 1][y + t]| over the rows y = 21..height - 21 (masked pixels
// take no part); the first on ties, 0 when every sum is 0.
int32_t RowShift(const FramePlane<int32_t>& pixels, int32_t height, int32_t column);

// Merges frames already read: refusals are answered with a message and
// leave everything as it was. On success the merged frame is the current
// frame (merged-frame flag set, column table filled), the row shifts are put
// in front of the main window's script box, and the frame is mapped, shown
// and scanned. Returns whether the frame was merged.
bool MergeFrames(Workspace& ws, Host& host, std::vector<MergeSource> sources);

// Reads the files through the merge chain (at most MaxMergeFrames), naming
// and skipping the ones it cannot read, then merges the rest.
bool MergeFrameFiles(Workspace& ws, Host& host, const std::vector<std::string>& files);

// File > Merge: the open dialog (several files), then MergeFrameFiles.
// Cancelling changes nothing.
bool Merge1Click(Workspace& ws, Host& host);

} // namespace orv
