#include "scans/mineral_match.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scans/mineral_list.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double MinMatchD = 0.5;   // lines of d 0.5 A or less take no part

// The point of the highest intensity among first..last (strictly higher,
// starting from 0, so the first of equal maxima; point 0 when none is above 0).
int32_t HighestPoint(const std::vector<float>& intensity, int32_t first, int32_t last) {
    float best = 0;
    int32_t at = 0;
    for (int32_t k = first; k <= last; ++k) {
        if (intensity[static_cast<size_t>(k)] > best) {
            best = intensity[static_cast<size_t>(k)];
            at = k;
        }
    }
    return at;
}

struct PatternLine {
    double TwoTheta;
    double Strength;   // ScanMaxIntensity x intensity / 100
};

// The distance of the nearest strong line (stronger than half the scan
// maximum) from `peak`, 100 when there is none, and that line's offset.
double NearestStrongLine(const std::vector<PatternLine>& lines, double scanMax, double peak, double& offset) {
    double nearest = 100;
    for (const PatternLine& l : lines) {
        if (!(l.Strength > scanMax / 2)) continue;
        const double distance = std::abs(l.TwoTheta - peak);
        if (distance < nearest) {
            nearest = distance;
            offset = l.TwoTheta - peak;
        }
    }
    return nearest;
}

} // namespace

MineralMatchScore ScoreMineralMatch(const MineralMatchScan& scan, const MineralRecord& pattern, double width) {
    MineralMatchScore score;
    score.p1 = score.p2 = std::numeric_limits<double>::infinity();
    const int64_t points = static_cast<int64_t>(std::min(scan.Intensity.size(), scan.TwoTheta.size())) - 1;
    const int32_t n = static_cast<int32_t>(std::clamp<int64_t>(scan.ScanPoints, -1, points));
    if (n < 0) return score;
    const std::vector<float>& intensity = scan.Intensity;
    const std::vector<float>& twoTheta = scan.TwoTheta;

    // The first degree of the scan and its last 5 per cent are left out.
    // (A step typed as 0.001 is a little more in single precision.)
    int32_t k0 = scan.TwoThetaStep <= 0.001 * (1 + 1e-6) ? 1 : RoundToInt(1 / scan.TwoThetaStep);
    k0 = std::clamp(k0, 0, RoundToInt(n / 10.0));
    const int32_t k1 = RoundToInt(0.95 * n);
    score.FirstPoint = k0;
    score.LastPoint = k1;

    std::vector<PatternLine> lines;
    const int32_t lineCount = std::clamp(pattern.LineCount, 0, MaxMineralLines);
    for (int32_t i = 0; i < lineCount; ++i) {
        const MineralLine& line = pattern.Line[static_cast<size_t>(i)];
        double t = 0;
        if (MineralLineTwoTheta(scan.Landa, line.D, MinMatchD, t))
            lines.push_back({t, scan.ScanMaxIntensity * line.Intensity / 100});
    }

    const double peak = twoTheta[static_cast<size_t>(HighestPoint(intensity, k0, n))];
    double offset = 0;
    if (NearestStrongLine(lines, scan.ScanMaxIntensity, peak, offset) > 1) offset = 0;
    score.Offset = offset;

    // The simulated scan: every line a Gaussian of half-width `width` at its
    // strength, shifted by the offset; where lines overlap the stronger wins.
    score.Simulated.assign(static_cast<size_t>(n) + 1, 0.0f);
    const bool ordered = k1 < k0 || std::is_sorted(twoTheta.begin() + k0, twoTheta.begin() + k1 + 1);
    for (const PatternLine& l : lines) {
        score.Sticks.push_back({l.TwoTheta, l.Strength});
        if (k1 < k0) continue;
        const double centre = l.TwoTheta - offset;
        int32_t k = k0, end = k1;
        if (ordered) {
            // Only the points near the line: one more either side than the
            // search finds, so that rounding at the edges loses none.
            auto from = std::lower_bound(twoTheta.begin() + k0, twoTheta.begin() + k1 + 1, centre - width);
            auto to = std::upper_bound(from, twoTheta.begin() + k1 + 1, centre + width);
            k = std::max(k0, static_cast<int32_t>(from - twoTheta.begin()) - 1);
            end = std::min(k1, static_cast<int32_t>(to - twoTheta.begin()));
        }
        for (; k <= end; ++k) {
            const double distance = l.TwoTheta - twoTheta[static_cast<size_t>(k)] - offset;
            if (!(std::abs(distance) < width)) continue;
            const double value = l.Strength * std::exp(-(distance / width) * (distance / width));
            float& sim = score.Simulated[static_cast<size_t>(k)];
            sim = std::max(sim, static_cast<float>(value));
        }
    }

    double observed = 0, simulated = 0, difference = 0;
    for (int32_t k = k0; k <= k1; ++k) {
        const double in = intensity[static_cast<size_t>(k)];
        const double sim = score.Simulated[static_cast<size_t>(k)];
        observed += in;
        simulated += sim;
        difference += std::abs(sim - in);
    }
    score.Defined = observed != 0;
    if (score.Defined) {
        score.p1 = difference * 100 / observed;
        score.p2 = std::abs(observed - simulated) * 100 / observed;
    }

    const double innerPeak = twoTheta[static_cast<size_t>(HighestPoint(intensity, k0, std::min(k1, n)))];
    double unused = 0;
    score.p0 = NearestStrongLine(lines, scan.ScanMaxIntensity, innerPeak, unused);
    return score;
}

bool MineralMatchPasses(const MineralMatchScore& score, int position) {
    const double p = std::clamp(position, 0, 100) / 50.0;
    return std::abs(score.p0) < 0.4 * p + 0.1 && std::abs(score.p1) < 85 * p + 10 && std::abs(score.p2) < 55 * p + 5;
}

MineralMatchScan MatchScanOf(const Workspace& ws) {
    MineralMatchScan scan;
    const size_t n = std::min(ws.SectorScan.size(), ws.FrameProfileCopy.size());
    scan.Intensity.resize(n);
    scan.TwoTheta.resize(n);
    for (size_t k = 0; k < n; ++k) {
        scan.Intensity[k] = ws.SectorScan[k].Intensity;
        scan.TwoTheta[k] = ws.FrameProfileCopy[k].TwoTheta;
    }
    scan.TwoThetaStep = ws.TwoThetaStep;
    scan.ScanPoints = ws.ScanPoints;
    scan.Landa = ws.Landa;
    scan.ScanMaxIntensity = ws.ScanMaxIntensity;
    return scan;
}

std::vector<MineralMatch> FindMineralMatches(Workspace& ws, Host& host, const MineralMatchSteps& steps) {
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first");
        return {};
    }
    TForm18& f = ws.Form18;
    const double width = ParseNumber(f.EWidth);
    // No simulated line is wider than nothing: every score would be empty.
    if (!(width > 0)) {
        host.message("Peak width: " + f.EWidth + " degrees is not greater than 0");
        return {};
    }
    if (!ws.ScanBackgroundRemoved && steps.RemoveBackground &&
        host.confirm("Remove background ? [Yes: Recommended]"))
        steps.RemoveBackground();

    const MineralMatchScan scan = MatchScanOf(ws);
    std::vector<MineralMatch> listed;
    std::vector<int32_t> rows;
    MineralMatchScore last;
    bool scored = false;
    for (int32_t i = 1; i <= ws.MineralCount; ++i) {
        f.ProgressBar1 = RoundToInt(100.0 * i / ws.MineralCount);
        if (steps.Progress) steps.Progress(f.ProgressBar1);
        if (f.CheckBox2 && !MineralPassesListSearch(ws, i)) continue;
        MineralMatchScore score = ScoreMineralMatch(scan, ws.MineralTable[static_cast<size_t>(i)], width);
        scored = true;
        if (MineralMatchPasses(score, f.TrackBar1)) {
            // Only the first listed pattern's simulation is drawn.
            if (!listed.empty()) {
                score.Simulated = {};
                score.Sticks = {};
            }
            listed.push_back({i, score});
            rows.push_back(i);
        }
        last = std::move(score);
    }
    ws.VisibleMinerals = rows;
    ws.VisibleMineralCount = static_cast<int32_t>(rows.size());
    ws.Form18.ItemIndex = -1;

    // The boxes show the scores of the pattern drawn: the first listed, or
    // else the last scored.
    if (!listed.empty()) last = listed.front().Score;
    if (scored) {
        f.Edit1 = last.Defined ? std::to_string(RoundToInt(last.p1)) : std::string();
        f.Edit2 = FormatNumber(last.p0);
        f.Edit3 = last.Defined ? std::to_string(RoundToInt(last.p2)) : std::string();
    }
    return listed;
}

} // namespace orv
