#pragma once
// The "Fitting Standard Tool": refines the detector geometry against the
// Debye rings of the selected powder standard. The rings' pixels give one
// point per ring and 5-degree psi bin (their centroid weighted by the counts
// above the background); a nested grid search in five shrinking passes then
// tries geometries (sample offsets, beam centre, detector angle, distance)
// and keeps the one whose points lie closest, in 2-theta, to the standard's
// lines. The beam's row Yo is not searched: every trial finds it from circles
// fitted through each ring's points seen along the beam.
//
// Trial geometries are mapped by the same mapping as the frame's pixels
// (MakeDetectorMapping), never through the workspace's geometry cache. The
// search is a pure function of its set-up: it runs on a worker (TFitThread)
// or, for scripts, on the calling thread, evaluates its trials in parallel
// and gives the same answer for any thread count.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "workspace/frame_types.h"

namespace orv {

class Host;
struct MineralRecord;
struct TForm41Fit;
struct Workspace;

constexpr int MaxCalibrationRings = 100;
constexpr int RingPsiBins = 73;          // psi / 5 rounded: 0..72
constexpr double RingPsiBinWidth = 5.0;  // degrees

// A point of a ring: the centroid (column, row) of its pixels in one psi bin.
struct RingPoint {
    double X = 0, Y = 0;
};

struct CalibrationRing {
    double TwoTheta = 0;   // where the standard puts the ring (degrees)
    double Placed = 0;     // where the overlay draws it; its pixels lie within half a peak width of it
    double Strength = 0;   // ScanMaxIntensity x relative intensity / 100
    std::vector<RingPoint> Points;
};

// The rings of a pattern: its lines of d above 0.5 A and relative intensity
// above 3, placed by the overlay's mapping, kept when the placed 2-theta lies
// within low..high. A line within `peakWidth` of the last ring (in the
// standard's 2-theta) replaces it when at least as strong, else is dropped.
// At most 100 rings.
std::vector<CalibrationRing> CalibrationRings(const MineralRecord& pattern, double landa, double scale,
                                              double shift, double low, double high, double peakWidth,
                                              double scanMax);

// Fills each ring's points from the frame's pixels (columns 1..width, rows
// 1..height; masked pixels never count) whose 2-theta lies strictly inside
// low..high. A ring is looked for, in each psi bin, up to halfway to its
// nearer neighbour about its placed 2-theta, where the geometry being
// refined puts it; where it stands out of the background there, its point is
// the centroid of the pixels within a peak width of it, each weighing by its
// counts above `background`. Bins where the ring is not seen, or holds far
// less than in its typical bin (cut by the frame's edge), give no point.
// Exact integer sums: the same points for any thread count.
void CollectRingPoints(const FrameStore& frame, int32_t width, int32_t height, double low, double high,
                       double background, double peakWidth, std::vector<CalibrationRing>& rings);

// One geometry tried.
struct TrialGeometry {
    double XOffset = 0, YOffset = 0;   // sample offset (cylinder), pixels; Y along the beam
    double Xo = 0, Yo = 0;             // pixels
    double Angle = 0;                  // detector 2-theta, degrees
    double Distance = 0;               // pixels: sample to detector, the cylinder's radius
};

// The grid's parameters, outermost first.
enum FitParameter { FitXOffset, FitYOffset, FitXo, FitYo, FitAngle, FitDistance, FitParameterCount };
using FitHalfRanges = std::array<int32_t, FitParameterCount>;

// Grid steps either side for the ticked "Vary" boxes: 10 each, Yo never (it
// comes from the circle fits); with more than 20 in all each is divided by
// 1.5 and rounded, again above 30 and again above 40.
FitHalfRanges CalibrationHalfRanges(bool xOffset, bool yOffset, bool xo, bool angle, bool distance);

struct CalibrationSetup {
    GeometryKey Detector;   // the detector as mapped (shape, frame, tilt plane, ...)
    double PixelSize = 1;   // mm per pixel along the cylinder
    TrialGeometry Start;
    FitHalfRanges HalfRange{};
    bool VaryXo = false, VaryYo = false, VaryXOffset = false, VaryYOffset = false;
    std::vector<CalibrationRing> Rings;
    int32_t PointCount() const;
};

// The geometry key of a trial: the detector's, with the trial's centre,
// angle, distance and offsets.
GeometryKey TrialKey(const CalibrationSetup& setup, const TrialGeometry& trial);

// One trial: each ring's points mapped to the laboratory, a circle fitted
// through them as seen along the beam moves Yo (when Yo varies), and the
// residual sums every point's distance in 2-theta from the standard's nearest
// ring. `Yo` is the trial's estimate of the beam's row: the mean of the rows
// the rings' circles gave, each ring weighing by its points.
struct TrialOutcome {
    double Residual = 0;
    double Yo = 0;
};
TrialOutcome EvaluateTrial(const CalibrationSetup& setup, const TrialGeometry& trial);

struct CalibrationResult {
    bool Completed = false;   // false: stopped before its end
    TrialGeometry Best;
    double Residual = std::numeric_limits<double>::infinity();
    int32_t Points = 0;       // ring points used
    int32_t Rings = 0;        // rings with points
    int64_t Trials = 0;       // geometries tried
};

// The five passes (grid steps 1, 1/4, 1/16, 1/48, 1/200 of 5 pixels and 0.25
// degrees), each centred on the best so far. A trial wins when strictly
// better than every earlier one (the start geometry being the best so far at
// +infinity), so that equal residuals keep the first in grid order.
// `progress` gets the percentage after each pass; `stop` ends the search
// early (Completed false).
CalibrationResult FitDetectorGeometry(const CalibrationSetup& setup,
                                      const std::function<void(int percent)>& progress = {},
                                      const std::atomic<bool>* stop = nullptr);

// ---- The tool's commands on the workspace ----------------------------------

// "Fit" on the 2-theta scan window: without a selected standard "Need to
// select a standard!" and false; else the tool's boxes take the geometry in
// force (a cylindrical detector its radius, length and sample offset) and
// the tool is to be shown.
bool OpenFitTool(Workspace& ws, Host& host);

// The "Vary" boxes that exclude each other: ticking one clears the others.
enum class FitBox { Xo, Yo, Angle, Distance, DSize, XOffset, YOffset };
void TickFitBox(TForm41Fit& f, FitBox box);

// The "Auto" boxes: the peak width from the scan's peaks (kept outside
// 0.09..1.2 degrees) and the background from its rolling background.
void AutoFitPeakWidth(Workspace& ws, Host& host);
void AutoFitBackground(Workspace& ws, Host& host);

// "Start" up to the search: the "Auto" boxes, then the rings and their
// points. No set-up when no "Vary" box is ticked; Refused (the user was
// told) without a frame, a standard or any ring point. Throws
// ConversionError for a box that is not a number.
struct CalibrationStart {
    std::optional<CalibrationSetup> Setup;
    bool Refused = false;
};
CalibrationStart PrepareCalibration(Workspace& ws, Host& host);
// The best geometry into the tool's boxes and the logbook. False (nothing
// changed, the user told) when no trial gave a residual.
bool ReportCalibration(Workspace& ws, Host& host, const CalibrationSetup& setup, const CalibrationResult& result);
// "Start" on the calling thread (scripts). False when it was refused or failed.
bool StartCalibration(Workspace& ws, Host& host);
// "Apply": the tool's geometry into the Detector Settings, the overlay back
// to shift 0 and scale 1, and the settings applied. False when a box was not
// a number or Apply refused a value.
bool ApplyCalibration(Workspace& ws, Host& host);

// FITTOSTD once the standard is selected and the boxes set: "AA" when asked,
// "Fit", then `rounds` times "Start" and "Apply". False when a step failed.
bool FitToStandardSteps(Workspace& ws, Host& host, bool autoAdjust, int rounds);

// The script's and the scans' hooks of the overlay and the fit.
void SetUpStandardTools(Workspace& ws);

// The search on its own thread, on a set-up taken from the workspace; the
// window polls it and reports the result on the main thread.
class TFitThread {
public:
    explicit TFitThread(CalibrationSetup setup);
    ~TFitThread();   // stops the search and waits for it
    TFitThread(const TFitThread&) = delete;
    TFitThread& operator=(const TFitThread&) = delete;

    void Stop() { stop_ = true; }
    bool Finished() const { return finished_; }
    int Progress() const { return progress_; }
    const CalibrationSetup& Setup() const { return setup_; }
    // Once Finished(): the result, and what went wrong ("" when nothing did).
    const CalibrationResult& Result() const { return result_; }
    const std::string& Error() const { return error_; }

private:
    CalibrationSetup setup_;
    CalibrationResult result_;
    std::string error_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> progress_{0};
    std::thread thread_;
};

} // namespace orv
