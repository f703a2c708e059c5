// The readers' own rules: table handling, header angles and their signs,
// size tests, row repeats and binning, on frames laid out by the fixture
// writers with values worked out by hand.

#include <gtest/gtest.h>

#include <cmath>

#include "../../tools/format_fixture_writers.h"
#include "base/parallel.h"
#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "formats_test_support.h"

using namespace orv;
using namespace orv::testing;
namespace fx = orv::fixtures;

namespace {

fx::Image Constant(int32_t w, int32_t h, int64_t v) {
    return fx::Image{w, h, std::vector<int64_t>(static_cast<size_t>(w) * h, v)};
}

// Replaces record `n` (from 1) of a keyword-record header.
void SetRecord(std::string& file, int n, const std::string& text) { file.replace((n - 1) * 80, 80, fx::Left(text, 80)); }

// ---- Keyword-record frames ------------------------------------------------

TEST(KeywordRecordFrames, OlderLayoutAnglesAndUnreadableFiles) {
    fx::KeywordGeometry g{200, 10, 20, 5, 0.7};
    std::string file = fx::WriteFormat86(fx::Pattern(16, 16, 200), 1, g);
    EXPECT_DOUBLE_EQ(RunReader(ReadFormatFrame, file).Frame.TwoThetaD, -160);
    g.TwoTheta = -200;   // the older layout does not add 360
    EXPECT_DOUBLE_EQ(RunReader(ReadFormatFrame, fx::WriteFormat86(fx::Pattern(16, 16, 200), 1, g)).Frame.TwoThetaD,
                     -200);

    std::string threeBytes = file;
    SetRecord(threeBytes, 40, "NPIXELB:         3");
    EXPECT_THROW(RunReader(ReadFormatFrame, threeBytes), FrameReadError);
    std::string notANumber = file;
    SetRecord(notANumber, 41, "NROWS  :       1x6");
    EXPECT_THROW(RunReader(ReadFormatFrame, notANumber), ConversionError);
    EXPECT_THROW(RunReader(ReadFormatFrame, file.substr(0, 7680 + 255)), FrameReadError);
    std::string tooManyOverflows = file;
    SetRecord(tooManyOverflows, 21, "NOVERFL:      5000");
    EXPECT_THROW(RunReader(ReadFormatFrame, tooManyOverflows), FrameReadError);
    EXPECT_EQ(RunReader(ReadFormatFrame, "FORMAT:" + file).Outcome, ReadOutcome::NotMine);
}

TEST(KeywordRecordFrames, OverflowEntriesOutsideTheFrameAreSkippedAndLaterEntriesWin) {
    fx::Image img = Constant(16, 16, 7);
    std::string file = fx::WriteFormat86(img, 1, {});
    file.resize(7680 + 256);
    file += "000001000" "0000016";   // pixel 16: row 2, column 1
    file += "000002000" "0000256";   // one past the last pixel: skipped
    file += "000003000" "0000016";   // the same pixel again: wins
    SetRecord(file, 21, "NOVERFL:         3");
    const ReaderRun run = RunReader(ReadFormatFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[1][2], 3000);
    EXPECT_EQ(run.Frame.Intensity[16][16], 7);
}

TEST(KeywordRecordFrames, Format100SideAndCounts) {
    // A side of "1024" is read from its first three characters.
    std::string big = fx::WriteFormat100(Constant(1024, 1024, 3), 1, 0, {}, "1024");
    const ReaderRun run = RunReader(ReadFormat100Frame, big);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameSize, 1024);
    EXPECT_EQ(run.Frame.Intensity[1024][1024], 3);

    // Counts with their signs dropped, and one beyond the pixel count.
    fx::Image img = Constant(16, 16, 1);
    img.at(0, 0) = 300;
    img.at(0, 1) = 400;
    std::string file = fx::WriteFormat100(img, 1, 0, {});
    SetRecord(file, 21, "NOVERFL:" + fx::Left("-1", 20) + fx::Left("-2", 21) + "0");
    const ReaderRun signDropped = RunReader(ReadFormat100Frame, file);
    ASSERT_EQ(signDropped.Outcome, ReadOutcome::Read);
    EXPECT_EQ(signDropped.Frame.Intensity[2][1], 400);
    SetRecord(file, 21, "NOVERFL:" + fx::Left("-1", 20) + fx::Left("999", 21) + "0");
    EXPECT_THROW(RunReader(ReadFormat100Frame, file), FrameReadError);
    SetRecord(file, 21, "NOVERFL:" + fx::Left("-1", 20) + fx::Left("99999999999999999999", 21) + "0");
    EXPECT_THROW(RunReader(ReadFormat100Frame, file), FrameReadError);
    // A blank where the depth digit belongs does not convert.
    std::string blank = fx::WriteFormat100(img, 1, 0, {});
    SetRecord(blank, 40, "NPIXELB: ");
    EXPECT_THROW(RunReader(ReadFormat100Frame, blank), ConversionError);
}

TEST(KeywordRecordFrames, UnderflowEntryOfOneIsAMaskedPixel) {
    fx::Image img = Constant(16, 16, 5);
    img.at(2, 3) = -1;
    const ReaderRun run = RunReader(ReadFormat100Frame, fx::WriteFormat100(img, 1, 1, {}));
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[4][3], MaskedIntensity);
}

TEST(KeywordRecordFrames, TableEntriesLandOnTheirPixelsAcrossAFrameOfManyChunks) {
    // 512 x 512 pixels are searched in several parts; the tables are still
    // taken in file order. Every kind of entry, in every part of the frame.
    for (const int bytes : {1, 2}) {
        fx::Image img = fx::Pattern(512, 512, bytes == 1 ? 250 : 60000, 21);
        for (int k = 0; k < 200; ++k) {
            const int32_t r = (k * 131) % 512, c = (k * 277 + 5) % 512;
            const int64_t values[] = {0, -3, 255, 4000, 65535, 70000, 2000000, -70000};
            img.at(r, c) = values[k % 8];
        }
        for (const bool threaded : {true, false}) {
            const ScopedParallelThreadLimit threads(threaded ? 0 : 1);
            const ReaderRun run = RunReader(ReadFormat100Frame, fx::WriteFormat100(img, bytes, bytes, {}, "512"));
            ASSERT_EQ(run.Outcome, ReadOutcome::Read);
            for (int32_t r = 0; r < 512; ++r)
                for (int32_t c = 0; c < 512; ++c)
                    ASSERT_EQ(run.Frame.Intensity[c + 1][r + 1], img.at(r, c)) << bytes << " " << r << " " << c;
        }
    }
}

TEST(FrameRows, EveryCommonDepthIsWidenedAndTurnedAsPixelByPixel) {
    // Sizes that leave partial tiles and partial groups of four, rows
    // written downwards and upwards, stored rows longer than the frame's.
    const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> b(4 * 75 * 140 + 64);
        uint32_t state = 7;
        for (unsigned char& v : b) v = static_cast<unsigned char>((state = state * 1664525u + 1013904223u) >> 24);
        return b;
    }();
    const ByteView file(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const PixelDecoder decoders[] = {DecodeU8, DecodeI8, DecodeU16, DecodeI16, DecodeI32};
    const int sizes[] = {1, 1, 2, 2, 4};
    for (int d = 0; d < 5; ++d)
        for (const int32_t step : {1, -1})
            for (const bool threaded : {true, false}) {
                const ScopedParallelThreadLimit threads(threaded ? 0 : 1);
                const int32_t width = 71, rows = 133;
                const uint64_t stride = static_cast<uint64_t>(sizes[d]) * 75 + 3;
                NewFrame frame;
                AllocateFrame(frame, width, 140);
                frame.Intensity.fill(-5);
                const int32_t first = step == 1 ? 4 : 137;
                FillFrameRows(frame, file, 7, stride, static_cast<uint64_t>(sizes[d]), first, rows, step, decoders[d]);
                for (int32_t r = 0; r < rows; ++r)
                    for (int32_t x = 0; x < width; ++x) {
                        const int32_t expected = decoders[d](bytes.data() + 7 + stride * r + static_cast<uint64_t>(x) * sizes[d]);
                        ASSERT_EQ(frame.Intensity[x + 1][first + r * step], expected) << d << " " << step << " " << r << " " << x;
                    }
                // Rows outside the block are left alone.
                EXPECT_EQ(frame.Intensity[1][step == 1 ? 3 : 4], -5);
                EXPECT_EQ(frame.Intensity[width][step == 1 ? 137 : 138], -5);
            }
}

// ---- Binary-header frames -------------------------------------------------

TEST(SapphireFrames, RunningValueCarriesOverRowEnds) {
    fx::Image img = Constant(8, 8, 0);
    img.at(0, 7) = 500;   // the last pixel of the first stored row
    img.at(1, 0) = 500;   // the next row starts with step byte 127
    const std::string file = fx::WriteSapphire(img, true, {});
    EXPECT_EQ(static_cast<unsigned char>(file[5120 + 8]), 127);
    const ReaderRun run = RunReader(ReadSapphireFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[1][7], 500);   // stored row 1 is frame row 7
}

TEST(SapphireFrames, SumsBeyondThirtyTwoBitsSaturate) {
    fx::Image img = Constant(4, 4, 0);
    img.at(0, 0) = 2000000000;
    img.at(0, 1) = 4000000000;    // a 32-bit step of 2e9 on top of 2e9
    img.at(0, 2) = 2000000000;    // and back
    const ReaderRun run = RunReader(ReadSapphireFrame, fx::WriteSapphire(img, true, {}));
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[2][4], INT32_MAX);
    EXPECT_EQ(run.Frame.Intensity[3][4], 2000000000);
}

TEST(SapphireFrames, BinningAndHeaderTests) {
    fx::SapphireGeometry g;
    g.Binning = 0;   // no binning: the centre unscaled
    g.BeamX = 3.5;
    g.BeamY = 1.25;
    const ReaderRun run = RunReader(ReadSapphireFrame, fx::WriteSapphire(Constant(8, 8, 1), false, g));
    EXPECT_DOUBLE_EQ(run.Frame.Xo, 3.5);
    EXPECT_DOUBLE_EQ(run.Frame.Yo, 8 - 1.25);

    std::string file = fx::WriteSapphire(Constant(8, 8, 1), true, {});
    std::string other = file;
    other.replace(other.find("TY1"), 3, "TY5");
    EXPECT_EQ(RunReader(ReadSapphireFrame, other).Outcome, ReadOutcome::NotMine);
    // A step marker with no table entry left.
    std::string marker = file;
    marker[5120 + 3] = '\xfe';
    EXPECT_THROW(RunReader(ReadSapphireFrame, marker), FrameReadError);
    EXPECT_THROW(RunReader(ReadSapphireFrame, file.substr(0, file.size() - 1)), FrameReadError);
}

TEST(MccdFrames, SideFromFileSizeAndHeaderUnits) {
    const std::string file = fx::WriteMccd(Constant(512, 512, 9), 150000, 256500, -1500, -12500, 100000, 71073);
    const ReaderRun run = RunReader(ReadMccdFrame, file, "a/frame.mccd");
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameWidth, 512);
    EXPECT_EQ(run.Frame.FrameHeight, 512);
    EXPECT_DOUBLE_EQ(run.Frame.Distance, 150);
    EXPECT_DOUBLE_EQ(run.Frame.Xo, 256.5);
    EXPECT_DOUBLE_EQ(run.Frame.Yo, -1.5);
    EXPECT_DOUBLE_EQ(run.Frame.TwoThetaD, -12.5);
    EXPECT_DOUBLE_EQ(run.Frame.Landa, 0.71073);   // femtometres
    EXPECT_DOUBLE_EQ(run.Frame.DSize, 51.2);      // 512 x 100000 / 1e6
    EXPECT_EQ(run.Frame.Intensity[512][512], 9);

    EXPECT_EQ(RunReader(ReadMccdFrame, file, "frame.MCCD").Outcome, ReadOutcome::NotMine);
    EXPECT_THROW(RunReader(ReadMccdFrame, file.substr(0, 400000), "f.mccd"), FrameReadError);
    EXPECT_THROW(RunReader(ReadMccdFrame, file.substr(0, 520000), "f.mccd"), FrameReadError);
}

TEST(RaxisFrames, WordsAreBinnedTwoByTwoBottomRowFirst) {
    constexpr size_t Words = 4600, Rows = 2560;
    std::string file(Words * Rows * 2, '\0');
    auto put = [&](size_t row, size_t word, uint16_t v) {
        file[(row * Words + word) * 2] = static_cast<char>(v & 0xff);
        file[(row * Words + word) * 2 + 1] = static_cast<char>(v >> 8);
    };
    put(0, 4, 0x8001);   // counts 8
    put(0, 5, 2);
    put(1, 4, 3);
    put(1, 5, 0xffff);   // 32767 x 8
    put(Rows - 1, Words - 1, 11);
    file.replace(0, 6, "R-AXIS");
    const ReaderRun run = RunReader(ReadRaxisFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameWidth, 2300);
    EXPECT_EQ(run.Frame.FrameHeight, 1280);
    EXPECT_EQ(run.Frame.FrameSize, 2300);
    EXPECT_EQ(run.Frame.Intensity[3][1280], 8 + 2 + 3 + 32767 * 8);
    EXPECT_EQ(run.Frame.Intensity[2300][1], 11);
    EXPECT_DOUBLE_EQ(run.Frame.Xo, 256);   // geometry from the Detector Settings
    EXPECT_THROW(RunReader(ReadRaxisFrame, file.substr(0, file.size() - 2)), FrameReadError);
}

TEST(ImFrames, ExtensionInAnyCaseAndOwnFrameInfo) {
    fx::Image img = fx::Pattern(1500, 1500, 60000);
    const std::string file = fx::WriteRaw(img, 3000, 2);
    TForm32 form;
    form.E2thetaD = "20";
    form.Eth2offset = "1.5";
    form.EDistance = "100.25";
    const ReaderRun run = RunReader(ReadImFrame, file, "x/frame.im", ReaderChain::Load, form);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, img, SameOrder);
    EXPECT_FALSE(run.Frame.RunsSettingsStep);
    ASSERT_TRUE(run.Frame.FrameInfo);
    EXPECT_EQ(run.Frame.FrameInfo->E2ThetaD, "21.500");
    EXPECT_EQ(run.Frame.FrameInfo->EDistancemm, "100.250");
    EXPECT_EQ(run.Frame.FrameInfo->EWaveLen, "0.709");
    EXPECT_EQ(RunReader(ReadImFrame, file, "frame.IM").Outcome, ReadOutcome::Read);
    EXPECT_EQ(RunReader(ReadImFrame, file, "frame.img").Outcome, ReadOutcome::NotMine);
    EXPECT_THROW(RunReader(ReadImFrame, file.substr(0, 4000), "frame.im"), FrameReadError);
}

// ---- Text-header frames ---------------------------------------------------

TEST(KeywordHeaderFrames, SmallPixelSizeIsDoubled) {
    // 79 um on a 512-pixel side: 40.448 mm, doubled.
    const std::string file = fx::WriteKeywordHeaderFrame(Constant(512, 512, 4), 1, 0, "12.5", "60", "79", "0.71");
    const ReaderRun run = RunReader(ReadKeywordHeaderFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_DOUBLE_EQ(run.Frame.DSize, 80.896);
    EXPECT_DOUBLE_EQ(run.Frame.TwoThetaD, -25);
    EXPECT_EQ(run.Frame.Intensity[512][512], 4);
    // Below 25 mm the Detector Settings size is taken.
    const std::string small = fx::WriteKeywordHeaderFrame(Constant(100, 100, 4), 2, 0, "1", "60", "100", "0.71");
    EXPECT_DOUBLE_EQ(RunReader(ReadKeywordHeaderFrame, small).Frame.DSize, 61);
    // A depth that does not follow from the size.
    EXPECT_THROW(RunReader(ReadKeywordHeaderFrame, small + std::string(10000, '\0')), FrameReadError);
}

TEST(HeaderIdFrames, PixelsEndTheFile) {
    fx::Image img = fx::Pattern(512, 512, 60000, 3);
    const std::string file = fx::WriteHeaderIdFrame(img);
    const ReaderRun run = RunReader(ReadHeaderIdFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, img, SameOrder);
    EXPECT_EQ(RunReader(ReadHeaderIdFrame, "\r\nHeaderID      =" + file.substr(100)).Outcome, ReadOutcome::NotMine);
    EXPECT_THROW(RunReader(ReadHeaderIdFrame, file.substr(0, 4000)), FrameReadError);
}

TEST(PANalyticalFrames, AspectRatioOutsideOneToEightRepeatsNothing) {
    const std::string file = fx::WritePANalyticalFrame(Constant(8, 4, 90), "0.1", "0.9", "100", "0", "1.5", "4", "2");
    const ReaderRun run = RunReader(ReadPANalyticalFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameHeight, 4);
    EXPECT_EQ(run.Frame.Intensity[8][4], 90);
    EXPECT_EQ(run.Frame.PixelAspectSet, std::optional<uint8_t>(1));   // still set
}

TEST(PANalyticalFrames, FileSettingsTakeThePixelSizeBox) {
    TForm32 form;
    form.EPixSize = "50";
    TForm20 main;
    main.CBFSettings = true;
    const std::string file = fx::WritePANalyticalFrame(Constant(200, 100, 1), "0.1", "0.1", "100", "0", "1.5", "4", "2");
    const ReaderRun run = RunReader(ReadPANalyticalFrame, file, "p.txt", ReaderChain::Load, form, TFSetup{}, main);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_DOUBLE_EQ(run.Frame.DSize, 10);   // 50 x 200 / 1000
    EXPECT_EQ(run.Frame.PixelAspectSet, std::optional<uint8_t>(0));
    ASSERT_TRUE(run.Frame.DetectorSettings);
    EXPECT_FALSE(run.Frame.DetectorSettings->SetFileGeometry);
    EXPECT_EQ(run.Frame.DetectorSettings->ELength, "10.000");
    EXPECT_EQ(run.Frame.DetectorSettings->EHeight, "5.000");
}

// ---- TIFF and BMP ---------------------------------------------------------

TEST(TiffFrames, SizeLimitsPerChain) {
    auto read = [](int32_t w, int32_t h, ReaderChain chain) {
        return RunReader(ReadTiffFrame, fx::WriteTiff(Constant(w, h, 1), 8, 1, h), "f.tif", chain).Outcome;
    };
    EXPECT_EQ(read(255, 255, ReaderChain::Load), ReadOutcome::NotMine);
    EXPECT_EQ(read(256, 100, ReaderChain::Load), ReadOutcome::Read);
    EXPECT_EQ(read(9000, 2, ReaderChain::Load), ReadOutcome::Read);
    EXPECT_EQ(read(9000, 2, ReaderChain::Pole), ReadOutcome::NotMine);
    EXPECT_EQ(read(9000, 2, ReaderChain::Arithmetic), ReadOutcome::NotMine);
    EXPECT_EQ(read(8000, 2, ReaderChain::Arithmetic), ReadOutcome::Read);
    EXPECT_EQ(read(12001, 1, ReaderChain::Load), ReadOutcome::NotMine);
}

TEST(TiffFrames, BigEndianAndCompressedFilesAreRefused) {
    std::string file = fx::WriteTiff(Constant(256, 2, 1), 16, 1, 2);
    std::string bigEndian = file;
    bigEndian.replace(0, 4, std::string("MM\0*", 4));
    EXPECT_EQ(RunReader(ReadTiffFrame, bigEndian).Outcome, ReadOutcome::NotMine);
    // Tag 259 is the fourth directory entry; its value field at +8.
    const size_t directory = ByteView(file).u32(4);
    std::string compressed = file;
    compressed[directory + 2 + 12 * 3 + 8] = 5;
    EXPECT_EQ(RunReader(ReadTiffFrame, compressed).Outcome, ReadOutcome::NotMine);
}

TEST(TiffFrames, SingleStripOffsetIsTheDataStart) {
    // Pixels that do not end the file: a trailer after them.
    fx::Image img = fx::Pattern(256, 3, 60000);
    std::string file = fx::WriteTiff(img, 16, 1, 3) + std::string(1000, '\x11');
    const ReaderRun run = RunReader(ReadTiffFrame, file);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, img, SameOrder);
    // "2": the pixels are the end of the file.
    TFSetup atEnd;
    atEnd.RBTIFF1 = false;
    atEnd.RBTIFF2 = true;
    const ReaderRun end = RunReader(ReadTiffFrame, file, "f.tif", ReaderChain::Load, TForm32{}, atEnd);
    EXPECT_EQ(end.Frame.Intensity[256][3], 0x1111);
    // A header that claims more than the file holds is unreadable before allocating.
    std::string huge = fx::WriteTiff(Constant(256, 2, 1), 16, 1, 2);
    const size_t directory = ByteView(huge).u32(4);
    huge[directory + 2 + 8] = static_cast<char>(12000 & 0xff);
    huge[directory + 2 + 9] = static_cast<char>(12000 >> 8);
    EXPECT_THROW(RunReader(ReadTiffFrame, huge), FrameReadError);
}

TEST(BmpFrames, SizeLimitsPerChainAndWhite) {
    auto read = [](int32_t w, int32_t h, ReaderChain chain) {
        return RunReader(ReadBmpFrame, fx::WriteBmp(Constant(w, h, 1), 8), "f.bmp", chain).Outcome;
    };
    EXPECT_EQ(read(101, 3511, ReaderChain::Load), ReadOutcome::Read);
    EXPECT_EQ(read(101, 3512, ReaderChain::Load), ReadOutcome::NotMine);
    EXPECT_EQ(read(24001, 101, ReaderChain::Load), ReadOutcome::NotMine);
    EXPECT_EQ(read(100, 200, ReaderChain::Load), ReadOutcome::NotMine);
    EXPECT_EQ(read(200, 260, ReaderChain::Pole), ReadOutcome::NotMine);
    EXPECT_EQ(read(200, 259, ReaderChain::Pole), ReadOutcome::Read);
    EXPECT_EQ(read(8501, 200, ReaderChain::Arithmetic), ReadOutcome::NotMine);
    EXPECT_EQ(read(200, 3599, ReaderChain::Arithmetic), ReadOutcome::Read);

    const ReaderRun white = RunReader(ReadBmpFrame, fx::WriteBmp(Constant(101, 101, 765), 24));
    EXPECT_EQ(white.Frame.Intensity[101][101], 765);
    std::string truncated = fx::WriteBmp(Constant(101, 101, 1), 8);
    EXPECT_THROW(RunReader(ReadBmpFrame, truncated.substr(0, truncated.size() - 200)), FrameReadError);
}

// ---- Headerless files -----------------------------------------------------

TForm32 Sized(const char* x, const char* y) {
    TForm32 form;
    form.EDSizeX = x;
    form.EDSizeY = y;
    return form;
}

TEST(CsvFrames, FirstLineNeedsACommaAndLineEndsCountOnce) {
    const TForm32 form = Sized("256", "256");
    EXPECT_EQ(RunReader(ReadCsvFrame, "1;2;3\n", "f.csv", ReaderChain::Load, form).Outcome, ReadOutcome::NotMine);
    // Empty positions (commas) fill the rest of the 256 x 256 numbers.
    const std::string rest(256 * 256, ',');
    const ReaderRun run = RunReader(ReadCsvFrame, "1,2\r\n3,4\r\n" + rest, "f.csv", ReaderChain::Load, form);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[1][256], 1);
    EXPECT_EQ(run.Frame.Intensity[1][255], 2);
    EXPECT_EQ(run.Frame.Intensity[1][254], 3);   // CR LF ends the line once
    EXPECT_EQ(RunReader(ReadCsvFrame, "1,2\n", "f.csv", ReaderChain::Load, Sized("249", "200")).Outcome,
              ReadOutcome::NotMine);
    EXPECT_THROW(RunReader(ReadCsvFrame, "1,2-3\n" + rest, "f.csv", ReaderChain::Load, form), ConversionError);
}

TEST(CsvFrames, AFileShorterThanItsFrameIsRefused) {
    // One number short of 256 x 256, whether the lines are short or missing.
    std::string line;
    for (int k = 0; k < 256; ++k) line += (k ? "," : "") + std::to_string(k);
    std::string missingLine, shortLine;
    for (int r = 0; r < 255; ++r) missingLine += line + "\r\n";
    shortLine = missingLine + line.substr(0, line.rfind(',')) + "\r\n";
    const TForm32 form = Sized("256", "256");
    EXPECT_THROW(RunReader(ReadCsvFrame, missingLine, "f.csv", ReaderChain::Load, form), FrameReadError);
    EXPECT_THROW(RunReader(ReadCsvFrame, shortLine, "f.csv", ReaderChain::Load, form), FrameReadError);
    EXPECT_EQ(RunReader(ReadCsvFrame, missingLine + line, "f.csv", ReaderChain::Load, form).Outcome, ReadOutcome::Read);
    // A few bytes that claim a frame of 12000 x 12000 are refused before
    // anything is allocated.
    try {
        RunReader(ReadCsvFrame, "1,2", "f.csv", ReaderChain::Load, Sized("12000", "12000"));
        ADD_FAILURE() << "a 3-byte file was read as a 12000 x 12000 frame";
    } catch (const FrameReadError& e) {
        EXPECT_NE(std::string(e.what()).find("144000000"), std::string::npos) << e.what();
    }
}

TEST(CsvFrames, NonSquareSizeKeepsEveryNumberInsideTheFrame) {
    std::string text;
    for (int line = 0; line < 300; ++line) {
        for (int k = 0; k < 260; ++k) text += (k ? "," : "") + std::to_string(line * 1000 + k);
        text += "\n";
    }
    const ReaderRun run = RunReader(ReadCsvFrame, text, "f.csv", ReaderChain::Load, Sized("260", "300"));
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameWidth, 300);
    EXPECT_EQ(run.Frame.FrameHeight, 260);
    EXPECT_EQ(run.Frame.Intensity[300][1], 299 * 1000 + 259);
    EXPECT_EQ(run.Frame.Intensity[1][260], 0);
}

TEST(RawFrames, PixelsAreTheEndOfTheFile) {
    std::string file(2048, '#');
    for (int i = 0; i < 1024; ++i) fx::Put16(file, static_cast<uint64_t>(i));
    const ReaderRun run = RunReader(ReadRawFrame, file, "f.dat", ReaderChain::Load, Sized("32", "32"));
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.Intensity[1][1], 0);
    EXPECT_EQ(run.Frame.Intensity[32][32], 1023);
    EXPECT_EQ(run.Frame.Intensity[1][2], 32);
    EXPECT_EQ(RunReader(ReadRawFrame, file, "f.dat", ReaderChain::Pole, Sized("32", "32")).Outcome,
              ReadOutcome::NotMine);
    EXPECT_EQ(RunReader(ReadRawFrame, file, "f.B16", ReaderChain::Arithmetic, Sized("32", "32")).Outcome,
              ReadOutcome::Read);
    EXPECT_EQ(RunReader(ReadRawFrame, file, "f.dat", ReaderChain::Load, Sized("64", "64")).Outcome,
              ReadOutcome::NotMine);
}

TEST(CustomRawFrames, NegativeHeaderLengthFromTheFileSize) {
    TForm32 form;   // 1024 x 1024, header -1, 2 bytes
    std::string file(100, 'h');
    file += fx::WriteRaw(fx::Pattern(1024, 1024, 60000), 0, 2);
    ASSERT_EQ(file.size(), 2097252u);
    const ReaderRun run = RunReader(ReadCustomRawFrame, file, "f.raw", ReaderChain::Load, form);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    ExpectImage(run.Frame, fx::Pattern(1024, 1024, 60000), SameOrder);

    form.EDSizeX = "8";
    form.EDSizeY = "2";
    form.EHeader = "3";
    form.EBytesPixel = "4";
    std::string small = "abc" + fx::WriteRaw(Constant(8, 2, -5), 0, 4);
    EXPECT_EQ(RunReader(ReadCustomRawFrame, small, "f", ReaderChain::Load, form).Frame.Intensity[8][2], -5);
    EXPECT_EQ(RunReader(ReadCustomRawFrame, small.substr(1), "f", ReaderChain::Load, form).Outcome,
              ReadOutcome::NotMine);
    form.EBytesPixel = "3";
    EXPECT_EQ(RunReader(ReadCustomRawFrame, small, "f", ReaderChain::Load, form).Outcome, ReadOutcome::NotMine);
    form.EBytesPixel = "two";
    EXPECT_THROW(RunReader(ReadCustomRawFrame, small, "f", ReaderChain::Load, form), ConversionError);
}

TEST(FloatPairFrames, SecondImageSubtractedColumnByColumn) {
    std::vector<float> first(1024 * 512), second(1024 * 512, 0.5f);
    for (size_t i = 0; i < first.size(); ++i) first[i] = static_cast<float>(i % 1000) + 2.5f;
    first[512] = 1e30f;   // saturates
    const std::string file = fx::WriteFloatPair(first, second, 77);
    TForm32 form = Sized("512", "1024");
    const ReaderRun run = RunReader(ReadFloatPairFrame, file, "f", ReaderChain::Load, form);
    ASSERT_EQ(run.Outcome, ReadOutcome::Read);
    EXPECT_EQ(run.Frame.FrameWidth, 1024);
    EXPECT_EQ(run.Frame.FrameHeight, 512);
    EXPECT_EQ(run.Frame.Intensity[1][1], 2);      // round(2.5) - round(0.5) = 2 - 0
    EXPECT_EQ(run.Frame.Intensity[1][2], 4);      // round(3.5) = 4
    EXPECT_EQ(run.Frame.Intensity[2][1], INT32_MAX);
    form.EBytesPixel = "0";
    second.assign(second.size(), 100.f);
    EXPECT_EQ(RunReader(ReadFloatPairFrame, fx::WriteFloatPair(first, second), "f", ReaderChain::Load, form)
                  .Frame.Intensity[1][1],
              2);
    // Only 512 x 1024 in the size boxes selects this layout.
    EXPECT_EQ(RunReader(ReadFloatPairFrame, file, "f", ReaderChain::Load, Sized("512", "512")).Outcome,
              ReadOutcome::NotMine);
    EXPECT_EQ(RunReader(ReadFloatPairFrame, file, "f").Outcome, ReadOutcome::NotMine);
    EXPECT_EQ(RunReader(ReadFloatPairFrame, file.substr(100), "f", ReaderChain::Load, form).Outcome,
              ReadOutcome::NotMine);
}

} // namespace
