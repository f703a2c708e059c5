// The reference-pattern database: the record's bytes against a packer of the
// tests' own, damaged files, rewrites that keep what the table cannot hold,
// the boolean search, the New Pattern text, the current standard and the
// database shipped with the program.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>

#include "geometry_test_support.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// ---- The tests' own packer: the file layout written down once more, byte by byte.

void PokeBytes(std::string& rec, size_t at, const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) rec[at + i] = static_cast<char>(b[i]);   // the machine is little-endian
}

void PokeText(std::string& rec, size_t at, const std::string& s) {
    rec[at] = static_cast<char>(s.size());
    for (size_t i = 0; i < s.size(); ++i) rec[at + 1 + i] = s[i];
}

struct TestLine {
    std::string hkl;
    double d, i;
};

std::string TestRecord(const std::string& name, const std::string& formula, const std::vector<TestLine>& lines,
                       int32_t count) {
    std::string rec(3272, '\0');
    PokeText(rec, 0, name);
    PokeText(rec, 31, formula);
    for (size_t n = 0; n < lines.size(); ++n) {
        PokeText(rec, 64 + 32 * n, lines[n].hkl);
        PokeBytes(rec, 64 + 32 * n + 16, &lines[n].d, 8);
        PokeBytes(rec, 64 + 32 * n + 24, &lines[n].i, 8);
    }
    PokeBytes(rec, 3264, &count, 4);
    return rec;
}

std::string NamedRecord(int k) { return TestRecord("P" + std::to_string(k), "X", {{"1 0 0", 1.0 + k, 100}}, 1); }

MineralRecord Pattern(const std::string& name, const std::string& formula) {
    MineralRecord r;
    r.Name = name;
    r.Formula = formula;
    return r;
}

std::string ShippedFile() { return DataFile("../../data/mineral.min"); }

class MineralListTest : public ::testing::Test {
protected:
    void SetUp() override { ws.InstallDir = dir.path().string() + "/"; }
    std::string DatabaseFile() const { return dir.file("mineral.min"); }
    void WriteDatabase(int patterns) {
        std::string bytes;
        for (int k = 1; k <= patterns; ++k) bytes += NamedRecord(k);
        WriteBytes(DatabaseFile(), bytes);
    }
    TempDir dir;
    Workspace ws;
    RecordingHost host;
};

} // namespace

TEST(MineralFileTest, WriterBytesEqualTheLayoutPackedByHand) {
    MineralRecord si = Pattern("Silicon", "Si");
    si.LineCount = 2;
    si.Line[0] = {"1 1 1", 3.13560, 100};
    si.Line[1] = {"2 2 0", 1.92013, 55};
    MineralRecord cut = Pattern(std::string(35, 'N'), std::string(31, 'F'));   // cut to 30 characters
    cut.LineCount = 100;
    for (int i = 0; i < 100; ++i) cut.Line[i] = {"-10 -10 -10 x", 0.8 + i / 1000.0, double(i)};   // hkl cut to 11
    std::vector<TestLine> cutLines;
    for (int i = 0; i < 100; ++i) cutLines.push_back({"-10 -10 -10", 0.8 + i / 1000.0, double(i)});

    TempDir dir;
    WriteMineralFile(dir.file("m.min"), {si, cut}, "");
    const std::string expected = TestRecord("Silicon", "Si", {{"1 1 1", 3.13560, 100}, {"2 2 0", 1.92013, 55}}, 2) +
                                 TestRecord(std::string(30, 'N'), std::string(30, 'F'), cutLines, 100);
    const std::string written = ReadBytes(dir.file("m.min"));
    ASSERT_EQ(written.size(), 2u * 3272u);
    EXPECT_EQ(written, expected);
    EXPECT_FALSE(FileExists(dir.file("m.min.part")));

    // And back: every field as written.
    const MineralFile file = ParseMineralFile(written);
    ASSERT_EQ(file.Records.size(), 2u);
    EXPECT_EQ(file.Records[0].Name, "Silicon");
    EXPECT_EQ(file.Records[0].LineCount, 2);
    EXPECT_EQ(file.Records[0].Line[1].Hkl, "2 2 0");
    EXPECT_DOUBLE_EQ(file.Records[0].Line[1].D, 1.92013);
    EXPECT_DOUBLE_EQ(file.Records[0].Line[1].Intensity, 55);
    EXPECT_EQ(file.Records[1].Formula, std::string(30, 'F'));
    EXPECT_EQ(file.Records[1].Line[99].Hkl, "-10 -10 -10");

    // A cut never splits a character: 29 letters and an alpha (two bytes) keep 29.
    MineralRecord greek = Pattern(std::string(29, 'a') + "\xCE\xB1", "Al2O3");
    EXPECT_EQ(UnpackMineralRecord(PackMineralRecord(greek)).Name, std::string(29, 'a'));
    EXPECT_EQ(CutMineralText("\xCE\xB1-Al2O3", 2), "\xCE\xB1");
}

TEST(MineralFileTest, DamagedRecordsAreClampedAndPartialRecordsLeftOut) {
    std::string rec = TestRecord("LaB6", "LaB6", {{"1 0 0", 4.157, 60}}, 1);
    rec[0] = static_cast<char>(200);          // a name length beyond its field
    rec[64] = static_cast<char>(255);         // and an hkl length beyond its field
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    PokeBytes(rec, 64 + 32 + 16, &nan, 8);
    PokeBytes(rec, 64 + 32 + 24, &inf, 8);
    const int32_t tooMany = 100000;
    PokeBytes(rec, 3264, &tooMany, 4);
    std::string negative = TestRecord("Neg", "", {}, -7);

    // One whole record is one pattern; a cut-off one after it is none.
    EXPECT_EQ(ParseMineralFile(rec).Records.size(), 1u);
    const MineralFile file = ParseMineralFile(rec + negative + negative.substr(0, 3000));
    ASSERT_EQ(file.Records.size(), 2u);
    EXPECT_EQ(file.RecordsInFile, 2);
    const MineralRecord& r = file.Records[0];
    EXPECT_EQ(r.Name.size(), 30u);
    EXPECT_EQ(r.Name.substr(0, 5), std::string("LaB6\0", 5));
    EXPECT_EQ(r.Line[0].Hkl.size(), 11u);
    EXPECT_EQ(r.LineCount, 100);
    EXPECT_DOUBLE_EQ(r.Line[0].D, 4.157);
    EXPECT_EQ(r.Line[1].D, 0.0);
    EXPECT_EQ(r.Line[1].Intensity, 0.0);
    EXPECT_EQ(file.Records[1].LineCount, 0);
    EXPECT_TRUE(ParseMineralFile("").Records.empty());
}

TEST(MineralFileTest, LineTwoThetaFollowsBraggsLawAndItsLimits) {
    double t = -1;
    ASSERT_TRUE(MineralLineTwoTheta(1.5406, 3.1356, 0.5, t));
    EXPECT_NEAR(t, 28.442, 0.001);   // Si 111 with Cu K-alpha 1
    EXPECT_FALSE(MineralLineTwoTheta(1.5406, 0.5, 0.5, t));     // d at the limit
    EXPECT_FALSE(MineralLineTwoTheta(1.5406, 0.7, 0.5, t));     // landa / 2d above 1
    EXPECT_TRUE(MineralLineTwoTheta(0.7093, 0.3547, 0.1, t));
    EXPECT_NEAR(t, 180 - 2 * std::acos(0.7093 / 0.7094) * 180 / std::numbers::pi, 1e-6);
    EXPECT_FALSE(MineralLineTwoTheta(0.7, 0.0, 0.1, t));
}

TEST(MineralSearchTest, IncludeAndExcludeOnNameFormulaOrBoth) {
    const MineralRecord cementite = Pattern("Cementite", "Fe3C");
    const MineralRecord hematite = Pattern("Hematite", "Fe2O3");
    using F = MineralSearchField;
    EXPECT_TRUE(MineralPassesSearch(cementite, "Fe", "O", F::Formula));
    EXPECT_FALSE(MineralPassesSearch(hematite, "Fe", "O", F::Formula));
    EXPECT_FALSE(MineralPassesSearch(hematite, "Fe", "", F::Name));         // the name has no "Fe"
    EXPECT_FALSE(MineralPassesSearch(cementite, "fe", "", F::Formula));     // case counts
    EXPECT_TRUE(MineralPassesSearch(hematite, "", "", F::Name));
    EXPECT_TRUE(MineralPassesSearch(hematite, "iteFe", "", F::Both));       // name directly followed by formula
    EXPECT_FALSE(MineralPassesSearch(hematite, "ite Fe", "", F::Both));
    EXPECT_FALSE(MineralPassesSearch(cementite, "", "tite", F::Both));
}

TEST(PatternTextTest, NumbersAndHklAreTakenAsTheDialogReadsThem) {
    std::string text = "Magnetite\r\nFe3O4\r\n"
                       "  4.852   8   1 1 1\r\n"          // blanks between the fields
                       "d=2.967,I=30,hkl=2 2 0\r\n"        // words and commas around them
                       "2.532\t100\t-3 1 1 (strongest)\n"  // tabs, a negative index, a note kept
                       "1.0\n"                            // no intensity, no hkl
                       "abcdefghijklmnopqrstuvwxyz 9.9 5 1 2 3\n"   // more than 20 characters before a number
                       "1.2.3 40 hkl text that is far too long for the grid\n";
    const PatternText p = ParsePatternText(text);
    EXPECT_EQ(p.Name, "Magnetite");
    EXPECT_EQ(p.Formula, "Fe3O4");
    ASSERT_EQ(p.Rows.size(), 6u);
    auto row = [&](size_t r) { return std::vector<std::string>{p.Rows[r].D, p.Rows[r].Intensity, p.Rows[r].Hkl}; };
    EXPECT_EQ(row(0), (std::vector<std::string>{"4.852", "8", "1 1 1"}));
    EXPECT_EQ(row(1), (std::vector<std::string>{"2.967", "30", "2 2 0"}));
    EXPECT_EQ(row(2), (std::vector<std::string>{"2.532", "100", "-3 1 1 (strongest)"}));
    EXPECT_EQ(row(3), (std::vector<std::string>{"1.0", "", ""}));
    // Twenty letters skipped, the 21st ends an empty number and is consumed;
    // the second number is found within the next twenty characters.
    EXPECT_EQ(row(4), (std::vector<std::string>{"", "9.9", "5 1 2 3"}));
    EXPECT_EQ(row(5), (std::vector<std::string>{"1.2.3", "40", ""}));

    std::string many = "Name\nFormula\n";
    for (int i = 0; i < 120; ++i) many += "1.5 10 1 1 " + std::to_string(i) + "\n";
    EXPECT_EQ(ParsePatternText(many).Rows.size(), 99u);
    EXPECT_EQ(ParsePatternText("Only a name").Rows.size(), 0u);
    EXPECT_EQ(ParsePatternText("").Name, "");
}

TEST_F(MineralListTest, ReadingListsEveryPatternAndAMissingFileIsReported) {
    WriteDatabase(3);
    ReadMineralDatabase(ws, host);
    EXPECT_EQ(ws.MineralCount, 3);
    EXPECT_EQ(ws.VisibleMinerals, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(MineralListRows(ws), (std::vector<std::string>{"P1 X", "P2 X", "P3 X"}));
    EXPECT_EQ(SelectedStandard(ws), 0);

    std::filesystem::remove(DatabaseFile());
    ReadMineralDatabase(ws, host);
    EXPECT_EQ(ws.MineralCount, 0);
    EXPECT_TRUE(MineralListRows(ws).empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("mineral.min"), std::string::npos);
}

TEST_F(MineralListTest, StandardByNameIgnoresCaseAndTheScriptsPaddingBlanks) {
    WriteBytes(DatabaseFile(), TestRecord("Silicon", "Si", {}, 0) + TestRecord("LaB6", "LaB6", {}, 0) +
                                   TestRecord("LaB6 old lot", "LaB6", {}, 0));
    ReadMineralDatabase(ws, host);
    EXPECT_TRUE(SelectStandardByName(ws, "LaB6    "));   // as FITTOSTD passes a short name
    EXPECT_EQ(SelectedStandard(ws), 2);                   // the first row that begins with it
    EXPECT_TRUE(SelectStandardByName(ws, "SILICON "));
    EXPECT_EQ(SelectedStandard(ws), 1);
    EXPECT_TRUE(SelectStandardByName(ws, "lab6 lab6"));  // the row text is name and formula
    EXPECT_EQ(SelectedStandard(ws), 2);
    EXPECT_FALSE(SelectStandardByName(ws, "Quartzzz"));
    EXPECT_FALSE(SelectStandardByName(ws, "        "));
    EXPECT_EQ(SelectedStandard(ws), 2);                   // a failed search keeps the standard
}

TEST_F(MineralListTest, RemoveKeepsThePatternsBeyondTheTable) {
    WriteDatabase(252);
    const std::string before = ReadBytes(DatabaseFile());
    ReadMineralDatabase(ws, host);
    ASSERT_EQ(ws.MineralCount, 250);
    SelectMineralRow(ws, 2);   // pattern 3
    RemoveSelectedMineral(ws, host);
    EXPECT_TRUE(host.messages.empty());

    const std::string after = ReadBytes(DatabaseFile());
    ASSERT_EQ(after.size(), 251u * 3272u);
    EXPECT_EQ(after.substr(0, 2 * 3272), before.substr(0, 2 * 3272));
    EXPECT_EQ(after.substr(2 * 3272), before.substr(3 * 3272));   // 4..252 unchanged, in order
    EXPECT_EQ(ws.MineralCount, 250);                                // read back: now up to pattern 251
    EXPECT_EQ(ws.MineralTable[3].Name, "P4");
    EXPECT_EQ(ws.MineralTable[250].Name, "P251");
    EXPECT_EQ(SelectedStandard(ws), 0);

    // Nothing selected: nothing removed.
    RemoveSelectedMineral(ws, host);
    EXPECT_EQ(ReadBytes(DatabaseFile()), after);
}

TEST_F(MineralListTest, AFailedRewriteLeavesFileAndTableAsTheyWere) {
    WriteDatabase(4);
    ReadMineralDatabase(ws, host);
    std::filesystem::create_directory(DatabaseFile() + ".part");   // the temporary name cannot be created
    SelectMineralRow(ws, 0);
    RemoveSelectedMineral(ws, host);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(ReadBytes(DatabaseFile()).size(), 4u * 3272u);
    EXPECT_EQ(ws.MineralCount, 4);

    StartNewPattern(ws);
    AddPatternLine(ws);
    EXPECT_FALSE(SavePattern(ws, host));
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(ws.MineralCount, 4);
    EXPECT_EQ(ws.VisibleMineralCount, 4);
    EXPECT_EQ(ReadBytes(DatabaseFile()).size(), 4u * 3272u);
}

TEST_F(MineralListTest, NewPatternTypedLineByLineIsSavedAsAZeroedRecord) {
    WriteDatabase(2);
    ReadMineralDatabase(ws, host);
    // Leftovers in the slot the new pattern takes must not reach the file.
    ws.MineralTable[3].Line[7] = {"junk", 9.9, 99};
    ws.MineralTable[0].Line[0] = {"junk", 9.9, 99};

    StartNewPattern(ws);
    TForm29& f = ws.Form29;
    EXPECT_EQ(f.EName, "New1");
    EXPECT_EQ(f.StringGrid1.size(), 5u);
    f.EName = "Periclase, a name longer than thirty characters";
    f.EFormula = "MgO";
    for (int i = 1; i <= 6; ++i) {
        f.Edhkl = std::to_string(3.0 - i * 0.25);
        f.EIhkl = std::to_string(10 * i);
        f.Ehkl = "1 2 3 4 5 6 7 8";   // cut to 11 characters when saved
        AddPatternLine(ws);
    }
    EXPECT_EQ(f.StringGrid1.size(), 7u);   // grows once past five rows
    EXPECT_EQ(f.StringGrid1[6][0], "6");
    ASSERT_TRUE(SavePattern(ws, host));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws.MineralCount, 3);
    EXPECT_EQ(ws.VisibleMinerals.back(), 3);

    const MineralFile file = ReadMineralFile(DatabaseFile());
    ASSERT_EQ(file.Records.size(), 3u);
    EXPECT_EQ(file.Records[0].Name, "P1");
    const std::string saved = ReadBytes(DatabaseFile()).substr(2 * 3272);
    std::vector<TestLine> lines;
    for (int i = 1; i <= 6; ++i) lines.push_back({"1 2 3 4 5 6", 3.0 - i * 0.25, 10.0 * i});
    EXPECT_EQ(saved, TestRecord("Periclase, a name longer than ", "MgO", lines, 6));
}

TEST_F(MineralListTest, SaveRefusesTextThatIsNotANumberAndAFullTable) {
    WriteDatabase(1);
    ReadMineralDatabase(ws, host);
    LoadPatternText(ws, "Odd\nXY\n1.2.3 40 1 0 0\n2.0 50 1 1 0\n");
    EXPECT_EQ(ws.MineralTable[0].LineCount, 3);
    EXPECT_EQ(ws.Form29.StringGrid1[2][3], "1 1 0");
    EXPECT_FALSE(SavePattern(ws, host));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "'1.2.3' is not a valid number");
    EXPECT_EQ(ws.MineralCount, 1);
    EXPECT_EQ(ReadBytes(DatabaseFile()).size(), 3272u);

    ws.Form29.StringGrid1[1][1] = "1.23";
    ASSERT_TRUE(SavePattern(ws, host));
    EXPECT_DOUBLE_EQ(ws.MineralTable[2].Line[0].D, 1.23);

    WriteDatabase(250);
    ReadMineralDatabase(ws, host);
    StartNewPattern(ws);
    AddPatternLine(ws);
    EXPECT_FALSE(SavePattern(ws, host));
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(ReadBytes(DatabaseFile()).size(), 250u * 3272u);
}

TEST(ShippedMineralsTest, InstalledOnceAndNeverOverTheUsersFile) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(PrepareProgramFolder(ws, host, dir.path().string()));
    const std::string installed = ReadBytes(dir.file("mineral.min"));
    EXPECT_EQ(installed, ReadBytes(ShippedFile()));
    EXPECT_EQ(installed, std::string(ShippedMineralBytes()));

    WriteBytes(dir.file("mineral.min"), NamedRecord(1));
    ASSERT_TRUE(PrepareProgramFolder(ws, host, dir.path().string()));
    EXPECT_EQ(ReadBytes(dir.file("mineral.min")), NamedRecord(1));
    EXPECT_TRUE(host.messages.empty());
}

// FITTOSTD takes the formula a user types: every shipped pattern is found by
// it (the first of two of one formula), never one whose formula only begins
// with it (Si, not SiO2; Al, not Al2O3).
TEST(ShippedMineralsTest, AScriptFindsEveryPatternByItsFormula) {
    Workspace ws;
    const MineralFile file = ParseMineralFile(ShippedMineralBytes());
    for (size_t i = 0; i < file.Records.size(); ++i) ws.MineralTable[i + 1] = file.Records[i];
    ws.MineralCount = static_cast<int32_t>(file.Records.size());
    ShowAllMinerals(ws);
    for (const char* formula : {"Si", "LaB6", "CeO2", "Al2O3", "Al", "SiO2", "TiO2", "Au"}) {
        int32_t first = 0;
        for (int32_t i = ws.MineralCount; i >= 1; --i)
            if (ws.MineralTable[static_cast<size_t>(i)].Formula == formula) first = i;
        ASSERT_GT(first, 0) << formula;
        // As a script passes it: eight characters, padded with blanks.
        std::string typed = formula;
        typed.resize(8, ' ');
        ASSERT_TRUE(SelectStandardByName(ws, typed)) << formula;
        EXPECT_EQ(SelectedStandard(ws), first) << formula;
    }
    for (const MineralRecord& r : file.Records)
        EXPECT_TRUE(MineralListText(r).starts_with(r.Formula + " ")) << MineralListText(r);
}

// The d-spacings of a pyFAI calibrant file (tests/data/scans/standards).
std::vector<double> CalibrantLines(const std::string& name) {
    std::vector<double> d;
    for (const std::vector<double>& row : ReadNumberTable(DataFile("scans/standards/" + name + ".D"))) d.push_back(row[0]);
    return d;
}

TEST(ShippedMineralsTest, StandardsLinesLieWhereTheirCertifiedLatticesPutThem) {
    const MineralFile file = ParseMineralFile(ShippedMineralBytes());
    ASSERT_GE(file.Records.size(), 10u);
    auto find = [&](const std::string& formula) -> const MineralRecord* {
        for (const MineralRecord& r : file.Records)
            if (r.Formula == formula) return &r;
        return nullptr;
    };
    // Ceria and LaB6: every line where pyFAI's calibrant of the same
    // certificate (SRM 674b, a = 5.411651; SRM 660c, a = 4.156826) has one,
    // to the 5 decimals the file keeps.
    for (const char* formula : {"CeO2", "LaB6"}) {
        const MineralRecord* r = find(formula);
        ASSERT_NE(r, nullptr) << formula;
        const std::vector<double> lines = CalibrantLines(formula);
        for (int i = 0; i < r->LineCount; ++i) {
            double nearest = 1e9;
            for (double d : lines) nearest = std::min(nearest, std::abs(d - r->Line[i].D));
            EXPECT_LT(nearest, 5.1e-6) << formula << " " << r->Line[i].Hkl;
        }
    }
    // Silicon (SRM 640e, a = 5.431179) and corundum (SRM 676a, a = 4.759397,
    // c = 12.99237, hexagonal axes), worked by hand with bc.
    struct Line {
        const char* formula;
        const char* hkl;
        double d;
    };
    for (const Line& l : {Line{"Si", "1 1 1", 3.135692658}, Line{"Si", "2 2 0", 1.920211750},
                          Line{"Si", "3 1 1", 1.637562083}, Line{"Si", "4 0 0", 1.357794750},
                          Line{"Si", "3 3 1", 1.245997916}, Line{"Al2O3", "0 1 2", 3.480320934},
                          Line{"Al2O3", "1 1 0", 2.379698500}, Line{"Al2O3", "1 1 3", 2.085584212},
                          Line{"Al2O3", "1 1 6", 1.601581424}}) {
        const MineralRecord* r = find(l.formula);
        ASSERT_NE(r, nullptr) << l.formula;
        const MineralLine* line = nullptr;
        for (int i = 0; i < r->LineCount; ++i)
            if (r->Line[i].Hkl == l.hkl) line = &r->Line[i];
        ASSERT_NE(line, nullptr) << l.formula << " " << l.hkl;
        EXPECT_NEAR(line->D, l.d, 5.1e-6) << l.formula << " " << l.hkl;
    }
    // Corundum's strongest line is 113.
    const MineralRecord* al = find("Al2O3");
    const MineralLine* strongest = &al->Line[0];
    for (int i = 0; i < al->LineCount; ++i)
        if (al->Line[i].Intensity > strongest->Intensity) strongest = &al->Line[i];
    EXPECT_EQ(strongest->Hkl, "1 1 3");

    for (const MineralRecord& r : file.Records) {
        EXPECT_GT(r.LineCount, 0) << r.Name;
        EXPECT_LE(r.LineCount, 100) << r.Name;
        double top = 0;
        for (int i = 0; i < r.LineCount; ++i) {
            EXPECT_GT(r.Line[i].D, 0.8) << r.Name;
            if (i > 0) {
                EXPECT_LT(r.Line[i].D, r.Line[i - 1].D) << r.Name << " lines in order of d";
            }
            top = std::max(top, r.Line[i].Intensity);
        }
        EXPECT_EQ(top, 100) << r.Name;
    }
}
