// The 2-theta scan of whole frames and psi sectors against the 1-D
// integration of an independent diffraction library (tests/data/geometry:
// frames in the program's own format, references per bin of the program's
// step rule; see the README there). Without pixel splitting the library's
// bins are sum / count, what the scan gives with the 1/count box ticked; a
// few pixels per frame land in a neighbouring bin (single-precision angles)
// or sit exactly on a psi limit (inclusive there, exclusive here).

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <sstream>

#include "formats/reader.h"
#include "test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/scan_writers.h"
#include "workspace/script.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

struct ReferenceBin {
    int K = 0;
    double TwoTheta = 0;
    double Mean = 0;
    int64_t Count = 0;
    double Sum = 0;
};

std::vector<ReferenceBin> ReadReference(const std::string& name) {
    std::vector<ReferenceBin> bins;
    for (const std::string& line : ReadTextLines(DataFile("geometry/" + name))) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        ReferenceBin b;
        double radial = 0;
        in >> b.K >> b.TwoTheta >> radial >> b.Mean >> b.Count >> b.Sum;
        bins.push_back(b);
    }
    return bins;
}

struct ReferenceCase {
    const char* Frame;
    bool Vertical;
    bool FixedStep;          // the fixed step of 0.01 instead of the step rule
    float Psi1, Psi2;        // -1, 361: every pixel
    const char* Reference;
    int CountDiffs;          // pixels in a neighbouring bin, from the fixture's notes
    float Step, MinTwoTheta; // the bins the notes give for the step rule
    int ScanPoints;
};

void PrintTo(const ReferenceCase& c, std::ostream* os) { *os << c.Reference; }

// A frame file read by the load chain, its geometry computed with the
// vertical-tilt box and the fixed step of 0.01 as asked.
void LoadFrame(Workspace& ws, Host& host, const std::string& path, bool vertical, bool fixedStep) {
    ws.Form28.CBVertical = vertical;
    ws.FSetup.CBth2step = fixedStep;
    ws.FSetup.Eth2step = "0.01";
    ChainResult read = RunReaderChain(ws, host, ReaderChain::Load, path);
    ASSERT_TRUE(read.Read) << read.Error;
    InstallFrame(ws, std::move(read.Frame));
    ws.CurrentFile = path;
    ws.FileList = {path};
    ws.LastFileIndex = 0;
    ComputeFrameGeometry(ws, host);
}

class ScanReferenceTest : public ::testing::TestWithParam<ReferenceCase> {};

} // namespace

TEST_P(ScanReferenceTest, ScanMatchesTheIndependentIntegrationBinByBin) {
    const ReferenceCase& c = GetParam();
    Workspace ws;
    RecordingHost host;
    LoadFrame(ws, host, DataFile(std::string("geometry/") + c.Frame + ".orv"), c.Vertical, c.FixedStep);
    ASSERT_FLOAT_EQ(ws.TwoThetaStep, c.Step);
    ASSERT_FLOAT_EQ(ws.MinTwoTheta, c.MinTwoTheta);
    ASSERT_EQ(ws.ScanPoints, c.ScanPoints);

    ws.FSetup.CB2thetaLorentz = true;
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 180;
    ws.SectorPsi1 = c.Psi1;
    ws.SectorPsi2 = c.Psi2;
    N2ThetaScan1Click(ws, host);
    ASSERT_TRUE(host.messages.empty());

    int32_t largest = 0;
    for (int i = 1; i <= ws.FrameWidth; ++i)
        for (int j = 1; j <= ws.FrameHeight; ++j) largest = std::max(largest, ws.FramePixels.Intensity[i][j]);

    const std::vector<ReferenceBin> reference = ReadReference(c.Reference);
    ASSERT_EQ(static_cast<int>(reference.size()), c.ScanPoints + 1);
    // The scan ends where fewer than 20 pixels reach a bin near the largest
    // 2-theta; everything before that end is compared.
    ASSERT_GT(ws.SectorScanPoints, 0);
    ASSERT_LE(ws.SectorScanPoints, c.ScanPoints);
    // Bin by bin: the counts may differ by the pixels that sit in the
    // neighbouring bin; a bin of equal count may still have traded a pixel
    // with its neighbour (a few such bins, each within a pixel or two), so
    // the running sums are held to a few pixels all along.
    int64_t countDiffs = 0, pixels = 0, referencePixels = 0, tradedBins = 0, comparedBins = 0;
    double runningSum = 0, runningReference = 0;
    for (int k = 0; k <= ws.SectorScanPoints; ++k) {
        const ReferenceBin& ref = reference[static_cast<size_t>(k)];
        const ProfilePoint& got = ws.SectorScan[k];
        if (k > 0) {
            EXPECT_NEAR(got.TwoTheta, ref.TwoTheta, 1e-4) << k;
        }
        const int64_t diff = std::llabs(got.Count - ref.Count);
        countDiffs += diff;
        pixels += got.Count;
        referencePixels += ref.Count;
        EXPECT_LE(diff, 6) << "bin " << k;
        if (got.Count == 0) continue;   // an empty bin is filled from its neighbours
        const double sum = static_cast<double>(got.Intensity) * got.Count;
        runningSum += sum;
        runningReference += ref.Sum;
        EXPECT_NEAR(runningSum, runningReference, 6.0 * largest + 1e-6 * runningReference) << "bin " << k;
        ++comparedBins;
        if (diff == 0 && std::fabs(got.Intensity - ref.Mean) <= 2e-6 * std::max(1.0, std::fabs(ref.Mean))) continue;
        if (diff == 0) ++tradedBins;
        EXPECT_NEAR(sum, ref.Sum, (static_cast<double>(diff) + 2.0) * largest) << "bin " << k;
    }
    EXPECT_LE(countDiffs, c.CountDiffs + 4) << "pixels in another bin than the reference's";
    EXPECT_LE(tradedBins, comparedBins / 20 + 2);
    EXPECT_NEAR(static_cast<double>(pixels), static_cast<double>(referencePixels), c.CountDiffs / 2 + 4);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ScanReferenceTest,
    ::testing::Values(
        ReferenceCase{"flat384x256_offcentre", false, false, -1, 361, "flat384x256_offcentre.auto.full.txt", 12,
                      0.09f, 0.09f, 315},
        ReferenceCase{"flat384x256_offcentre", false, false, 20, 110, "flat384x256_offcentre.auto.psi20-110.txt", 0,
                      0.09f, 0.09f, 315},
        ReferenceCase{"flat384x256_offcentre", false, false, 330, 30, "flat384x256_offcentre.auto.psi330-30.txt", 4,
                      0.09f, 0.09f, 315},
        ReferenceCase{"flat384x256_offcentre", false, true, -1, 361, "flat384x256_offcentre.step0.01.full.txt", 80,
                      0.01f, 0.06f, 2831},
        ReferenceCase{"flat384x256_offcentre", false, true, 330, 30,
                      "flat384x256_offcentre.step0.01.psi330-30.txt", 38, 0.01f, 0.06f, 2831},
        ReferenceCase{"flat384x256_offcentre", false, true, 20, 110, "flat384x256_offcentre.step0.01.psi20-110.txt",
                      18, 0.01f, 0.06f, 2831},
        ReferenceCase{"flat256x384_htilt-18", false, false, -1, 361, "flat256x384_htilt-18.auto.full.txt", 0, 0.1f,
                      9.2f, 187},
        ReferenceCase{"flat256x384_htilt-18", false, false, 150, 210, "flat256x384_htilt-18.auto.psi150-210.txt", 0,
                      0.1f, 9.2f, 187},
        ReferenceCase{"flat256x384_htilt-18", false, true, -1, 361, "flat256x384_htilt-18.step0.01.full.txt", 20,
                      0.01f, 9.22f, 1867},
        ReferenceCase{"flat256x384_htilt-18", false, true, 150, 210, "flat256x384_htilt-18.step0.01.psi150-210.txt",
                      0, 0.01f, 9.22f, 1867},
        ReferenceCase{"flat320_vtilt12", true, false, -1, 361, "flat320_vtilt12.auto.full.txt", 2, 0.165f, 0.0f,
                      214},
        ReferenceCase{"flat320_vtilt12", true, false, 60, 120, "flat320_vtilt12.auto.psi60-120.txt", 0, 0.165f,
                      0.0f, 214},
        ReferenceCase{"flat320_vtilt12", true, true, -1, 361, "flat320_vtilt12.step0.01.full.txt", 36, 0.01f, 0.06f,
                      3509},
        ReferenceCase{"flat320_vtilt12", true, true, 60, 120, "flat320_vtilt12.step0.01.psi60-120.txt", 12, 0.01f,
                      0.06f, 3509}),
    // Named after the reference file: "flat320_vtilt12_step0_01_psi60_120".
    [](const ::testing::TestParamInfo<ReferenceCase>& info) {
        std::string name = info.param.Reference;
        name.erase(name.size() - 4);
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

// The main road without a user: a frame read from its file, its geometry,
// a script that sets the sector and saves the scan, and the saved file read
// back as the scan window reads it, against the independent integration.
TEST(ScanReferenceRoadTest, ScriptSavesTheSectorScanOfARealFrame) {
    TempDir dir;
    const std::string frame = dir.file("frame.orv");
    WriteBytes(frame, ReadBytes(DataFile("geometry/flat384x256_offcentre.orv")));
    Workspace ws;
    RecordingHost host;
    LoadFrame(ws, host, frame, false, false);
    WriteTextLines(dir.file("script.txt"), {"SETANGRA 0 30 330 30 ", "SAVE2THS 4", "ENDAPPLI"});
    ASSERT_EQ(RunScriptFile(ws, host, dir.file("script.txt")), ScriptEnd::EndedProgram);
    EXPECT_EQ(host.exitStatus, 0);

    const TwoThetaScanFile saved = ReadTwoThetaScanFile(frame + ".ths");
    EXPECT_NEAR(saved.FirstTwoTheta, 0.09, 1e-3);
    EXPECT_NEAR(saved.TwoThetaStep, 0.09, 1e-3);
    EXPECT_DOUBLE_EQ(saved.Landa, 0.7093);
    ASSERT_EQ(static_cast<int>(saved.Points.size()), ws.SectorScanPoints + 1);
    const std::vector<ReferenceBin> reference = ReadReference("flat384x256_offcentre.auto.psi330-30.txt");
    int compared = 0;
    for (int k = 0; k <= ws.SectorScanPoints; ++k) {
        const ReferenceBin& ref = reference[static_cast<size_t>(k)];
        EXPECT_NEAR(saved.Points[k].TwoTheta, ref.TwoTheta, k == 0 ? 1e-3 : 5e-4) << k;
        if (ws.SectorScan[k].Count != ref.Count || ref.Count == 0) continue;
        EXPECT_NEAR(saved.Points[k].Intensity, ref.Mean, 5e-4 + 2e-6 * ref.Mean) << k;
        ++compared;
    }
    EXPECT_GT(compared, 250);
}
