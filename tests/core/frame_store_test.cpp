// The frame store: planes, the geometry cache, consistency across frames of
// different sizes and failed reads, the integration kernel's sectors, and
// bounded file reading.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <future>

#include "base/file_bytes.h"
#include "base/parallel.h"
#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "geometry_test_support.h"
#include "pixel_record.h"
#include "test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/integration.h"
#include "workspace/main_commands.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// The angle planes of the current frame as bytes.
std::vector<unsigned char> AngleBytes(const Workspace& ws) {
    std::vector<unsigned char> all = PlaneBytes(ws);
    const size_t intensityBytes = ws.FramePixels.Intensity.cellCount() * sizeof(int32_t);
    return std::vector<unsigned char>(all.begin() + static_cast<long>(intensityBytes), all.end());
}

void LoadTiltedReference(Workspace& ws) {
    LoadReferenceFrame(ws, ReferenceFrames()[2]);   // tilted 12 degrees in the rows' plane
}

} // namespace

TEST(FramePlaneTest, ResizeKeepsTheBorderZeroWhenMemoryIsReused) {
    FramePlane<int32_t> p(6, 5, 7);
    EXPECT_EQ(p[0][0], 7);
    EXPECT_EQ(p[7][6], 7);
    const int32_t* memory = p.data();
    p.resize(4, 3);   // fits: the memory is kept, the pixels are left as they were
    EXPECT_EQ(p.data(), memory);
    EXPECT_EQ(p.width(), 4);
    EXPECT_EQ(p.height(), 3);
    for (int i = 0; i <= 5; ++i) {
        EXPECT_EQ(p[i][0], 0) << i;
        EXPECT_EQ(p[i][4], 0) << i;
    }
    for (int j = 0; j <= 4; ++j) {
        EXPECT_EQ(p[0][j], 0) << j;
        EXPECT_EQ(p[5][j], 0) << j;
    }
    p.assign(2, 2, -1);
    for (size_t k = 0; k < p.cellCount(); ++k) EXPECT_EQ(p.data()[k], -1);
    const FramePlane<int32_t> copy = p;
    EXPECT_TRUE(copy.sameShape(p));
    EXPECT_EQ(copy[1][1], -1);
}

// ---- The geometry cache -----------------------------------------------------

TEST(GeometryCacheTest, AnUnchangedGeometryIsReusedAndEveryChangeMapsAgain) {
    // Each change, made on a frame whose geometry is cached, must give planes
    // computed anew and equal to those of a fresh run with the same settings.
    const std::vector<std::pair<const char*, std::function<void(Workspace&)>>> changes = {
        {"wavelength", [](Workspace& ws) { ws.Landa = 1.5406; }},
        {"centre", [](Workspace& ws) { ws.Xo += 0.5; }},
        {"distance", [](Workspace& ws) { ws.Distance = 47; }},
        {"detector size", [](Workspace& ws) { ws.DSize = 30; }},
        {"detector shape", [](Workspace& ws) { ws.Form32.SelectShape(3); }},
        {"tilt axis", [](Workspace& ws) { ws.Form28.CBVertical = !ws.Form28.CBVertical; }},
        {"merge table", [](Workspace& ws) {
             ws.Form32.SelectShape(1);
             ws.MergedFrame = 1;
             ws.MergeColumnTable.assign(static_cast<size_t>(ws.FrameWidth) + 1, MergeColumn{3.0, 0});
             for (int32_t i = 1; i <= ws.FrameWidth; ++i) ws.MergeColumnTable[static_cast<size_t>(i)].SourceColumn = i;
         }},
    };
    for (const auto& [name, change] : changes) {
        Workspace ws;
        RecordingHost host;
        LoadTiltedReference(ws);
        if (std::string(name) == "merge table") change(ws);
        ComputeFrameGeometry(ws, host);
        ASSERT_EQ(ws.GeometryCache.Computed(), 1) << name;
        const FrameGeometry* first = ws.FramePixels.Geometry();
        const std::vector<unsigned char> before = AngleBytes(ws);

        // Nothing changed: the same planes, not worked out again.
        ComputeFrameGeometry(ws, host);
        EXPECT_EQ(ws.GeometryCache.Computed(), 1) << name;
        EXPECT_EQ(ws.FramePixels.Geometry(), first) << name;
        EXPECT_EQ(AngleBytes(ws), before) << name;

        if (std::string(name) == "merge table")
            ws.MergeColumnTable[5].TwoThetaD = 4.0;
        else
            change(ws);
        ComputeFrameGeometry(ws, host);
        EXPECT_EQ(ws.GeometryCache.Computed(), 2) << name;
        EXPECT_TRUE(ws.FramePixels.HasGeometry()) << name;

        Workspace fresh;
        LoadTiltedReference(fresh);
        if (std::string(name) == "merge table") {
            change(fresh);
            fresh.MergeColumnTable[5].TwoThetaD = 4.0;
        } else {
            change(fresh);
        }
        ComputeFrameGeometry(fresh, host);
        EXPECT_EQ(AngleBytes(ws), AngleBytes(fresh)) << name;
        EXPECT_EQ(ws.MinTwoTheta, fresh.MinTwoTheta) << name;
        EXPECT_EQ(ws.MaxTwoTheta, fresh.MaxTwoTheta) << name;
        // The wavelength is part of the key but moves no pixel.
        if (std::string(name) != "wavelength") {
            EXPECT_NE(AngleBytes(ws), before) << name << ": the angles should have changed";
        }
        EXPECT_TRUE(host.messages.empty()) << name;
    }
}

TEST(GeometryCacheTest, ConsecutiveFramesOfOneGeometryShareItsPlanes) {
    TempDir dir;
    Workspace writer;
    LoadReferenceFrame(writer, ReferenceFrames()[0]);
    std::vector<std::string> files;
    for (int k = 0; k < 3; ++k) {
        for (int32_t i = 1; i <= writer.FrameWidth; ++i) writer.FramePixels.Intensity[i][1] = 1000 * k;
        files.push_back(dir.file("f" + std::to_string(k) + ".orv"));
        WriteNativeFrame(writer, files.back());
    }
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(OpenFiles(ws, files));
    ws.SingleFileMode = 0;
    EXPECT_EQ(TBatchThread::Execute(ws, host), 3);
    EXPECT_EQ(ws.GeometryCache.Computed(), 1);
}

TEST(GeometryCacheTest, AdjustingTheTwoThetaScaleLeavesTheSharedPlanesAlone) {
    Workspace plain, ws;
    RecordingHost host;
    LoadReferenceFrame(plain, ReferenceFrames()[0]);
    ComputeFrameGeometry(plain, host);
    LoadReferenceFrame(ws, ReferenceFrames()[0]);
    ws.FSetup.Adjust2Theta = true;
    ws.FSetup.E2ThetaMax = "15.000";
    ComputeFrameGeometry(ws, host);
    const float adjusted = ws.FramePixels.TwoTheta[100][100];
    EXPECT_NE(adjusted, plain.FramePixels.TwoTheta[100][100]);
    // The cached geometry keeps the unscaled angles.
    const FrameGeometry& shared = *ws.FramePixels.Geometry();
    EXPECT_EQ(shared.TwoTheta[100][100], plain.FramePixels.TwoTheta[100][100]);

    // The same frame again: the cached planes are reused and scaled once, not twice.
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.GeometryCache.Computed(), 1);
    EXPECT_EQ(ws.FramePixels.TwoTheta[100][100], adjusted);
    EXPECT_EQ(ws.FramePixels.Geometry()->TwoTheta[100][100], plain.FramePixels.TwoTheta[100][100]);

    // The next frame of the size starts from the shared angles, not from this
    // frame's scaled ones.
    NewFrame next;
    AllocateFrame(next, ws.FrameWidth, ws.FrameHeight);
    next.Intensity.fill(7);
    InstallFrame(ws, std::move(next));
    EXPECT_EQ(ws.FramePixels.TwoTheta[100][100], plain.FramePixels.TwoTheta[100][100]);
}

// ---- Frames of other sizes and failed reads -------------------------------------

TEST(FrameStoreTest, PlanesStayConsistentAcrossSizesAndFailedReads) {
    TempDir dir;
    Workspace large;
    LoadReferenceFrame(large, ReferenceFrames()[0]);   // 384 x 256
    WriteNativeFrame(large, dir.file("large.orv"));
    Workspace small;
    SetUpFlatFrame(small, 40, 30, 20, 15, 60, 30, 0, 77);
    WriteNativeFrame(small, dir.file("small.orv"));
    test::WriteBytes(dir.file("broken.orv"), std::string("\x39\x30\0\0", 4) + "short");

    Workspace ws;
    RecordingHost host;
    auto consistent = [&ws](const char* when) {
        EXPECT_EQ(ws.FramePixels.width(), ws.FrameWidth) << when;
        EXPECT_EQ(ws.FramePixels.height(), ws.FrameHeight) << when;
        EXPECT_TRUE(ws.FramePixels.HasGeometry()) << when;
        EXPECT_TRUE(ws.FramePixels.TwoTheta.plane().sameShape(ws.FramePixels.Intensity)) << when;
        EXPECT_TRUE(ws.FramePixels.Psi.plane().sameShape(ws.FramePixels.Intensity)) << when;
    };
    ASSERT_TRUE(OpenFiles(ws, {dir.file("large.orv"), dir.file("broken.orv"), dir.file("small.orv")}));
    ws.SingleFileMode = 0;
    EXPECT_EQ(TBatchThread::Execute(ws, host), 2);
    consistent("after the small frame");
    EXPECT_EQ(ws.FrameWidth, 40);
    EXPECT_EQ(ws.FramePixels.Intensity[20][15], 77);
    EXPECT_EQ(ws.FramePixels.Intensity[0][15], 0);   // the border
    EXPECT_EQ(ws.FramePixels.Intensity[41][30], 0);

    // A failed read changes nothing of the current frame.
    const std::vector<unsigned char> before = PlaneBytes(ws);
    const ChainResult failed = RunReaderChain(ws, host, ReaderChain::Load, dir.file("broken.orv"));
    EXPECT_FALSE(failed.Read);
    EXPECT_EQ(PlaneBytes(ws), before);
    consistent("after a failed read");

    // A frame of another size drops the geometry until it is mapped again;
    // the tools then find no angles instead of another frame's.
    ChainResult read = RunReaderChain(ws, host, ReaderChain::Load, dir.file("large.orv"));
    ASSERT_TRUE(read.Read);
    InstallFrame(ws, std::move(read.Frame));
    EXPECT_FALSE(ws.FramePixels.HasGeometry());
    EXPECT_TRUE(ws.FramePixels.TwoTheta.empty());
    EXPECT_EQ(ws.FramePixels.Pixel(100, 100).TwoTheta, 0.0f);
    N2ThetaScan1Click(ws, host);   // nothing to bin, nothing read out of bounds
    ComputeFrameGeometry(ws, host);
    consistent("after mapping the large frame");
    EXPECT_EQ(AngleBytes(ws), [&] {
        Workspace fresh;
        RecordingHost h;
        LoadReferenceFrame(fresh, ReferenceFrames()[0]);
        fresh.Landa = ws.Landa;
        ComputeFrameGeometry(fresh, h);
        return AngleBytes(fresh);
    }());
}

// ---- The integration kernel ---------------------------------------------------------

TEST(IntegrationKernelTest, ManySectorsInOnePassEqualOneSectorAtATime) {
    Workspace ws;
    RecordingHost host;
    // Over 2^21 pixels: the kernel works in several chunks.
    SetUpFlatFrame(ws, 1600, 1400, 700.5, 600.5, 60, 60);
    for (int32_t i = 1; i <= 1600; ++i)
        for (int32_t j = 1; j <= 1400; ++j) ws.FramePixels.Intensity[i][j] = (i * 31 + j * 17) % 2000 - (i == j);
    ComputeFrameGeometry(ws, host);
    IntegrationRequest r;
    r.LastColumn = ws.FrameWidth;
    r.LastRow = ws.FrameHeight;
    r.Grid = ScanGrid{ws.MinTwoTheta, ws.TwoThetaStep, ws.ScanPoints};
    r.FlatWeight = true;   // sums of doubles: the order of addition shows
    r.WeightDivisor = 1400.0 * 1400.0 * 1400.0;
    const std::vector<std::vector<PsiSector>> sets = {
        {{0, 10}, {10, 20}, {20, 35}, {90, 180}, {300, 359.5f}},   // ordered: searched
        {{350, 20}, {10, 40}, {0, 360}, {200, 100}},              // overlapping and through 0: tested one by one
    };
    for (const auto& sectors : sets) {
        r.Sectors = sectors;
        std::vector<ScanBins> together;
        {
            ScopedParallelThreadLimit eight(8);
            together = IntegrateFrame(ws.FramePixels, r);
        }
        ASSERT_EQ(together.size(), sectors.size());
        for (size_t s = 0; s < sectors.size(); ++s) {
            IntegrationRequest one = r;
            one.Sectors = {sectors[s]};
            ScopedParallelThreadLimit single(1);
            const ScanBins alone = IntegrateFrame(ws.FramePixels, one)[0];
            int64_t pixels = 0;
            for (size_t k = 0; k < alone.size(); ++k) {
                ASSERT_EQ(together[s][k].Sum, alone[k].Sum) << s << " " << k;
                ASSERT_EQ(together[s][k].Count, alone[k].Count) << s << " " << k;
                pixels += alone[k].Count;
            }
            EXPECT_GT(pixels, 0) << s;
        }
    }
}

TEST(IntegrationKernelTest, TheQuickPathOfOneScanEqualsTheGeneralOne) {
    // One unweighted scan takes a quick path; the same sector listed twice
    // takes the general one, pixel by pixel.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 700, 500, 300.25, 260.5, 40, 60);
    for (int32_t i = 1; i <= 700; ++i)
        for (int32_t j = 1; j <= 500; ++j) ws.FramePixels.Intensity[i][j] = (i * 13 + j * 7) % 900 - ((i + j) % 11 == 0 ? 901 : 0);
    ComputeFrameGeometry(ws, host);
    IntegrationRequest r;
    r.LastColumn = 700;
    r.LastRow = 500;
    r.Grid = ScanGrid{ws.MinTwoTheta, ws.TwoThetaStep, ws.ScanPoints};
    for (const PsiSector sector : {PsiSector{30, 200}, PsiSector{300, 45}}) {
        r.Sectors = {sector};
        const ScanBins quick = IntegrateFrame(ws.FramePixels, r)[0];
        r.Sectors = {sector, sector};
        const std::vector<ScanBins> general = IntegrateFrame(ws.FramePixels, r);
        int64_t pixels = 0;
        for (size_t k = 0; k < quick.size(); ++k) {
            ASSERT_EQ(quick[k].Sum, general[0][k].Sum) << k;
            ASSERT_EQ(quick[k].Count, general[1][k].Count) << k;
            pixels += quick[k].Count;
        }
        EXPECT_GT(pixels, 10000);
    }
}

TEST(IntegrationKernelTest, BlocksPassedOverByTheirBoundsHoldNoPixelOfTheScan) {
    // A tilted detector with the beam inside the frame (psi runs through 0
    // within blocks), masked pixels and a few angles that are not numbers.
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 640, 500, 250.5, 190.25, 45, 60, 20);
    for (int32_t i = 1; i <= 640; ++i)
        for (int32_t j = 1; j <= 500; ++j) ws.FramePixels.Intensity[i][j] = (i * 29 + j * 11) % 700 - ((i * j) % 13 == 0 ? 701 : 0);
    ComputeFrameGeometry(ws, host);
    ASSERT_NE(ws.FramePixels.ColumnBounds(1), nullptr);
    const ScanGrid full{ws.MinTwoTheta, ws.TwoThetaStep, ws.ScanPoints};
    std::vector<IntegrationRequest> requests;
    auto add = [&](ScanAxis axis, ScanGrid grid, std::vector<PsiSector> sectors, float t1 = 0, float t2 = 0) {
        IntegrationRequest r;
        r.LastColumn = 640;
        r.LastRow = 500;
        r.Axis = axis;
        r.Grid = grid;
        r.Sectors = std::move(sectors);
        r.TwoTheta1 = t1;
        r.TwoTheta2 = t2;
        requests.push_back(r);
    };
    for (const PsiSector sector : {PsiSector{20, 110}, PsiSector{350, 5}, PsiSector{359.5f, 0.5f}, PsiSector{90, 90},
                                   PsiSector{0, 360}, PsiSector{170, 171}})
        add(ScanAxis::TwoTheta, full, {sector});
    // Bins over part of the frame's 2-theta only, edges on pixel values.
    const double middle = ws.MinTwoTheta + ws.TwoThetaStep * (ws.ScanPoints / 2);
    add(ScanAxis::TwoTheta, ScanGrid{middle, ws.TwoThetaStep, 40}, {});
    add(ScanAxis::TwoTheta, ScanGrid{middle, ws.TwoThetaStep, 40}, {PsiSector{300, 60}});
    // Psi scans of narrow 2-theta bands and a part of the circle.
    add(ScanAxis::Psi, ScanGrid{0, 1, 359}, {}, static_cast<float>(middle), static_cast<float>(middle + 0.5));
    add(ScanAxis::Psi, ScanGrid{100, 0.5, 80}, {}, ws.MinTwoTheta, ws.MaxTwoTheta);
    // Pixels without angles fall in no bin either way.
    FrameGeometry& own = ws.FramePixels.OwnGeometry();
    for (int32_t j = 1; j <= 64; ++j) own.TwoTheta[7][j] = own.Psi[9][j] = std::numeric_limits<float>::quiet_NaN();
    ASSERT_EQ(ws.FramePixels.ColumnBounds(1), nullptr);   // set by hand: no bounds
    std::vector<ScanBins> plain;
    for (const IntegrationRequest& r : requests) plain.push_back(IntegrateFrame(ws.FramePixels, r)[0]);
    // The same angles with bounds worked out from them.
    auto bounded = std::make_shared<FrameGeometry>(own);
    bounded->Bounds.resize(bounded->BoundsBlocks() * static_cast<size_t>(bounded->TwoTheta.width()));
    for (int32_t i = 1; i <= bounded->TwoTheta.width(); ++i) bounded->BoundColumn(i);
    ws.FramePixels.SetGeometry(bounded);
    ASSERT_NE(ws.FramePixels.ColumnBounds(1), nullptr);
    for (size_t n = 0; n < requests.size(); ++n) {
        const ScanBins quick = IntegrateFrame(ws.FramePixels, requests[n])[0];
        ASSERT_EQ(quick.size(), plain[n].size());
        int64_t pixels = 0;
        for (size_t k = 0; k < quick.size(); ++k) {
            ASSERT_EQ(quick[k].Sum, plain[n][k].Sum) << n << " " << k;
            ASSERT_EQ(quick[k].Count, plain[n][k].Count) << n << " " << k;
            pixels += quick[k].Count;
        }
        // Every request but the empty sector takes pixels.
        if (n != 3) {
            EXPECT_GT(pixels, 0) << n;
        }
    }
}

// ---- Reading files --------------------------------------------------------------------

TEST(FileReadingTest, OnlyRegularFilesOfBoundedSizeAreRead) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.orv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Refused at once: a read that waited for a writer would never end.
    auto pending = std::async(std::launch::async, [&] {
        Workspace ws;
        RecordingHost host;
        return RunReaderChain(ws, host, ReaderChain::Load, fifo);
    });
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const ChainResult fromFifo = pending.get();
    EXPECT_FALSE(fromFifo.Read);
    EXPECT_NE(fromFifo.Error.find("Not a regular file"), std::string::npos) << fromFifo.Error;
    EXPECT_NE(fromFifo.Error.find(fifo), std::string::npos);

    EXPECT_THROW(FileBytes::Read(dir.path().string()), FileError);   // a folder

    // Larger than the caller's limit: refused before anything is read.
    test::WriteBytes(dir.file("twenty.bin"), std::string(20, 'x'));
    EXPECT_EQ(FileBytes::Read(dir.file("twenty.bin"), 20).view(), std::string(20, 'x'));
    try {
        FileBytes::Read(dir.file("twenty.bin"), 19);
        ADD_FAILURE() << "a file over the limit was read";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("twenty.bin"), std::string::npos);
    }

    // A (sparse) file larger than any frame can be is refused by the chain
    // without reading or allocating it.
    const std::string huge = dir.file("huge.tif");
    test::WriteBytes(huge, "II*");
    std::filesystem::resize_file(huge, MaxFrameFileBytes + 1);
    Workspace ws;
    RecordingHost host;
    const ChainResult tooLarge = RunReaderChain(ws, host, ReaderChain::Load, huge);
    EXPECT_FALSE(tooLarge.Read);
    EXPECT_NE(tooLarge.Error.find("too large"), std::string::npos) << tooLarge.Error;
}
