#include "polefig/pole_worker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/numbers.h"
#include "formats/mask_files.h"
#include "formats/reader.h"
#include "polefig/pole_files.h"
#include "polefig/pole_viewer.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/sector_reductions.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double PoleSliceWidth = 1.0;   // degrees of psi a slice
constexpr int MinPoleFrames = 6;         // a slice file of fewer lines makes no figure
const char* const FrameFilter = "All files (*.*)|*.*";

// The host of the worker's own workspace. Nothing but the worker touches
// that workspace, so its hand-overs run at once; its messages and questions
// go to the program's host, and none of it is on screen.
class PoleWorkHost : public Host {
public:
    explicit PoleWorkHost(Host& outer) : outer_(outer) {}
    void message(const std::string& text) override { outer_.message(text); }
    bool confirm(const std::string& text) override { return outer_.confirm(text); }
    void sync(const std::function<void()>& step) override { step(); }
    void changed(View) override {}
    bool unattended() const override { return outer_.unattended(); }

private:
    Host& outer_;
};

// What a frame brings to its geometry: while it stays the same from frame to
// frame (and the settings of the run cannot change), the series' mapping
// holds for the next frame as it is.
struct FrameHeader {
    int32_t Width = 0, Height = 0, Size = 0, PixelAspect = 1;
    double Landa = 0, TwoThetaD = 0, Distance = 0, DSize = 0, Xo = 0, Yo = 0;
    bool operator==(const FrameHeader&) const = default;
};

FrameHeader HeaderOf(const NewFrame& f) {
    return {f.FrameWidth, f.FrameHeight, f.FrameSize, f.PixelAspect, f.Landa, f.TwoThetaD, f.Distance, f.DSize, f.Xo, f.Yo};
}

void Swap(double& lo, double& hi) {
    if (lo > hi) std::swap(lo, hi);
}

} // namespace

void CopyRunSettings(const Workspace& from, Workspace& to) {
    to.Form32 = from.Form32;
    to.Form28 = from.Form28;
    to.Form19 = from.Form19;
    to.Form20 = from.Form20;
    to.Form23 = from.Form23;
    to.Form27 = from.Form27;
    to.FSetup = from.FSetup;
    to.SectorTwoTheta1 = from.SectorTwoTheta1;
    to.SectorTwoTheta2 = from.SectorTwoTheta2;
    to.FlatDetector = from.FlatDetector;
    to.PixelAspectSet = from.PixelAspectSet;
}

PoleWindows ReadPoleWindows(const TForm16& f) {
    PoleWindows w;
    w.Reflection1 = ParseNumber(f.Edit3);
    w.Reflection2 = ParseNumber(f.edit4);
    w.Background1 = ParseNumber(f.Edit6);
    w.Background2 = ParseNumber(f.Edit7);
    Swap(w.Reflection1, w.Reflection2);
    Swap(w.Background1, w.Background2);
    w.Subtract = f.CheckBox1;
    w.Ratio = f.cbratio;
    return w;
}

std::vector<int64_t> PoleSliceFields(const std::vector<int64_t>& reflection, const std::vector<int64_t>& background,
                                     const std::vector<int64_t>& reference, const PoleWindows& windows) {
    std::vector<int64_t> fields(reflection);
    for (size_t k = 0; k < fields.size(); ++k) {
        if (windows.Subtract) {
            const int64_t b = k < background.size() ? background[k] : 0;
            const int64_t r = k < reference.size() ? std::llabs(reference[k]) : 0;
            // A background that holds no counts cannot be scaled to the
            // reference: it is subtracted as it is.
            const double ratio = windows.Ratio && r >= 1 && b > 0 ? static_cast<double>(r) / static_cast<double>(b) : 1.0;
            fields[k] = RoundToInt64(static_cast<double>(fields[k] - b) * ratio);
        }
        fields[k] = std::max<int64_t>(fields[k], 0);
    }
    return fields;
}

PoleFrameSlices IntegratePoleSlices(const FrameStore& frame, int32_t width, int32_t height,
                                    const PoleWindows& windows, const std::vector<int64_t>& reference) {
    PoleFrameSlices s;
    s.Reflection = PsiSliceSums(frame, width, height, windows.Reflection1, windows.Reflection2, PoleSliceWidth);
    if (windows.Subtract)
        s.Background = PsiSliceSums(frame, width, height, windows.Background1, windows.Background2, PoleSliceWidth);
    s.Fields = PoleSliceFields(s.Reflection, s.Background, reference, windows);
    return s;
}

// ---- The window's commands -------------------------------------------------------

std::string PoleOutputPath(const TForm16& f) { return f.Edit1 + f.edit5 + ".slc"; }

void PoleFramesChosen(Workspace& ws, Host& host, const std::vector<std::string>& files) {
    if (files.empty()) return;
    TForm16& f = ws.Form16;
    f.Edit1 = FolderOf(files.front());
    f.Memo1.clear();
    for (const std::string& file : files) f.Memo1.push_back(FileNameOnly(file));
    f.Edit2 = std::to_string(files.size());
    host.changed(View::Settings);
}

void FilesClick(Workspace& ws, Host& host) { PoleFramesChosen(ws, host, host.askOpenFileNames(FrameFilter, true)); }

bool PoleGenerateAllowed(Workspace& ws, Host& host) {
    const TForm16& f = ws.Form16;
    if (f.edit5.find_first_not_of(' ') == std::string::npos) {
        host.message("Type a name for the slice file");
        return false;
    }
    const std::string path = PoleOutputPath(f);
    if (FileExists(path)) {
        host.message(FileNameOnly(path) + " already exists. Change output file name");
        return false;
    }
    if (ParseInteger(f.Edit2) < MinPoleFrames) {
        host.message("Select at least " + std::to_string(MinPoleFrames) + " frames: a pole figure needs them");
        return false;
    }
    // A run over an empty list would end without a word.
    if (std::none_of(f.Memo1.begin(), f.Memo1.end(),
                     [](const std::string& line) { return line.find_first_not_of(" \t\r") != std::string::npos; })) {
        host.message("No frames listed: SELECT FRAMES first");
        return false;
    }
    // Boxes that are not numbers are answered now, not after the run started.
    ReadPoleWindows(f);
    return true;
}

void Generate1Click(Workspace& ws, Host& host) {
    TForm16& f = ws.Form16;
    f.Edit3 = FormatNumber(ws.SectorTwoTheta1);
    f.edit4 = FormatNumber(ws.SectorTwoTheta2);
    // A second run cannot start beside one that goes on.
    f.Button1Enabled = !ws.PoleRunning;
    host.changed(View::Settings);
}

// ---- The worker -----------------------------------------------------------------

PoleRunResult TPoleThread::Execute(Workspace& ws, Host& host) {
    PoleRunResult result;
    ws.BatchRunning = 1;
    auto own = std::make_unique<Workspace>();
    PoleWorkHost ownHost(host);
    TForm16 form;
    std::vector<std::string> frames;
    // PoleWorkStart: the settings of the run, the working folder, the progress.
    host.sync([&] {
        form = ws.Form16;
        CopyRunSettings(ws, *own);
        for (const std::string& line : form.Memo1)
            if (line.find_first_not_of(" \t\r") != std::string::npos) frames.push_back(line);
        std::error_code ec;
        const std::string here = std::filesystem::current_path(ec).string();
        if (!ec) ws.FSetup.EWorkDir = ws.Form23.EWorDir = here;
        ws.Form20.ProgressBar1 = frames.empty() ? 0 : RoundToInt(0.1 * 100.0 / static_cast<double>(frames.size()));
        ws.Form16.ProgressBar1 = 0;
        host.changed(View::Settings);
        host.changed(View::Progress);
    });
    const int n = static_cast<int>(frames.size());
    result.Frames = n;
    auto tell = [&](const std::string& text) { host.message(text); };

    PoleWindows windows;
    MaskRecords mask;
    bool masked = false;
    try {
        windows = ReadPoleWindows(form);
        masked = own->FSetup.CBMask && HasExactExtension(own->FSetup.EMask, ".msk");
        if (masked) mask = ReadMaskFile(own->FSetup.EMask);
    } catch (const std::exception& e) {
        tell(e.what());
        return result;
    }
    const std::string path = PoleOutputPath(form);

    std::vector<int64_t> ReferenceBackground;   // the first frame's background; empty until it is summed
    std::optional<FrameHeader> mapped;          // the header the frame's geometry was mapped for
    // A frame whose 2-theta is scaled to its own maximum needs its own mapping.
    const bool perFrameTwoTheta = own->FSetup.Adjust2Theta;
    // The memory of each frame serves the next one.
    BeginFrameRecycling();
    struct ReleaseAtEnd {
        ~ReleaseAtEnd() { ReleaseRecycledFramePixels(); }
    } release;
    int processed = 0;   // frames taken in turn, read or not
    for (int PoleFrameIndex = 0; PoleFrameIndex < n; ++PoleFrameIndex, ++processed) {
        if (ws.BatchRunning == 0) {
            ws.BatchRunning = 1;
            result.Stopped = true;
            host.sync([&] {
                ws.LLog.Append("Pole figure generation stopped after " + std::to_string(PoleFrameIndex) + " of " +
                               std::to_string(n) + " frames");
                host.changed(View::Logbook);
            });
            break;
        }
        const std::string& name = frames[static_cast<size_t>(PoleFrameIndex)];
        const std::string CurrentFile = form.Edit1 + name;
        ChainResult read = RunReaderChain(*own, ownHost, ReaderChain::Pole, CurrentFile);
        const bool PoleFrameLoaded = read.Read;
        if (!PoleFrameLoaded) {
            std::string text = "Can not open this file format " + FileNameOnly(CurrentFile);
            if (!read.Error.empty() && read.Error.rfind("no reader recognises", 0) != 0) text += "\n" + read.Error;
            tell(text);
            continue;
        }
        const FrameHeader header = HeaderOf(read.Frame);
        const bool sameGeometry = mapped && *mapped == header && !perFrameTwoTheta && !read.Frame.DetectorSettings;
        InstallFrame(*own, std::move(read.Frame));
        const int32_t width = std::min(own->FrameWidth, own->FramePixels.width());
        const int32_t height = std::min(own->FrameHeight, own->FramePixels.height());
        if (masked) ApplyMask(own->FramePixels.Intensity, width, height, mask);
        host.sync([&] {
            ws.Form16.ProgressBar1 = RoundToInt((PoleFrameIndex + 0.7) * 100.0 / n);
            host.changed(View::Progress);
        });
        if (!sameGeometry || !own->FramePixels.HasGeometry()) {
            mapped.reset();
            try {
                // The settings cannot map this frame (the message said
                // why): the later frames of the series would fare no better.
                if (!ComputeFrameGeometry(*own, ownHost)) break;
            } catch (const ConversionError& e) {
                tell(e.what());
                break;
            }
            mapped = header;
        }
        const PoleFrameSlices SliceSums =
            IntegratePoleSlices(own->FramePixels, width, height, windows, ReferenceBackground);
        if (PoleFrameIndex == 0) ReferenceBackground = SliceSums.Background;
        const std::string line = SliceLine(FileNameOnly(CurrentFile), SliceSums.Fields);
        try {
            if (FileExists(path))
                AppendTextLine(path, line);
            else
                WriteTextLines(path, {SliceFileHeader(windows.Reflection1, windows.Reflection2, PoleSliceWidth), line});
        } catch (const FileError& e) {
            tell(e.what());
            break;
        }
        ++result.LinesWritten;
    }

    // Every frame was taken in turn: both bars say the run is done.
    if (!result.Stopped && processed == n)
        host.sync([&] {
            ws.Form16.ProgressBar1 = 100;
            ws.Form20.ProgressBar1 = 100;
            host.changed(View::Progress);
        });
    // PolePreview: the new file in the window's picture.
    if (form.CheckBox2 && result.LinesWritten > 0)
        host.sync([&] { result.Previewed = LoadPoleFigure(ws, host, PolePreviewSlot - 1, path); });
    return result;
}

TPoleThread::TPoleThread(Workspace& ws, Host& host, std::function<void()> onFinished)
    : ws_(ws), host_(host), onFinished_(std::move(onFinished)) {
    ws_.BatchRunning = 1;
    ws_.PoleRunning = true;
    ws_.Form16.Button1Enabled = false;
    worker_.Start(
        host_, [this] { Execute(ws_, host_); },
        [this](const std::string& reason) { host_.message("Pole figure generation stopped: " + reason); },
        [this] {
            ws_.PoleRunning = false;
            ws_.Form16.Button1Enabled = true;
            host_.changed(View::Settings);
            if (onFinished_) onFinished_();
        });
}

TPoleThread::~TPoleThread() = default;

} // namespace orv
