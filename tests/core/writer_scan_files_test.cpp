#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "scan_support.h"
#include "test_support.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/scan_writers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// 2024-03-05 14:07:09 UTC.
constexpr std::time_t FixedTime = 1709647629;

std::string Golden(const std::string& name) { return ReadWholeFile(DataFile("scans/" + name)); }

// The small known scan of the golden files: ten points from 10 degrees in
// steps of 0.5.
void MakeKnownScan(Workspace& ws) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ws.CurrentFile = "/data/run7/frame1.tif";
    ws.Form23.EXo = "150.400";
    ws.Form23.EYo = "120.600";
    ws.Landa = 0.7093;
    ws.TwoThetaStep = 0.5f;
    ws.MinTwoTheta = 10;
    ws.SectorScanPoints = 9;
    const float intensity[] = {1234.5f, 250.625f, 3000000.0f, 0.125f, 87.875f, -2.5f, 42, 19.5f, 7.375f, 100};
    for (int k = 0; k <= 9; ++k) {
        ws.SectorScan[k].TwoTheta = 10 + 0.5f * k;
        ws.SectorScan[k].Intensity = intensity[k];
        ws.SectorScan[k].Count = 10;
    }
    // Whatever lies beyond the scan's last point is not written.
    ws.SectorScan[10].TwoTheta = 15;
    ws.SectorScan[10].Intensity = 555;
}

std::string WriteIn(const TempDir& dir, Workspace& ws, ScanFormat format, ScanSource source) {
    CheckScanFormat(ws.Form13, format);
    return ReadWholeFile(WriteTwoThetaScan(ws, dir.file("scan"), source, FixedTime));
}

} // namespace

TEST(WriterScanFilesTest, EachTwoThetaLayoutMatchesItsGoldenFileByteForByte) {
    TempDir dir;
    Workspace ws;
    MakeKnownScan(ws);
    for (auto [format, golden] : {std::pair{ScanFormat::Xy, "scan.xy"}, std::pair{ScanFormat::Plv, "scan.plv"},
                                  std::pair{ScanFormat::Ths, "scan.ths"}, std::pair{ScanFormat::Mdi, "scan.mdi"},
                                  std::pair{ScanFormat::Uxd, "scan.uxd"}}) {
        EXPECT_EQ(WriteIn(dir, ws, format, ScanSource::Sector), Golden(golden)) << golden;
        EXPECT_TRUE(FileExists(dir.file(golden))) << golden;
    }
}

TEST(WriterScanFilesTest, WindowSaveWritesTheSectorScanAndOtherwiseTheFrameProfile) {
    TempDir dir;
    Workspace ws;
    MakeKnownScan(ws);
    // The whole-frame profile: other 2-theta values and intensities, more points.
    ws.ScanPoints = 2;
    for (int k = 0; k <= 2; ++k) {
        ws.FrameProfileCopy[k].TwoTheta = 20.0f + k;
        ws.FrameProfileCopy[k].Intensity = 5.0f * (k + 1);
    }
    ws.FromThetaScan = 1;
    EXPECT_EQ(WriteIn(dir, ws, ScanFormat::Xy, ScanSource::Requester), Golden("scan.xy"));
    ws.FromThetaScan = 0;
    EXPECT_EQ(WriteIn(dir, ws, ScanFormat::Xy, ScanSource::Requester),
              "20.000000000 5.0\r\n21.000000000 10.0\r\n22.000000000 15.0\r\n");
    // The header's first 2-theta still comes from the sector scan.
    CheckScanFormat(ws.Form13, ScanFormat::Plv);
    std::vector<std::string> plv = ReadTextLines(WriteTwoThetaScan(ws, dir.file("p"), ScanSource::Requester));
    ASSERT_EQ(plv.size(), 4u + 3u);
    EXPECT_EQ(plv[1], "10.000");
    EXPECT_EQ(plv[4], "       5.000");
    // ".mdi" and ".uxd" always take the sector scan; so does a script save.
    EXPECT_EQ(WriteIn(dir, ws, ScanFormat::Mdi, ScanSource::Requester), Golden("scan.mdi"));
    EXPECT_EQ(WriteIn(dir, ws, ScanFormat::Ths, ScanSource::Sector), Golden("scan.ths"));
}

TEST(WriterScanFilesTest, HeaderLineCountsAndAnEmptyScan) {
    Workspace ws;
    MakeKnownScan(ws);
    ws.SectorScanPoints = 0;
    EXPECT_EQ(TwoThetaScanLines(ws, ScanFormat::Xy, ScanSource::Sector, FixedTime).size(), 1u);
    EXPECT_EQ(TwoThetaScanLines(ws, ScanFormat::Plv, ScanSource::Sector, FixedTime).size(), 5u);
    EXPECT_EQ(TwoThetaScanLines(ws, ScanFormat::Ths, ScanSource::Sector, FixedTime).size(), 6u);
    std::vector<std::string> mdi = TwoThetaScanLines(ws, ScanFormat::Mdi, ScanSource::Sector, FixedTime);
    ASSERT_EQ(mdi.size(), 3u);
    EXPECT_EQ(mdi[1], "10.000 0.500 1 US 0.70930 10.000 1");   // one point follows
    EXPECT_EQ(mdi[2], "     1234500");
}

TEST(WriterScanFilesTest, MdiWritesEveryPointEightToALine) {
    Workspace ws;
    MakeKnownScan(ws);
    for (int k = 0; k <= 13; ++k) ws.SectorScan[k].Intensity = static_cast<float>(k);
    ws.SectorScanPoints = 13;
    std::vector<std::string> mdi = TwoThetaScanLines(ws, ScanFormat::Mdi, ScanSource::Sector, FixedTime);
    ASSERT_EQ(mdi.size(), 4u);
    EXPECT_EQ(mdi[1].substr(mdi[1].rfind(' ') + 1), "14");   // the count of the values that follow
    EXPECT_EQ(mdi[2], "           0        1000        2000        3000        4000        5000        6000        7000");
    EXPECT_EQ(mdi[3], "        8000        9000       10000       11000       12000       13000");
    ws.SectorScanPoints = 15;   // exactly two full lines
    EXPECT_EQ(TwoThetaScanLines(ws, ScanFormat::Mdi, ScanSource::Sector, FixedTime).size(), 4u);
}

TEST(WriterScanFilesTest, ThsPointAtZeroHasNoDSpacing) {
    Workspace ws;
    MakeKnownScan(ws);
    ws.SectorScan[0].TwoTheta = 0;
    EXPECT_EQ(TwoThetaScanLines(ws, ScanFormat::Ths, ScanSource::Sector, FixedTime)[5],
              "       0.000       0.000    1234.500");
}

TEST(WriterScanFilesTest, ExtensionIsAppendedUnlessTheNameEndsInIt) {
    TempDir dir;
    Workspace ws;
    MakeKnownScan(ws);
    CheckScanFormat(ws.Form13, ScanFormat::Xy);
    EXPECT_EQ(WriteTwoThetaScan(ws, dir.file("a.xy"), ScanSource::Sector), dir.file("a.xy"));
    EXPECT_FALSE(FileExists(dir.file("a.xy.xy")));
    EXPECT_EQ(ReadWholeFile(dir.file("a.xy")),
              ReadWholeFile(WriteTwoThetaScan(ws, dir.file("a.tif"), ScanSource::Sector)));
    EXPECT_EQ(ScanFormatExtension(CheckedScanFormat(ws.Form13)), ".xy");
    CheckScanFormat(ws.Form13, ScanFormat::Uxd);
    EXPECT_TRUE(ws.Form13.RBBruker);
    EXPECT_FALSE(ws.Form13.RB2Column);
}

TEST(WriterScanFilesTest, ThsReadsBackThroughTheScanWindowsReader) {
    TempDir dir;
    Workspace ws;
    MakeKnownScan(ws);
    CheckScanFormat(ws.Form13, ScanFormat::Ths);
    const TwoThetaScanFile scan = ReadTwoThetaScanFile(WriteTwoThetaScan(ws, dir.file("s"), ScanSource::Sector));
    EXPECT_DOUBLE_EQ(scan.FirstTwoTheta, 10);
    EXPECT_DOUBLE_EQ(scan.TwoThetaStep, 0.5);
    EXPECT_DOUBLE_EQ(scan.Landa, 0.7093);
    ASSERT_EQ(scan.Points.size(), 10u);
    for (int k = 0; k <= 9; ++k) {
        EXPECT_FLOAT_EQ(scan.Points[k].TwoTheta, ws.SectorScan[k].TwoTheta) << k;
        EXPECT_NEAR(scan.Points[k].Intensity, ws.SectorScan[k].Intensity, 5e-4) << k;
    }
}

TEST(WriterScanFilesTest, ThsReaderStopsAtTextThatIsNotANumber) {
    TempDir dir;
    WriteTextLines(dir.file("bad.ths"), {"x", "10.000", "0.500", "0.7093", "DATA", "      10.000       4.069      12.000",
                                     "      1O.500       3.876      13.000"});
    EXPECT_THROW(ReadTwoThetaScanFile(dir.file("bad.ths")), ConversionError);
    EXPECT_THROW(ReadTwoThetaScanFile(dir.file("missing.ths")), FileError);
}

TEST(WriterScanFilesTest, PsiScanAndDSpacingFilesMatchTheirGoldenFiles) {
    TempDir dir;
    Workspace ws;
    MakeKnownScan(ws);
    ws.OutputDir = dir.path().string();   // no trailing separator: joined as a path
    ws.PsiStep = 90;
    ws.SectorTwoTheta1 = 8.5f;
    ws.SectorTwoTheta2 = 12.25f;
    const float psi[] = {12.5f, 1000.125f, 0, 77.375f, -3.5f};
    for (int k = 0; k <= 4; ++k) ws.PsiScanData[k] = psi[k];
    ws.PsiScanData[5] = 99;   // beyond 360 degrees: not written
    ws.DSpacingData.Step = 90;
    ws.DSpacingData.Count = 4;
    ws.DSpacingData.D[0] = 2.345f;
    ws.DSpacingData.D[1] = 1.5f;
    ws.DSpacingData.D[2] = 0;
    ws.DSpacingData.D[3] = 3.1416f;
    EXPECT_EQ(WritePsiScanFile(ws), dir.file("frame1.tif.PSS"));
    EXPECT_EQ(ReadWholeFile(dir.file("frame1.tif.PSS")), Golden("frame1.tif.PSS"));
    EXPECT_EQ(WriteDSpacingFile(ws), dir.file("frame1.tif.DSP"));
    EXPECT_EQ(ReadWholeFile(dir.file("frame1.tif.DSP")), Golden("frame1.tif.DSP"));
    // A second run replaces the files.
    ws.PsiScanData[0] = 1;
    WritePsiScanFile(ws);
    EXPECT_EQ(ReadTextLines(dir.file("frame1.tif.PSS"))[3], "0.000      1.000");
}

TEST(WriterScanFilesTest, DSpacingFileKeepsItsOwnStepWhateverThePsiScanUses) {
    TempDir dir;
    Workspace ws;
    MakeKnownScan(ws);
    ws.OutputDir = dir.path().string();
    ws.PsiStep = 0.5f;   // the psi scan's step: not the d-spacing table's
    ws.DSpacingData.Count = 72;
    ws.DSpacingData.D[71] = 1.25f;
    WriteDSpacingFile(ws);
    std::vector<std::string> lines = ReadTextLines(dir.file("frame1.tif.DSP"));
    ASSERT_EQ(lines.size(), 3u + 72u);
    EXPECT_EQ(lines[3 + 1], "5.000   0.000");
    EXPECT_EQ(lines.back(), "355.000   1.250");
    // A count beyond the table writes the table and no more; none, no rows.
    ws.DSpacingData.Count = 1000;
    WriteDSpacingFile(ws);
    EXPECT_EQ(ReadTextLines(dir.file("frame1.tif.DSP")).size(), 3u + 72u);
    ws.DSpacingData.Count = 0;
    WriteDSpacingFile(ws);
    EXPECT_EQ(ReadTextLines(dir.file("frame1.tif.DSP")).size(), 3u);
}

TEST(WriterScanFilesTest, FileFormatOkWritesTheChosenNameAndClearsTheRequester) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    MakeKnownScan(ws);
    ws.FromThetaScan = 1;
    CheckScanFormat(ws.Form13, ScanFormat::Ths);
    host.saveFileAnswer = dir.file("chosen");
    FileFormatOK(ws, host);
    // The name the scan will have, so the dialog never offers the frame itself.
    EXPECT_EQ(host.proposedNames, std::vector<std::string>{"frame1.tif.ths"});
    EXPECT_EQ(ReadWholeFile(dir.file("chosen.ths")), Golden("scan.ths"));
    EXPECT_EQ(ws.FromThetaScan, 0);

    ws.FromThetaScan = 1;
    host.saveFileAnswer = dir.file("no_such_folder/x");
    FileFormatOK(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("no_such_folder"), std::string::npos);
    EXPECT_EQ(ws.FromThetaScan, 0);

    host.saveFileAnswer.reset();
    ws.FromThetaScan = 1;
    FileFormatOK(ws, host);
    EXPECT_EQ(ws.FromThetaScan, 0);
    EXPECT_EQ(host.messages.size(), 1u);
}
