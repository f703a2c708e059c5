#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "frame_test_support.h"
#include "scan_window_support.h"
#include "scans/scan_analysis.h"
#include "scans/theta_scan_window.h"
#include "test_support.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/scan_writers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// 401 points of 0.05 degrees from 0: three peaks in a table made by hand,
// the first in the direct beam (1.0 degrees).
PeakTable HandTable() {
    PeakTable t(3);
    t[0].Index = 20;
    t[0].Intensity = 50;
    t[1].Index = 247;   // 12.35 degrees
    t[1].Intensity = 1234.5;
    t[1].Area = 98765.4321;
    t[1].Width = 0.123456;
    t[2].Index = 301;   // 15.05 degrees
    t[2].Intensity = 7.25;
    t[2].Area = 20.5;
    t[2].Width = 0.05;
    for (PeakRecord& p : t) p.LeftIndex = p.RightIndex = p.Index;
    return t;
}

void MakeHandScan(Workspace& ws) {
    MakeThetaScan(ws, 0, 0.05, std::vector<double>(401, 10.0));
    ws.SectorPsi1 = 0;
    ws.SectorPsi2 = 350.5f;
}

void Press(Workspace& ws, int key) { ThetaKeyDown(ws, key); }

} // namespace

TEST(ScanThetaWindowTest, PeakListLayoutSkipsTheDirectBeamAndKeepsSlotNumbers) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    MakeHandScan(ws);
    ws.OutputDir = dir.path().string();
    ws.FSetup.CB2ThScanPeaks = true;
    ReportThetaPeaks(ws, host, HandTable(), false);
    EXPECT_EQ(ReadBytes(dir.file("frame1.tif.TPK")),
              "2Th Scan sector from Psi = 0.000  to  350.500\r\n"
              "Exp1\r\n"
              "Peak list\r\n"
              "#  2Theta  d-spacing  Intensity  Area    Width\r\n"
              "          2  12.350   3.297 1234.500 98765.432   0.123\r\n"
              "          3  15.050   2.708   7.250  20.500   0.050\r\n");
    // Read back as other programs read it, by splitting on blanks.
    const std::vector<std::string> rows = ReadTextLines(dir.file("frame1.tif.TPK"));
    const std::vector<std::vector<double>> expected{{2, 12.35, 3.297, 1234.5, 98765.432, 0.123},
                                                    {3, 15.05, 2.708, 7.25, 20.5, 0.05}};
    for (size_t r = 0; r < expected.size(); ++r) EXPECT_EQ(BlankSeparatedNumbers(rows[4 + r]), expected[r]) << rows[4 + r];
    const auto& log = ws.LLog.Lines();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[log.size() - 4], "Peak list");
    EXPECT_EQ(log[log.size() - 3], "#  2Theta  d-spacing  Intensity   Area     Width");
    EXPECT_EQ(log.back(), "3    15.050    2.708     7.250    20.500    0.050");
    // One blue circle per reported peak, over the scan's line.
    int markers = 0;
    for (const ChartItem& item : ws.Form2.RChart1.Items())
        if (item.Kind == kItemMarker) {
            ++markers;
            EXPECT_EQ(item.Color, RGBColor(0, 0, 255));
            EXPECT_EQ(item.MarkerType, 17);
        }
    EXPECT_EQ(markers, 2);

    // Only within the sector: the list starts at the first peak inside it.
    ws.SectorTwoTheta1 = 13;
    ws.SectorTwoTheta2 = 20;
    EXPECT_EQ(ThetaPeakListLines(ws, HandTable(), true),
              (std::vector<std::string>{"2Th Scan sector from Psi = 0.000  to  350.500", "Exp1", "Peak list",
                                        "#  2Theta  d-spacing  Intensity  Area    Width",
                                        "          3  15.050   2.708   7.250  20.500   0.050"}));
    // No reported peak: the older list gives way to the header alone.
    ReportThetaPeaks(ws, host, PeakTable(1, HandTable()[0]), false);
    EXPECT_EQ(ReadTextLines(dir.file("frame1.tif.TPK")),
              (std::vector<std::string>{"2Th Scan sector from Psi = 0.000  to  350.500", "Exp1", "Peak list",
                                        "#  2Theta  d-spacing  Intensity  Area    Width"}));
}

TEST(ScanThetaWindowTest, BandSumsAndTheirLineInIntensitiesOut) {
    // Points of 0.25 degrees from 0 to 30, 1 count each, and a strong triple
    // at 12.25, 12.5, 12.75: maxAng 12.5 moves the bands by -0.6 degrees.
    std::vector<double> v(121, 1.0);
    v[49] = v[50] = v[51] = 100;
    Workspace ws;
    MakeThetaScan(ws, 0, 0.25, v);
    ThetaBands bands = MeasureThetaBands(ws);
    EXPECT_DOUBLE_EQ(bands.MaxAngle, 12.5);
    EXPECT_NEAR(bands.Offset, -0.6, 1e-12);
    // (8.8, 10.7): 9.0..10.5; (11.3, 13.9): 11.5..13.75 with the triple;
    // (14.5, 16.1): 14.75..16.0; (16.1, 17.7); (17.7, 19.4); (19.5, 21.9).
    EXPECT_EQ(IntensitiesLine(ws, bands), "frame1.tif          7        307          6          6          7          9");
    // Fewer than 40 points: no maximum, no offset.
    v.resize(39);
    MakeThetaScan(ws, 0, 0.25, v);
    EXPECT_EQ(MeasureThetaBands(ws).MaxAngle, 0);
    // A maximum 1.9 degrees from 13.1: no offset.
    v.assign(121, 1.0);
    v[59] = v[60] = v[61] = 50;
    MakeThetaScan(ws, 0, 0.25, v);
    bands = MeasureThetaBands(ws);
    EXPECT_DOUBLE_EQ(bands.MaxAngle, 15);
    EXPECT_EQ(bands.Offset, 0);
}

TEST(ScanThetaWindowTest, BackgroundRemovalWritesOneBandLineEachAndReplots) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ws.OutputDir = dir.path().string();
    StartIntensitiesFile(ws);
    EXPECT_EQ(ReadBytes(dir.file("intensities.out")), "");
    std::vector<double> v(121);
    for (size_t k = 0; k < v.size(); ++k) v[k] = 500 - 2.0 * k + (k == 60 ? 900 : (k == 59 || k == 61) ? 300 : 0);
    MakeThetaScan(ws, 0, 0.25, v);
    TForm7 boxes;
    boxes.EPeakWidth = "2.0";
    boxes.EBHeight = "10";
    ASSERT_TRUE(RemoveThetaBackground(ws, host, boxes));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_NEAR(ws.SectorScan[60].Intensity, 900, 10);   // the roll leaves a little of the slope
    for (int k = 0; k <= 120; ++k) EXPECT_GE(ws.SectorScan[k].Intensity, 0) << k;
    EXPECT_EQ(ws.ScanStage, 1);
    EXPECT_EQ(ws.LLog.Lines()[ws.LLog.Lines().size() - 2], "maxAng = 15.000");
    EXPECT_EQ(ws.LLog.Last().rfind("Background removed; Total intensity of peaks = ", 0), 0u);
    EXPECT_NEAR(ws.ScanMaxIntensity, ws.SectorScan[60].Intensity, 1e-3);
    ASSERT_TRUE(RemoveThetaBackground(ws, host, boxes));
    const std::vector<std::string> lines = ReadTextLines(dir.file("intensities.out"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 11), "frame1.tif ");

    // A roll narrower than one step, a negative height or a box that is no
    // number change nothing.
    const ProfileRow before = ws.SectorScan;
    boxes.EPeakWidth = "0.1";
    EXPECT_FALSE(RemoveThetaBackground(ws, host, boxes));
    EXPECT_EQ(host.messages.back(), "The roll width must be at least one scan step (0.250 deg.)");
    boxes.EPeakWidth = "2";
    boxes.EBHeight = "-5";
    EXPECT_FALSE(RemoveThetaBackground(ws, host, boxes));
    boxes.EBHeight = "ten";
    EXPECT_THROW(RemoveThetaBackground(ws, host, boxes), ConversionError);
    for (int k = 0; k <= 120; ++k) ASSERT_EQ(ws.SectorScan[k].Intensity, before[k].Intensity);
    EXPECT_EQ(ReadTextLines(dir.file("intensities.out")).size(), 2u);
}

TEST(ScanThetaWindowTest, ReadOutsAndHandMarksClampToTheScan) {
    Workspace ws;
    RecordingHost host;
    MakeThetaScan(ws, 5, 0.1, {10, 20, 30, 40, 50});
    EXPECT_EQ(ThetaPointAt(ws, 5.25), 2);
    EXPECT_EQ(ThetaPointAt(ws, 4.0), 1);
    EXPECT_EQ(ThetaPointAt(ws, 1e9), 4);
    ThetaMouseMove(ws, host, 5.25);
    EXPECT_EQ(ws.Form2.RChart1.Caption(), "2Theta = 5.250, d = 7.744, I = 30.0");
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.CrossHair1().PosX(), 5.25);
    ThetaMouseMove(ws, host, 0.04);
    EXPECT_EQ(ws.Form2.RChart1.Caption(), "");

    ThetaMouseDown(ws, host, -1e9);
    ThetaMouseDown(ws, host, 5.31);
    EXPECT_EQ(ws.PeakCount, 2);
    EXPECT_EQ(ws.LLog.Last(), "2    5.300    7.671     40.000");
    const ChartItem& mark = ws.Form2.RChart1.Items().back();
    EXPECT_EQ(mark.Kind, kItemMarker);
    EXPECT_FLOAT_EQ(static_cast<float>(mark.X), 5.3f);
    EXPECT_NEAR(mark.Y, 44, 1e-9);
    UnselectThetaPeaks(ws);
    EXPECT_EQ(ws.PeakCount, 0);

    // Another key held: "Mark At" (no frame: the crosshair and the point only).
    Press(ws, 'M');
    ThetaMouseDown(ws, host, 5.21);
    EXPECT_EQ(ws.MarkIndex, 2);
    EXPECT_EQ(ws.MarkSet, 1);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.CrossHair2().PosX(), 5.21);
    EXPECT_FALSE(ws.FrameTools.KeyHeld);
    EXPECT_EQ(ws.PeakCount, 0);
}

TEST(ScanThetaWindowTest, TwoClickRangesZoomAndSelectTheSector) {
    Workspace ws;
    RecordingHost host;
    std::vector<double> v(201);
    for (size_t k = 0; k < v.size(); ++k) v[k] = 10 + 100 * std::exp(-std::pow((k - 120) / 4.0, 2));
    MakeThetaScan(ws, 10, 0.05, v);   // 10..20 degrees, a peak at 16
    // 'Z', clicked from the right end to the left one: the same range.
    Press(ws, 'Z');
    ThetaMouseDown(ws, host, 17);
    EXPECT_EQ(ws.RangeClickCount, 1);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.CrossHair4().PosX(), 17);
    Press(ws, 'Z');
    ThetaMouseDown(ws, host, 15);
    EXPECT_EQ(ws.RangeClickCount, 0);
    EXPECT_DOUBLE_EQ(ws.MarkedTwoTheta1, 15);
    EXPECT_DOUBLE_EQ(ws.MarkedTwoTheta2, 17);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.Scale1X().RangeLow(), 15);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart1.Scale1X().RangeHigh(), 17);
    EXPECT_NEAR(ws.Form2.RChart1.Scale1Y().RangeHigh(), 1.1 * 110, 1e-3);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart2.CrossHair1().PosX(), 15);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart2.CrossHair2().PosX(), 17);
    EXPECT_FALSE(ws.FrameTools.KeyZHeld);

    // 'A': the range's peak and sums in the logbook and the sector's 2-theta.
    Press(ws, 'A');
    ThetaMouseDown(ws, host, 15.5);
    Press(ws, 'A');
    ThetaMouseDown(ws, host, 16.5);
    double area = 0;
    for (int k = 110; k <= 130; ++k) area += ws.SectorScan[k].Intensity;
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 15.5f);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 16.5f);
    EXPECT_EQ(ws.FMask.Eth1, "15.500");
    EXPECT_EQ(ws.FMask.EPsi2, "360");
    const auto& log = ws.LLog.Lines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "peak at 16.000 IntMax = 110.000 Area = " + FormatFixed(area, 3) +
                                       " FWHM = " + FormatFixed(ws.TwoThetaStep * area / 110, 3) + " PsiL-PsiR = 1.000");
    EXPECT_EQ(log.back(), "Angular sector = 15.500, 0.000, 16.500, 360.000");

    // Releasing the key takes the range marks away.
    ThetaKeyUp(ws, 'A');
    EXPECT_EQ(ws.Form2.RChart1.CrossHair3().PosX(), 0);
    EXPECT_EQ(ws.Form2.RChart1.CrossHair4().PosX(), 0);
}

TEST(ScanThetaWindowTest, ZoomInAndOut) {
    Workspace ws;
    RecordingHost host;
    std::vector<double> v(201, 20.0);
    v[50] = 500;    // 12.5 degrees
    v[150] = -30;   // 17.5 degrees
    MakeThetaScan(ws, 10, 0.05, v);
    ws.ScanMinIntensity = -30;
    ws.ScanMaxIntensity = 500;
    TForm5 boxes;
    boxes.EXMin = "18";   // typed the wrong way round
    boxes.EXmax = "11";
    ThetaZoomIn(ws, boxes);
    TRChart& c = ws.Form2.RChart1;
    EXPECT_DOUBLE_EQ(c.Scale1X().RangeLow(), 11);
    EXPECT_DOUBLE_EQ(c.Scale1X().RangeHigh(), 18);
    EXPECT_DOUBLE_EQ(c.Scale1Y().RangeLow(), -30);
    EXPECT_DOUBLE_EQ(c.Scale1Y().RangeHigh(), 500);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart2.CrossHair1().PosX(), 11);
    EXPECT_DOUBLE_EQ(ws.Form2.RChart2.CrossHair2().PosX(), 18);
    // Beyond the scan: nothing to measure, the axes still usable.
    boxes.EXMin = "100";
    boxes.EXmax = "120";
    ThetaZoomIn(ws, boxes);
    EXPECT_DOUBLE_EQ(c.Scale1Y().RangeLow(), 0);
    EXPECT_DOUBLE_EQ(c.Scale1Y().RangeHigh(), 1);
    boxes.CBAMax = false;
    boxes.EYMax = "x";
    EXPECT_THROW(ThetaZoomIn(ws, boxes), ConversionError);
    EXPECT_DOUBLE_EQ(c.Scale1X().RangeLow(), 100);

    ThetaZoomOut(ws, false);
    EXPECT_DOUBLE_EQ(c.Scale1X().RangeLow(), 0);
    EXPECT_DOUBLE_EQ(c.Scale1X().RangeHigh(), 20);
    EXPECT_DOUBLE_EQ(c.Scale1Y().RangeLow(), -33);
    EXPECT_DOUBLE_EQ(c.Scale1Y().RangeHigh(), 550);
}

TEST(ScanThetaWindowTest, ThsScanWrittenByTheProgramReadsBackIdentically) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    std::vector<double> v(801);
    for (size_t k = 0; k < v.size(); ++k) v[k] = 100 + 0.125 * static_cast<double>(k % 37);
    MakeThetaScan(ws, 8, 0.005, v);
    CheckScanFormat(ws.Form13, ScanFormat::Ths);
    const std::string first = WriteTwoThetaScan(ws, dir.file("a"), ScanSource::Sector);

    Workspace back;
    back.CurrentFile = ws.CurrentFile;
    ASSERT_TRUE(OpenThetaScanFile(back, host, first));
    EXPECT_EQ(back.SectorScanPoints, 800);
    for (int k = 0; k <= 800; ++k) {
        ASSERT_EQ(back.SectorScan[k].TwoTheta, ws.SectorScan[k].TwoTheta) << k;
        ASSERT_EQ(back.SectorScan[k].Intensity, ws.SectorScan[k].Intensity) << k;
    }
    EXPECT_DOUBLE_EQ(back.Landa, 0.7093);
    EXPECT_FLOAT_EQ(back.SectorTwoTheta1, 8);
    EXPECT_FLOAT_EQ(back.SectorTwoTheta2, 12);
    EXPECT_FLOAT_EQ(back.ScanMaxIntensity, 104.5f);
    EXPECT_EQ(back.Form2.Caption, "2Theta Scan of a.ths");
    EXPECT_TRUE(back.Form2.Visible);
    CheckScanFormat(back.Form13, ScanFormat::Ths);
    const std::string second = WriteTwoThetaScan(back, dir.file("b"), ScanSource::Sector);
    EXPECT_EQ(ReadBytes(second), ReadBytes(first));
}

TEST(ScanThetaWindowTest, ThsStepComesFromTheRowsNotTheRoundedHeader) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    std::string text = "scan\r\n8.000\r\n0.003\r\n1.5406\r\nDATA\r\n";
    for (int k = 0; k <= 400; ++k)
        text += FormatFixedWidth(8 + 0.0025 * k, 12, 4) + FormatFixedWidth(0, 12, 3) + FormatFixedWidth(k, 12, 3) + "\r\n";
    WriteBytes(dir.file("fine.ths"), text);
    ASSERT_TRUE(OpenThetaScanFile(ws, host, dir.file("fine.ths")));
    EXPECT_NEAR(ws.TwoThetaStep, 0.0025, 1e-8);
    EXPECT_DOUBLE_EQ(ws.Landa, 1.5406);
    EXPECT_EQ(ws.SectorScanPoints, 400);
    EXPECT_FLOAT_EQ(ws.SectorScan[400].TwoTheta, 9);
    EXPECT_EQ(ThetaPointAt(ws, 8.5), 200);
}

TEST(ScanThetaWindowTest, ThsFilesThatAreNoScanChangeNothing) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    MakeThetaScan(ws, 5, 0.1, {1, 2, 3});
    const ProfileRow before = ws.SectorScan;
    const std::string header = "x\r\n10.000\r\n0.500\r\n0.7093\r\nDATA\r\n";
    // A bad row after good ones: none of the file's points are taken.
    WriteBytes(dir.file("bad.ths"), header + "      10.000       4.069      12.000\r\n      1O.500       3.876      13.000\r\n");
    // Angles that go back, and a file with a header only.
    WriteBytes(dir.file("back.ths"), header + "      10.000       4.069      12.000\r\n       9.000       4.069      12.000\r\n");
    WriteBytes(dir.file("empty.ths"), header);
    std::string many = header;
    for (int k = 0; k <= MaxScanPoints + 1; ++k) many += FormatFixedWidth(5 + k * 0.001, 12, 3) + "       4.069      12.000\r\n";
    WriteBytes(dir.file("many.ths"), many);
    for (const char* name : {"bad.ths", "back.ths", "empty.ths", "many.ths", "missing.ths"}) {
        host.messages.clear();
        EXPECT_FALSE(OpenThetaScanFile(ws, host, dir.file(name))) << name;
        EXPECT_EQ(host.messages.size(), 1u) << name;
        EXPECT_EQ(ws.SectorScanPoints, 2) << name;
        for (int k = 0; k < 5; ++k) ASSERT_EQ(ws.SectorScan[k].Intensity, before[k].Intensity) << name;
    }
    EXPECT_EQ(host.messages.back(), "Cannot open file " + dir.file("missing.ths"));
}

TEST(ScanThetaWindowTest, MarkAtDrawsTheRingOnTheFrameAndKeepsIt) {
    Workspace ws;
    RecordingHost host;
    MakeFrame(ws, 101, 101);
    FlatGeometry(ws, 51, 51, 100);   // 2-theta 10 lies 17.6 pixels from the beam
    std::vector<double> v(ws.ScanPoints + 1, 5.0);
    MakeThetaScan(ws, 0, 0.1, v);
    RenderFrame(ws);
    ws.Form1.Image2 = ws.Form1.Image1;
    ThetaKeyDown(ws, 'M');
    ThetaMouseDown(ws, host, 10.02);
    EXPECT_EQ(ws.MarkIndex, 100);
    EXPECT_EQ(ws.LLog.Last(), "Mark At 2Theta = 10.000, d = 4.069");
    const uint32_t red = MakeColor(255, 0, 0);
    // Above the beam on the ring, in the picture and in its clean copy.
    EXPECT_EQ(ws.Form1.Image1.Get(51, 33), red);
    EXPECT_EQ(ws.Form1.Image2.Get(51, 33), red);
    EXPECT_NE(ws.Form1.Image2.Get(51, 51), red);
}
