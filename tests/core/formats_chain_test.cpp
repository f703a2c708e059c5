// The chains: which reader a file reaches in each chain, the settings step
// per chain, and what a reader without it writes on installing its frame.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../../tools/format_fixture_writers.h"
#include "formats/frame_readers.h"
#include "formats_test_support.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::testing;
namespace fx = orv::fixtures;

namespace {

class TempFolder {
public:
    TempFolder() {
        path_ = std::filesystem::temp_directory_path() /
                ("orv_formats_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string write(const std::string& name, const std::string& bytes) const {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path path_;
};

struct ChainCase {
    const char* File;
    const char* Reader;
    const char* SizeX = "1024";
    const char* SizeY = "1024";
};

TEST(ReaderChains, EveryFixtureReachesItsReaderInTheLoadChain) {
    const ChainCase cases[] = {
        {"kw100_b1_256.sfrm", "ReadFormat100Frame"},
        {"kw100_b2_128.sfrm", "ReadFormat100Frame"},
        {"kw86_b1_128.sfrm", "ReadFormatFrame"},
        {"kw86_b4_128.sfrm", "ReadFormatFrame"},
        {"ty1_128.img", "ReadSapphireFrame"},
        {"tif_u8_256x200.tif", "ReadTiffFrame"},
        {"tif_i32_192x256.tif", "ReadTiffFrame"},
        {"tif_u16_multistrip_256x256.tif", "ReadTiffFrame"},
        {"bmp_8_201x157.bmp", "ReadBmpFrame"},
        {"bmp_24_157x123.bmp", "ReadBmpFrame"},
        {"raw_u16_256x192.b16", "ReadRawFrame", "256", "192"},
        {"csv_lf_256.csv", "ReadCsvFrame", "256", "256"},
        {"csv_crlf_256.csv", "ReadCsvFrame", "256", "256"},
        {"made/sapphire_no_64.img", "ReadSapphireFrame"},
        {"made/pixelsize_96x80.img", "ReadPixelSizeFrame"},
        {"made/keyword_header_64x48.dat", "ReadKeywordHeaderFrame"},
        {"made/panalytical_64x32.txt", "ReadPANalyticalFrame"},
        {"made/bmp_16_121x110.bmp", "ReadBmpFrame"},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.File);
        Workspace ws;
        RecordingHost host;
        ws.Form32.EDSizeX = c.SizeX;
        ws.Form32.EDSizeY = c.SizeY;
        const ChainResult result = RunReaderChain(ws, host, ReaderChain::Load, FixturePath(c.File));
        EXPECT_TRUE(result.Read) << result.Error;
        EXPECT_EQ(result.Frame.ReaderName, c.Reader);
    }
}

TEST(ReaderChains, LargeTiffIsReadByTheTiffReaderWithDefaultSettings) {
    TempFolder folder;
    const fx::Image img = fx::Pattern(2048, 2048, 60000);
    const std::string path = folder.write("big.tif", fx::WriteTiff(img, 16, 1, 2048));
    Workspace ws;
    RecordingHost host;
    for (ReaderChain chain : {ReaderChain::Load, ReaderChain::Pole, ReaderChain::Arithmetic}) {
        const ChainResult result = RunReaderChain(ws, host, chain, path);
        ASSERT_TRUE(result.Read) << result.Error;
        EXPECT_EQ(result.Frame.ReaderName, "ReadTiffFrame");
    }
    const ChainResult result = RunReaderChain(ws, host, ReaderChain::Load, path);
    ExpectImage(result.Frame, img, SameOrder);
}

TEST(ReaderChains, KeywordRecordFramesInEveryChainIncludingTheMerge) {
    for (ReaderChain chain : {ReaderChain::Load, ReaderChain::Pole, ReaderChain::Arithmetic, ReaderChain::Merge}) {
        Workspace ws;
        RecordingHost host;
        const ChainResult v100 = RunReaderChain(ws, host, chain, FixturePath("kw100_b1_sparse_128.sfrm"));
        EXPECT_TRUE(v100.Read);
        EXPECT_EQ(v100.Frame.ReaderName, "ReadFormat100Frame");
        const ChainResult older = RunReaderChain(ws, host, chain, FixturePath("kw86_b2_128.sfrm"));
        EXPECT_EQ(older.Frame.ReaderName, "ReadFormatFrame");
        const ChainResult sapphire = RunReaderChain(ws, host, chain, FixturePath("ty1_256.img"));
        EXPECT_EQ(sapphire.Frame.ReaderName, "ReadSapphireFrame");
        EXPECT_TRUE(host.messages.empty());
    }
    // The merge chain has no image readers.
    Workspace ws;
    RecordingHost host;
    EXPECT_FALSE(RunReaderChain(ws, host, ReaderChain::Merge, FixturePath("tif_u16_256x192.tif")).Read);
}

TEST(ReaderChains, RawFramesOutsideTheLoadChainOnlyAsB16) {
    TempFolder folder;
    const std::string bytes = FixtureBytes("raw_u16_256x192.b16");
    const std::string renamed = folder.write("frame.dat", bytes);
    Workspace ws;
    RecordingHost host;
    ws.Form32.EDSizeX = "256";
    ws.Form32.EDSizeY = "192";
    EXPECT_EQ(RunReaderChain(ws, host, ReaderChain::Pole, FixturePath("raw_u16_256x192.b16")).Frame.ReaderName,
              "ReadRawFrame");
    EXPECT_FALSE(RunReaderChain(ws, host, ReaderChain::Pole, renamed).Read);
    EXPECT_FALSE(RunReaderChain(ws, host, ReaderChain::Arithmetic, renamed).Read);
    EXPECT_EQ(RunReaderChain(ws, host, ReaderChain::Load, renamed).Frame.ReaderName, "ReadRawFrame");
}

TEST(ReaderChains, CustomRawIsTriedFirstWhenTicked) {
    Workspace ws;
    RecordingHost host;
    ws.Form32.CustomFile = true;
    ws.Form32.EDSizeX = "256";
    ws.Form32.EDSizeY = "200";
    ws.Form32.EHeader = "-1";
    ws.Form32.EBytesPixel = "1";
    // A headerless file is taken as the user's raw layout: its last 256 x
    // 200 bytes. A TIFF carries its own signature and goes to its reader.
    for (ReaderChain chain : {ReaderChain::Load, ReaderChain::Pole, ReaderChain::Arithmetic}) {
        EXPECT_EQ(RunReaderChain(ws, host, chain, FixturePath("raw_u16_256x192.b16")).Frame.ReaderName,
                  "ReadCustomRawFrame");
        EXPECT_EQ(RunReaderChain(ws, host, chain, FixturePath("tif_u8_256x200.tif")).Frame.ReaderName,
                  "ReadTiffFrame");
        EXPECT_EQ(RunReaderChain(ws, host, chain, std::string(ORV_TEST_DATA) + "/geometry/flat384x256_offcentre.orv").Frame.ReaderName,
                  "ReadNativeFrame");
    }
}

TEST(ReaderChains, AFileOfAnotherFamilyIsNeverTakenForRawPixels) {
    Workspace ws;
    RecordingHost host;
    // Sizes under which the raw reader would take any of these files.
    ws.Form32.EDSizeX = "64";
    ws.Form32.EDSizeY = "64";
    TempFolder folder;
    int made = 0;
    auto damaged = [&](const std::string& fixture, std::vector<std::pair<size_t, std::string>> changes) {
        std::string file = FixtureBytes(fixture);
        for (const auto& [at, bytes] : changes) file.replace(at, bytes.size(), bytes);
        return folder.write(std::to_string(++made) + "_" + fixture, file);
    };
    struct Case {
        std::string Path;
        const char* Family;
    };
    const Case cases[] = {
        // The first directory lies beyond the file's end.
        {damaged("tif_u16_multistrip_256x256.tif", {{4, std::string("\xf0\xff\xff\x7f", 4)}}), "TIFF"},
        // 7 bits per pixel.
        {damaged("bmp_8_201x157.bmp", {{28, std::string("\x07\x00", 2)}}), "BMP"},
        // Comma-separated text whose size the Detector Settings put below 250.
        {FixturePath("csv_lf_256.csv"), "CSV"},
        // An own frame whose magic number was lost: its name still tells.
        {folder.write("nomagic.orv", std::string(4, '\0') + FixtureBytes("raw_u16_256x192.b16")), "Orvantide (.orv)"},
        // The same with an info header of no known size and a wrong file size.
        {damaged("bmp_8_201x157.bmp", {{2, std::string(4, '\x01')}, {14, std::string("\x07\x00\x00\x00", 4)},
                                       {28, std::string("\x07\x00", 2)}}),
         "BMP"},
    };
    for (const Case& c : cases) {
        const ChainResult result = RunReaderChain(ws, host, ReaderChain::Load, c.Path);
        EXPECT_FALSE(result.Read) << c.Path << " read by " << result.Frame.ReaderName;
        EXPECT_NE(result.Error.find(std::string("the ") + c.Family + " family"), std::string::npos) << result.Error;
    }
    // A headerless file of the same sizes is still raw pixels.
    const std::string plain = folder.write("plain.dat", std::string(64 * 64 * 2 + 100, '\x11'));
    EXPECT_EQ(RunReaderChain(ws, host, ReaderChain::Load, plain).Frame.ReaderName, "ReadRawFrame");
}

TEST(ReaderChains, SettingsStepPerChain) {
    TempFolder folder;
    fx::KeywordGeometry g{20, 64, 64, 6, 0.03};
    const std::string path = folder.write("f.sfrm", fx::WriteFormat100(fx::Pattern(128, 128, 200), 1, 0, g));
    {
        Workspace ws;
        RecordingHost host;
        ws.Form32.Eth2offset = "1.5";
        const ChainResult load = RunReaderChain(ws, host, ReaderChain::Load, path);
        EXPECT_DOUBLE_EQ(load.Frame.TwoThetaD, 21.5);
        EXPECT_DOUBLE_EQ(load.Frame.Landa, 0.03);
        EXPECT_DOUBLE_EQ(load.Frame.DSize, 61);   // not in the header: the box
        const ChainResult pole = RunReaderChain(ws, host, ReaderChain::Pole, path);
        EXPECT_DOUBLE_EQ(pole.Frame.TwoThetaD, 20);
        EXPECT_DOUBLE_EQ(pole.Frame.Landa, 0.711);
    }
    // A 9000-pixel-wide TIFF: loaded without message, refused by the pole
    // and arithmetic chains (by the TIFF reader's own limit).
    const std::string wide = folder.write("wide.tif", fx::WriteTiff(fx::Pattern(9000, 2, 100), 8, 1, 2));
    Workspace ws;
    RecordingHost host;
    EXPECT_TRUE(RunReaderChain(ws, host, ReaderChain::Load, wide).Read);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_FALSE(RunReaderChain(ws, host, ReaderChain::Pole, wide).Read);
    EXPECT_FALSE(RunReaderChain(ws, host, ReaderChain::Arithmetic, wide).Read);
}

TEST(ReaderChains, UnreadableFileEndsTheChain) {
    TempFolder folder;
    std::string bytes = FixtureBytes("kw100_b1_256.sfrm");
    const std::string path = folder.write("cut.sfrm", bytes.substr(0, 20000));
    Workspace ws;
    RecordingHost host;
    const ChainResult result = RunReaderChain(ws, host, ReaderChain::Load, path);
    EXPECT_FALSE(result.Read);
    EXPECT_FALSE(result.Error.empty());
    EXPECT_EQ(result.Error.find("no reader"), std::string::npos);
}

TEST(ReaderChains, PANalyticalFrameWritesItsDetectorSettingsOnInstall) {
    Workspace ws;
    RecordingHost host;
    ChainResult result = RunReaderChain(ws, host, ReaderChain::Load, FixturePath("made/panalytical_64x32.txt"));
    ASSERT_TRUE(result.Read);
    EXPECT_EQ(ws.Form23.EXo, "256");   // nothing written before the install
    NewFrame frame = std::move(result.Frame);
    ApplyReaderSettings(ws, frame);
    InstallFrame(ws, std::move(frame));
    EXPECT_EQ(ws.FrameHeight, 96);
    EXPECT_EQ(ws.PixelAspectSet, 1);
    EXPECT_EQ(ws.FlatDetector, 0);
    EXPECT_TRUE(ws.Form32.RCylindrical);
    EXPECT_FALSE(ws.Form32.RFlat);
    EXPECT_EQ(ws.Form32.EXoM, "12.500");
    EXPECT_EQ(ws.Form32.ELanda, "1.5406");   // the precision of the file kept
    EXPECT_EQ(ws.Form32.ERadius, "240.000");
    EXPECT_EQ(ws.Form32.EHeight, "0.003");
    EXPECT_EQ(ws.Form23.EXo, "12.5");
    EXPECT_EQ(ws.Form23.EDSizemm, "0.0064");
}

} // namespace
