#include <gtest/gtest.h>

#include "workspace/script.h"

using namespace orv;
using K = ScriptCommandKind;

namespace {

struct ParseCase {
    const char* Line;
    K Kind;
    std::vector<bool> Flags;
    std::vector<std::string> Numbers;
    char Choice;
    std::string Name;
};

} // namespace

TEST(ScriptLanguageTest, LinesAreReadByTheLanguage) {
    const std::vector<ParseCase> cases = {
        // Commands in any case; unknown and short lines are skipped whole.
        {"setangra 10 20 300 60 ", K::SetAngleRange, {}, {"10", "20", "300", "60"}, 0, ""},
        {"SetAngRa 1.5 2.5 0 360 rest", K::SetAngleRange, {}, {"1.5", "2.5", "0", "360"}, 0, ""},
        {"HELLO WORLD 1 2 3", K::Unknown, {}, {}, 0, ""},
        {"", K::Unknown, {}, {}, 0, ""},
        {"ENDAPP", K::Unknown, {}, {}, 0, ""},
        {" SETANGRA 1 2 3 4 ", K::Unknown, {}, {}, 0, ""},
        {"endappli", K::EndApplication, {}, {}, 0, ""},
        {"ENDAPPLIxyz", K::EndApplication, {}, {}, 0, ""},
        // The line's end ends the last field (no blank after it).
        {"SETANGRA 10 20 300 60", K::SetAngleRange, {}, {"10", "20", "300", "60"}, 0, ""},
        {"SETANGRA 10 20", K::SetAngleRange, {}, {"10", "20", "", ""}, 0, ""},
        // Characters a field does not collect are dropped but counted: ten
        // characters end a field even without a blank.
        {"SETANGRA -5 1x2 3 4 ", K::SetAngleRange, {}, {"5", "12", "3", "4"}, 0, ""},
        {"SETANGRA abcdefghij12 3 4 5 ", K::SetAngleRange, {}, {"", "12", "3", "4"}, 0, ""},
        {"SET2THST 0.12345678901 ", K::SetTwoThetaStep, {}, {"0.12345678"}, 0, ""},
        {"SET2THST 0.004 ", K::SetTwoThetaStep, {}, {"0.004"}, 0, ""},
        {"SET2THST 0.02", K::SetTwoThetaStep, {}, {"0.02"}, 0, ""},
        // FINDCENT: x, y, method digit, three flags.
        {"FINDCENT 0 -5 1 1 0 1", K::FindCentre, {true, false, true}, {"0", "-5"}, '1', ""},
        {"findcent 256.5 -12.25 0 0 1 0", K::FindCentre, {false, true, false}, {"256.5", "-12.25"}, '0', ""},
        {"FINDCENT 10 20 3", K::FindCentre, {false, false, false}, {"10", "20"}, '3', ""},
        // Names are the rest of the line, blanks included.
        {"ADDFRAME 1 /data/with blanks/f.tif", K::AddFrame, {true}, {}, 0, "/data/with blanks/f.tif"},
        {"ADDFRAME 0 b.tif", K::AddFrame, {false}, {}, 0, "b.tif"},
        {"LOADSETF 1 /s/x.set", K::LoadSettings, {true}, {}, 0, "/s/x.set"},
        {"SAVESETF out.set", K::SaveSettings, {}, {}, 0, "out.set"},
        {"SETWORKD /tmp/a b", K::SetWorkDir, {}, {}, 0, "/tmp/a b"},
        {"SETOUTPD C:\\out\\", K::SetOutputDir, {}, {}, 0, "C:\\out\\"},
        // SAVE2THS: one format character, the rest ignored.
        {"save2ths 4 anything", K::SaveTwoThetaScan, {}, {}, '4', ""},
        {"SAVE2THS", K::SaveTwoThetaScan, {}, {}, 0, ""},
        // FITTOSTD: eight characters of name, nine flags, rounds, auto-adjust.
        {"FITTOSTD Silicon  1 0 1 1 0 0 0 1 1 5 1", K::FitToStandard,
         {true, false, true, true, false, false, false, true, true, true}, {"5"}, 0, "Silicon "},
        {"FITTOSTD LaB6     0 0 0 0 0 0 0 0 0 12 0", K::FitToStandard,
         {false, false, false, false, false, false, false, false, false, false}, {"12"}, 0, "LaB6    "},
    };
    for (const ParseCase& c : cases) {
        const ScriptCommand got = ParseScriptLine(c.Line);
        EXPECT_EQ(got.Kind, c.Kind) << c.Line;
        EXPECT_EQ(got.Flags, c.Flags) << c.Line;
        EXPECT_EQ(got.Numbers, c.Numbers) << c.Line;
        EXPECT_EQ(got.Choice, c.Choice) << c.Line;
        EXPECT_EQ(got.Name, c.Name) << c.Line;
    }
}

TEST(ScriptLanguageTest, CommandIsTheFirstEightCharactersInUpperCase) {
    EXPECT_EQ(ParseScriptLine("fittostd x").Command, "FITTOSTD");
    EXPECT_EQ(ParseScriptLine("abc").Command, "ABC");
}
