#pragma once
// Frame arithmetic: the frame on screen combined, pixel by pixel, with one
// or more frame files read through the arithmetic reader chain. The worker
// keeps the running result in memory and shows it at the end; the result
// has the size and geometry of the last file read.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "workspace/frame_types.h"
#include "workspace/host_worker.h"

namespace orv {

class Host;
struct Workspace;

enum class FrameOperation : uint8_t { Add = 1, Subtract = 2, Multiply = 3, Divide = 4 };

// result := result (op) other over pixels [1..width][1..height], in 64 bits
// and saturated into 32:
//   Add b + a, Subtract a - b, Multiply a x b: masked when either pixel is;
//   Divide a / b truncated when b > 0, else a (a zero or masked divisor
//   leaves the value); a masked result pixel stays masked.
void CombineFrames(FramePlane<int32_t>& result, const FramePlane<int32_t>& other, int32_t width, int32_t height,
                   FrameOperation op);

// Why the arithmetic cannot start ("Need a file to add first!"), or "".
std::string FrameMathRefusal(const Workspace& ws);

// The logbook's words after a file: " frame added", " frame substracted", ...
const char* FrameMathStepText(FrameOperation op);

// What a run did.
struct FrameMathRun {
    int Combined = 0;       // files combined into the result
    bool Completed = false; // every file was combined
};

class TMathThread {
public:
    // Starts the run over `files` at once on its own thread; BatchRunning := 1.
    // `onFinished` runs on the main thread when the run has ended.
    TMathThread(Workspace& ws, Host& host, FrameOperation op, std::vector<std::string> files,
                std::function<void()> onFinished = {});
    ~TMathThread();
    TMathThread(const TMathThread&) = delete;
    TMathThread& operator=(const TMathThread&) = delete;
    bool Finished() const { return worker_.Finished(); }
    void Join() { worker_.Join(); }

    // The whole run on the calling thread. Each file is read and checked
    // (a file no reader accepts, or of another width or height, ends the run
    // with a message naming it); Stop (BatchRunning 0) ends it before the
    // next file. The files combined so far become the current frame.
    static FrameMathRun Execute(Workspace& ws, Host& host, FrameOperation op, const std::vector<std::string>& files);

private:
    Workspace& ws_;
    Host& host_;
    FrameOperation op_;
    std::vector<std::string> files_;
    std::function<void()> onFinished_;
    HostWorker worker_;   // last: joined before the rest goes
};

} // namespace orv
