#pragma once
// The "Fitting Standard Tool": refines the detector geometry against the
// Debye rings of the selected powder standard. Each ring gives one point per
// 5-degree psi bin where it stands clearly out of the counting noise of the
// background beside it: the point lies on the ring's crest, at the
// intensity-weighted 2-theta of the bin's radial profile. A nested grid
// search in five shrinking passes then tries geometries (sample offsets,
// beam centre, detector angle, distance) and keeps the one whose points lie
// closest, in 2-theta, to the standard's lines; least squares from there
// give the last digits. The beam's row Yo is not searched: every trial finds
// it from circles fitted through each ring's points seen along the beam.
// A fit whose points stay off the lines, or that finds no ring for the
// standard's strongest line on the frame, is refused: the standard does not
// match the frame.
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

// A point of a ring: the frame point (column, row) on its crest in one psi
// bin, the ring's width there (the standard deviation of its profile in
// 2-theta, degrees) and the standard error of the crest's 2-theta from the
// counting noise (degrees).
struct RingPoint {
    double X = 0, Y = 0;
    double Width = 0;
    double Error = 0;
};

struct CalibrationRing {
    double TwoTheta = 0;   // where the standard puts the ring (degrees)
    double Placed = 0;     // where the overlay draws it; its pixels are looked for about it
    double Strength = 0;   // ScanMaxIntensity x relative intensity / 100
    double Width = 0;      // the median of its points' widths (degrees)
    int32_t Covered = 0;   // psi bins in which the frame shows its placed 2-theta
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
// low..high, the frame being mapped as `detector` says. A ring is looked for,
// in each psi bin, up to halfway to its nearer neighbour about its placed
// 2-theta (a ring alone a degree or half `peakWidth` either side), where the
// geometry being refined puts it: a radial profile (mean
// counts against 2-theta) shows where it stands highest, and how wide it is.
// About that place the bin's profile is measured finely: the background
// beside the ring, a straight line in 2-theta, and its scatter give the
// counting noise; the bin gives a point only when the ring's counts above
// that background stand `PointSignificance` times its noise clear, without
// its brightest pixel (a lone hot pixel is no ring), when the ring's top
// exceeds `background` (the tool's box) and when the profile is whole on
// both sides of the crest (not cut by the frame's edge, a mask or the
// window). The crest is the profile's intensity-weighted 2-theta, each slot
// of the profile weighing by its mean counts, so that the pixels' spacing in
// 2-theta biases nothing; the point is the frame point on that 2-theta
// nearest the bin's centroid. Exact integer sums: the same points for any
// thread count.
constexpr double PointSignificance = 5;
void CollectRingPoints(const FrameStore& frame, const GeometryKey& detector, int32_t width, int32_t height,
                       double low, double high, double background, double peakWidth,
                       std::vector<CalibrationRing>& rings);

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
    double Residual = std::numeric_limits<double>::infinity();   // sum of |2-theta - line| over the points
    int32_t Points = 0;       // ring points used
    int32_t Rings = 0;        // rings with points
    int64_t Trials = 0;       // geometries tried
    // Whether the standard matches the frame. A fit that matches has its
    // points on the lines, a median of at most MaxCalibrationMisfit ring
    // widths off (|2-theta - line| / the ring's width), and shows a ring for
    // the strongest line that the frame shows over at least 60 degrees of
    // psi (a standard that matches one ring of the frame by chance fits it
    // alone). MissingLine is that line's 2-theta when it shows none.
    double Misfit = 0;
    double MissingLine = 0;
    static constexpr double MaxCalibrationMisfit = 0.5;
    bool Matches() const { return Misfit <= MaxCalibrationMisfit && MissingLine == 0; }
};

// The five passes (grid steps 1, 1/4, 1/16, 1/48, 1/200 of 5 pixels and 0.25
// degrees), each centred on the best so far. A trial wins when strictly
// better than every earlier one (the start geometry being the best so far at
// +infinity), so that equal residuals keep the first in grid order. From the
// best trial, least squares over the varied parameters (each point measured
// from the line nearest it there; points farther than five robust standard
// deviations left out) move the geometry on while the sum of squares falls.
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
// changed, the user told) when no trial gave a residual. False too, the
// user told why, when the fit does not match the standard: the boxes then
// show what it found, and Apply asks before it applies it.
bool ReportCalibration(Workspace& ws, Host& host, const CalibrationSetup& setup, const CalibrationResult& result);
// "Start" on the calling thread (scripts). False when it was refused or failed.
bool StartCalibration(Workspace& ws, Host& host);
// "Apply": the tool's geometry into the Detector Settings, the overlay back
// to shift 0 and scale 1, and the settings applied. After a fit that did not
// match the standard it first asks whether to apply it all the same (an
// unattended run answers No). False when that was declined, a box was not a
// number or Apply refused a value.
bool ApplyCalibration(Workspace& ws, Host& host);

// FITTOSTD once the standard is selected and the boxes set: "AA" when asked,
// "Fit", then `rounds` times "Start" and "Apply". False when a step failed;
// a fit that does not match the standard is not applied.
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
