#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "scans/peak_search.h"

using namespace orv;

namespace {

// Values 1..n for the search (index 0 is not read).
std::vector<double> Scan(std::vector<double> points) {
    points.insert(points.begin(), -12345.0);
    return points;
}

PeakSearchParams Window(int32_t b, double step = 0.01) {
    PeakSearchParams p;
    p.Window = b;
    p.Step = step;
    return p;
}

} // namespace

TEST(ScanPeaksTest, GaussianOnASlopeAfterTheBackgroundHasItsCentreAndItsWidth) {
    // A Gaussian of FWHM 0.30 degrees centred on point 600 of a scan of
    // 0.01-degree steps, on a background falling from 400 to 340.
    const double step = 0.01, fwhm = 0.30, height = 2000;
    const double sigma = fwhm / step / (2 * std::sqrt(2 * std::log(2.0)));
    std::vector<double> v(1201);
    for (size_t k = 0; k < v.size(); ++k) {
        const double x = static_cast<double>(k);
        v[k] = 400 - 0.05 * x + height * std::exp(-(x - 600) * (x - 600) / (2 * sigma * sigma));
    }
    RemoveRollingBackground(v, 100, 100);   // a roll of 1 degree, 100 counts high
    PeakSearchParams p = Window(100, step);
    p.TopFrom = 1;
    const PeakTable peaks = SearchScanPeaks(v, p);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].Index, 600);
    EXPECT_NEAR(peaks[0].Intensity, height, 0.01 * height);
    // A rectangle of the peak's height and area: sqrt(2 pi) sigma = 1.0645 FWHM.
    EXPECT_NEAR(peaks[0].Width, 1.0645 * fwhm, 0.01 * 1.0645 * fwhm);
    EXPECT_LE(peaks[0].LeftIndex, 600 - 3 * sigma);
    EXPECT_GE(peaks[0].RightIndex, 600 + 3 * sigma);
}

TEST(ScanPeaksTest, PlateausFlatScansAndShortScans) {
    // A plateau of equal points is one peak at most: only the window whose
    // middle is its first point has the plateau's first maximum there.
    std::vector<double> plateau(60, 10.0);
    for (int k = 30; k < 40; ++k) plateau[k] = 100;
    const PeakTable one = SearchScanPeaks(Scan(plateau), Window(4));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].Index, 31);   // point 31 holds plateau[30]
    EXPECT_TRUE(SearchScanPeaks(Scan(std::vector<double>(80, 50.0)), Window(4)).empty());
    EXPECT_TRUE(SearchScanPeaks(Scan(std::vector<double>(80, 0.0)), Window(4)).empty());
    // A scan no longer than the window has none; nor has an empty one.
    EXPECT_TRUE(SearchScanPeaks(Scan({1, 9, 1}), Window(3)).empty());
    EXPECT_TRUE(SearchScanPeaks({}, Window(3)).empty());
}

TEST(ScanPeaksTest, WindowOfOnePointFindsEveryPointNotBelowItsRightNeighbour) {
    // b = 1: the window is two points and its middle is its first point.
    const PeakTable peaks = SearchScanPeaks(Scan({0, 5, 5, 3, 8, 0, 0}), Window(1));
    std::vector<int32_t> at;
    for (const PeakRecord& p : peaks) at.push_back(p.Index);
    EXPECT_EQ(at, (std::vector<int32_t>{2, 3, 5}));
}

TEST(ScanPeaksTest, WalksSpanTheWholeWindowUnlessTheScanRisesAgain) {
    // A triangle on zero: the walks never meet a rise, so the peak spans
    // 2b + 1 points and its area is the sum over them.
    std::vector<double> v(41, 0.0);
    for (int k = 15; k <= 25; ++k) v[k] = 60 - 10 * std::abs(k - 20);
    PeakSearchParams p = Window(8, 0.5);
    p.TopFrom = 1;
    PeakTable peaks = SearchScanPeaks(v, p);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].Index, 20);
    EXPECT_EQ(peaks[0].LeftIndex, 12);
    EXPECT_EQ(peaks[0].RightIndex, 28);
    EXPECT_DOUBLE_EQ(peaks[0].Area, 60 + 2 * (50 + 40 + 30 + 20 + 10));
    EXPECT_DOUBLE_EQ(peaks[0].Width, 0.5 * 360 / 60);

    // A second peak close by: the right walk stops where the scan is low and
    // rises again three points further out.
    for (int k = 27; k <= 33; ++k) v[k] = 40 - 10 * std::abs(k - 30);
    peaks = SearchScanPeaks(v, p);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].RightIndex, 25);
    EXPECT_EQ(peaks[1].Index, 30);

    // A window of 0: every bound is the peak itself.
    v.assign(11, 0.0);
    v[5] = 7;
    p.Window = 0;
    p.Absolute = true;
    p.Minimum = 1;
    peaks = SearchScanPeaks(v, p);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].LeftIndex, 5);
    EXPECT_EQ(peaks[0].RightIndex, 5);
    EXPECT_DOUBLE_EQ(peaks[0].Area, 7);
}

TEST(ScanPeaksTest, PeaksAtTheEndsReadNothingBeyondTheScan) {
    // Peaks whose windows reach past both ends; ASan checks the reads.
    std::vector<double> v = Scan({1, 3, 9, 3, 1, 1, 1, 1, 1, 2, 6, 20});
    v.shrink_to_fit();
    PeakSearchParams p = Window(6);
    p.Absolute = true;
    p.Minimum = 4;
    const PeakTable peaks = SearchScanPeaks(v, p);
    for (const PeakRecord& peak : peaks) {
        EXPECT_GE(peak.LeftIndex, 1);
        EXPECT_LE(peak.RightIndex, 12);
    }
}

TEST(ScanPeaksTest, ThresholdsRelativeToTheScanOrAbsolute) {
    // Height above the floor 100 is 900; 5 % of it is 45.
    std::vector<double> v(200, 100.0);
    v[50] = 1000;
    v[120] = 140;   // 40 above its window floor: below 45
    v[160] = 150;   // 50 above: above
    PeakSearchParams p = Window(10);
    p.TopFrom = 1;
    PeakTable peaks = SearchScanPeaks(Scan(v), p);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].Index, 51);
    EXPECT_EQ(peaks[1].Index, 161);
    // Without a top (psi scans) the threshold is f - g p / 100: every bump.
    p.TopFrom = 1000;
    EXPECT_EQ(SearchScanPeaks(Scan(v), p).size(), 3u);
    // The top leaves out the points before TopFrom.
    p.TopFrom = 60;
    EXPECT_EQ(SearchScanPeaks(Scan(v), p).size(), 3u);
    p.Absolute = true;
    p.Minimum = 145;
    peaks = SearchScanPeaks(Scan(v), p);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[1].Index, 161);
}

TEST(ScanPeaksTest, ManyPeaksAreAllKept) {
    // 24001 points with a peak at every second point.
    std::vector<double> v(24002);
    for (size_t k = 1; k < v.size(); ++k) v[k] = k % 2 ? 1.0 : 5.0;
    PeakSearchParams p = Window(1);
    p.Absolute = true;
    p.Minimum = 2;
    EXPECT_EQ(SearchScanPeaks(v, p).size(), 12000u);
}

TEST(RollingBackgroundTest, WorkedByHand) {
    // w = 1, H = 2: the ellipse is 2 at the point and 0 at its neighbours.
    std::vector<double> v{0, 10, 0};
    RollingBackgroundSums s = RemoveRollingBackground(v, 1, 2);
    EXPECT_EQ(v, (std::vector<double>{0, 8, 0}));
    EXPECT_DOUBLE_EQ(s.PeakSum, 8);
    EXPECT_DOUBLE_EQ(s.BackgroundSum, 2);
    // w = 2, H = 4 on a straight slope: the ellipse is sqrt(12) one point
    // out, so point 2 stands 2 - 1 + sqrt(12) - 4 above it.
    v = {0, 1, 2, 3, 4};
    RemoveRollingBackground(v, 2, 4);
    EXPECT_NEAR(v[2], std::sqrt(12.0) - 3, 1e-12);
    EXPECT_NEAR(v[0], 0, 1e-12);   // the lowest point of its window
    // H = 0: the largest rise over the window's lowest point.
    v = {5, 1, 7, 3, 9};
    RemoveRollingBackground(v, 1, 0);
    EXPECT_EQ(v, (std::vector<double>{4, 0, 6, 0, 6}));
    // A flat scan is all background.
    v.assign(50, 123.0);
    s = RemoveRollingBackground(v, 5, 10);
    EXPECT_EQ(v, std::vector<double>(50, 0.0));
    EXPECT_DOUBLE_EQ(s.BackgroundSum, 50 * 123.0);
}

TEST(RollingBackgroundTest, SumsAddUpAndTheNetIsNeverNegative) {
    std::vector<double> v(3000);
    uint32_t seed = 12345;
    for (size_t k = 0; k < v.size(); ++k) {
        seed = seed * 1664525u + 1013904223u;
        v[k] = 1e4 * std::exp(-static_cast<double>(k) / 700) + (seed >> 20) % 97 +
               (k % 300 == 150 ? 5e5 : 0) + 0.37;
    }
    const double before = std::accumulate(v.begin(), v.end(), 0.0);
    for (int32_t height : {1, 10, 1000}) {
        std::vector<double> net = v;
        const RollingBackgroundSums s = RemoveRollingBackground(net, 40, height);
        EXPECT_NEAR(s.PeakSum + s.BackgroundSum, before, 1e-9 * before);
        EXPECT_NEAR(s.PeakSum, std::accumulate(net.begin(), net.end(), 0.0), 1e-9 * before);
        for (double x : net) ASSERT_GE(x, 0.0);
    }
}

TEST(RollingBackgroundTest, RefusesARollWithoutWidthOrANegativeHeight) {
    std::vector<double> v{1, 2, 3};
    EXPECT_THROW(RemoveRollingBackground(v, 0, 10), std::invalid_argument);
    EXPECT_THROW(RemoveRollingBackground(v, 2, -1), std::invalid_argument);
    EXPECT_EQ(v, (std::vector<double>{1, 2, 3}));
    std::vector<double> none;
    const RollingBackgroundSums s = RemoveRollingBackground(none, 3, 10);
    EXPECT_EQ(s.PeakSum, 0);
    EXPECT_EQ(s.BackgroundSum, 0);
    // A roll wider than the scan.
    std::vector<double> two{4, 1};
    RemoveRollingBackground(two, 50, 0);
    EXPECT_EQ(two, (std::vector<double>{3, 0}));
}
