// The readers of the program's files other than frames, scripts and lists
// know the most their format can hold. A larger file is refused before any
// of it is read (sparse files stand in for huge ones: reading one would take
// seconds and gigabytes), a reader that uses only a file's beginning reads
// no further, and the largest files the program itself writes still read back.

#include <gtest/gtest.h>

#include <cfloat>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>

#include "formats/binary_io.h"
#include "formats/mask_files.h"
#include "pole_test_support.h"
#include "polefig/pole_files.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "test_support.h"
#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "workspace/program_folder.h"
#include "workspace/scan_writers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;
using orv::test::WriteBytes;

namespace {

constexpr uint64_t TwoGiB = uint64_t{2} << 30;

// `head`, then zeros up to `size` bytes, without writing them.
void SparseFile(const std::string& path, const std::string& head, uint64_t size) {
    WriteBytes(path, head);
    std::filesystem::resize_file(path, size);
}

// Why a read failed ("" when it did not).
std::string Refusal(const std::function<void()>& read) {
    try {
        read();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// A box filled to the most it holds, in characters of three bytes.
std::string FullBox() {
    std::string text;
    for (int k = 0; k < 32767; ++k) text += "\xe2\x82\xac";   // the euro sign
    return text;
}

struct Limited {
    const char* Name;
    std::string Head;   // the file's first bytes
    uint64_t Limit;
    bool ReadAtLimit;   // whether a file of exactly the limit is cheap enough to read here
};

} // namespace

TEST(FileLimits, AFileLargerThanItsFormatHoldsIsRefusedBeforeItIsRead) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    std::filesystem::create_directory(dir.file("home"));
    ws.InstallDir = dir.file("home") + "/";
    ws.Form32.EDistance = "123.4";
    // Each reader as the program calls it, giving why it refused.
    const std::map<std::string, std::function<std::string(const std::string&)>> readers = {
        {"a.set",
         [&](const std::string& path) {
             host.messages.clear();
             return LoadSettingsFile(ws, host, path) ? std::string() : host.messages.at(0);
         }},
        {"Settings.txt", [](const std::string& path) { return Refusal([&] { ReadSettingsTxt(path); }); }},
        {"a.msk", [](const std::string& path) { return Refusal([&] { ReadMaskFile(path); }); }},
        {"a.bck", [](const std::string& path) { return Refusal([&] { ReadBackgroundFile(path); }); }},
        {"a.ths", [](const std::string& path) { return Refusal([&] { ReadTwoThetaScanFile(path); }); }},
    };
    std::string bck;
    PutI32(bck, 512);
    PutI32(bck, 512);
    const std::vector<Limited> cases = {
        {"a.set", "1\r\n2\r\n", MaxSettingsFileBytes, true},
        {"Settings.txt", "a.set\r\n", MaxSettingsTxtBytes, true},
        {"a.msk", "\1\0\1\0", MaxMaskFileBytes, false},
        {"a.bck", bck, MaxBackgroundFileBytes, false},
        {"a.ths", "x\r\n1\r\n1\r\n1\r\nDATA\r\n", MaxThsFileBytes, true},
    };
    for (const Limited& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.file(c.Name);
        for (uint64_t size : {c.Limit + 1, TwoGiB}) {
            SparseFile(path, c.Head, size);
            const std::string why = readers.at(c.Name)(path);
            EXPECT_NE(why.find("too large"), std::string::npos) << why;
            EXPECT_NE(why.find(path), std::string::npos) << why;
        }
        if (c.ReadAtLimit) {
            SparseFile(path, c.Head, c.Limit);
            EXPECT_EQ(readers.at(c.Name)(path).find("too large"), std::string::npos);
        }
    }
    // The refused settings changed nothing, and "Settings.txt" was not rewritten.
    EXPECT_EQ(ws.Form32.EDistance, "123.4");
    EXPECT_EQ(ws.LLog.Count(), 0u);
    EXPECT_FALSE(FileExists(SettingsTxtPath(ws)));
}

TEST(FileLimits, TheLargestFilesTheProgramWritesReadBack) {
    TempDir dir;
    const std::string full = FullBox();

    // Every box of a settings file at its fullest.
    Workspace a;
    for (std::string* box : {&a.Form32.EXoM, &a.Form32.EYoM, &a.Form32.ELanda, &a.Form32.E2thetaD, &a.Form32.EPhiAxis,
                             &a.Form32.EDistance, &a.Form32.EDSize, &a.Form28.Ediffractometer, &a.Form28.EUser,
                             &a.Form32.ELength, &a.Form32.EHeight, &a.Form32.ERadius, &a.Form32.EAMax,
                             &a.Form32.EPixSize, &a.Form32.EDSizeX, &a.Form32.EDSizeY, &a.Form32.Eth2offset})
        *box = full;
    SaveSettingsFile(a, dir.file("full.set"));
    Workspace b;
    RecordingHost host;
    ASSERT_TRUE(LoadSettingsFile(b, host, dir.file("full.set"))) << host.messages.at(0);
    EXPECT_EQ(b.Form32.Eth2offset, full);

    // "Settings.txt" naming a settings file and two folders at their longest.
    a.InstallDir = dir.path().string() + "/";
    a.WorkDir = a.OutputDir = full;
    WriteSettingsTxt(a, full);
    EXPECT_EQ(ReadSettingsTxt(SettingsTxtPath(a)), (std::vector<std::string>{full, full, full}));

    // A scan of every point with the widest numbers: the lowest value in
    // single precision, and the d-spacing of the smallest positive angle.
    Workspace s;
    s.CurrentFile = std::string(4095, 'p');
    s.Form23.EXo = s.Form23.EYo = s.FSetup.EExperiment = full;
    s.Landa = 20;
    s.SectorScanPoints = MaxScanPoints;
    for (int32_t k = 0; k <= MaxScanPoints; ++k) {
        s.SectorScan[k].TwoTheta = k == 0 ? -FLT_MAX : std::numeric_limits<float>::denorm_min();
        s.SectorScan[k].Intensity = -FLT_MAX;
    }
    CheckScanFormat(s.Form13, ScanFormat::Ths);
    const std::string ths = WriteTwoThetaScan(s, dir.file("wide"), ScanSource::Sector);
    // (Values wider than their fields do not read back as they were: the
    // reader takes fixed columns. The file itself is not refused.)
    EXPECT_EQ(ReadTwoThetaScanFile(ths).Points.size(), static_cast<size_t>(MaxScanPoints) + 1);
}

TEST(FileLimits, FirstLinesReadersTakeOnlyWholeLinesFromTheStart) {
    TempDir dir;
    const std::string path = dir.file("t.txt");
    WriteBytes(path, "a\r\nbb\nccc");
    using Lines = std::vector<std::string>;
    // Limit, then the lines that end within it, worked by hand.
    const std::vector<std::pair<uint64_t, Lines>> cases = {
        {0, {}}, {1, {}}, {2, {"a"}}, {3, {"a"}}, {5, {"a"}}, {6, {"a", "bb"}}, {8, {"a", "bb"}},
        {9, {"a", "bb", "ccc"}}, {100, {"a", "bb", "ccc"}},
    };
    for (const auto& [limit, lines] : cases) {
        uint64_t fileSize = 0;
        EXPECT_EQ(ReadStartTextLines(path, limit, fileSize), lines) << limit;
        EXPECT_EQ(fileSize, 9u);
    }
    EXPECT_EQ(ReadFirstTextLines(path, 2, 6), (Lines{"a", "bb"}));
    EXPECT_EQ(ReadFirstTextLines(path, 1, 2), (Lines{"a"}));
    EXPECT_EQ(ReadFirstTextLines(path, 5, 9), (Lines{"a", "bb", "ccc"}));   // the whole file, fewer lines
    EXPECT_NE(Refusal([&] { ReadFirstTextLines(path, 2, 5); }).find("too large"), std::string::npos);
}

TEST(FileLimits, SliceAndPopLAFilesAreReadOnlyAsFarAsTheirFirstFigure) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ws.Poles.PoleSlot = 1;
    auto value = [](int m, int d) { return 100LL * (m + 1) + d % 97; };
    auto later = [](int, int d) { return 7LL + d; };

    // A slice file that two more runs appended to gives the first run's
    // figure, as the first run's file alone does.
    test::WriteSliceFile(dir.file("one.slc"), test::FrameRange(0, 71), value);
    ASSERT_TRUE(BuildPoleGrid(ws, host, dir.file("one.slc")));
    const PoleGridArray alone = ws.Poles.PoleGrid;
    std::string appended = test::ReadBytes(dir.file("one.slc"));
    for (int run = 0; run < 2; ++run)
        for (int m = 0; m < 72; ++m) {
            char name[32];
            std::snprintf(name, sizeof name, "series.%03d", m);
            appended += test::SliceLine(name, [&](int d) { return later(m, d); }) + "\r\n";
        }
    WriteBytes(dir.file("three.slc"), appended);
    ws.Poles.PoleGrid.Clear();
    ASSERT_TRUE(BuildPoleGrid(ws, host, dir.file("three.slc")));
    EXPECT_TRUE(ws.Poles.PoleGrid == alone);

    // The same with gigabytes after it: only what the figure uses is read.
    SparseFile(dir.file("huge.slc"), test::ReadBytes(dir.file("one.slc")), TwoGiB);
    ws.Poles.PoleGrid.Clear();
    ASSERT_TRUE(BuildPoleGrid(ws, host, dir.file("huge.slc")));
    EXPECT_TRUE(ws.Poles.PoleGrid == alone);
    // A header followed by gigabytes without a line: the frames the figure
    // needs do not fit in what a slice file can hold.
    SparseFile(dir.file("nolines.slc"), "2Theta integration range =10.000 to 11.000\r\n", TwoGiB);
    EXPECT_FALSE(BuildPoleGrid(ws, host, dir.file("nolines.slc")));
    EXPECT_NE(host.messages.back().find("too large"), std::string::npos);
    EXPECT_TRUE(ws.Poles.PoleGrid == alone);

    // popLA: the first figure of a huge file; a title too long for one is refused.
    auto cell = [](int row, int ring) { return (row * 37 + ring * 101) % 10000; };
    SparseFile(dir.file("huge.epf"), test::PopLAText("first", cell), TwoGiB);
    ASSERT_TRUE(ReadPopLA(ws, host, dir.file("huge.epf")));
    EXPECT_EQ(ws.Poles.PoleGrid.at(40, 7), cell(40, 7));
    WriteBytes(dir.file("title.epf"), test::PopLAText(std::string(PopLAFileReadBytes, 't'), cell));
    EXPECT_FALSE(ReadPopLA(ws, host, dir.file("title.epf")));
    EXPECT_NE(host.messages.back().find("too large"), std::string::npos);
}

TEST(FileLimits, PatternTextAndMineralFileAreReadOnlyAsFarAsTheListUsesThem) {
    TempDir dir;
    Workspace ws;
    // A pattern of 150 lines with gigabytes after it: its first 99 rows.
    std::string pattern = "Quartz\r\nSiO2\r\n";
    for (int r = 1; r <= 148; ++r) pattern += std::to_string(5.0 - r * 0.01) + " " + std::to_string(r) + " 1 0 0\r\n";
    SparseFile(dir.file("p.txt"), pattern, TwoGiB);
    LoadPatternFile(ws, dir.file("p.txt"));
    EXPECT_EQ(ws.Form29.EName, "Quartz");
    EXPECT_EQ(ws.MineralTable[0].LineCount, 100);   // the next free row
    EXPECT_EQ(ws.Form29.StringGrid1[99][2], "99");
    // A name line of gigabytes is refused.
    SparseFile(dir.file("q.txt"), "Quartz", TwoGiB);
    EXPECT_NE(Refusal([&] { LoadPatternFile(ws, dir.file("q.txt")); }).find("too large"), std::string::npos);

    // The table's 250 records of a database of gigabytes.
    MineralRecord silicon;
    silicon.Name = "Silicon";
    SparseFile(dir.file("mineral.min"), PackMineralRecord(silicon), TwoGiB);
    const MineralFile file = ReadMineralFile(dir.file("mineral.min"));
    ASSERT_EQ(file.Records.size(), static_cast<size_t>(MaxMinerals));
    EXPECT_EQ(file.Records[0].Name, "Silicon");
    EXPECT_EQ(file.RecordsInFile, static_cast<int32_t>(TwoGiB / MineralRecordBytes));
    EXPECT_TRUE(file.Beyond.empty());
}
