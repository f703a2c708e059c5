#pragma once
// All program-wide state lives here, under the names the whole program uses
// for it. The program creates one Workspace; tests create their own.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chart/curve_fit.h"
#include "polefig/pole_grid.h"
#include "polefig/pole_viewer.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "scans/line_scan_tool.h"
#include "scans/series_windows.h"
#include "workspace/frame_display.h"
#include "workspace/frame_types.h"
#include "workspace/integration.h"
#include "workspace/logbook.h"
#include "workspace/records.h"
#include "workspace/spot_finder.h"
#include "workspace/sector_reductions.h"

namespace orv {

class Host;
struct Workspace;

// ---- Scans ---------------------------------------------------------------
constexpr int PsiScanLength = 7209;     // psi bins 0..7208 (360 / 0.05 = 7200 at the finest step)

// Steps that the scans and the script interpreter start but that live in
// other parts of the program. Each is filled by the part that builds it;
// while one is empty the script command logs that it is not available.
struct ScanHooks {
    // FINDCENT: the centre search of the "Find pattern center" window on the
    // method and boxes now in Form27 (the centre command). `typedCentre`: use
    // EXoM, EYoM as they stand (the window's "Set" behaviour, method "0").
    // Answers why no centre was set ("" when one was); the reason was not
    // shown yet.
    std::function<std::string(Workspace&, Host&, bool typedCentre)> FindCentre;
    // FITTOSTD: shows the pattern list and selects the first pattern whose
    // list text, in lower case, begins with `name` in lower case (trailing
    // blanks of `name` not compared: SelectStandardByName). Returns false,
    // selecting nothing, when no pattern matches.
    std::function<bool(Workspace&, Host&, const std::string& name)> SelectStandard;
    // FITTOSTD, with the standard selected and Form41Fit's boxes set: the
    // 2-theta scan window's "AA" when `autoAdjust`, then its "Fit", then
    // `rounds` times the fit tool's "Start" followed by "Apply". Returns
    // false when a step failed (it said why); the script then stops.
    std::function<bool(Workspace&, Host&, bool autoAdjust, int rounds)> FitToStandard;
    // After a 2-theta scan is shown: the selected reference pattern's lines
    // over the scan, when the pattern list is visible.
    std::function<void(Workspace&, Host&)> DrawStandardOverlay;
    // While the line-scan window is visible: the standard's lines over its
    // chart (DrawStandardLinesOnLineScan) and its name in the window's PName.
    std::function<void(Workspace&, int32_t pattern, double scale, double shift)> DrawStandardOnLineScan;
};

// Per-frame steps of a batch run that live in other parts of the program,
// each filled by the part that builds it; while one is empty the run logs
// once that the output is not available.
struct BatchHooks {
    std::function<void(Workspace&, Host&)> AdjustCentre;           // "AdjustCenter": automatic centre search
    std::function<void(Workspace&, Host&)> RemoveFrameBackground;  // "2D Frame" background removal
    std::function<void(Workspace&, Host&)> IntegrateSector;        // "IntegrateSector and" CalFWHM
    std::function<void(Workspace&, Host&)> RemoveThetaBackground;  // "Line Scans": 2-theta scan background
    std::function<void(Workspace&, Host&)> FindThetaPeaks;         // ".tpk" peak list
    std::function<void(Workspace&, Host&)> RemovePsiBackground;    // "Line Scans": psi scan background
    std::function<void(Workspace&, Host&)> FindPsiPeaks;           // ".ppk" peak list
    std::function<void(Workspace&, Host&)> CalculateDSpacing;      // d-spacing against psi
    std::function<void(Workspace&, Host&)> WriteSectorSlices;      // ".slc" slices
};

struct Workspace {
    Workspace();

    // ---- The current frame and its detector geometry -------------------
    FrameStore FramePixels;          // intensities and geometry planes, [column][row] from 1
    FrameGeometryCache GeometryCache;   // the last geometry, reused while its key holds
    int32_t FrameWidth = 0;
    int32_t FrameHeight = 0;
    int32_t FrameSize = 0;           // the size in pixels that DSize spans; 0 = no frame
    double Landa = 0.7090;           // wavelength, angstrom
    double TwoThetaD = 0;            // detector 2-theta incl. the offset, degrees
    double Distance = 61.54;         // sample to detector, mm (cylinder: radius)
    double DSize = 61.0;             // detector size, mm
    double Xo = 256, Yo = 256;       // direct-beam centre, pixels
    uint8_t FlatDetector = 1;
    uint8_t MergedFrame = 0;
    int32_t PixelAspect = 1;         // row repeat factor 1..8
    uint8_t PixelAspectSet = 0;
    double PixelSize = 0;            // mm per pixel (curved detectors)
    double DistancePixels = 0;       // curved detector radius in pixels
    float DegreesPerPixel = 0;
    float FlatDistancePixels = 0;    // sample to detector in pixels (flat)
    float MinTwoTheta = 90;          // 2-theta of bin 0
    float MaxTwoTheta = 0;
    float LargestTwoTheta = 0;       // the largest pixel 2-theta of the last geometry run
    uint8_t SlitDetector = 0;        // the slit flag of the last geometry run
    float TwoThetaStep = 0.1f;
    float PsiStep = 0.5f;
    int32_t ScanPoints = 0;
    std::vector<MergeColumn> MergeColumnTable;  // per merged column from 1

    // ---- Profiles -------------------------------------------------------
    ProfileRow FrameProfile;
    ProfileRow FrameProfileCopy;
    ProfileRow SectorScan;
    ProfileRow SectorScanBackup;
    std::vector<RingRecord> RingProfile;     // 0..5000
    float ProfileMaxIntensity = 1;
    float ProfileMinIntensity = 10000;
    float ProfileMaxTwoTheta = 0;
    float ProfileMinTwoTheta = 90;
    int32_t ProfileMaxIndex = 0;
    float ProfileTopIntensity = 0;

    // ---- The sector -------------------------------------------------------
    float SectorTwoTheta1 = 0, SectorTwoTheta2 = 45;
    float SectorPsi1 = 0, SectorPsi2 = 360;
    uint8_t RectangularSector = 0;
    std::array<int32_t, 4> CropRect{1, 512, 1, 512};   // x1, x2, y1, y2
    uint8_t ShowScanResults = 1;

    // ---- Scans ----------------------------------------------------------
    // The number of the last bin of SectorScan in use. The sector scan may
    // end before ScanPoints (too few pixels near the largest 2-theta), so it
    // keeps its own length and never shortens the frame's bin count.
    int32_t SectorScanPoints = 0;
    float ScanMinIntensity = 100000;     // extrema of the finished scan inside the 2-theta limits
    float ScanMaxIntensity = 0;
    uint8_t ScanBackgroundRemoved = 0;
    // The scans of the current frame while a batch step keeps them (see
    // KeptScans): a scan asked for again is not made again.
    KeptScans FrameScans;
    std::vector<float> PsiScanData = std::vector<float>(PsiScanLength);    // bin k at psi k x PsiStep
    std::vector<float> PsiScanBackup = std::vector<float>(PsiScanLength);
    // d-spacing against psi and line scans (sector_reductions.h).
    std::vector<ProfileRow> PsiProfiles;     // rows 0..71, bins 0..ScanPoints; empty until calculated
    DSpacingTable DSpacingData;
    std::vector<double> LineScanData = std::vector<double>(ProfileLength);   // from 1
    uint8_t LineScanAlongX = 0, LineScanAlongY = 0;
    int32_t LineScanIndex = 0;           // the row (along X) or column (along Y) scanned
    int32_t LineScanWidth = 1;           // rows (columns) summed on each side
    double LineMark1 = 1, LineMark2 = 512;   // the marked range along the line, pixels
    TForm34 Form34;                      // "X Line scan" (scans/line_scan_tool.h)
    uint8_t FromThetaScan = 0;           // requester flags: which scan window asked
    uint8_t FromPsiScan = 0;
    // Whether a script stopped on an error during this run (the program then
    // ends with a non-zero status).
    uint8_t ScriptFailed = 0;
    ScanHooks Hooks;
    BatchHooks Batch;
    // The scan windows' marks, ranges and report state.
    int32_t PeakCount = 0;               // peaks of the last 2-theta search, or the last hand mark's number
    int32_t RangeClickCount = 0;         // clicks made of a two-click 2-theta range, 0 or 1
    double RangeFirstClick = 0;
    double MarkedTwoTheta1 = 0, MarkedTwoTheta2 = 0;
    int32_t MarkIndex = 0;               // the scan point of the last "Mark At"
    uint8_t MarkSet = 0;
    uint8_t ChartClicked = 0;
    uint8_t ViewIntegrate = 0;           // peak reports also draw each peak's points
    int32_t PsiMarkCount = 0;
    int32_t ChartRangeClickCount = 0;    // clicks made of a two-click psi range, 0 or 1
    double PsiRangeFirstClick = 0;
    double PsiZoom1 = 0, PsiZoom2 = 0;
    uint8_t PsiChartClicked = 0;
    std::string IntensitiesFile;         // "intensities.out" of this run, made at start-up
    TForm2 Form2;
    TForm12 Form12;
    TForm13 Form13;
    TForm41Fit Form41Fit;

    // ---- Display ----------------------------------------------------------
    int32_t MaxIntensity = 0;
    // A run nobody watches leaves a frame's display maximum (and the Frame
    // Info line that shows it) for when something needs it: SettleDisplayMaximum.
    bool DisplayMaximumOwed = false;
    int32_t Brightness = 800;
    int32_t DisplayWidth = 1024;

    // ---- Frame window ---------------------------------------------------------
    std::vector<uint32_t> Palette = MakePalette();           // 0x00BBGGRR, entries 0..4000
    std::vector<uint32_t> PaletteBackup = MakePaletteRamp(); // the base ramp in 0..765
    TForm1 Form1;                  // the frame pictures
    TForm21 Form21;                // "Zoom"
    TForm22 Form22;                // "Adjust Brightness"
    TForm36 Form36;                // "Find reflections tool" and the spots it found
    FrameToolState FrameTools;     // mouse tools, keys held, four-click state
    // Ring points picked for the circle fit of the centre search.
    TCurveFit CurveFit1;
    std::array<CentrePoint, MaxCentrePoints + 1> CentrePoints{};
    int32_t CentrePointCount = 0;

    // ---- Files, lists and scripts ---------------------------------------
    std::vector<std::string> FileList;
    std::vector<std::string> ScriptList;
    int32_t LastFileIndex = -1;
    int32_t CurrentFileIndex = 0;
    std::string FileToOpen;
    std::string CurrentFile;
    std::string ScriptFile;
    std::string FrameFolder;
    uint8_t SingleFileMode = 0;
    uint8_t LoadFromHistory = 0;
    uint8_t ScriptLoaded = 0;
    uint8_t FrameLoaded = 0;
    int32_t FramesLoaded = 0;
    int32_t HistorySlot = 0;
    std::array<std::string, 10> HistoryFiles;
    std::string InstallDir;
    std::string WorkDir;
    std::string OutputDir;

    // ---- Batch and scan settings -------------------------------------------
    float SliceWidth = 1.0f;         // psi slice width, degrees
    bool StatusLightRed = false;     // the frame window's status light: batch outputs chosen
    std::string OpenDialogFolder;    // where the open dialog starts
    int32_t ScanStage = 0;           // 4 once the 2-theta was corrected

    // ---- Workers ----------------------------------------------------------
    std::atomic<uint8_t> BatchRunning{0};
    // Whether a job that replaces or changes the frame (loading, frame
    // arithmetic, pole figures, rotation) is running: no second one starts.
    std::atomic<bool> FrameJobRunning{false};
    // Whether the pole-figure generator's worker runs (it leaves the frame alone).
    std::atomic<bool> PoleRunning{false};
    uint8_t FrameProfileShown = 0;
    uint8_t ListFileRead = 0;        // a ".lst" list was read at start-up
    uint8_t SlicesIntegrated = 0;
    uint8_t CommandLineRun = 0;      // files came from the command line
    bool EndAsked = false;           // a script asked the program to end (ENDAPPLI)
    // What went wrong in this run (run_report.h); a command-line run ends
    // with status 1 when any is counted.
    int32_t FramesNotProcessed = 0;
    int32_t CommandsFailed = 0;
    int32_t SetupProblems = 0;
    int32_t ScreenHeight = 1080;     // the screen's height in pixels (set by the windows)

    // ---- Scan series and d-spacing windows (scans/series_windows.h) --------
    TForm9 Form9;
    TForm10 Form10;
    // A slot is a whole profile row once a scan is stored in it; only the
    // slots of listed scans (Form9.LPWD) are ever read.
    std::vector<ProfileRow> ScanSeries = std::vector<ProfileRow>(ScanSeriesSlots);
    // Smallest and largest 2-theta and intensity drawn on the series chart.
    float SeriesMinTwoTheta = 90, SeriesMaxTwoTheta = 0, SeriesMinIntensity = 10000, SeriesMaxIntensity = 0;

    // ---- Settings records (the settings windows' boxes) -----------------
    TForm32 Form32;
    TForm19 Form19;
    TForm28 Form28;
    TForm23 Form23;
    TF2Theta F2Theta;
    TFSetup FSetup;
    TFMask FMask;
    TForm27 Form27;
    TForm5 Form5;
    TForm6 Form6;
    TForm7 Form7;
    TForm14 Form14;
    TForm16 Form16;
    TForm20 Form20;

    // ---- Pole figures -------------------------------------------------------
    PoleGridBlock Poles;             // the grids, steps and slots
    TFPoleF FPoleF;                  // "PoleFigures": panels, read-outs, profile charts

    // ---- Reference patterns ("mineral.min", see scans/mineral_list.h) ------
    std::vector<MineralRecord> MineralTable = std::vector<MineralRecord>(MaxMinerals + 1);  // slot 0: scratch
    int32_t MineralCount = 0;
    std::vector<int32_t> VisibleMinerals;   // the pattern of each list row
    int32_t VisibleMineralCount = 0;
    TForm18 Form18;                         // "Mineral List"
    TForm29 Form29;                         // "New Pattern"
    // Where the selected standard's lines are drawn (scans/standard_overlay.h):
    // a line of 2-theta T at StandardShift + r + StandardScale (T - r).
    double StandardShift = 0;               // degrees
    double StandardScale = 1;
    // [0]: the pattern drawn last; [1..100]: its lines on the line-scan chart, pixels.
    std::array<double, MaxMineralLines + 1> StandardLinePixels{};

    // ---- The logbook --------------------------------------------------------
    LogBook LLog;

    // Whether files were opened or listed (a frame may still be loading).
    bool SomethingOpened() const { return LastFileIndex != -1; }
    // Whether a frame is loaded: something was opened and a frame was read.
    bool FrameIsLoaded() const { return LastFileIndex != -1 && FrameWidth > 0 && FrameHeight > 0; }
};

} // namespace orv
