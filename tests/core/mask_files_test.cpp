#include <gtest/gtest.h>

#include "formats/binary_io.h"
#include "formats/mask_files.h"
#include "test_support.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

namespace {
void Frame(Workspace& ws, int w, int h) {
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FramePixels.Blank(w, h);
    for (int x = 1; x <= w; ++x)
        for (int y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = 100 + x + 10 * y;
}
} // namespace

TEST(MaskFileTest, SaveThenLoadRestoresTheSameMaskedPixels) {
    TempDir dir;
    Workspace a;
    Frame(a, 8, 5);
    a.FramePixels.Intensity[1][1] = -1;
    a.FramePixels.Intensity[8][5] = -1;
    a.FramePixels.Intensity[3][2] = -1;
    WriteMaskFile(dir.file("m.msk"), a);
    // Row by row, column and row as unsigned 16-bit values.
    std::string expected;
    for (auto [x, y] : {std::pair{1, 1}, {3, 2}, {8, 5}}) {
        expected += static_cast<char>(x);
        expected += '\0';
        expected += static_cast<char>(y);
        expected += '\0';
    }
    EXPECT_EQ(test::ReadBytes(dir.file("m.msk")), expected);

    Workspace b;
    Frame(b, 8, 5);
    EXPECT_EQ(ApplyMask(b.FramePixels.Intensity, 8, 5, ReadMaskFile(dir.file("m.msk"))), 3);
    for (int x = 1; x <= 8; ++x)
        for (int y = 1; y <= 5; ++y)
            EXPECT_EQ(b.FramePixels.Intensity[x][y] == -1, a.FramePixels.Intensity[x][y] == -1);
}

TEST(MaskFileTest, RecordsOutsideTheFrameAreSkippedAndHalfRecordsRefused) {
    TempDir dir;
    std::string bytes = {0, 0, 1, 0,   9, 0, 1, 0,   2, 0, 0, 0,   (char)0xff, (char)0xff, 1, 0,   2, 0, 2, 0};
    test::WriteBytes(dir.file("m.msk"), bytes);
    Workspace ws;
    Frame(ws, 8, 5);
    auto records = ReadMaskFile(dir.file("m.msk"));
    EXPECT_EQ(records.size(), 5u);
    EXPECT_EQ(ApplyMask(ws.FramePixels.Intensity, 8, 5, records), 1);
    EXPECT_EQ(ws.FramePixels.Intensity[2][2], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[0][1], 0);   // the border stays untouched

    // A file that is not whole records is not a mask: refused before any
    // pixel is masked.
    test::WriteBytes(dir.file("odd.msk"), bytes + '\x07');
    EXPECT_THROW(ReadMaskFile(dir.file("odd.msk")), FileError);
}

TEST(BackgroundFileTest, RoundTripAndSubtractionKeepsMasks) {
    TempDir dir;
    Workspace bg;
    Frame(bg, 6, 4);
    WriteBackgroundFile(dir.file("b.bck"), bg);
    EXPECT_EQ(test::ReadBytes(dir.file("b.bck")).size(), 8u + 4u * 24u);
    BackgroundFrame b = ReadBackgroundFile(dir.file("b.bck"));
    ASSERT_EQ(b.Width, 6);
    ASSERT_EQ(b.Height, 4);
    EXPECT_EQ(b.at(6, 4), 100 + 6 + 40);

    Workspace ws;
    Frame(ws, 6, 4);
    ws.FramePixels.Intensity[2][3] = -1;
    ws.FramePixels.Intensity[1][1] = -2147483647;
    ASSERT_TRUE(SubtractBackground(ws.FramePixels.Intensity, 6, 4, b));
    EXPECT_EQ(ws.FramePixels.Intensity[4][4], 0);
    EXPECT_EQ(ws.FramePixels.Intensity[2][3], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], INT32_MIN);   // saturated, not wrapped
}

TEST(BackgroundFileTest, WrongSizeChangesNothingAndShortFilesAreRefused) {
    TempDir dir;
    Workspace bg;
    Frame(bg, 6, 4);
    WriteBackgroundFile(dir.file("b.bck"), bg);
    Workspace ws;
    Frame(ws, 4, 6);
    BackgroundFrame b = ReadBackgroundFile(dir.file("b.bck"));
    EXPECT_FALSE(SubtractBackground(ws.FramePixels.Intensity, 4, 6, b));
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 111);

    std::string full = test::ReadBytes(dir.file("b.bck"));
    test::WriteBytes(dir.file("short.bck"), full.substr(0, full.size() - 1));
    EXPECT_THROW(ReadBackgroundFile(dir.file("short.bck")), FileError);
    std::string huge;
    PutI32(huge, 100000);
    PutI32(huge, 100000);
    test::WriteBytes(dir.file("huge.bck"), huge);
    EXPECT_THROW(ReadBackgroundFile(dir.file("huge.bck")), FileError);
    EXPECT_TRUE(HasExactExtension("a/b.bck", ".bck"));
    EXPECT_FALSE(HasExactExtension("a/b.BCK", ".bck"));
}
