#pragma once
// Matching the current 2-theta scan against the reference patterns: the
// score of one pattern (ScoreMineralMatch, a pure function of its inputs)
// and the "Find Match" search over the whole table.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "scans/mineral_database.h"

namespace orv {

class Host;
struct Workspace;

// The scan a pattern is scored against. Point k (0..ScanPoints) has the
// intensity Intensity[k] and the 2-theta TwoTheta[k] (degrees, increasing);
// ScanPoints beyond either column is taken as the last point they both hold.
struct MineralMatchScan {
    std::vector<float> Intensity;
    std::vector<float> TwoTheta;
    double TwoThetaStep = 0.1;
    int32_t ScanPoints = 0;
    double Landa = 0.7090;          // wavelength, angstrom
    double ScanMaxIntensity = 0;    // a line of relative intensity 100 is this strong
};

// A pattern line drawn over the scan: a stick from (TwoTheta, 0) to
// (TwoTheta, Height).
struct MineralStick {
    double TwoTheta = 0;
    double Height = 0;
};

struct MineralMatchScore {
    double p0 = 100;       // distance (degrees) of the nearest strong line from the scan maximum
    double p1 = 0;         // profile difference, per cent of the scan's sum
    double p2 = 0;         // integral difference, per cent of the scan's sum
    double Offset = 0;     // the shift that lays the nearest strong line onto the scan maximum (0 beyond 1 degree)
    // Whether the scan's sum over the compared points is not 0; when it is,
    // p1 and p2 are infinite and the pattern matches at no setting.
    bool Defined = false;
    int32_t FirstPoint = 0, LastPoint = 0;   // the points compared (k0..k1)
    std::vector<float> Simulated;            // the simulated scan, points 0..ScanPoints
    std::vector<MineralStick> Sticks;        // the lines with a 2-theta, at full strength
};

// Scores pattern `pattern` against the scan with the peak width `width`
// (degrees): the pattern's lines, each a Gaussian exp(-(L / width)^2) at its
// scaled strength, shifted by the offset that lays the nearest strong line
// onto the scan maximum, are compared with the scan point by point (p1) and
// in sum (p2).
MineralMatchScore ScoreMineralMatch(const MineralMatchScan& scan, const MineralRecord& pattern, double width);

// Whether a score passes the "Search Constrains" track bar at `position`
// (0..100): |p0| < 0.4 P/50 + 0.1, |p1| < 85 P/50 + 10, |p2| < 55 P/50 + 5.
bool MineralMatchPasses(const MineralMatchScore& score, int position);

// The workspace's 2-theta scan as the matcher reads it: SectorScan's
// intensities, FrameProfileCopy's 2-theta labels, TwoThetaStep, ScanPoints,
// Landa and ScanMaxIntensity.
MineralMatchScan MatchScanOf(const Workspace& ws);

// One pattern listed by "Find Match".
struct MineralMatch {
    int32_t Pattern = 0;
    MineralMatchScore Score;
};

// The steps of "Find Match" that belong to the 2-theta scan window.
struct MineralMatchSteps {
    std::function<void()> RemoveBackground;        // the window's "Remove background" button
    std::function<void(int percent)> Progress;     // the list's progress bar moved
};

// "Find Match": refused with a message without a frame or for a peak width
// (EWidth) not above 0. When the scan's background was not
// removed, asks "Remove background ? [Yes: Recommended]" and on Yes runs
// `steps.RemoveBackground`. Then scores every pattern (skipping those that
// fail the boolean search when CheckBox2 is ticked) with EWidth and lists
// those passing the track bar, in pattern order. Returns the listed
// patterns; the first one's score is the one to draw. A peak width that is
// not a number throws ConversionError before anything changes.
std::vector<MineralMatch> FindMineralMatches(Workspace& ws, Host& host, const MineralMatchSteps& steps);

} // namespace orv
