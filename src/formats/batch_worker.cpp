#include "formats/batch_worker.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "formats/mask_files.h"
#include "formats/reader.h"
#include "scans/series_windows.h"
#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "base/parallel.h"
#include "workspace/integration.h"
#include "workspace/run_report.h"
#include "workspace/scan_writers.h"
#include "workspace/script.h"
#include "workspace/sector_reductions.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// Frame Info's line of the frame's size and display maximum.
std::string FrameInfoLine(const Workspace& ws) {
    return std::to_string(ws.FrameWidth) + " x " + std::to_string(ws.FrameHeight) + " Max = " +
           std::to_string(ws.MaxIntensity);
}

void SetProgress(Workspace& ws, Host& host, int done, int files, double stage) {
    ws.Form20.ProgressBar1 = RoundToInt((done + stage) * 100.0 / std::max(files, 1));
    host.changed(View::Progress);
}

// The per-run state of the pipeline.
struct Run {
    Run(Workspace& w, Host& h) : ws(w), host(h) {}
    Workspace& ws;
    Host& host;
    int files = 0;
    int done = 0;
    bool ended = false;   // a step ended the whole run
    // The frame picture is drawn once a frame, with the sector when the
    // frame is scanned; until then it is owed. Nobody watches a run from
    // the command line: there the frame window draws it when it catches up,
    // and the last one is drawn at the end.
    enum class Picture { Drawn, Plain, Sector };
    Picture picture = Picture::Drawn;
    std::vector<std::string> refusedOutputs;   // outputs already reported as not made

    // An output that cannot be made is reported once per run and skipped,
    // so that the rest of the batch runs without anybody.
    void Refused(const std::string& output, const std::string& reason) {
        if (std::find(refusedOutputs.begin(), refusedOutputs.end(), output) != refusedOutputs.end()) return;
        refusedOutputs.push_back(output);
        ReportRunProblem(ws, host, RunProblem::Command, output + ": " + reason);
    }
    void Missing(const char* output) { Refused(output, "not available in this version"); }
    // Draws the picture owed (before a step that may draw on it, and when
    // the frame is not scanned).
    void DrawPicture() {
        if (picture == Picture::Plain) {
            RenderFrame(ws);
            host.changed(View::Frame);
        } else if (picture == Picture::Sector) {
            RedrawFrame(ws, host);
        }
        picture = Picture::Drawn;
    }
    // The frame is scanned: the picture with its sector.
    void DrawSectorPicture() {
        if (host.unattended()) {
            picture = Picture::Sector;
            ws.Form1.PicturePending = false;   // the frame window draws it when shown
            host.changed(View::Frame);
            return;
        }
        RedrawFrame(ws, host);
        picture = Picture::Drawn;
    }
    // Runs a step of another part when it is there.
    void Step(const std::function<void(Workspace&, Host&)>& hook, const char* output) {
        if (hook) hook(ws, host);
        else Missing(output);
    }
};

void BatchStart(Run& run) {
    Workspace& ws = run.ws;
    ws.FrameProfileShown = 0;
    ws.DSize = 0;
    std::error_code ec;
    const std::string here = std::filesystem::current_path(ec).string();
    if (!ec) ws.FSetup.EWorkDir = ws.Form23.EWorDir = here;
    ws.Form9.RChart1.ClearItems();
    ws.Form23.Panel2.clear();
    ws.Form23.Panel5.clear();
    ws.Form2.RChart1.ClearItems();
    ws.Form2.RChart1.ShowItems();
    ws.Form2.RChart2.ClearItems();
    ws.Form2.RChart2.ShowItems();
    ws.Form12.RChart2.ClearItems();
    ws.Form12.RChart2.ShowItems();
    run.host.changed(View::Settings);
    run.host.changed(View::FrameInfo);
    run.host.changed(View::Scan);
    SetProgress(ws, run.host, 0, run.files, 0.1);
}

void ShowLoadedFrame(Run& run) {
    Workspace& ws = run.ws;
    Host& host = run.host;
    ws.DisplayWidth = std::min(ws.DisplayWidth, ws.FrameSize);
    if (ws.FrameHeight > ws.FrameWidth && ws.ScreenHeight - 200 < ws.FrameHeight)
        ws.DisplayWidth = RoundToInt(static_cast<double>(ws.ScreenHeight - 200) * ws.FrameWidth / ws.FrameHeight);
    ws.DisplayWidth = std::max(ws.DisplayWidth, 1);
    if (!ws.LoadFromHistory) ws.HistorySlot = ws.FramesLoaded % 10;
    ws.HistoryFiles[ws.HistorySlot] = ws.CurrentFile;
    const std::string name = FileNameOnly(ws.CurrentFile);
    if (!ws.DisplayMaximumOwed) ws.Form23.Panel2 = FrameInfoLine(ws);
    ws.Form23.Panel5 = name;
    ws.Form1.Caption = name;
    // Clicks towards a four-click sector on the previous frame do not carry over.
    ws.FrameTools.SectorClicks = 0;
    run.picture = Run::Picture::Plain;
    host.changed(View::History);
    host.changed(View::FrameInfo);
    SetProgress(ws, host, run.done, run.files, 0.35);
    ws.LLog.Append(ws.CurrentFile + (ws.LoadFromHistory ? " Reload" : ""));
    host.changed(View::Logbook);
}

void ApplyMaskAndBackground(Run& run) {
    Workspace& ws = run.ws;
    const TFSetup& s = ws.FSetup;
    if (s.CBMask && HasExactExtension(s.EMask, ".msk")) {
        ApplyMask(ws.FramePixels.Intensity, ws.FrameWidth, ws.FrameHeight, ReadMaskFile(s.EMask));
        ws.LLog.Append("Mask Applied " + FileNameOnly(s.EMask));
    }
    if (s.CBBack && HasExactExtension(s.EBack, ".bck")) {
        const BackgroundFrame background = ReadBackgroundFile(s.EBack);
        if (!SubtractBackground(ws.FramePixels.Intensity, ws.FrameWidth, ws.FrameHeight, background)) {
            // Every later frame would fail the same way: the run ends here.
            if (!run.host.unattended()) run.host.message("Wrong Background File!");
            ReportRunProblem(ws, run.host, RunProblem::Frame, "Wrong Background File! " + FileNameOnly(s.EBack));
            run.ended = true;
            return;
        }
        ws.LLog.Append("Background substracted " + FileNameOnly(s.EBack));
    }
    run.host.changed(View::Logbook);
}

void PlotBatchScan(Run& run) {
    Workspace& ws = run.ws;
    Host& host = run.host;
    // The picture with the sector outline (the mask may have changed pixels).
    run.DrawSectorPicture();
    SetProgress(ws, host, run.done, run.files, 0.9);
    N2ThetaScan1Click(ws, host);

    if (!ws.LoadFromHistory) {
        ws.HistorySlot = ws.FramesLoaded % 10;
        AddScanToSeries(ws, host.unattended());
    }
    ws.FrameProfileShown = 1;
    host.changed(View::Scan);
}

void RunBatchOutputs(Run& run) {
    Workspace& ws = run.ws;
    Host& host = run.host;
    const TFSetup& s = ws.FSetup;
    const BatchHooks& hooks = ws.Batch;
    if (s.cbIntegrateSector) run.Step(hooks.IntegrateSector, "IntegrateSector and CalFWHM");
    if (s.CBBackground) run.Step(hooks.RemoveThetaBackground, "Background removal of the 2Theta scan");
    if (s.CB2ThScan) {
        const std::string name = WriteTwoThetaScan(ws, JoinPath(ws.OutputDir, FileNameOnly(ws.CurrentFile)),
                                                   ScanSource::Sector);
        ws.LLog.Append("2Theta scan saved to " + name);
    }
    if (s.CBSectors) WriteSectorScans(ws, host);
    if (s.CB2ThScanPeaks) {
        ws.FromThetaScan = 1;
        run.Step(hooks.FindThetaPeaks, "Peaks list in 2Theta Scan (*.tpk)");
        ws.FromThetaScan = 0;
    }
    // A psi scan the sector does not allow writes nothing: neither the file
    // nor the peaks of a psi scan left from another frame.
    const std::string psiRefusal = (s.CBPsiScan || s.CBPsiScanPeaks) ? PsiScanRefusal(ws) : std::string();
    bool psiDone = false;
    if (s.CBPsiScan) {
        if (!psiRefusal.empty()) {
            run.Refused("Psi Scan (*.pss)", psiRefusal);
        } else if (PsiScan1Click(ws, host)) {
            if (s.CBBackground) run.Step(hooks.RemovePsiBackground, "Background removal of the Psi scan");
            psiDone = true;
            ws.LLog.Append("Psi scan saved to " + WritePsiScanFile(ws));
        }
    }
    if (s.CBPsiScanPeaks) {
        if (!psiRefusal.empty()) {
            run.Refused("Peaks list in Psi Scan (*.ppk)", psiRefusal);
        } else {
            if (!psiDone && PsiScan1Click(ws, host) && s.CBBackground)
                run.Step(hooks.RemovePsiBackground, "Background removal of the Psi scan");
            ws.FromPsiScan = 1;
            run.Step(hooks.FindPsiPeaks, "Peaks list in Psi Scan (*.ppk)");
            ws.FromPsiScan = 0;
        }
    }
    // d-spacing and slices need the sector's 2-theta range.
    const std::string bandRefusal = SectorBandRefusal(ws);
    if (s.CBdspacing) {
        if (!hooks.CalculateDSpacing) {
            run.Missing("d-spacing (*.dsp)");
        } else if (!bandRefusal.empty()) {
            run.Refused("d-spacing (*.dsp)", bandRefusal);
        } else {
            hooks.CalculateDSpacing(ws, host);
            ws.LLog.Append("d-spacing saved to " + WriteDSpacingFile(ws));
        }
    }
    if (s.CBIntegrateslides && (ws.ListFileRead || !ws.SlicesIntegrated)) {
        if (hooks.WriteSectorSlices && !bandRefusal.empty())
            run.Refused("Integrate sector in slices (*.slc)", bandRefusal);
        else
            run.Step(hooks.WriteSectorSlices, "Integrate sector in slices (*.slc)");
    }
    host.changed(View::Logbook);
}

// One frame after it was read and installed.
void ProcessFrame(Run& run, const std::string& file) {
    Workspace& ws = run.ws;
    Host& host = run.host;
    auto steps = [&] {
        // Steps of other parts may draw on the frame's picture.
        if (ws.FSetup.CBBackFrame || ws.FSetup.CBAdjustCenter) run.DrawPicture();
        if (ws.FSetup.CBBackFrame) {
            run.Step(ws.Batch.RemoveFrameBackground, "2D Frame background removal");
            int32_t top = -10;
            for (int32_t x = 1; x <= ws.FrameWidth; ++x)
                for (int32_t y = 1; y <= ws.FrameHeight; ++y) top = std::max(top, ws.FramePixels.Intensity[x][y]);
            ws.MaxIntensity = top;
        }
        const bool mapped = ComputeFrameGeometry(ws, host);
        host.changed(View::Settings);
        SetProgress(ws, host, run.done, run.files, 0.7);
        // The settings cannot map this frame (the message said why): its
        // scan and outputs would belong to the previous geometry.
        if (!mapped) {
            ReportRunProblem(ws, host, RunProblem::Frame, file + ": no geometry for this frame; not processed");
            return;
        }
        if (ws.FSetup.CBAdjustCenter) run.Step(ws.Batch.AdjustCentre, "AdjustCenter");
        // A frame that may end up not scanned shows its pixels as read.
        const TFSetup& s = ws.FSetup;
        const bool masked = s.CBMask && HasExactExtension(s.EMask, ".msk");
        const bool background = s.CBBack && HasExactExtension(s.EBack, ".bck");
        if (background || (masked && !TwoThetaScanRefusal(ws).empty())) run.DrawPicture();
        ApplyMaskAndBackground(run);
        if (run.ended) return;
        // Without the frame's own scan, its script and outputs would save the
        // previous frame's scan under this frame's name.
        if (const std::string refusal = TwoThetaScanRefusal(ws); !refusal.empty()) {
            ++ws.FramesNotProcessed;
            run.Refused("2Theta scan", refusal + "; frames not processed");
            return;
        }
        // From here on the frame's steps change neither its pixels nor its
        // geometry (a script command that may says so first): a scan made
        // again of a sector is answered from the first.
        ws.FrameScans.Keep();
        PlotBatchScan(run);
        if (!ws.ScriptLoaded) {
            try {
                RunBatchOutputs(run);
            } catch (const std::exception& e) {
                ReportRunProblem(ws, host, RunProblem::Command, file + ": " + e.what());
            }
            return;
        }
        if (ws.ScriptFile.empty())
            ReportRunProblem(ws, host, RunProblem::Frame, file + ": no script for this frame");
        else if (std::string problem = TextFileProblem(ws.ScriptFile, "script"); !problem.empty())
            ReportRunProblem(ws, host, RunProblem::Frame, file + ": " + problem);
        else
            RunFrameScript(ws, host);
    };
    // The frame's steps in one hand-over to the main thread: the windows
    // catch up once a frame instead of between every two steps.
    host.sync([&] {
        // A frame that is not scanned is shown as it is.
        auto drawUnscanned = [&run] {
            if (run.picture == Run::Picture::Plain && !run.host.unattended()) run.DrawPicture();
        };
        try {
            steps();
        } catch (...) {
            ws.FrameScans.Forget();
            drawUnscanned();
            throw;
        }
        ws.FrameScans.Forget();
        drawUnscanned();
    });
}

} // namespace

int32_t DisplayMaximum(const NewFrame& frame) {
    return DisplayMaximum(frame.Intensity, frame.FrameWidth, frame.FrameHeight);
}

int32_t DisplayMaximum(const FramePlane<int32_t>& intensity, int32_t w, int32_t h) {
    if (w < 1 || h < 1 || !intensity.contains(w, h)) return -10;
    // Row sums and maxima, then the running value down the rows, a band of
    // rows at a time (a frame of few columns and many rows would otherwise
    // need a row table of its whole height). Sums of whole numbers in
    // double are exact, so any split among threads gives the same result.
    constexpr int32_t BandRows = 1 << 18;
    // The running value is divided by the width row after row, each row
    // waiting for the one before: for a width that is a power of two the
    // product with its reciprocal is the same number, and much quicker.
    const bool powerOfTwo = (w & (w - 1)) == 0;
    const double reciprocal = 1.0 / w;
    std::vector<double> rowSum;
    std::vector<int32_t> rowMax;
    int32_t maximum = -10;
    double v = 0;
    for (int32_t y0 = 1; y0 <= h; y0 += BandRows) {
        const int32_t y1 = std::min(h, y0 + BandRows - 1), rows = y1 - y0 + 1;
        rowSum.assign(static_cast<size_t>(rows), 0.0);
        rowMax.assign(static_cast<size_t>(rows), -10);
        const unsigned workers = ParallelWorkerCount(int64_t{w} * rows, int64_t{1} << 18);
        if (w >= static_cast<int32_t>(4 * workers)) {
            // Down the columns (the frame's memory order), in parallel over
            // columns, each worker into rows of its own.
            std::vector<std::vector<double>> sums(workers);
            std::vector<std::vector<int32_t>> maxima(workers);
            ParallelFor(1, w, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
                std::vector<double>& sum = sums[worker];
                std::vector<int32_t>& top = maxima[worker];
                if (sum.empty()) {
                    sum.assign(static_cast<size_t>(rows), 0.0);
                    top.assign(static_cast<size_t>(rows), -10);
                }
                for (int32_t x = lo; x <= hi; ++x) {
                    const int32_t* column = intensity[x] + y0;
                    for (int32_t r = 0; r < rows; ++r) {
                        const int32_t i = column[r];
                        if (i == MaskedIntensity) continue;   // a masked pixel carries no intensity
                        sum[r] += i;
                        top[r] = std::max(top[r], i);
                    }
                }
            });
            for (unsigned k = 0; k < workers; ++k) {
                if (sums[k].empty()) continue;
                for (int32_t r = 0; r < rows; ++r) {
                    rowSum[r] += sums[k][r];
                    rowMax[r] = std::max(rowMax[r], maxima[k][r]);
                }
            }
        } else {
            // Few columns: in parallel over rows, each worker its own rows.
            ParallelFor(0, rows - 1, workers, [&](unsigned, int32_t lo, int32_t hi) {
                for (int32_t x = 1; x <= w; ++x) {
                    const int32_t* column = intensity[x] + y0;
                    for (int32_t r = lo; r <= hi; ++r) {
                        const int32_t i = column[r];
                        if (i == MaskedIntensity) continue;
                        rowSum[r] += i;
                        rowMax[r] = std::max(rowMax[r], i);
                    }
                }
            });
        }
        for (int32_t r = 0; r < rows; ++r) {
            maximum = std::max(maximum, rowMax[r]);
            // The running value keeps a decaying share of earlier rows.
            v = powerOfTwo ? (v + rowSum[r]) * reciprocal : (v + rowSum[r]) / w;
            if (maximum > 50.0 * v && maximum > 100000) maximum = RoundToInt(10.0 * v);
        }
    }
    return maximum;
}

void SettleDisplayMaximum(Workspace& ws, Host& host) {
    if (!ws.DisplayMaximumOwed) return;
    ws.DisplayMaximumOwed = false;
    ws.MaxIntensity = DisplayMaximum(ws.FramePixels.Intensity, ws.FrameWidth, ws.FrameHeight);
    ws.Form23.Panel2 = FrameInfoLine(ws);
    host.changed(View::FrameInfo);
}

std::string WriteSectorScans(Workspace& ws, Host& host) {
    // 36 sectors of 10 degrees, both limits excluded, from one pass over the frame.
    std::vector<PsiSector> limits;
    for (int k = 1; k <= 36; ++k)
        limits.push_back(PsiSector{static_cast<float>((k - 1) * 10), static_cast<float>(k * 10)});
    std::vector<std::vector<float>> sectors;
    if (ws.FrameIsLoaded()) {
        try {
            sectors = SectorTwoThetaScans(ws, limits);
        } catch (const ConversionError& e) {
            host.message(e.what());
            return {};
        }
    } else {
        sectors.assign(36, {});
    }
    int32_t rows = 1;
    for (const auto& values : sectors)
        rows = std::max(rows, std::min(static_cast<int32_t>(values.size()) - 1, ProfileLength - 1));
    std::vector<std::string> lines;
    lines.reserve(rows + 1);
    for (int32_t r = 0; r <= rows; ++r) {
        std::string line;
        for (int k = 0; k < 36; ++k) {
            if (k) line += ',';
            const auto& values = sectors[k];
            line += std::to_string(r < static_cast<int32_t>(values.size()) ? RoundToInt64(values[r]) : 0);
        }
        lines.push_back(std::move(line));
    }
    const std::string name = ws.CurrentFile + ".SEC";
    RefuseFrameOverwrite(ws, name);
    WriteTextLines(name, lines);
    N2ThetaScan1Click(ws, host);
    ws.LLog.Append("Sector scans saved to " + name);
    return name;
}

int TBatchThread::Execute(Workspace& ws, Host& host) {
    Run run(ws, host);
    const bool single = ws.SingleFileMode || ws.LoadFromHistory;
    if (!single && ws.LastFileIndex == -1) return 0;
    run.files = single ? 1 : ws.LastFileIndex + 1;
    ws.BatchRunning = 1;
    int read = 0;
    if (run.files > 1) BeginFrameRecycling();
    struct ReleaseAtEnd {
        ~ReleaseAtEnd() { ReleaseRecycledFramePixels(); }
    } release;
    host.sync([&] { BatchStart(run); });
    for (int k = 0; k < run.files && !run.ended; ++k) {
        if (ws.BatchRunning == 0) {
            ws.BatchRunning = 1;
            break;
        }
        std::string file, scriptProblem;
        // Nobody watches a run from the command line: a frame that none of
        // its steps changes or draws before it is scanned gets its display
        // maximum only when something needs it (SettleDisplayMaximum).
        bool oweMaximum = false;
        host.sync([&] {
            const TFSetup& s = ws.FSetup;
            oweMaximum = host.unattended() && !s.CBBackFrame && !s.CBAdjustCenter &&
                         !(s.CBMask && HasExactExtension(s.EMask, ".msk")) &&
                         !(s.CBBack && HasExactExtension(s.EBack, ".bck"));
            if (single) {
                file = ws.FileToOpen;
            } else {
                file = k < static_cast<int>(ws.FileList.size()) ? ws.FileList[k] : std::string();
                if (ws.ScriptLoaded) scriptProblem = SelectFrameScript(ws, k);
            }
        });
        try {
            ws.FrameLoaded = 0;
            // Why this entry gives no frame, when it gives none.
            std::string problem;
            ChainResult chain;
            if (!scriptProblem.empty())
                problem = file + ": " + scriptProblem + "; not processed";
            else if (file.empty())
                problem = "List entry " + std::to_string(k + 1) + " names no file";
            else if (const std::string fileProblem = FileProblem(file); !fileProblem.empty())
                problem = file + " could not be read: " + fileProblem;
            else if (chain = RunReaderChain(ws, host, ReaderChain::Load, file); !chain.Read)
                problem = file + " could not be read" + (chain.Error.empty() ? "" : ": " + chain.Error);
            if (!problem.empty()) {
                // A frame the user opened on its own gets a box; a list goes on.
                host.sync([&] {
                    ReportRunProblem(ws, host, RunProblem::Frame, problem, single && !ws.LoadFromHistory);
                });
            } else {
                NewFrame& frame = chain.Frame;
                RemoveEdgeSpikes(frame.Intensity, frame.FrameWidth, frame.FrameHeight);
                const int32_t maximum = oweMaximum ? 0 : DisplayMaximum(frame);
                host.sync([&] {
                    InstallFrame(ws, std::move(frame));
                    ws.DisplayMaximumOwed = oweMaximum;
                    ws.FrameLoaded = 1;
                    ws.CurrentFile = file;
                    // Prev and Next go on from the frame shown.
                    if (!single) ws.CurrentFileIndex = k;
                    if (!oweMaximum) ws.MaxIntensity = maximum;
                    if (!ws.LoadFromHistory) ++ws.FramesLoaded;
                    ShowLoadedFrame(run);
                    ++read;
                    // Nobody waits for the windows in between: the frame's
                    // steps follow in the same hand-over.
                    if (host.unattended()) ProcessFrame(run, file);
                });
                if (!host.unattended()) ProcessFrame(run, file);
            }
        } catch (const std::exception& e) {
            host.sync([&] { ReportRunProblem(ws, host, RunProblem::Frame, file + ": " + e.what()); });
        }
        run.done = k + 1;
        host.sync([&] {
            ws.Form20.ProgressBar1 = run.files > 1 ? (run.done * 100) / run.files : 100;
            host.changed(View::Progress);
        });
    }
    // Nobody watched: the last frame's display maximum and picture come at
    // the end, the picture only when the program goes on (no script ended it).
    if (host.unattended())
        host.sync([&] {
            SettleDisplayMaximum(ws, host);
            SettleScanSeries(ws);
            if (run.picture != Run::Picture::Drawn && !ws.EndAsked) run.DrawPicture();
        });
    return read;
}

TBatchThread::TBatchThread(Workspace& ws, Host& host, std::function<void()> onFinished)
    : ws_(ws), host_(host), onFinished_(std::move(onFinished)) {
    ws_.BatchRunning = 1;
    worker_.Start(
        host_, [this] { framesRead_ = Execute(ws_, host_); },
        [this](const std::string& reason) {
            ReportRunProblem(ws_, host_, RunProblem::Frame, "Loading stopped: " + reason);
        },
        [this] {
            ws_.LoadFromHistory = 0;
            ws_.SingleFileMode = 0;
            if (onFinished_) onFinished_();
        });
}

TBatchThread::~TBatchThread() = default;

} // namespace orv
