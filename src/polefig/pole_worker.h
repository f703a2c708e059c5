#pragma once
// The pole-figure generator ("PoleFigure Generator", TForm16) and its worker
// TPoleThread: a series of frames taken at successive phi rotations of the
// sample becomes a slice file (".slc", pole_files.h). For every frame the
// worker reads the file through the pole reader chain, applies the batch
// mask, maps the pixels, sums the intensities of the reflection's 2-theta
// window into 1-degree psi slices (and, with "Apply", subtracts those of the
// background window, scaled to the first frame's with "Ratio"), and appends
// the frame's line. At the end it can draw the file into the window's
// preview.
//
// The worker reads, maps and sums a frame of its own, with a snapshot of the
// settings taken when the run starts: the frame on screen, the file list
// and the settings windows stay as they are. Its slices are those of the
// batch slice writer (sector_reductions.h): strict 2-theta limits, masked
// pixels left out, psi from 359.5 degrees on in slice 0, 64-bit sums.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "workspace/host_worker.h"

namespace orv {

class FrameStore;
class Host;
struct TForm16;
struct Workspace;

// Copies what the reader chains, their settings step and the geometry read
// (the settings windows' records and the detector flags), so that frames can
// be read on a workspace of their own as the current settings would read them.
void CopyRunSettings(const Workspace& from, Workspace& to);

// The windows and choices of a run, read from the generator's boxes.
struct PoleWindows {
    double Reflection1 = 10, Reflection2 = 11;   // strict 2-theta limits, degrees
    double Background1 = 10, Background2 = 11;
    bool Subtract = false;   // "Apply"
    bool Ratio = false;      // "Ratio"
};

// Edit3, edit4 (reflection), Edit6, Edit7 (background), "Apply" and "Ratio".
// A window typed with its ends the wrong way round is swapped. Throws
// ConversionError when a box is not a number.
PoleWindows ReadPoleWindows(const TForm16& f);

// One frame's slices: index k holds psi k degrees.
struct PoleFrameSlices {
    std::vector<int64_t> Reflection;   // the reflection window's sums
    std::vector<int64_t> Background;   // the background window's; empty without "Apply"
    std::vector<int64_t> Fields;       // what the frame's line holds
};

// The fields of a frame's line from its sums: with "Apply" each slice
// becomes Round((reflection - background) x ratio), the ratio being
// |reference| / background when "Ratio" is ticked and both |reference| >= 1
// and background > 0, else 1; then a negative field becomes 0. `reference`
// is the first frame's background sums (empty: none).
std::vector<int64_t> PoleSliceFields(const std::vector<int64_t>& reflection, const std::vector<int64_t>& background,
                                     const std::vector<int64_t>& reference, const PoleWindows& windows);

// The slices of pixels [1..width][1..height] of a mapped frame.
PoleFrameSlices IntegratePoleSlices(const FrameStore& frame, int32_t width, int32_t height,
                                    const PoleWindows& windows, const std::vector<int64_t>& reference);

// ---- The window's commands -------------------------------------------------------

// The slice file of a run: Edit1 + edit5 + ".slc".
std::string PoleOutputPath(const TForm16& f);
// "SELECT FRAMES" with the chosen files: their folder (of the first file)
// into Edit1, their names into Memo1 in the order given, their number into
// Edit2. Nothing chosen changes nothing.
void PoleFramesChosen(Workspace& ws, Host& host, const std::vector<std::string>& files);
// "SELECT FRAMES": the dialog, then PoleFramesChosen.
void FilesClick(Workspace& ws, Host& host);
// "Generate": whether a run may start. An existing output file is refused
// with "NAME already exists. Change output file name"; five frames or fewer
// (Edit2) and an empty frame list are refused with a message. Throws ConversionError when Edit2
// is not a whole number or a window's box is not a number.
bool PoleGenerateAllowed(Workspace& ws, Host& host);
// The viewer's File > Make PoleFigure (and the main window's "New Pole
// Figure"): the reflection window from the sector's 2-theta limits, and
// "Generate" enabled unless a run goes on.
void Generate1Click(Workspace& ws, Host& host);

// What a run did.
struct PoleRunResult {
    int Frames = 0;          // frames in the list
    int LinesWritten = 0;    // lines appended to the slice file
    bool Stopped = false;    // Stop ended it before its last frame
    bool Previewed = false;  // the file was drawn into the preview
};

class TPoleThread {
public:
    // Starts the run at once on its own thread; BatchRunning := 1 and
    // "Generate" is disabled. `onFinished` runs on the main thread when the
    // run has ended, after "Generate" was enabled again.
    TPoleThread(Workspace& ws, Host& host, std::function<void()> onFinished = {});
    ~TPoleThread();
    TPoleThread(const TPoleThread&) = delete;
    TPoleThread& operator=(const TPoleThread&) = delete;
    bool Finished() const { return worker_.Finished(); }
    void Join() { worker_.Join(); }

    // The whole run on the calling thread (the window's steps go through
    // host.sync). Stop (BatchRunning 0) ends it before the next frame; a
    // frame no reader accepts is reported and skipped; a box that is not a
    // number, an unreadable mask, settings that cannot map a frame or a
    // slice file that cannot be written end it with a message.
    static PoleRunResult Execute(Workspace& ws, Host& host);

private:
    Workspace& ws_;
    Host& host_;
    std::function<void()> onFinished_;
    HostWorker worker_;   // last: joined before the rest goes
};

} // namespace orv
