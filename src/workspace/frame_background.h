#pragma once
// Removal of a smooth 2-D background from the whole frame: every pixel loses
// the mean of the minima of the four quadrants of a window around it (a
// windowed minimum filter), and the worker that runs it from the menu.
//
// The filter works on the pixels as they are: masked pixels (-1) stay masked
// and take part in no minimum and no sum. A quadrant cut off by the frame's
// edge or holding only masked pixels is left out of the mean, so the edges
// are treated like the interior.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "base/frame_plane.h"
#include "workspace/host_worker.h"

namespace orv {

class Host;
struct Workspace;

// The half-width of the window the frame background is removed with.
constexpr int32_t FrameBackgroundHalfWidth = 5;

// What one removal took away, for the logbook.
struct BackgroundRemoval {
    int64_t PeakCounts = 0;         // the intensities left in the frame
    int64_t BackgroundCounts = 0;   // the amounts removed
};

// The background of every pixel [1..width][1..height] into `background`
// (resized to width x height): the quadrants of the window of half-width h
// around pixel (c, r) are columns c-h..c or c+1..c+h by rows r-h..r or
// r+1..r+h, cut to the frame; the background is the sum of the minima of
// the quadrants holding an unmasked pixel divided by their number (the
// quotient truncated). A pixel whose quadrants are all empty gets 0. The
// plane must hold width x height pixels; h >= 0.
void WindowMinimumBackground(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t h,
                             FramePlane<int32_t>& background);

// Every unmasked pixel loses b = min(background, intensity) (the result kept
// inside the 32-bit range); the sums are 64-bit.
BackgroundRemoval SubtractPixelBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height,
                                          const FramePlane<int32_t>& background);

// Both steps on the pixels in place.
BackgroundRemoval SubtractWindowMinimumBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height,
                                                  int32_t h);

// Logs "Background of Frame removed" and the two sums.
void LogBackgroundRemoval(Workspace& ws, Host& host, const BackgroundRemoval& removal);

// The batch's "2D Frame" step: the background of the frame just loaded is
// removed and logged (the pipeline then maps, bins and shows the frame).
void RemoveFrameBackgroundStep(Workspace& ws, Host& host);

// Fills ws.Batch.RemoveFrameBackground.
void SetUpFrameBackground(Workspace& ws);

// The background removal of the menu on a thread of its own. The window
// steps (progress, the frame's profile, redraw, scan, logbook) run on the
// main thread through host.sync; the minima are worked out meanwhile from a
// copy of the pixels, and the result is subtracted from the frame as it is
// then, so pixels masked meanwhile stay masked. The caller keeps other
// frame-changing jobs from starting until `onFinished` has run (on the main
// thread).
class T2DBackThread {
public:
    T2DBackThread(Workspace& ws, Host& host, std::function<void()> onFinished = {});
    ~T2DBackThread();
    T2DBackThread(const T2DBackThread&) = delete;
    T2DBackThread& operator=(const T2DBackThread&) = delete;

    bool Finished() const { return worker_.Finished(); }
    void Join() { worker_.Join(); }

    // The whole run on the calling thread (not the main thread's). Returns
    // whether the background was removed.
    static bool Execute(Workspace& ws, Host& host);

private:
    Workspace& ws_;
    Host& host_;
    std::function<void()> onFinished_;
    HostWorker worker_;   // last: joined before the rest goes
};

} // namespace orv
