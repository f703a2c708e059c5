#include <gtest/gtest.h>

#include "base/numbers.h"

using namespace orv;

TEST(NumbersTest, RoundHalvesToEven) {
    EXPECT_EQ(RoundToInt(0.5), 0);
    EXPECT_EQ(RoundToInt(1.5), 2);
    EXPECT_EQ(RoundToInt(2.5), 2);
    EXPECT_EQ(RoundToInt(-2.5), -2);
    EXPECT_EQ(RoundToInt(1.48), 1);
    EXPECT_EQ(RoundToInt(1e20), INT32_MAX);
    EXPECT_EQ(RoundToInt(-1e20), INT32_MIN);
    EXPECT_EQ(TruncToInt(-2.7), -2);
}

TEST(NumbersTest, ParsesWithDotWhateverTheLocale) {
    EXPECT_DOUBLE_EQ(ParseNumber("61.54"), 61.54);
    EXPECT_DOUBLE_EQ(ParseNumber(" -0.5 "), -0.5);
    EXPECT_DOUBLE_EQ(ParseNumber("+3"), 3);
    EXPECT_DOUBLE_EQ(ParseNumber("1e3"), 1000);
    EXPECT_DOUBLE_EQ(ParseNumber(".25"), 0.25);
    EXPECT_EQ(ParseInteger("512"), 512);
}

TEST(NumbersTest, RejectsTextThatIsNotANumber) {
    for (const char* bad : {"", "abc", "1,5", "12a", "--1", "+-1", "1.2.3", " ", "nan", "inf"}) {
        EXPECT_THROW(ParseNumber(bad), ConversionError) << bad;
    }
    EXPECT_THROW(ParseInteger("1.5"), ConversionError);
    try {
        ParseNumber("abc");
    } catch (const ConversionError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid number");
    }
}

TEST(NumbersTest, EditBoxFormatHasSevenDigitsAndThreeDecimals) {
    EXPECT_EQ(FormatNumber(0.711), "0.711");
    EXPECT_EQ(FormatNumber(61.54), "61.540");
    EXPECT_EQ(FormatNumber(62), "62.000");
    EXPECT_EQ(FormatNumber(0), "0.000");
    // Seven significant digits first, then three decimals.
    EXPECT_EQ(FormatNumber(12345.6789), "12345.680");
    EXPECT_EQ(FormatNumber(0.0012345), "0.001");
    EXPECT_EQ(FormatNumber(-20.5), "-20.500");
    EXPECT_EQ(FormatNumber(123.45, 7, 1), "123.5");
}

TEST(NumbersTest, GeneralFormIsShortest) {
    EXPECT_EQ(FormatGeneral(7093 / 10000.0), "0.7093");
    EXPECT_EQ(FormatGeneral(615400 / 10000.0), "61.54");
    EXPECT_EQ(FormatGeneral(256), "256");
    EXPECT_EQ(FormatGeneral(-18), "-18");
}

TEST(NumbersTest, FixedWidthFields) {
    EXPECT_EQ(FormatFixedWidth(12.3456, 10, 4), "   12.3456");
    EXPECT_EQ(FormatIntWidth(42, 6), "    42");
}
