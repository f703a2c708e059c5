#pragma once
// The loading and batch worker: loads one file or a whole list on its own
// thread and runs the per-frame pipeline (reader chain, edge filter, display
// maximum, geometry, mask and background, the 2-theta scan and the scan
// series, then the frame's script or the batch outputs). Every step that
// touches what the windows show runs on the main thread through host.sync.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "base/frame_plane.h"
#include "workspace/host_worker.h"

namespace orv {

class Host;
struct NewFrame;
struct Workspace;

// The display maximum of a frame: the largest intensity, brought down to ten
// times a running row mean when a few hot pixels dwarf the frame.
int32_t DisplayMaximum(const NewFrame& frame);
int32_t DisplayMaximum(const FramePlane<int32_t>& intensity, int32_t width, int32_t height);

// A batch run nobody watches leaves the display maximum of a frame that
// nothing changes until the frame is needed (DisplayMaximumOwed): this
// works it out of the current frame and shows it in Frame Info, as the run
// would have. Called before anything that may draw or change the frame.
void SettleDisplayMaximum(Workspace& ws, Host& host);

// Writes "<frame>.SEC": the 2-theta scans of 36 psi sectors of 10 degrees,
// one line per 2-theta point, 36 comma-separated whole numbers. The sector
// in force is put back afterwards. Returns the file name. Throws FileError.
std::string WriteSectorScans(Workspace& ws, Host& host);

class TBatchThread {
public:
    // Starts the run at once on its own thread; BatchRunning := 1.
    // `onFinished` runs on the main thread when the run has ended.
    TBatchThread(Workspace& ws, Host& host, std::function<void()> onFinished = {});
    ~TBatchThread();
    TBatchThread(const TBatchThread&) = delete;
    TBatchThread& operator=(const TBatchThread&) = delete;

    bool Finished() const { return worker_.Finished(); }
    // Frames read by the run so far.
    int FramesRead() const { return framesRead_; }
    void Join() { worker_.Join(); }

    // The whole run on the calling thread. Returns the number of frames read.
    static int Execute(Workspace& ws, Host& host);

private:
    Workspace& ws_;
    Host& host_;
    std::function<void()> onFinished_;
    std::atomic<int> framesRead_{0};
    HostWorker worker_;   // last: joined before the rest goes
};

} // namespace orv
