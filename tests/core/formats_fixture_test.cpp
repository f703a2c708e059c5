// Frames written by other programs (and by our own layout writers for the
// formats without such a sample), read to the sizes, geometry and pixels
// their sidecars give.

#include <gtest/gtest.h>

#include "../../tools/format_fixture_writers.h"
#include "formats/frame_readers.h"
#include "formats_test_support.h"

using namespace orv;
using namespace orv::testing;

namespace {

struct FixtureCase {
    const char* Name;
    ReaderFunction Reader;
    StorageMap Map;
    const char* SizeX = nullptr;   // EDSizeX / EDSizeY for headerless files
    const char* SizeY = nullptr;
};

const FixtureCase OutsideFixtures[] = {
    {"kw100_b1_256.sfrm", ReadFormat100Frame, SameOrder},
    {"kw100_b1_sparse_128.sfrm", ReadFormat100Frame, SameOrder},
    {"kw100_b2_128.sfrm", ReadFormat100Frame, SameOrder},
    {"kw86_b1_128.sfrm", ReadFormatFrame, SameOrder},
    {"kw86_b2_128.sfrm", ReadFormatFrame, SameOrder},
    {"kw86_b4_128.sfrm", ReadFormatFrame, SameOrder},
    {"ty1_128.img", ReadSapphireFrame, UpsideDown},
    {"ty1_256.img", ReadSapphireFrame, UpsideDown},
    {"tif_u8_256x200.tif", ReadTiffFrame, SameOrder},
    {"tif_u16_256x192.tif", ReadTiffFrame, SameOrder},
    {"tif_i32_192x256.tif", ReadTiffFrame, SameOrder},
    {"tif_u16_multistrip_256x256.tif", ReadTiffFrame, SameOrder},
    {"bmp_8_201x157.bmp", ReadBmpFrame, SameOrder},
    {"bmp_24_157x123.bmp", ReadBmpFrame, SameOrder},
    {"raw_u16_256x192.b16", ReadRawFrame, SameOrder, "256", "192"},
    {"csv_lf_256.csv", ReadCsvFrame, QuarterTurn, "256", "256"},
    {"csv_crlf_256.csv", ReadCsvFrame, QuarterTurn, "256", "256"},
};

class OutsideFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(OutsideFixture, ReadsToTheSidecarValues) {
    const FixtureCase& c = GetParam();
    const Json sidecar = Sidecar(c.Name);
    const std::string bytes = FixtureBytes(c.Name);
    ASSERT_EQ(static_cast<int64_t>(bytes.size()), sidecar["file_size"].integer());
    TForm32 form;
    if (c.SizeX) form.EDSizeX = c.SizeX, form.EDSizeY = c.SizeY;

    const ReaderRun run = RunReader(c.Reader, bytes, FixturePath(c.Name), ReaderChain::Load, form);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    const NewFrame& f = run.Frame;
    const int32_t w = static_cast<int32_t>(sidecar["width"].integer());
    const int32_t h = static_cast<int32_t>(sidecar["height"].integer());
    if (c.Map == QuarterTurn) {
        EXPECT_EQ(f.FrameWidth, h);
        EXPECT_EQ(f.FrameHeight, w);
    } else {
        EXPECT_EQ(f.FrameWidth, w);
        EXPECT_EQ(f.FrameHeight, h);
    }
    EXPECT_EQ(f.FrameSize, std::max(w, h));
    EXPECT_EQ(f.Intensity.width(), f.FrameWidth);
    EXPECT_EQ(f.Intensity.height(), f.FrameHeight);
    ExpectPixelChecks(f, sidecar, c.Map);

    const Json& geometry = sidecar["header_geometry"];
    if (geometry.kind == Json::Null) {
        // Formats without geometry take the Detector Settings boxes.
        EXPECT_DOUBLE_EQ(f.Xo, 256);
        EXPECT_DOUBLE_EQ(f.Distance, 61.54);
        EXPECT_DOUBLE_EQ(f.Landa, 0.709);
        EXPECT_DOUBLE_EQ(f.DSize, 61);
        return;
    }
    const Json& view = geometry["reader_view"];
    EXPECT_NEAR(f.TwoThetaD, view["TwoThetaD"].number(), 1e-9);
    EXPECT_NEAR(f.Xo, view["Xo"].number(), 1e-9);
    EXPECT_NEAR(f.Yo, view["Yo"].number(), 1e-9);
    EXPECT_NEAR(f.Distance, view["Distance"].number(), 1e-9);
    EXPECT_NEAR(f.Landa, view["Landa"].number(), 1e-12);
    if (view.has("DSize")) {
        EXPECT_NEAR(f.DSize, view["DSize"].number(), 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, OutsideFixture, ::testing::ValuesIn(OutsideFixtures),
                         [](const ::testing::TestParamInfo<FixtureCase>& info) {
                             std::string name = info.param.Name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

// The older keyword-record files number their overflow pixels from 0, as
// the programs writing them do: pixel 0 is the first pixel, pixel 128 the
// first of row 2.
TEST(KeywordRecordFrames, OverflowPixelNumbersCountFromZero) {
    const ReaderRun run = RunReader(ReadFormatFrame, FixtureBytes("kw86_b1_128.sfrm"));
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[1][1], 255);       // entry "000000255" "0000000"
    EXPECT_EQ(run.Frame.Intensity[2][1], 256);       // pixel 1
    EXPECT_EQ(run.Frame.Intensity[1][2], 1000);      // pixel 128: row 2, column 1
    EXPECT_EQ(run.Frame.Intensity[128][4], 123456);  // pixel 511: the last of row 4
}

// The made fixtures: each file's pixels are the image its writer was given.
TEST(MadeFixtures, CommittedFilesMatchTheirWriter) {
    for (const fixtures::MadeFixture& made : fixtures::MadeFixtures()) {
        SCOPED_TRACE(made.Name);
        EXPECT_EQ(FixtureBytes("made/" + made.Name), made.Bytes) << "rerun tools/make_format_fixtures.sh";
    }
}

const fixtures::MadeFixture& Made(const std::string& name) {
    static const std::vector<fixtures::MadeFixture> all = fixtures::MadeFixtures();
    for (const auto& m : all)
        if (m.Name == name) return m;
    throw std::runtime_error("no made fixture " + name);
}

ReaderRun ReadMade(ReaderFunction reader, const std::string& name) {
    return RunReader(reader, FixtureBytes("made/" + name), FixturePath("made/" + name));
}

TEST(MadeFixtures, PlainSapphireFrameIsTurnedUpsideDown) {
    const ReaderRun run = ReadMade(ReadSapphireFrame, "sapphire_no_64.img");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, Made("sapphire_no_64.img").Source, UpsideDown);
    EXPECT_DOUBLE_EQ(run.Frame.DSize, 64 * 0.25 + 0.1);
    EXPECT_NEAR(run.Frame.TwoThetaD, 57.29577951308232 * 2000 * 0.0001, 1e-9);   // factor -2000: sign flips
    EXPECT_DOUBLE_EQ(run.Frame.Xo, 35);       // 70 / binning 2
    EXPECT_DOUBLE_EQ(run.Frame.Yo, 64 - 25);  // side - 50 / 2
}

TEST(MadeFixtures, UnderflowTablesGiveNegativeCounts) {
    for (const char* name : {"kw100_b1_underflow_64.sfrm", "kw100_b2_underflow_64.sfrm"}) {
        SCOPED_TRACE(name);
        const ReaderRun run = ReadMade(ReadFormat100Frame, name);
        ASSERT_EQ(run.Outcome, ReadOutcome::Read);
        ExpectImage(run.Frame, Made(name).Source, SameOrder);
    }
    // -200 in the file is turned into 160 and 200 into -160.
    EXPECT_DOUBLE_EQ(ReadMade(ReadFormat100Frame, "kw100_b1_underflow_64.sfrm").Frame.TwoThetaD, 160);
    EXPECT_DOUBLE_EQ(ReadMade(ReadFormat100Frame, "kw100_b2_underflow_64.sfrm").Frame.TwoThetaD, -160);
    const NewFrame f = ReadMade(ReadFormat100Frame, "kw100_b1_underflow_64.sfrm").Frame;
    EXPECT_DOUBLE_EQ(f.Xo, 31.5);
    EXPECT_DOUBLE_EQ(f.Yo, 30.25);
    EXPECT_DOUBLE_EQ(f.Distance, 85);
    EXPECT_DOUBLE_EQ(f.Landa, 1.5406);
}

TEST(MadeFixtures, PixelSizeFrameTakesItsSizeAndCentreFromTheHeader) {
    const ReaderRun run = ReadMade(ReadPixelSizeFrame, "pixelsize_96x80.img");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameWidth, 96);
    EXPECT_EQ(run.Frame.FrameHeight, 80);
    ExpectImage(run.Frame, Made("pixelsize_96x80.img").Source, SameOrder);
    EXPECT_DOUBLE_EQ(run.Frame.Xo, 50);      // 5.00 mm / 0.1 mm
    EXPECT_DOUBLE_EQ(run.Frame.Yo, 42.5);
    EXPECT_DOUBLE_EQ(run.Frame.DSize, 9.6);  // 96 x 0.1
    EXPECT_DOUBLE_EQ(run.Frame.Distance, 123.45);
    EXPECT_DOUBLE_EQ(run.Frame.TwoThetaD, -20.5);
    EXPECT_DOUBLE_EQ(run.Frame.Landa, 1.5418);
}

TEST(MadeFixtures, KeywordHeaderFrameSharesTheFileAmongItsRepeats) {
    // One repeat: the file holds two images, so the depth is 2 bytes, not 4.
    const ReaderRun run = ReadMade(ReadKeywordHeaderFrame, "keyword_header_64x48.dat");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameWidth, 64);
    EXPECT_EQ(run.Frame.FrameHeight, 48);
    ExpectImage(run.Frame, Made("keyword_header_64x48.dat").Source, SameOrder);
    EXPECT_DOUBLE_EQ(run.Frame.TwoThetaD, -25);   // -12.5: the sign is not kept
    EXPECT_DOUBLE_EQ(run.Frame.Distance, 98.7);
    EXPECT_DOUBLE_EQ(run.Frame.Landa, 1.5406);
    EXPECT_DOUBLE_EQ(run.Frame.DSize, 64);        // 500 um x 64 / 1000 = 32, doubled
    EXPECT_DOUBLE_EQ(run.Frame.Xo, 32);
    EXPECT_DOUBLE_EQ(run.Frame.Yo, 24);
}

TEST(MadeFixtures, PANalyticalRowsAreRepeatedForTallPixels) {
    const ReaderRun run = ReadMade(ReadPANalyticalFrame, "panalytical_64x32.txt");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    const NewFrame& f = run.Frame;
    const fixtures::Image& source = Made("panalytical_64x32.txt").Source;
    ASSERT_EQ(f.FrameWidth, 64);
    ASSERT_EQ(f.FrameHeight, 96);   // 32 rows three times
    EXPECT_EQ(f.FrameSize, 96);
    EXPECT_EQ(f.PixelAspect, 1);
    EXPECT_EQ(f.PixelAspectSet, std::optional<uint8_t>(1));
    for (int32_t r = 0; r < 32; ++r)
        for (int32_t c = 0; c < 64; ++c)
            for (int32_t k = 1; k <= 3; ++k)
                ASSERT_EQ(f.Intensity[c + 1][r * 3 + k], source.at(r, c) / 3) << r << " " << c;
    EXPECT_EQ(f.Intensity[4][10], -2);   // -7 / 3 toward zero
    EXPECT_FALSE(f.RunsSettingsStep);
    // Not "File Settings": the detector size is width x pixel width / 1000,
    // and the file's geometry goes into the Detector Settings boxes.
    EXPECT_DOUBLE_EQ(f.DSize, 64 * 0.1 / 1000);
    ASSERT_TRUE(f.FrameInfo);
    EXPECT_EQ(f.FrameInfo->EXo, "12.5");
    EXPECT_EQ(f.FrameInfo->E2ThetaD, "35.5");
    EXPECT_EQ(f.FrameInfo->EDistancemm, "240");
    ASSERT_TRUE(f.DetectorSettings);
    EXPECT_TRUE(f.DetectorSettings->SetFileGeometry);
    EXPECT_EQ(f.DetectorSettings->EXoM, "12.500");
    EXPECT_EQ(f.DetectorSettings->ERadius, "240.000");
    EXPECT_EQ(f.DetectorSettings->EPixSize, "0.100");
    EXPECT_EQ(f.DetectorSettings->ELength, "0.006");
}

TEST(MadeFixtures, TiffStripsAreReadFromTheirOwnOffsets) {
    const ReaderRun run = ReadMade(ReadTiffFrame, "tif_u16_gapstrips_256x12.tif");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, Made("tif_u16_gapstrips_256x12.tif").Source, SameOrder);
}

TEST(MadeFixtures, SignedSixteenBitTiffKeepsItsSign) {
    const ReaderRun run = ReadMade(ReadTiffFrame, "tif_i16_256x4.tif");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, Made("tif_i16_256x4.tif").Source, SameOrder);
    EXPECT_EQ(run.Frame.Intensity[1][1], -1);
}

TEST(MadeFixtures, FloatingPointTiffIsRefused) {
    EXPECT_EQ(ReadMade(ReadTiffFrame, "tif_f32_256x4.tif").Outcome, ReadOutcome::NotMine);
}

TEST(MadeFixtures, SixteenBitBitmapWithRowPadding) {
    // 121 pixels of 2 bytes: rows of 242 bytes padded to 244.
    const ReaderRun run = ReadMade(ReadBmpFrame, "bmp_16_121x110.bmp");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, Made("bmp_16_121x110.bmp").Source, SameOrder);
}

} // namespace
