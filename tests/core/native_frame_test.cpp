#include <gtest/gtest.h>

#include <cstring>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "frame_test_support.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

namespace {

void MakeFrame(Workspace& ws, int w, int h) {
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FrameSize = std::max(w, h);
    ws.FramePixels.Blank(w, h);
    for (int x = 1; x <= w; ++x)
        for (int y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = x * 1000 + y;
}

std::string Header(int32_t magic, int32_t w, int32_t h) {
    std::string s;
    for (int32_t v : {magic, 7093, 0, 615400, 610000, w, h, 2560000, 2560000}) PutI32(s, v);
    return s;
}

ChainResult Load(Workspace& ws, const std::string& path) {
    RecordingHost host;
    return RunReaderChain(ws, host, ReaderChain::Load, path);
}

} // namespace

TEST(NativeFrameTest, RoundTripKeepsPixelsMaskAndGeometry) {
    TempDir dir;
    Workspace ws;
    MakeFrame(ws, 512, 1024);   // taller than wide
    ws.FramePixels.Intensity[3][7] = MaskedIntensity;
    ws.FramePixels.Intensity[512][1024] = 2147483647;
    ws.Landa = 0.70926;
    ws.TwoThetaD = -18.25;
    ws.Distance = 61.54;
    ws.DSize = 38.4;
    ws.Xo = 150.4;
    ws.Yo = -20.55555;
    WriteNativeFrame(ws, dir.file("f.orv"));
    EXPECT_EQ(test::ReadBytes(dir.file("f.orv")).size(), 36u + 4u * 512u * 1024u);

    Workspace back;
    ChainResult r = Load(back, dir.file("f.orv"));
    ASSERT_TRUE(r.Read) << r.Error;
    EXPECT_EQ(r.Frame.ReaderName, "ReadNativeFrame");
    InstallFrame(back, std::move(r.Frame));
    EXPECT_EQ(back.FrameWidth, 512);
    EXPECT_EQ(back.FrameHeight, 1024);
    EXPECT_EQ(back.FrameSize, 1024);
    for (int x = 1; x <= 512; ++x)
        for (int y = 1; y <= 1024; ++y)
            ASSERT_EQ(back.FramePixels.Intensity[x][y], ws.FramePixels.Intensity[x][y]) << x << "," << y;
    EXPECT_DOUBLE_EQ(back.Landa, 0.7093);       // four decimals, 7092.6 rounds to 7093
    EXPECT_DOUBLE_EQ(back.TwoThetaD, -18.25);
    EXPECT_DOUBLE_EQ(back.DSize, 38.4);
    EXPECT_DOUBLE_EQ(back.Xo, 150.4);
    EXPECT_DOUBLE_EQ(back.Yo, -20.5556);
    EXPECT_EQ(back.Form23.EWaveLen, "0.7093");
    EXPECT_EQ(back.Form23.EDistancemm, "61.54");
    EXPECT_EQ(back.Form23.E2ThetaD, "-18.25");
}

TEST(NativeFrameTest, ReadsAFrameWrittenByAnotherProgram) {
    // The fixture's pixels are also stored as a bare int32 raster.
    Workspace ws;
    ChainResult r = Load(ws, test::DataFile("geometry/flat384x256_offcentre.orv"));
    ASSERT_TRUE(r.Read) << r.Error;
    EXPECT_EQ(r.Frame.FrameWidth, 384);
    EXPECT_EQ(r.Frame.FrameHeight, 256);
    EXPECT_DOUBLE_EQ(r.Frame.Landa, 0.7093);
    EXPECT_DOUBLE_EQ(r.Frame.Distance, 50);
    EXPECT_DOUBLE_EQ(r.Frame.DSize, 38.4);
    EXPECT_DOUBLE_EQ(r.Frame.Xo, 150.4);
    EXPECT_DOUBLE_EQ(r.Frame.Yo, 120.6);
    std::string raw = test::ReadBytes(test::DataFile("geometry/flat384x256_offcentre.i32"));
    ASSERT_EQ(raw.size(), 384u * 256u * 4u);
    ByteView v(raw);
    for (int j = 1; j <= 256; ++j)
        for (int i = 1; i <= 384; ++i)
            ASSERT_EQ(r.Frame.Intensity[i][j], v.i32(4ull * ((j - 1) * 384 + (i - 1))));
}

TEST(NativeFrameTest, TruncatedOrInconsistentFilesAreRejected) {
    TempDir dir;
    Workspace ws;
    MakeFrame(ws, 40, 30);
    WriteNativeFrame(ws, dir.file("good.orv"));
    const std::string good = test::ReadBytes(dir.file("good.orv"));
    for (size_t len : {size_t(4), size_t(20), size_t(35), size_t(36), good.size() / 2, good.size() - 1}) {
        test::WriteBytes(dir.file("cut.orv"), good.substr(0, len));
        ChainResult r = Load(ws, dir.file("cut.orv"));
        EXPECT_FALSE(r.Read) << len;
        EXPECT_FALSE(r.Error.empty()) << len;
    }
    // Sizes that disagree with the file, or that no frame can have.
    for (auto [w, h] : std::vector<std::pair<int32_t, int32_t>>{
             {0, 10}, {-5, 10}, {10, -1}, {24001, 1}, {65536, 65536}, {2147483647, 2}}) {
        test::WriteBytes(dir.file("bad.orv"), Header(NativeFrameMagic, w, h) + std::string(400, '\0'));
        EXPECT_FALSE(Load(ws, dir.file("bad.orv")).Read) << w << "x" << h;
    }
    // A file without the magic is simply not this format.
    test::WriteBytes(dir.file("other.orv"), Header(12346, 1, 1) + std::string(4, '\0'));
    ReaderContext context;
    std::string bytes = test::ReadBytes(dir.file("other.orv"));
    context.Bytes = bytes;
    NewFrame frame;
    EXPECT_EQ(ReadNativeFrame(context, dir.file("other.orv"), frame), ReadOutcome::NotMine);
}

TEST(ReaderChainTest, FailedReadLeavesTheCurrentFrameUntouched) {
    TempDir dir;
    Workspace ws;
    MakeFrame(ws, 20, 10);
    ws.Landa = 1.5406;
    ws.Form23.EWaveLen = "1.541";
    test::WriteBytes(dir.file("cut.orv"), Header(NativeFrameMagic, 100, 100) + std::string(40, '\0'));
    test::WriteBytes(dir.file("junk.bin"), "not a frame at all");
    for (const char* name : {"cut.orv", "junk.bin", "missing.orv"}) {
        ChainResult r = Load(ws, dir.file(name));
        EXPECT_FALSE(r.Read) << name;
        EXPECT_EQ(ws.FrameWidth, 20);
        EXPECT_EQ(ws.FramePixels.Intensity[20][10], 20010);
        EXPECT_DOUBLE_EQ(ws.Landa, 1.5406);
        EXPECT_EQ(ws.Form23.EWaveLen, "1.541");
    }
}

TEST(ReaderChainTest, ChainsListTheirReadersInOrder) {
    auto names = [](ReaderChain c) {
        std::vector<std::string> n;
        for (const auto& e : ChainReaders(c)) n.push_back(e.Name);
        return n;
    };
    EXPECT_EQ(names(ReaderChain::Load),
              (std::vector<std::string>{"ReadCustomRawFrame", "ReadHeaderIdFrame", "ReadPANalyticalFrame",
                                        "ReadNativeFrame", "ReadImFrame", "ReadKeywordHeaderFrame",
                                        "ReadRaxisFrame", "ReadFormat100Frame", "ReadFormatFrame",
                                        "ReadSapphireFrame", "ReadFloatPairFrame", "ReadTiffFrame",
                                        "ReadBmpFrame", "ReadPixelSizeFrame", "ReadMccdFrame", "ReadCsvFrame",
                                        "ReadRawFrame"}));
    EXPECT_EQ(names(ReaderChain::Merge),
              (std::vector<std::string>{"ReadFormat100Frame", "ReadFormatFrame", "ReadSapphireFrame"}));
    // The pole chain has no header-id, image-plate or float-pair reader and
    // always tries the PANalytical and own-format readers.
    for (const auto& e : ChainReaders(ReaderChain::Pole)) {
        EXPECT_NE(std::string(e.Name), "ReadHeaderIdFrame");
        EXPECT_NE(std::string(e.Name), "ReadFloatPairFrame");
        EXPECT_NE(std::string(e.Name), "ReadImFrame");
        const std::string name = e.Name;
        EXPECT_EQ(e.TriedAlways, name == "ReadNativeFrame" || name == "ReadPANalyticalFrame") << name;
    }
    for (ReaderChain c : {ReaderChain::Load, ReaderChain::Pole, ReaderChain::Arithmetic})
        EXPECT_TRUE(ChainReaders(c).front().CustomFileOnly);
}

TEST(NativeFrameTest, TheLoadChainReadsFramesOfEveryShapeStraightIntoThePlane) {
    TempDir dir;
    // Shapes whose rows make bands of many rows, of a few and of four.
    for (const auto& [w, h] : {std::pair{1, 70001}, std::pair{3, 30011}, std::pair{700, 501}, std::pair{24000, 7}}) {
        Workspace ws;
        test::StartOwnFormatFrame(ws, w, h, 61.54, 30.5, 12.25, 7.5);
        for (int32_t x = 1; x <= w; ++x)
            for (int32_t y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = (x * 31 + y * 17) % 70000 - 3;
        ws.FramePixels.Intensity[w][h] = MaskedIntensity;
        const std::string path = dir.file("f.orv");
        WriteNativeFrame(ws, path);
        Workspace reader;
        RecordingHost host;
        ChainResult r = RunReaderChain(reader, host, ReaderChain::Load, path);
        ASSERT_TRUE(r.Read) << r.Error;
        EXPECT_EQ(r.Frame.ReaderName, "ReadNativeFrame");
        ASSERT_EQ(r.Frame.FrameWidth, w);
        ASSERT_EQ(r.Frame.FrameHeight, h);
        EXPECT_EQ(r.Frame.DSize, 30.5);
        EXPECT_EQ(r.Frame.FrameInfo->EXo, "12.25");
        for (int32_t x = 1; x <= w; ++x)
            for (int32_t y = 1; y <= h; ++y)
                ASSERT_EQ(r.Frame.Intensity[x][y], ws.FramePixels.Intensity[x][y]) << w << " " << x << " " << y;
        // One pixel short: refused as the whole read refuses it.
        std::string bytes = test::ReadBytes(path);
        bytes.resize(bytes.size() - 4);
        test::WriteBytes(path, bytes);
        r = RunReaderChain(reader, host, ReaderChain::Load, path);
        EXPECT_FALSE(r.Read);
        EXPECT_NE(r.Error.find("shorter than its " + std::to_string(w) + " x " + std::to_string(h)), std::string::npos)
            << r.Error;
    }
}
