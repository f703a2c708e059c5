#include <gtest/gtest.h>

#include <numeric>

#include "scan_support.h"
#include "workspace/host.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// 100 columns x 40 rows: column i lies at 2-theta i - 1 (bin i - 1), row j
// at psi (j - 1) x 9, so every bin holds one pixel per 9 degrees of psi and
// the psi limits 90 and 270 fall exactly on rows 11 and 31.
void MakeRingFrame(Workspace& ws, int32_t intensity = 10) {
    MakeScanFrame(ws, 100, 40);
    for (int i = 1; i <= 100; ++i)
        for (int j = 1; j <= 40; ++j) SetPixel(ws, i, j, intensity, static_cast<float>(i - 1), (j - 1) * 9.0f);
}

std::vector<int32_t> Counts(const Workspace& ws) {
    std::vector<int32_t> c;
    for (int k = 0; k <= ws.SectorScanPoints; ++k) c.push_back(ws.SectorScan[k].Count);
    return c;
}

void Scan(Workspace& ws, Host& host, float psi1, float psi2) {
    ws.SectorPsi1 = psi1;
    ws.SectorPsi2 = psi2;
    N2ThetaScan1Click(ws, host);
}

} // namespace

TEST(ScanSectorTest, PsiMembershipExcludesBothLimitsAndWrapsThroughZero) {
    EXPECT_TRUE(InPsiSector(310, 300, 60));
    EXPECT_TRUE(InPsiSector(30, 300, 60));
    EXPECT_TRUE(InPsiSector(0, 300, 60));
    EXPECT_FALSE(InPsiSector(180, 300, 60));
    EXPECT_FALSE(InPsiSector(300, 300, 60));
    EXPECT_FALSE(InPsiSector(60, 300, 60));
    EXPECT_TRUE(InPsiSector(100, 90, 270));
    EXPECT_FALSE(InPsiSector(90, 90, 270));
    EXPECT_FALSE(InPsiSector(270, 90, 270));
    EXPECT_FALSE(InPsiSector(0, 0, 0));
    EXPECT_FALSE(InPsiSector(120, 120, 120));
}

TEST(ScanSectorTest, WrappingSectorTakesThePixelsOnBothSidesOfZero) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    // Psi 0..351 in steps of 9: inside 300..60 are 306..351 (6 rows) and
    // 0..54 (7 rows); 297 and 63 lie outside, and no row sits on a limit.
    Scan(ws, host, 300, 60);
    EXPECT_EQ(ws.SectorScan[5].Count, 13);
    // Row psi 297 and 306 bracket 300; moving the limit onto a row (306)
    // drops that row.
    Scan(ws, host, 306, 54);
    EXPECT_EQ(ws.SectorScan[5].Count, 11);
}

TEST(ScanSectorTest, EqualPsiLimitsSelectNothing) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    Scan(ws, host, 120, 120);
    for (int k = 0; k <= ws.SectorScanPoints; ++k) {
        EXPECT_EQ(ws.SectorScan[k].Count, 0) << k;
        EXPECT_EQ(ws.SectorScan[k].Intensity, 0) << k;
    }
}

TEST(ScanSectorTest, ComplementarySectorsAddUpToTheFrameLessBoundaryPixels) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    ws.FSetup.CB2thetaLorentz = false;
    Scan(ws, host, 90, 270);
    std::vector<int32_t> a = Counts(ws);
    std::vector<float> sumA;
    for (int k = 0; k < 90; ++k) sumA.push_back(ws.SectorScan[k].Intensity);
    Scan(ws, host, 270, 90);
    std::vector<int32_t> b = Counts(ws);
    for (int k = 0; k < 90; ++k) {
        // 40 rows less the two on psi 90 and 270.
        EXPECT_EQ(a[k] + b[k], 38) << k;
        EXPECT_FLOAT_EQ(sumA[k] + ws.SectorScan[k].Intensity, 38 * 10.0f) << k;
    }
}

TEST(ScanSectorTest, MaskedPixelChangesNeitherSumNorCount) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    ws.FSetup.CB2thetaLorentz = false;
    Scan(ws, host, 0, 360);
    EXPECT_EQ(ws.SectorScan[5].Count, 39);   // psi 0 lies on the limit
    EXPECT_FLOAT_EQ(ws.SectorScan[5].Intensity, 390);
    ws.FramePixels.Intensity[6][20] = MaskedIntensity;   // bin 5, psi 171
    Scan(ws, host, 0, 360);
    EXPECT_EQ(ws.SectorScan[5].Count, 38);
    EXPECT_FLOAT_EQ(ws.SectorScan[5].Intensity, 380);
}

TEST(ScanSectorTest, ASecondSectorGetsTheSameScanAsAlone) {
    // Sector A has too few pixels per bin near the largest 2-theta, so its
    // scan ends early; B has enough and must not inherit A's end or sums.
    Workspace alone;
    RecordingHost host;
    MakeRingFrame(alone, 7);
    Scan(alone, host, -1, 361);
    ASSERT_EQ(alone.SectorScanPoints, 100);

    Workspace ws;
    MakeRingFrame(ws, 7);
    Scan(ws, host, 0, 90);   // 9 rows per bin: ends at the first bin past 90
    EXPECT_EQ(ws.SectorScanPoints, 91);
    EXPECT_EQ(ws.ScanPoints, 100);
    Scan(ws, host, -1, 361);
    EXPECT_EQ(ws.SectorScanPoints, alone.SectorScanPoints);
    for (int k = 0; k < ProfileLength; ++k) {
        EXPECT_EQ(ws.SectorScan[k].Intensity, alone.SectorScan[k].Intensity) << k;
        EXPECT_EQ(ws.SectorScan[k].Count, alone.SectorScan[k].Count) << k;
        EXPECT_EQ(ws.SectorScanBackup[k].Intensity, alone.SectorScan[k].Intensity) << k;
    }
}

TEST(ScanSectorTest, ScanEndsAtAThinBinBeyondNinetyPercentOfTheLargestTwoTheta) {
    for (int pixels : {19, 20}) {
        Workspace ws;
        RecordingHost host;
        // Bins 0..100 with 20 pixels each; the cut index is 100 x 0.9 / 1 = 90.
        MakeScanFrame(ws, 101, 20, 1.0f, 100, 100.0f);
        for (int i = 1; i <= 101; ++i)
            for (int j = 1; j <= 20; ++j) SetPixel(ws, i, j, 5, static_cast<float>(i - 1), 10.0f + j);
        if (pixels == 19) ws.FramePixels.Intensity[96][7] = MaskedIntensity;   // bin 95
        Scan(ws, host, 0, 360);
        EXPECT_EQ(ws.SectorScanPoints, pixels == 19 ? 95 : 100) << pixels;
        EXPECT_EQ(ws.ScanPoints, 100);
        // The last point is a finished value like every other.
        EXPECT_FLOAT_EQ(ws.SectorScan[ws.SectorScanPoints].Intensity, 5) << pixels;
        // Beyond the scan nothing is left over.
        for (int k = ws.SectorScanPoints + 1; k < ProfileLength; ++k) {
            ASSERT_EQ(ws.SectorScan[k].Intensity, 0) << k;
            ASSERT_EQ(ws.SectorScan[k].Count, 0) << k;
        }
    }
}

TEST(ScanSectorTest, LorentzBoxDividesByThePixelCount) {
    for (bool lorentz : {true, false}) {
        Workspace ws;
        RecordingHost host;
        MakeScanFrame(ws, 4, 1, 1.0f, 10, 100.0f);
        for (int i = 1; i <= 4; ++i) SetPixel(ws, i, 1, 1000, 3.2f, 45);
        ws.FSetup.CB2thetaLorentz = lorentz;
        Scan(ws, host, 0, 360);
        EXPECT_EQ(ws.SectorScan[3].Count, 4);
        EXPECT_FLOAT_EQ(ws.SectorScan[3].Intensity, lorentz ? 1000 : 4000);
    }
}

TEST(ScanSectorTest, BinIsTheNearestStepHalvesToEven) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 4, 1, 0.5f, 40, 100.0f);
    ws.MinTwoTheta = 10;
    ws.FSetup.CB2thetaLorentz = false;
    SetPixel(ws, 1, 1, 1, 10.25f, 45);    // position 0.5 -> bin 0
    SetPixel(ws, 2, 1, 10, 10.75f, 45);   // position 1.5 -> bin 2
    SetPixel(ws, 3, 1, 100, 11.2f, 45);   // position 2.4 -> bin 2
    SetPixel(ws, 4, 1, 1000, 9.0f, 45);   // below bin 0: outside the scan
    Scan(ws, host, 0, 360);
    EXPECT_EQ(ws.SectorScan[0].Count, 1);
    EXPECT_EQ(ws.SectorScan[2].Count, 2);
    EXPECT_FLOAT_EQ(ws.SectorScan[2].Intensity, 110);
    EXPECT_FLOAT_EQ(ws.SectorScan[2].TwoTheta, 11.0f);
    EXPECT_EQ(std::accumulate(ws.SectorScan.begin(), ws.SectorScan.end(), 0,
                              [](int n, const ProfilePoint& p) { return n + p.Count; }),
              3);
}

TEST(ScanSectorTest, EmptyBinsTakeTheMeanOfTheirNeighboursFinishedValues) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 6, 1, 1.0f, 5, 100.0f);
    ws.FSetup.CB2thetaLorentz = false;
    SetPixel(ws, 1, 1, 400, 0, 45);    // bin 0
    SetPixel(ws, 2, 1, 800, 2, 45);    // bin 2; bin 1 empty
    SetPixel(ws, 3, 1, 100, 3, 45);    // bin 3; bins 4 and 5 empty
    Scan(ws, host, 0, 360);
    EXPECT_FLOAT_EQ(ws.SectorScan[1].Intensity, 600);     // (400 + 800) / 2
    EXPECT_FLOAT_EQ(ws.SectorScan[4].Intensity, 50);      // (100 + 0) / 2
    EXPECT_FLOAT_EQ(ws.SectorScan[5].Intensity, 25);      // last: (50 + itself 0) / 2
    // The extrema inside the limits are those of the values before filling.
    EXPECT_FLOAT_EQ(ws.ScanMaxIntensity, 800);
    EXPECT_FLOAT_EQ(ws.ScanMinIntensity, 0);
}

TEST(ScanSectorTest, FlatWeightIsTheCubedDistanceOverTheCubedDetectorDistance) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 151, 1, 1.0f, 10, 100.0f);
    ws.FSetup.CB2thetaLorentz = false;
    ws.FSetup.cbflat = true;
    ws.FrameSize = 100;
    ws.Distance = 50;
    ws.DSize = 25;   // 200 pixels from sample to detector
    SetPixel(ws, 1, 1, 1000, 1, 45);
    SetPixel(ws, 151, 1, 1000, 2, 45);
    // A flat detector 200 pixels away, centre on pixel (1, 1): pixel (1, 1)
    // lies at X = 0, Y = 200, Z = 0 (r = 200), pixel (151, 1) at X = -150
    // (r = 250).
    FrameGeometry& g = ws.FramePixels.OwnGeometry();
    g.Mapping.Mapper = DetectorMapping::Kind::Flat;
    g.Mapping.Xo = 1;
    g.Mapping.Yo = 1;
    g.Mapping.D = 200;
    ASSERT_EQ(ws.FramePixels.Lab(151, 1).X, -150);
    ASSERT_EQ(ws.FramePixels.Lab(151, 1).Y, 200);
    Scan(ws, host, 0, 360);
    EXPECT_FLOAT_EQ(ws.SectorScan[1].Intensity, 1000);
    EXPECT_NEAR(ws.SectorScan[2].Intensity, 1000 * (250.0 * 250 * 250) / (200.0 * 200 * 200), 1e-3);
}

TEST(ScanSectorTest, RectangleIsRepairedOrderedAndSetsTheTwoThetaLimits) {
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 512, 8, 1.0f, 100, 100.0f);
    for (int i = 1; i <= 512; ++i)
        for (int j = 1; j <= 8; ++j) SetPixel(ws, i, j, 1, 0.1f * i, 45);
    ws.RectangularSector = 1;
    ws.FMask.EX1 = "600";
    ws.FMask.Ex2 = "100";
    ws.FMask.EY1 = "300";
    ws.FMask.EY2 = "0";
    N2ThetaScan1Click(ws, host);
    EXPECT_EQ(ws.FMask.EX1, "512");
    EXPECT_EQ(ws.FMask.Ex2, "100");   // not repaired: kept as typed
    EXPECT_EQ(ws.FMask.EY1, "8");
    EXPECT_EQ(ws.FMask.EY2, "1");
    EXPECT_EQ(ws.CropRect, (std::array<int32_t, 4>{100, 512, 1, 8}));
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 10.0f);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 51.2f);
    int pixels = 0;
    for (int k = 0; k <= ws.SectorScanPoints; ++k) pixels += ws.SectorScan[k].Count;
    EXPECT_EQ(pixels, 413 * 8);
}

TEST(ScanSectorTest, RectangleBoxThatIsNotANumberChangesNothing) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    Scan(ws, host, 0, 360);
    const auto before = ws.SectorScan;
    ws.RectangularSector = 1;
    ws.FMask.EY2 = "abc";
    ws.FMask.EX1 = "0";
    N2ThetaScan1Click(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "'abc' is not a valid number");
    EXPECT_EQ(ws.FMask.EX1, "0");
    for (int k = 0; k < 100; ++k) EXPECT_EQ(ws.SectorScan[k].Intensity, before[k].Intensity);
}

TEST(ScanSectorTest, NoFrameAsksForOne) {
    Workspace ws;
    RecordingHost host;
    N2ThetaScan1Click(ws, host);
    PsiScan1Click(ws, host);
    EXPECT_EQ(host.messages, (std::vector<std::string>{"Need to open a file first", "Need to open a file first !"}));
}

TEST(ScanSectorTest, ChartsShowTheScanAndItsRange) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    ws.SectorTwoTheta1 = 20;
    ws.SectorTwoTheta2 = 45;
    for (int j = 1; j <= 40; ++j) ws.FramePixels.Intensity[31][j] = 100;   // bin 30
    Scan(ws, host, 0, 360);
    EXPECT_EQ(ws.Form2.Caption, "2Theta Scan of frame1.orv");
    EXPECT_TRUE(ws.Form2.Visible);
    EXPECT_EQ(ws.LLog.Last(), "2Theta scan calculated and displayed ");
    const TRChart& overview = ws.Form2.RChart2;
    ASSERT_EQ(overview.ItemCount(), ws.SectorScanPoints + 1);
    EXPECT_EQ(overview.Item(0).Kind, kItemMoveTo);
    for (int k = 1; k <= ws.SectorScanPoints; ++k) {
        EXPECT_EQ(overview.Item(k).Kind, kItemLineTo);
        EXPECT_EQ(overview.Item(k).X, ws.SectorScan[k].TwoTheta);
        EXPECT_EQ(overview.Item(k).Y, ws.SectorScan[k].Intensity);
        EXPECT_EQ(overview.Item(k).Color, clBlack);
    }
    EXPECT_EQ(ws.Form2.RChart1.ItemCount(), overview.ItemCount());
    TRChart& work = ws.Form2.RChart1;
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeLow(), 20);
    EXPECT_DOUBLE_EQ(work.Scale1X().RangeHigh(), 45);
    EXPECT_DOUBLE_EQ(work.Scale1Y().RangeLow(), 0);
    EXPECT_NEAR(work.Scale1Y().RangeHigh(), 110, 1e-4);
    TRChart& strip = ws.Form2.RChart2;
    EXPECT_DOUBLE_EQ(strip.Scale1X().RangeLow(), 0.001f);   // a first bin at 0 is drawn at 0.001
    EXPECT_DOUBLE_EQ(strip.Scale1X().RangeHigh(), 100);
    EXPECT_DOUBLE_EQ(strip.CrossHair1().PosX(), 20);
}

TEST(ScanSectorTest, HiddenResultsWriteNoLogbookLine) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    ws.ShowScanResults = 0;
    Scan(ws, host, 0, 360);
    PsiScan1Click(ws, host);
    EXPECT_EQ(ws.LLog.Count(), 0u);
    EXPECT_FALSE(ws.Form2.Visible);
    EXPECT_FALSE(ws.Form12.Visible);
}

TEST(ScanSectorTest, SectorLimitsAreRepairedFromTheDialog) {
    Workspace ws;
    RecordingHost host;
    MakeRingFrame(ws);
    ws.FMask.Eth1 = "50";
    ws.FMask.Eth2 = "20";
    ws.FMask.EPsi1 = "-90";
    ws.FMask.EPsi2 = "-200";
    ReadSectorLimits(ws, host);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 20);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 50);
    EXPECT_FLOAT_EQ(ws.SectorPsi1, 270);
    EXPECT_FLOAT_EQ(ws.SectorPsi2, 0);
    ws.FMask.Eth1 = "-5";
    ws.FMask.Eth2 = "200";
    ws.FMask.EPsi1 = "400";
    ws.FMask.EPsi2 = "-180";
    ReadSectorLimits(ws, host);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 0);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 180);
    EXPECT_FLOAT_EQ(ws.SectorPsi1, 360);
    EXPECT_FLOAT_EQ(ws.SectorPsi2, 180);
    // The sector was scanned again.
    EXPECT_EQ(ws.LLog.Last(), "2Theta scan calculated and displayed ");

    ws.FMask.EPsi2 = "x1";
    ReadSectorLimits(ws, host);
    EXPECT_EQ(host.messages.back(), "'x1' is not a valid number");
    EXPECT_FLOAT_EQ(ws.SectorPsi2, 180);
}

TEST(ScanSectorTest, LargeFrameSplitAmongThreadsGivesEveryPixelOnce) {
    // 2048 x 1536 pixels: more than one chunk of columns.
    Workspace ws;
    RecordingHost host;
    MakeScanFrame(ws, 2048, 1536, 1.0f, 2100, 2100.0f);
    for (int i = 1; i <= 2048; ++i)
        for (int j = 1; j <= 1536; ++j) SetPixel(ws, i, j, j % 3, static_cast<float>(i - 1), 10.0f + (j % 300));
    ws.FSetup.CB2thetaLorentz = false;
    Scan(ws, host, -1, 361);
    ASSERT_EQ(ws.SectorScanPoints, 2048);   // bin 2048 is the first with too few pixels
    for (int k = 0; k < 2048; ++k) {
        ASSERT_EQ(ws.SectorScan[k].Count, 1536) << k;
        ASSERT_EQ(ws.SectorScan[k].Intensity, 512 * (0 + 1 + 2)) << k;
    }
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 3000;
    ws.FSetup.CBPsiLorentz = false;
    PsiScan1Click(ws, host);
    // Psi 10 + (j mod 300): rows 1..1536 give each psi 10..309 five or six times.
    double total = 0;
    for (int k = 0; k < PsiScanLength; ++k) total += ws.PsiScanData[k];
    EXPECT_EQ(total, 2048.0 * 512 * 3);
    EXPECT_EQ(ws.LLog.Last(), std::to_string(2048 * 1536) + " pixels contributing to the Psi scan");
}
