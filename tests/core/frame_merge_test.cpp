#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "formats/frame_merge.h"
#include "formats/reader.h"
#include "formats_test_support.h"
#include "geometry_test_support.h"
#include "test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/integration.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::testing::FixturePath;

namespace {

// A frame whose every pixel says where it came from: frame number x 10000 +
// its column.
MergeSource Part(int number, double twoThetaD, int32_t w = 1024, int32_t h = 48, double xo = 512,
                 double distance = 100, double dsize = 100) {
    MergeSource s;
    s.Path = "/frames/part" + std::to_string(number) + ".sfrm";
    NewFrame& f = s.Frame;
    AllocateFrame(f, w, h);
    for (int32_t i = 1; i <= w; ++i)
        for (int32_t j = 1; j <= h; ++j) f.Intensity[i][j] = number * 10000 + i;
    f.TwoThetaD = twoThetaD;
    f.Xo = xo;
    f.Yo = h / 2.0;
    f.Distance = distance;
    f.DSize = dsize;
    f.Landa = 1.5406;
    return s;
}

// A flat frame at detector 2-theta `twoThetaD` mapped by the program's own
// geometry, with rings every 2 degrees drawn from each pixel's 2-theta.
struct MappedPart {
    Workspace ws;
    MergeSource source;
};
std::unique_ptr<MappedPart> Mapped(double twoThetaD) {
    auto p = std::make_unique<MappedPart>();
    RecordingHost host;
    test::SetUpFlatFrame(p->ws, 256, 64, 128, 32, 100, 50, twoThetaD, 0);
    EXPECT_TRUE(ComputeFrameGeometry(p->ws, host));
    MergeSource& s = p->source;
    s.Path = "part" + std::to_string(static_cast<int>(twoThetaD));
    AllocateFrame(s.Frame, 256, 64);
    for (int32_t i = 1; i <= 256; ++i)
        for (int32_t j = 1; j <= 64; ++j) {
            const double t = p->ws.FramePixels.TwoTheta[i][j];
            const int32_t v = 100 + (std::fmod(t, 2.0) < 0.3 ? 1000 : 0) + (i * 7 + j) % 13;
            p->ws.FramePixels.Intensity[i][j] = s.Frame.Intensity[i][j] = v;
        }
    s.Frame.TwoThetaD = twoThetaD;
    s.Frame.Xo = 128;
    s.Frame.Yo = 32;
    s.Frame.Distance = 100;
    s.Frame.DSize = 50;
    s.Frame.Landa = 0.7093;
    return p;
}

std::vector<MergeSource> Copies(std::initializer_list<const MergeSource*> parts) {
    std::vector<MergeSource> out;
    for (const MergeSource* p : parts) out.push_back(MergeSource{p->Path, p->Frame});
    return out;
}

} // namespace

TEST(FrameMergeTest, TheWorkedExampleAndItsColumnTable) {
    const MergeSource at20 = Part(1, 20), at40 = Part(2, 40);
    const MergePlan plan = PlanMerge(Copies({&at20, &at40}));
    ASSERT_TRUE(plan.Refusal.empty()) << plan.Refusal;
    // tan(10 deg) x 1024 = 180.6: the frame at 40 keeps 1..693, the one at 20 331..1024.
    ASSERT_EQ(plan.Cuts.size(), 2u);
    EXPECT_EQ(plan.Cuts[0].Source, 1u);
    EXPECT_EQ(plan.Cuts[0].Left, 1);
    EXPECT_EQ(plan.Cuts[0].Right, 693);
    EXPECT_EQ(plan.Cuts[1].Left, 331);
    EXPECT_EQ(plan.Cuts[1].Right, 1024);
    EXPECT_EQ(plan.Width, 1386);

    Workspace ws;
    RecordingHost host;
    ws.Form20.EScript = "script.txt";
    ASSERT_TRUE(MergeFrames(ws, host, Copies({&at20, &at40})));
    EXPECT_EQ(ws.FrameWidth, 1386);
    EXPECT_EQ(ws.FrameHeight, 48);
    EXPECT_EQ(ws.FrameSize, 1024);   // one frame's pixel scale
    EXPECT_EQ(ws.MergedFrame, 1);
    EXPECT_DOUBLE_EQ(ws.TwoThetaD, 20);   // the geometry of the smallest angle
    ASSERT_EQ(ws.MergeColumnTable.size(), 1387u);
    // Every column holds the pixels of the frame and column its table row names.
    for (int32_t m = 1; m <= 1386; ++m) {
        const MergeColumn& row = ws.MergeColumnTable[m];
        const int number = row.TwoThetaD == 40 ? 2 : 1;
        ASSERT_EQ(ws.FramePixels.Intensity[m][7], number * 10000 + row.SourceColumn) << m;
    }
    EXPECT_EQ(ws.MergeColumnTable[692], (MergeColumn{40, 692}));
    EXPECT_EQ(ws.MergeColumnTable[693], (MergeColumn{20, 331}));
    EXPECT_EQ(ws.MergeColumnTable[1386], (MergeColumn{20, 1024}));
    // The row shift of the one join leads the box: every row alike, so every
    // shift sums the same and the first, -20, wins.
    EXPECT_EQ(ws.Form20.EScript, "-20 script.txt");
    EXPECT_TRUE(ws.FramePixels.HasGeometry());
    EXPECT_EQ(ws.FramePixels.Geometry()->Key.MergeColumns, ws.MergeColumnTable);
    EXPECT_GT(ws.SectorScanPoints, 0);
}

TEST(FrameMergeTest, TheOrderReadDoesNotMatterAndEqualAnglesKeepIt) {
    const MergeSource a = Part(1, 20), b = Part(2, 40), c = Part(3, 30);
    const MergePlan one = PlanMerge(Copies({&a, &b, &c}));
    const MergePlan other = PlanMerge(Copies({&c, &a, &b}));
    ASSERT_TRUE(one.Refusal.empty() && other.Refusal.empty());
    const MergeResult x = StitchFrames(Copies({&a, &b, &c}), one);
    const MergeResult y = StitchFrames(Copies({&c, &a, &b}), other);
    EXPECT_EQ(x.Table, y.Table);
    EXPECT_EQ(x.Frame.FrameWidth, y.Frame.FrameWidth);
    for (int32_t m = 1; m <= x.Frame.FrameWidth; ++m) ASSERT_EQ(x.Frame.Intensity[m][3], y.Frame.Intensity[m][3]);
    EXPECT_EQ(x.Table[1].TwoThetaD, 40);
    EXPECT_EQ(x.Table.back().TwoThetaD, 20);

    // Equal angles: in the order read.
    const MergeSource d = Part(4, 30), e = Part(5, 30);
    const MergePlan same = PlanMerge(Copies({&a, &d, &e, &b}));
    ASSERT_EQ(same.Cuts.size(), 4u);
    EXPECT_EQ(same.Cuts[0].Source, 3u);
    EXPECT_EQ(same.Cuts[1].Source, 1u);
    EXPECT_EQ(same.Cuts[2].Source, 2u);
    EXPECT_EQ(same.Cuts[3].Source, 0u);
}

TEST(FrameMergeTest, TheMergedScanIsTheScanOfItsPartsOverTheirKeptColumns) {
    const auto at20 = Mapped(20), at30 = Mapped(30);
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(MergeFrames(ws, host, Copies({&at20->source, &at30->source})));
    ASSERT_TRUE(ws.FramePixels.HasGeometry());
    // tan(5 deg) x 512 = 44.8: the frame at 30 keeps 1..173, the one at 20 83..256.
    ASSERT_EQ(ws.FrameWidth, 1 + 172 + 173);
    for (int32_t m = 1; m <= ws.FrameWidth; ++m) {
        const MergeColumn& row = ws.MergeColumnTable[m];
        const Workspace& part = row.TwoThetaD == 30 ? at30->ws : at20->ws;
        for (int32_t j = 1; j <= 64; ++j) {
            ASSERT_EQ(ws.FramePixels.TwoTheta[m][j], part.FramePixels.TwoTheta[row.SourceColumn][j]) << m << "," << j;
            ASSERT_EQ(ws.FramePixels.Psi[m][j], part.FramePixels.Psi[row.SourceColumn][j]) << m << "," << j;
        }
    }
    IntegrationRequest all;
    all.LastColumn = ws.FrameWidth;
    all.LastRow = 64;
    all.Grid = ScanGrid{0, 0.05, 1200};
    const ScanBins merged = IntegrateFrame(ws.FramePixels, all)[0];
    IntegrationRequest high = all, low = all;
    high.FirstColumn = 1;
    high.LastColumn = 172;
    low.FirstColumn = 83;
    low.LastColumn = 256;
    const ScanBins a = IntegrateFrame(at30->ws.FramePixels, high)[0];
    const ScanBins b = IntegrateFrame(at20->ws.FramePixels, low)[0];
    double total = 0;
    for (size_t k = 0; k < merged.size(); ++k) {
        ASSERT_EQ(merged[k].Sum, a[k].Sum + b[k].Sum) << k;
        ASSERT_EQ(merged[k].Count, a[k].Count + b[k].Count) << k;
        total += merged[k].Sum;
    }
    EXPECT_GT(total, 0);
}

TEST(FrameMergeTest, TheRowShiftOfTheLaterFrameHasItsSign) {
    MergeSource a = Part(1, 40), b = Part(2, 20);
    for (MergeSource* s : {&a, &b})
        for (int32_t i = 1; i <= 1024; ++i)
            for (int32_t j = 1; j <= 48; ++j) s->Frame.Intensity[i][j] = 10;
    // The same streak, three rows lower on the frame at 20 degrees; values
    // whose products need 64 bits.
    for (int32_t i = 1; i <= 1024; ++i)
        for (int32_t j = 22; j <= 25; ++j) {
            a.Frame.Intensity[i][j] = 2000000000;
            b.Frame.Intensity[i][j + 3] = 2000000000;
        }
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(MergeFrames(ws, host, {a, b}));
    EXPECT_EQ(ws.Form20.EScript, "3 ");
    EXPECT_EQ(RowShift(ws.FramePixels.Intensity, 48, 692), 3);
    EXPECT_EQ(RowShift(ws.FramePixels.Intensity, 48, 10), 0);   // within one frame
}

TEST(FrameMergeTest, RefusalsLeaveEverythingAsItWas) {
    Workspace ws;
    RecordingHost host;
    test::SetUpFlatFrame(ws, 32, 32, 16, 16, 60, 30);
    ws.Form20.EScript = "s.txt";
    const auto before = ws.FramePixels.Intensity;
    auto unchanged = [&] {
        EXPECT_EQ(ws.MergedFrame, 0);
        EXPECT_EQ(ws.FrameWidth, 32);
        EXPECT_EQ(ws.Form20.EScript, "s.txt");
        EXPECT_TRUE(ws.MergeColumnTable.empty());
        EXPECT_EQ(ws.FramePixels.Intensity[5][5], before[5][5]);
    };
    // No overlap: 100 degrees apart, tan(50 deg) x 1024 lies beyond the frame.
    const MergeSource a = Part(1, 20), b = Part(2, 120);
    EXPECT_FALSE(MergeFrames(ws, host, Copies({&a, &b})));
    EXPECT_EQ(host.messages.back(), "Frames do not overlap!");
    unchanged();
    // Another size.
    const MergeSource c = Part(3, 30, 512, 48);
    EXPECT_FALSE(MergeFrames(ws, host, Copies({&a, &c})));
    EXPECT_EQ(host.messages.back(),
              "Frames of different sizes cannot be merged: part3.sfrm is 512 x 48, part1.sfrm is 1024 x 48");
    unchanged();
    // Wider than the column table: seven 4000-column frames 50 degrees apart
    // keep 26380 columns.
    std::vector<MergeSource> many;
    for (int k = 0; k < 7; ++k) many.push_back(Part(k, 150 - 50 * k, 4000, 8, 2000, 100, 100));
    EXPECT_FALSE(MergeFrames(ws, host, std::move(many)));
    EXPECT_EQ(host.messages.back(), "The merged frame would be 26380 columns wide; at most 24000 columns can be merged");
    unchanged();
    // More than 100 files, and a cancelled dialog.
    EXPECT_FALSE(MergeFrameFiles(ws, host, std::vector<std::string>(101, "x.sfrm")));
    EXPECT_EQ(host.messages.back(), "At most 100 frames can be merged at once; 101 were chosen");
    const size_t told = host.messages.size();
    EXPECT_FALSE(Merge1Click(ws, host));
    EXPECT_EQ(host.messages.size(), told);
    unchanged();
}

TEST(FrameMergeTest, FilesGoThroughTheMergeChainAndOthersAreNamedAndSkipped) {
    test::TempDir dir;
    Workspace ws;
    RecordingHost host;
    const std::string missing = dir.file("missing.sfrm");
    host.openFileAnswer = {FixturePath("kw100_b2_128.sfrm"), FixturePath("csv_lf_256.csv"), missing,
                           FixturePath("kw86_b1_128.sfrm")};
    ASSERT_TRUE(Merge1Click(ws, host));
    ASSERT_GE(host.messages.size(), 1u);
    const std::string& told = host.messages.front();
    EXPECT_NE(told.find(FixturePath("csv_lf_256.csv") + " is not a frame the merge reads; not merged"), std::string::npos);
    EXPECT_NE(told.find(missing + " could not be read"), std::string::npos);
    EXPECT_EQ(told.find("kw100"), std::string::npos);
    EXPECT_EQ(ws.MergedFrame, 1);
    EXPECT_EQ(ws.FrameHeight, 128);
    // The two frames, 15.75 and 12.3456 degrees: the first is laid down first.
    EXPECT_DOUBLE_EQ(ws.MergeColumnTable[1].TwoThetaD, 15.75);
    EXPECT_DOUBLE_EQ(ws.MergeColumnTable[ws.FrameWidth].TwoThetaD, 12.3456);
    EXPECT_EQ(ws.LastFileIndex, 1);   // nothing was open: the merged files are listed
    EXPECT_EQ(ws.CurrentFile, FixturePath("kw100_b2_128.sfrm"));

    // A frame of another size refuses the whole merge.
    host.messages.clear();
    host.openFileAnswer = {FixturePath("kw100_b2_128.sfrm"), FixturePath("ty1_256.img")};
    const int32_t width = ws.FrameWidth;
    EXPECT_FALSE(Merge1Click(ws, host));
    EXPECT_EQ(host.messages.back().rfind("Frames of different sizes cannot be merged", 0), 0u);
    EXPECT_EQ(ws.FrameWidth, width);
}
