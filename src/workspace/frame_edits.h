#pragma once
// Editing the pixels of the current frame: crop to the rectangle, mask by
// value, masks and background frames from files, multiply, add, smooth and
// transpose.
//
// The first part works on a plane alone (pixels [1..width][1..height] of a
// FramePlane), so other tools can use the same edits on planes of their own.
// The second part is the commands on the workspace's frame: each checks its
// input, changes nothing when it refuses (the message says why), and ends
// with the frame redrawn and the sector scanned again. The windows only ask
// for the values (input boxes, file dialogs) and call these.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "workspace/frame_types.h"
#include "workspace/host_worker.h"

namespace orv {

class Host;
struct Workspace;

// ---- Edits of a plane -------------------------------------------------------
//
// Masked pixels (-1) stay masked and take part in no value, count or mean;
// results are saturated into the 32-bit range.

enum class MaskSide { Above, Below };
// Masks every unmasked pixel with intensity > threshold (Above) or
// < threshold (Below). Returns how many pixels it masked.
int64_t MaskByValue(FramePlane<int32_t>& pixels, int32_t width, int32_t height, double threshold, MaskSide side);
// intensity := Round(factor x intensity) for every unmasked pixel.
void ScaleIntensities(FramePlane<int32_t>& pixels, int32_t width, int32_t height, float factor);
// intensity := intensity + value for every unmasked pixel.
void AddToIntensities(FramePlane<int32_t>& pixels, int32_t width, int32_t height, int64_t value);
// The largest intensity, masked pixels included (they are -1); `none` for an
// empty frame.
int32_t LargestIntensity(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t none);

// Columns x1..x2 and rows y1..y2 (inside the plane, in order) as a plane of
// their own: old (x1 + i - 1, y1 + j - 1) is new (i, j).
FramePlane<int32_t> CropPlane(const FramePlane<int32_t>& pixels, int32_t x1, int32_t x2, int32_t y1, int32_t y2);
// The transposed plane of height x width pixels: old (x, y) is new (y, x).
FramePlane<int32_t> TransposePlane(const FramePlane<int32_t>& pixels, int32_t width, int32_t height);

// The widest smoothing window, in pixels.
constexpr int32_t MaxSmoothingWidth = 20;
// Smooths with a Gaussian window of `windowWidth` (1..MaxSmoothingWidth):
// with a = width div 2 and r = (width + 1) div 2, each pixel (x, y) becomes
// the weighted mean over columns x - a .. x + r and rows y - a .. y + r
// inside the frame, weights exp(-((dx^2 + dy^2) / r^2)), rounded. Masked
// pixels stay masked and take no part in their neighbours' means. The
// weights are separable, so the window costs two passes of width + 1
// taps. Throws std::invalid_argument for a width outside 1..20.
void SmoothPlane(FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t windowWidth);

// ---- Commands on the current frame ------------------------------------------

// The Frame Info line after a value command: "W x H Max = M".
void ShowFrameSizeAndMaximum(Workspace& ws, Host& host);

// "Select Rectangle as Active Area": cuts the frame to the rectangle of the
// sector dialog (corners in any order, clamped into the frame). The centre
// moves with the pixels and a flat detector keeps its pixel size, so every
// kept pixel keeps its 2-theta. Refuses without a frame, without a
// rectangular sector, and for a rectangle wholly outside the frame.
bool CropFrame(Workspace& ws, Host& host);

// "Mask pixels above / below a value" with the typed threshold; an empty
// text does nothing. Returns whether pixels were looked at.
bool MaskPixelsByValue(Workspace& ws, Host& host, const std::string& text, MaskSide side);
// "Multiply by factor" (-10..10) and "Add constant" (-1000..1000) with the
// typed value; an empty text does nothing.
bool MultiplyFrame(Workspace& ws, Host& host, const std::string& text);
bool AddConstantToFrame(Workspace& ws, Host& host, const std::string& text);
// "Smooth Frame" with the typed window width (1..20).
bool SmoothFrame(Workspace& ws, Host& host, const std::string& text);

// "Load Mask" with the chosen file: masks its pixels and makes it the batch's
// mask (EMask, CBMask). A name not ending in ".msk" or a file that is not
// whole records is refused and changes nothing.
bool LoadMaskCommand(Workspace& ws, Host& host, const std::string& path);
// "Save Mask": every masked pixel into `path` (".msk" added when missing).
bool SaveMaskCommand(Workspace& ws, Host& host, const std::string& path);
// "Load Background": subtracts the background frame from the frame and makes
// it the batch's background (EBack, CBBack). A file of another size than the
// frame ("Wrong Background File!") or one that cannot be read changes
// nothing. Without a frame a readable file only becomes the batch's.
bool LoadBackgroundCommand(Workspace& ws, Host& host, const std::string& path);
// "Save As Background": the frame into `path` (".bck" added when missing).
bool SaveBackgroundCommand(Workspace& ws, Host& host, const std::string& path);

// ---- Transposition ("Rotate 90 deg") ----------------------------------------

// Why the frame cannot be transposed, or "" (no frame, a merged frame).
std::string TransposeRefusal(const Workspace& ws);
// Makes a transposed frame the current frame: the plane, the size, the
// centre's axes exchanged, then the geometry. Runs on the main thread.
void InstallTransposedFrame(Workspace& ws, Host& host, FramePlane<int32_t>&& transposed);

// The transposition worker: takes a copy of the frame on the main thread,
// transposes it on its own thread and hands the new frame back, with the
// progress bar at 10, 50, 80, 90 and 100. Does nothing without a frame.
class Rotate90 {
public:
    // Starts at once; `onFinished` runs on the main thread at the end.
    Rotate90(Workspace& ws, Host& host, std::function<void()> onFinished = {});
    ~Rotate90();
    Rotate90(const Rotate90&) = delete;
    Rotate90& operator=(const Rotate90&) = delete;
    bool Finished() const { return worker_.Finished(); }
    void Join() { worker_.Join(); }
    // The whole job on the calling thread; returns whether the frame turned.
    static bool Execute(Workspace& ws, Host& host);

private:
    Workspace& ws_;
    Host& host_;
    std::function<void()> onFinished_;
    HostWorker worker_;   // last: joined before the rest goes
};

} // namespace orv
