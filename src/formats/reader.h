#pragma once
// The frame reader protocol: a reader recognises its format, builds a
// complete new frame with its geometry, and hands it back; the caller swaps
// it into the workspace only when the read succeeded, so a failed or refused
// read leaves the current frame exactly as it was.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/frame_types.h"
#include "workspace/records.h"

namespace orv {

class Host;
struct Workspace;

// The four users of the readers, each with its own chain.
enum class ReaderChain { Load, Pole, Arithmetic, Merge };

// A file that claims to be of a format but cannot be read as it (truncated,
// inconsistent sizes, a header field that does not convert). Ends the chain
// for that file: the file is unreadable.
class FrameReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The Frame Info boxes that a reader without the settings step writes itself.
struct FrameInfoTexts {
    std::string EXo, EYo, E2ThetaD, EWaveLen, EDistancemm, EDSizemm;
};

// The Detector Settings boxes a reader without the settings step fills from
// its file (ReadPANalyticalFrame), as the texts the boxes show.
struct DetectorSettingsTexts {
    std::string EXoM, EYoM, ERadius, ELanda, ELength, EHeight, EPixSize;
    bool SetFileGeometry = false;   // the file's geometry, a cylindrical detector
};

// A complete frame read from a file.
struct NewFrame {
    // The intensities, (FrameWidth + 2) x (FrameHeight + 2) cells, indexed
    // [column][row] from 1; readers decode straight into it.
    FramePlane<int32_t> Intensity;
    int32_t FrameWidth = 0;
    int32_t FrameHeight = 0;
    int32_t FrameSize = 0;             // max(FrameWidth, FrameHeight)
    double Landa = 0, TwoThetaD = 0, Distance = 0, DSize = 0, Xo = 0, Yo = 0;
    int32_t PixelAspect = 1;           // rows already repeated this many times
    bool RunsSettingsStep = true;      // false: the reader wrote Frame Info itself
    std::optional<FrameInfoTexts> FrameInfo;
    std::optional<int32_t> MaxIntensity;  // when the format states it
    std::string ReaderName;            // which reader read it
    // Boxes the reader sets with its frame: ELength and EHeight always, the
    // others only with SetFileGeometry (see ApplyReaderSettings).
    std::optional<DetectorSettingsTexts> DetectorSettings;
    std::optional<uint8_t> PixelAspectSet;  // readers of non-square pixels
};

// What a reader sees: the chain it runs in, the file's bytes (read once for
// the whole chain) and the settings it may read. The records are a snapshot
// taken when the chain started.
struct ReaderContext {
    ReaderChain Chain = ReaderChain::Load;
    std::string_view Bytes;
    TForm32 Form32;
    TFSetup FSetup;
    TForm20 Form20;
};

enum class ReadOutcome {
    NotMine,   // the signature, extension or size test failed: try the next reader
    Read,      // `frame` holds the complete frame
};

// A reader: tests the file and, when it is its format, fills `frame`.
// Throws FrameReadError when the file is of its format but unreadable.
using ReaderFunction = ReadOutcome (*)(const ReaderContext& context, const std::string& path,
                                       NewFrame& frame);

struct ChainEntry {
    const char* Name;
    ReaderFunction Function;   // nullptr while the reader is not part of the program
    bool CustomFileOnly;       // tried only when "CustomFile" is ticked
    bool TriedAlways;          // tried even after an earlier reader read the file
};

// The ordered readers of a chain.
const std::vector<ChainEntry>& ChainReaders(ReaderChain chain);

// The largest frame any reader accepts (pixels), checked before allocating.
constexpr int64_t MaxFramePixels = 12000LL * 12000LL;
// The largest file a frame can come in: the keyword-record frames are the
// widest encoding, 4-byte pixels each with a 16-byte entry in the overflow
// table (comma-separated text needs at most 11 bytes a pixel), plus room for
// any header. A larger file is refused before it is read.
constexpr uint64_t MaxFrameFileBytes = static_cast<uint64_t>(MaxFramePixels) * 20 + (uint64_t{1} << 20);
// Gives the frame room for its intensities (+ border) after checking the
// size: the pixels are left for the reader to write, every one of them (a
// reader that may leave some unwritten fills the plane first); the border
// holds 0. Throws FrameReadError for a size that is zero, negative or too
// large, or when no memory can be had.
void AllocateFrame(NewFrame& frame, int64_t width, int64_t height);

struct ChainResult {
    bool Read = false;
    NewFrame Frame;
    std::string Error;   // why the file could not be read, when it could not
};

// Runs the readers of `chain` on `path` and the settings step of each reader
// that needs one (on the main thread through host.sync). Nothing in the
// workspace's frame changes; the settings step writes the Frame Info and the
// repaired settings boxes, as it does in every chain. The file is read once,
// whole (FileBytes: regular files only, at most MaxFrameFileBytes); a file
// that cannot be read gives Error naming it.
ChainResult RunReaderChain(Workspace& ws, Host& host, ReaderChain chain, const std::string& path);

// A run of many frames keeps the memory of the frame it replaces (and of the
// file bytes it read) for the next read of the same size, which then needs
// no fresh pages; the run releases it when it ends.
void BeginFrameRecycling();
void RecycleFramePixels(FramePlane<int32_t>&& pixels);
void ReleaseRecycledFramePixels();

// Makes a frame read by a chain the current frame (pixels, size, geometry,
// Frame Info texts of readers that write them). The geometry planes stay
// while they fit the new frame's size (the next geometry step reuses them
// when nothing changed) and are dropped otherwise.
void InstallFrame(Workspace& ws, NewFrame&& frame);

// The settings step: the Detector Settings overrides and the range repairs.
// Variant A serves the load worker and the merge (`merge` skips the size
// message), variant B the pole and arithmetic workers. Returns false when
// variant B refuses the frame's size.
bool ApplyDetectorOverrides(Workspace& ws, Host& host, NewFrame& frame, ReaderChain chain);

// Writes what a reader without the settings step sets besides Frame Info:
// its Detector Settings boxes (and the detector shape) and the pixel-aspect
// flag. Part of installing such a frame; does nothing for other readers.
void ApplyReaderSettings(Workspace& ws, const NewFrame& frame);

// Smooths single hot pixels at the left and right edges of every row.
void RemoveEdgeSpikes(FramePlane<int32_t>& pixels, int32_t width, int32_t height);
void RemoveEdgeSpikes(Workspace& ws);

} // namespace orv
