#include <gtest/gtest.h>

#include <cmath>

#include "scan_window_support.h"
#include "scans/psi_scan_window.h"
#include "test_support.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/setup_settings.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

using Pieces = std::vector<std::pair<int32_t, int32_t>>;

// Two peaks made by hand: psi 10 and 350 at a step of 0.5.
PeakTable HandTable() {
    PeakTable t(2);
    t[0].Index = 20;
    t[0].Intensity = 1234.56;
    t[0].Area = 45678.91;
    t[0].Width = 2.345;
    t[1].Index = 700;
    t[1].Intensity = 5;
    t[1].Area = 12.26;
    t[1].Width = 1;
    return t;
}

void Click(Workspace& ws, RecordingHost& host, int key, double x) {
    PsiKeyDown(ws, key);
    PsiMouseDown(ws, host, x);
}

} // namespace

TEST(ScanPsiWindowTest, PointsAndRangesWrapAroundZero) {
    Workspace ws;
    ws.PsiStep = 0.5f;
    EXPECT_EQ(PsiLastPoint(ws), 720);
    EXPECT_EQ(PsiPointAt(ws, 0), 720);      // psi 0 is read at 360
    EXPECT_EQ(PsiPointAt(ws, -10), 700);
    EXPECT_EQ(PsiPointAt(ws, 10.2), 20);
    EXPECT_EQ(PsiPointAt(ws, 725), 10);
    EXPECT_EQ(PsiRangePieces(ws, -10, 10), (Pieces{{700, 720}, {0, 20}}));
    EXPECT_EQ(PsiRangePieces(ws, 10, -10), (Pieces{{700, 720}, {0, 20}}));
    EXPECT_EQ(PsiRangePieces(ws, -40, -20), (Pieces{{640, 680}}));
    EXPECT_EQ(PsiRangePieces(ws, -10, 0), (Pieces{{700, 720}}));
    EXPECT_EQ(PsiRangePieces(ws, 30, 60), (Pieces{{60, 120}}));
    EXPECT_EQ(PsiRangePieces(ws, 350, 370), (Pieces{{700, 720}, {0, 20}}));
    EXPECT_EQ(PsiRangePieces(ws, -500, 500), (Pieces{{0, 720}}));
    ws.PsiStep = 0;
    EXPECT_EQ(PsiPointAt(ws, 10), 0);
    EXPECT_TRUE(PsiRangePieces(ws, 0, 10).empty());
}

TEST(ScanPsiWindowTest, RangesThroughZeroMeasureBothSides) {
    Workspace ws;
    RecordingHost host;
    std::vector<double> v(721, 1.0);
    for (int c = 700; c <= 720; ++c) v[c] = 2;   // 350..360
    for (int c = 0; c <= 20; ++c) v[c] = 3;      // 0..10
    v[5] = 9;                                    // psi 2.5
    MakePsiScan(ws, 0.5f, v);
    ShowPsiScan(ws, host);
    Click(ws, host, 'A', -10);
    EXPECT_EQ(ws.ChartRangeClickCount, 1);
    Click(ws, host, 'A', 10);
    const double sum = 21 * 2 + 20 * 3 + 9;
    EXPECT_EQ(ws.LLog.Last(), "peak at 2.500 IntMax = 9 Area = " + FormatFixed(sum, 0) +
                                  " FWHM = " + FormatFixed(0.5 * sum / 9, 3) + " PsiL-PsiR = 20.000");
    // Two negative ends are measured 360 higher; 'Z' zooms there.
    Click(ws, host, 'Z', -40);
    Click(ws, host, 'Z', -20);
    EXPECT_DOUBLE_EQ(ws.PsiZoom1, 320);
    EXPECT_DOUBLE_EQ(ws.PsiZoom2, 340);
    TRChart& work = ws.Form12.RChart2;
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeLow(), 320);
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeHigh(), 340);
    EXPECT_DOUBLE_EQ(work.Scale1Y().RangeHigh(), 1.1);
    EXPECT_DOUBLE_EQ(ws.Form12.RChart1.CrossHair1().PosX(), 320);
    EXPECT_DOUBLE_EQ(ws.Form12.RChart1.CrossHair2().PosX(), 340);
    PsiKeyUp(ws, 'Z');
    EXPECT_EQ(work.CrossHair3().PosX(), 0);

    // Zoom In over -30..30 takes its extremes from 330..360 and 0..30.
    TForm5 boxes;
    boxes.EXMin = "-30";
    boxes.EXmax = "30";
    PsiZoomIn(ws, boxes);
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeLow(), -30);
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeHigh(), 30);
    EXPECT_NEAR(work.Scale1Y().RangeHigh(), 9.9, 1e-12);
    EXPECT_DOUBLE_EQ(ws.Form12.RChart1.CrossHair1().PosX(), 330);
    EXPECT_DOUBLE_EQ(ws.Form12.RChart1.CrossHair2().PosX(), 30);
    boxes.EXMin = "-400";
    PsiZoomIn(ws, boxes);
    EXPECT_EQ(boxes.EXMin, "-180");
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeLow(), -180);

    PsiZoomOut(ws);
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeHigh(), 360);
    EXPECT_NEAR(work.Scale1Y().RangeHigh(), 9.9, 1e-12);
}

TEST(ScanPsiWindowTest, HandMarksAtZeroReadThePointAt360) {
    Workspace ws;
    RecordingHost host;
    std::vector<double> v(721, 1.0);
    v[720] = 7.4;
    v[100] = 3.6;
    MakePsiScan(ws, 0.5f, v);
    PsiMouseDown(ws, host, 0);
    EXPECT_EQ(ws.LLog.Last(), "1    0.000         7.0");
    const ChartItem& mark = ws.Form12.RChart2.Items().back();
    EXPECT_EQ(mark.X, 0);
    EXPECT_NEAR(mark.Y, 7.7, 1e-12);
    PsiMouseDown(ws, host, 50.1);
    EXPECT_EQ(ws.LLog.Last(), "2    50.100         4.0");
    PsiMouseMove(ws, 50.1);
    EXPECT_EQ(ws.Form12.RChart2.Caption(), "50.100, 3.6");
    PsiMouseDown(ws, host, 1e12);   // far off the chart: still a point of the scan
    EXPECT_EQ(ws.PsiMarkCount, 3);
}

TEST(ScanPsiWindowTest, PeakListSummaryAndScanFileLayouts) {
    TempDir dir;
    Workspace ws;
    MakePsiScan(ws, 90, {1.5, 20.25, 300.125, 4000.5, 0.001});
    ws.SectorTwoTheta1 = 12.5f;
    ws.SectorTwoTheta2 = 13.25f;
    EXPECT_EQ(PsiScanLines(ws), (std::vector<std::string>{
                                    "/data/run7/frame1.tif; Exp1; Diffractometer1; User1",
                                    "Psi Scan sector using 2Theta = 12.500  to  13.250", "0.709",
                                    "0.000      1.500", "90.000     20.250", "180.000    300.125",
                                    "270.000   4000.500", "360.000      0.001"}));
    RecordingHost host;
    host.saveFileAnswer = dir.file("saved.pss");
    SavePsiScan(ws, host);
    EXPECT_EQ(host.proposedNames.back(), "frame1.tif.pss");
    EXPECT_EQ(ReadTextLines(dir.file("saved.pss")), PsiScanLines(ws));

    ws.PsiStep = 0.5f;
    EXPECT_EQ(PsiPeakListLines(ws, HandTable()),
              (std::vector<std::string>{"2theta range from  12.500  to  13.250", "Exp1", "Peak list in PsiScan",
                                        "Peak#       Psi    Peak_Intensity   Peak_Area   PeakWidth",
                                        "          1  10.000    1234.6   45678.9   2.345",
                                        "          2 350.000       5.0      12.3   1.000"}));
    EXPECT_EQ(PsiSummaryLine(ws, SummarisePsiPeaks(HandTable())),
              "frame1.tif         2       620     22846       869     32291");
    EXPECT_EQ(PsiSummaryHeader(ws)[1], "sample ID NofPeaks.. PeakIntensity PeakAreaStdev Peak IntStdev Peak Area");
    // One peak: no deviation; none: all zero.
    const PsiPeakSummary one = SummarisePsiPeaks(PeakTable(1, HandTable()[0]));
    EXPECT_DOUBLE_EQ(one.MeanIntensity, 1234.56);
    EXPECT_EQ(one.StdevIntensity, 0);
    EXPECT_EQ(PsiSummaryLine(ws, SummarisePsiPeaks({})), "frame1.tif         0         0         0         0         0");
}

TEST(ScanPsiWindowTest, ReportWritesTheListAndOneSummaryHeaderInTheOutputFolder) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ReportingPsiScan(ws, dir.path().string());
    ReportPsiPeaks(ws, host, HandTable());
    ws.CurrentFile = "/data/run7/frame2.tif";
    ReportPsiPeaks(ws, host, {});
    EXPECT_EQ(ReadTextLines(dir.file("frame1.tif.PPK")), PsiPeakListLines(ws, HandTable()));
    // No peak: the list holds its header alone, so no older list passes for this one.
    const std::vector<std::string> header{"2theta range from  0.000  to  45.000", "Exp1", "Peak list in PsiScan",
                                          "Peak#       Psi    Peak_Intensity   Peak_Area   PeakWidth"};
    EXPECT_EQ(ReadTextLines(dir.file("frame2.tif.PPK")), header);
    std::vector<std::string> summary = PsiSummaryHeader(ws);
    summary.push_back("frame1.tif         2       620     22846       869     32291");
    summary.push_back("frame2.tif         0         0         0         0         0");
    EXPECT_EQ(ReadTextLines(dir.file("Exp1.PSU")), summary);
    EXPECT_EQ(ws.LLog.Last(), "Total number of peaks = 0 , Averaged peak intensity = 0, Averaged peak area = 0");

    // The batch settings' box starts the summary anew with its own header;
    // reports follow it.
    SetupPsiSummaryClick(ws, host);
    ReportPsiPeaks(ws, host, HandTable());
    const std::vector<std::string> lines = ReadTextLines(dir.file("Exp1.PSU"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "sample ID NofPeaks.. PeakIntensity PeakArea");
}

TEST(ScanPsiWindowTest, PeakRowsOfAnyWidthSplitOnBlanks) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ReportingPsiScan(ws, dir.path().string());
    PeakTable t = HandTable();
    t[0].Intensity = 12345678.94;   // fills its field of 10
    t[0].Area = 12345678901.04;     // wider than it
    ReportPsiPeaks(ws, host, t);
    const std::vector<std::string> rows = ReadTextLines(dir.file("frame1.tif.PPK"));
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<std::vector<double>> expected{{1, 10, 12345678.9, 12345678901.0, 2.345}, {2, 350, 5, 12.3, 1}};
    for (size_t r = 0; r < expected.size(); ++r) EXPECT_EQ(BlankSeparatedNumbers(rows[4 + r]), expected[r]) << rows[4 + r];
    // A row whose values fit keeps its columns.
    EXPECT_EQ(rows[5], "          2 350.000       5.0      12.3   1.000");
    // The summary's means and deviations, of ten digits, stay apart too.
    const std::string summary = ReadTextLines(dir.file("Exp1.PSU")).back();
    EXPECT_EQ(BlankSeparatedNumbers(summary.substr(summary.find(' '))).size(), 5u) << summary;
}

TEST(ScanPsiWindowTest, BackgroundAndPeaksOfAPsiScan) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ws.OutputDir = dir.path().string();
    // Two texture maxima 180 degrees apart on a flat background.
    std::vector<double> v(721);
    for (int c = 0; c <= 720; ++c) {
        const double psi = c * 0.5;
        v[c] = 200 + 800 * std::exp(-std::pow((psi - 45.5) / 6, 2)) +
               600 * std::exp(-std::pow((psi - 225.5) / 6, 2)) + 0.3;
    }
    MakePsiScan(ws, 0.5f, v);
    TForm7 roll;
    roll.EPeakWidth = "30";
    roll.EBHeight = "100";
    ASSERT_TRUE(RemovePsiBackground(ws, host, roll));
    EXPECT_FLOAT_EQ(ws.PsiScanBackup[91], static_cast<float>(v[91]));
    for (int c = 0; c <= 720; ++c) ASSERT_EQ(ws.PsiScanData[c], std::nearbyint(ws.PsiScanData[c])) << c;
    EXPECT_EQ(ws.LLog.Last().rfind("Background removed; Total intensity of peaks = ", 0), 0u);
    EXPECT_TRUE(ws.Form12.Visible);

    TForm6 boxes;
    boxes.EPWidth = "10";
    const PeakTable peaks = FindPsiPeaks(ws, host, boxes);
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_EQ(peaks[0].Index, 91);
    EXPECT_EQ(peaks[1].Index, 451);
    EXPECT_NEAR(peaks[0].Width, 6 * std::sqrt(M_PI), 0.5);   // the area over the height of exp(-(x/6)^2)
    ShowPsiBackground(ws);
    EXPECT_NEAR(ws.Form12.RChart2.Items().back().Y, ws.PsiScanBackup[720] - ws.PsiScanData[720], 1e-9);

    // Ripples of a count on the background are no peaks: the percentage
    // is one of the scan's height.
    for (int c = 0; c <= 720; ++c) ws.PsiScanData[c] += static_cast<float>(c % 37 == 0 ? 1 : 0);
    EXPECT_EQ(FindPsiPeaks(ws, host, boxes).size(), 2u);

    // A roll narrower than a step is refused and changes nothing.
    const std::vector<float> before = ws.PsiScanData;
    roll.EPeakWidth = "0.2";
    EXPECT_FALSE(RemovePsiBackground(ws, host, roll));
    EXPECT_EQ(ws.PsiScanData, before);
}
