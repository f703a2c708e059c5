// Simulated powder patterns of standards whose interplanar spacings come
// from an independent library's calibrant tables: the peak search must find
// every well-separated line within one scan step.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "scan_window_support.h"
#include "scans/theta_scan_window.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

constexpr double Deg = std::numbers::pi / 180;

struct Line {
    double TwoTheta = 0;
    double Height = 0;   // peak height in counts
};

// d and multiplicity of each reflection ("d # (h, k, l) m"; a missing
// multiplicity counts 1).
std::vector<std::pair<double, double>> ReadStandard(const std::string& name) {
    std::ifstream in(DataFile("scans/standards/" + name + ".D"));
    std::vector<std::pair<double, double>> lines;
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#') continue;
        std::istringstream row(text);
        double d = 0;
        row >> d;
        double m = 1;
        const size_t close = text.find(')');
        if (close != std::string::npos) {
            std::istringstream tail(text.substr(close + 1));
            tail >> m;
            if (!tail) m = 1;
        }
        lines.emplace_back(d, m);
    }
    EXPECT_FALSE(lines.empty()) << name;
    return lines;
}

// The lines of a standard between `from` and `to` degrees, with heights from
// multiplicity, the Lorentz-polarisation factor and a temperature factor,
// scaled so that the strongest line of the standard is `top` counts high.
std::vector<Line> StandardLines(const std::string& name, double landa, double from, double to, double top) {
    std::vector<Line> lines;
    for (const auto& [d, m] : ReadStandard(name)) {
        const double s = landa / (2 * d);
        if (s >= 1) continue;
        const double theta = std::asin(s);
        const double tt = 2 * theta / Deg;
        if (tt < from || tt > to) continue;
        const double lp = (1 + std::pow(std::cos(2 * theta), 2)) / (std::pow(std::sin(theta), 2) * std::cos(theta));
        lines.push_back({tt, m * lp * std::exp(-0.8 * std::pow(s / landa, 2))});
    }
    double strongest = 0;
    for (const Line& l : lines) strongest = std::max(strongest, l.Height);
    for (Line& l : lines) l.Height *= top / strongest;
    return lines;
}

// A pseudo-Voigt of FWHM growing with the angle, on a falling and rising
// background, with counting noise (a fixed generator, so the scan is the
// same everywhere).
std::vector<double> SimulateScan(const std::vector<Line>& lines, double from, double step, int points) {
    std::vector<double> v(static_cast<size_t>(points) + 1);
    uint64_t state = 88172645463325252ull;
    auto uniform = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (static_cast<double>(state >> 11) + 0.5) / 9007199254740992.0;
    };
    for (int k = 0; k <= points; ++k) {
        const double x = from + k * step;
        double y = 250 + 1500 * std::exp(-x / 8) + 2 * x;
        for (const Line& l : lines) {
            const double fwhm = 0.07 + 0.0006 * l.TwoTheta;
            const double u = (x - l.TwoTheta) / fwhm;
            if (std::fabs(u) > 60) continue;
            const double gauss = std::exp(-4 * std::log(2.0) * u * u);
            const double lorentz = 1 / (1 + 4 * u * u);
            y += l.Height * (0.6 * gauss + 0.4 * lorentz);
        }
        const double noise = std::sqrt(-2 * std::log(uniform())) * std::cos(2 * std::numbers::pi * uniform());
        v[k] = std::max(0.0, std::round(y + noise * std::sqrt(y)));
    }
    return v;
}

// Runs the window's "Remove background" then "Find peaks" with the dialogs'
// own defaults and returns the 2-theta of each peak found above 1.1 degrees.
std::vector<double> FoundPeaks(Workspace& ws) {
    RecordingHost host;
    EXPECT_TRUE(RemoveThetaBackground(ws, host, TForm7{}));
    const PeakTable table = FindThetaPeaks(ws, host, TForm6{});
    EXPECT_TRUE(host.messages.empty());
    std::vector<double> at;
    for (const PeakRecord& p : table)
        if (ws.SectorScan[p.Index].TwoTheta > 1.1) at.push_back(ws.SectorScan[p.Index].TwoTheta);
    return at;
}

// Checks that every line standing clear of the others (nothing of a third
// of its height within 0.6 degrees, nothing at all within 0.3) and at least
// `least` counts high was found within one step, and that every peak found
// lies near a line.
void ExpectLinesFound(const std::vector<Line>& lines, const std::vector<double>& found, double step, double least,
                      const std::string& what) {
    int expected = 0;
    for (const Line& l : lines) {
        if (l.Height < least) continue;
        bool clear = true;
        for (const Line& o : lines) {
            if (&o == &l) continue;
            const double gap = std::fabs(o.TwoTheta - l.TwoTheta);
            if (gap < 0.3 || (gap < 0.6 && o.Height > l.Height / 3)) clear = false;
        }
        if (!clear) continue;
        ++expected;
        double nearest = 1e9;
        for (double f : found) nearest = std::min(nearest, std::fabs(f - l.TwoTheta));
        EXPECT_LE(nearest, step) << what << ": line at " << l.TwoTheta;
    }
    EXPECT_GE(expected, 4) << what;
    for (double f : found) {
        double nearest = 1e9;
        for (const Line& l : lines) nearest = std::min(nearest, std::fabs(f - l.TwoTheta));
        EXPECT_LE(nearest, 0.3) << what << ": a peak at " << f << " where no line is";
    }
}

struct Case {
    std::vector<std::string> Standards;
    double Landa;
    double From, To, Step;
};

} // namespace

TEST(ScanPowderTest, LinesOfStandardsAreFoundWithinOneStep) {
    const std::vector<Case> cases = {
        {{"Si", "LaB6"}, 1.5406, 10, 120, 0.02},
        {{"CeO2"}, 0.7093, 5, 50, 0.01},
        {{"Ni", "ZnO"}, 1.5406, 25, 110, 0.02},
        {{"alpha_Al2O3"}, 1.5406, 20, 90, 0.015},
    };
    for (const Case& c : cases) {
        std::vector<Line> lines;
        std::string what;
        for (const std::string& s : c.Standards) {
            const std::vector<Line> own = StandardLines(s, c.Landa, c.From, c.To, 40000);
            lines.insert(lines.end(), own.begin(), own.end());
            what += s + " ";
        }
        const int points = static_cast<int>(std::lround((c.To - c.From) / c.Step));
        Workspace ws;
        MakeThetaScan(ws, c.From, c.Step, SimulateScan(lines, c.From, c.Step, points));
        ExpectLinesFound(lines, FoundPeaks(ws), c.Step, 4000, what);
    }
}
