#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "chart/scale.h"

using namespace orv;

namespace {

struct TickCase {
    const char* name;
    double low, high;
    int minTicks;
    double step;
    int subIntervals;
    std::vector<double> longTicks;
    std::vector<std::string> labels;
};

TScale MakeScale(double low, double high, int minTicks) {
    TScale s;
    s.SetRange(low, high);
    s.SetMinTicks(minTicks);
    return s;
}

} // namespace

// Worked by hand from the 1-2-5 rule: the step is the largest of 1, 2 or 5
// times a power of ten that fits at least MinTicks times into the span.
TEST(ChartScaleTest, TickStepsAndLabelsOfTheWorkedRanges) {
    const std::vector<TickCase> cases = {
        {"0..100", 0, 100, 3, 20, 4, {0, 20, 40, 60, 80, 100}, {"0", "20", "40", "60", "80", "100"}},
        {"0..512", 0, 512, 5, 100, 5, {0, 100, 200, 300, 400, 500},
         {"0", "100", "200", "300", "400", "500"}},
        {"0..4000", 0, 4000, 3, 1000, 5, {0, 1000, 2000, 3000, 4000},
         {"0", "1000", "2000", "3000", "4000"}},
        {"0..1", 0, 1, 3, 0.2, 4, {0, 0.2, 0.4, 0.6, 0.8, 1.0},
         {"0.00", "0.20", "0.40", "0.60", "0.80", "1.00"}},
        {"0..0.3", 0, 0.3, 3, 0.1, 5, {0, 0.1, 0.2, 0.3}, {"0.00", "0.10", "0.20", "0.30"}},
        {"exact power 0..30", 0, 30, 3, 10, 5, {0, 10, 20, 30}, {"0.0", "10.0", "20.0", "30.0"}},
        {"reversed 100..0", 100, 0, 3, -20, 4, {100, 80, 60, 40, 20, 0},
         {"100", "80", "60", "40", "20", "0"}},
        {"0..2e6", 0, 2e6, 3, 500000, 5, {0, 5e5, 1e6, 1.5e6, 2e6},
         {"0.0", " 5.0E+05", " 1.0E+06", " 1.5E+06", " 2.0E+06"}},
        {"negative -7..-2", -7, -2, 3, 1, 5, {-7, -6, -5, -4, -3, -2},
         {"-7.0", "-6.0", "-5.0", "-4.0", "-3.0", "-2.0"}},
        {"offset 10.3..17.9", 10.3, 17.9, 3, 2, 4, {12, 14, 16}, {"12.0", "14.0", "16.0"}},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTickStep step = NiceTickStep(c.minTicks, c.low, c.high);
        EXPECT_NEAR(step.Step, c.step, 1e-12 * std::fabs(c.step));
        EXPECT_EQ(step.SubIntervals, c.subIntervals);
        TScale s = MakeScale(c.low, c.high, c.minTicks);
        TScaleTicks ticks = s.Ticks();
        ASSERT_EQ(ticks.Long.size(), c.longTicks.size());
        for (size_t i = 0; i < c.longTicks.size(); ++i) {
            EXPECT_NEAR(ticks.Long[i], c.longTicks[i], 1e-9 * std::fabs(c.step)) << i;
            EXPECT_EQ(s.LabelText(static_cast<int>(i) + 1, ticks.Long[i]), c.labels[i]) << i;
        }
    }
}

TEST(ChartScaleTest, ShortTicksFillEveryInterval) {
    TScale s = MakeScale(0, 100, 3);
    TScaleTicks ticks = s.Ticks();
    ASSERT_EQ(ticks.Short.size(), 21u);    // every 5 from 0 to 100
    for (size_t i = 0; i < ticks.Short.size(); ++i) EXPECT_NEAR(ticks.Short[i], 5.0 * i, 1e-9);
    // Short ticks before the range start are left out, also on an offset range.
    TScale offset = MakeScale(10.3, 17.9, 3);
    TScaleTicks t2 = offset.Ticks();
    ASSERT_FALSE(t2.Short.empty());
    EXPECT_NEAR(t2.Short.front(), 10.5, 1e-9);
    EXPECT_NEAR(t2.Short.back(), 17.5, 1e-9);
    s.SetShortTicks(false);
    EXPECT_TRUE(s.Ticks().Short.empty());
    // TickValue reads the values drawn: short ones first, then long ones.
    TScale plain = MakeScale(0, 100, 3);
    EXPECT_EQ(plain.NumTicks(), 27);
    EXPECT_NEAR(plain.TickValue(2), 5, 1e-12);
    EXPECT_NEAR(plain.TickValue(23), 20, 1e-12);
    EXPECT_EQ(plain.TickValue(0), 0);
    EXPECT_EQ(plain.TickValue(28), 0);
}

TEST(ChartScaleTest, ReversedRangeWalksDownward) {
    TScale s = MakeScale(1, 0, 3);
    TScaleTicks ticks = s.Ticks();
    EXPECT_LT(ticks.Step.Step, 0);
    ASSERT_EQ(ticks.Long.size(), 6u);
    EXPECT_NEAR(ticks.Long.front(), 1, 1e-12);
    EXPECT_NEAR(ticks.Long.back(), 0, 1e-12);
    for (double v : ticks.Short) {
        EXPECT_LE(v, 1 + 1e-12);
        EXPECT_GE(v, -1e-12);
    }
}

TEST(ChartScaleTest, EqualEndsGiveOneTickAndEveryLoopEnds) {
    TTickStep step = NiceTickStep(3, 5, 5);
    EXPECT_EQ(step.First, 5);
    EXPECT_EQ(step.Step, 0);
    EXPECT_EQ(step.SubIntervals, 1);

    // The setters keep the ends apart, even where "+ 1" is lost.
    TScale s;
    s.SetRangeLow(7);
    s.SetRangeHigh(7);
    EXPECT_EQ(s.RangeLow(), 8);
    EXPECT_EQ(s.RangeHigh(), 7);
    s.SetRange(1e17, 1e17);
    EXPECT_NE(s.RangeLow(), s.RangeHigh());

    // A step below the precision of the values would never advance.
    TScale tiny = MakeScale(1e17, 1e17 + 16, 3);
    TScaleTicks ticks = tiny.Ticks();
    ASSERT_EQ(ticks.Long.size(), 1u);
    EXPECT_EQ(ticks.Long[0], 1e17);
    EXPECT_TRUE(ticks.Short.empty());
}

TEST(ChartScaleTest, AutomaticDecimalsFollowTheSpan) {
    EXPECT_EQ(AutoDecimals(-2, 0, 1), 2);
    EXPECT_EQ(AutoDecimals(-2, 0, 10), 1);
    EXPECT_EQ(AutoDecimals(-3, 0, 0.1), 3);
    EXPECT_EQ(AutoDecimals(-2, 0, 0.01), 4);
    EXPECT_EQ(AutoDecimals(-2, 5, 0.3 + 5), 2);
    EXPECT_EQ(AutoDecimals(-2, 0, 100), 0);
    EXPECT_EQ(AutoDecimals(-2, 0, 999999), 0);
    EXPECT_EQ(AutoDecimals(-2, 0, 1000000), -1);
    EXPECT_EQ(AutoDecimals(-2, 0, 0.0001), -1);
    EXPECT_EQ(AutoDecimals(-2, 100, 0), 0);
    EXPECT_EQ(AutoDecimals(5, 0, 1e9), 5);   // fixed decimals stay
}

TEST(ChartScaleTest, TickNumbersInFixedAndExponentForm) {
    EXPECT_EQ(FormatTickNumber(2000000, -1), " 2.0E+06");
    EXPECT_EQ(FormatTickNumber(-2000000, -1), "-2.0E+06");
    EXPECT_EQ(FormatTickNumber(1.5e-5, -1), " 1.5E-05");
    EXPECT_EQ(FormatTickNumber(0, -1), " 0.0E+00");
    EXPECT_EQ(FormatTickNumber(1e100, -1), "********");
    EXPECT_EQ(FormatTickNumber(3.14159, 3), "3.142");
    EXPECT_EQ(FormatTickNumber(-0.25, 1), "-0.2");   // halves to even in binary: -0.25 -> -0.2
    EXPECT_EQ(FormatTickNumber(42, 0), "42");

    // Labels are cut to 14 characters.
    TScale s = MakeScale(0, 1000, 3);
    s.SetDecPlaces(12);
    EXPECT_EQ(s.LabelText(1, 123.456), "123.4560000000");
    // Near-zero ticks read as zero.
    TScale small = MakeScale(-1, 1, 3);
    EXPECT_EQ(small.LabelText(1, 1e-17), "0.00");
}

TEST(ChartScaleTest, InscriptsAndUserTexts) {
    EXPECT_EQ(ApplyScaleInscript("", "5"), "5");
    EXPECT_EQ(ApplyScaleInscript("x=&mm", "5"), "x=5mm");
    EXPECT_EQ(ApplyScaleInscript("T ", "5"), "T 5");
    EXPECT_EQ(UserTickField("a|b|c", 1), "a");
    EXPECT_EQ(UserTickField("a|b|c", 2), "b");
    EXPECT_EQ(UserTickField("a|b|c", 7), "c");
    EXPECT_EQ(UserTickField("", 3), "");

    TScale s = MakeScale(0, 100, 3);
    s.SetScaleInscript("&%");
    EXPECT_EQ(s.LabelText(2, 20), "20%");
    s.SetLabelType(ftUserText);
    s.SetUserTickText("low|mid|high");
    EXPECT_EQ(s.LabelText(2, 20), "mid");
    EXPECT_EQ(s.LabelText(6, 100), "high");
}

TEST(ChartScaleTest, SettersKeepTheirLimits) {
    TScale s;
    s.SetMinTicks(1);
    EXPECT_EQ(s.MinTicks(), 2);
    s.SetMinTicks(50);
    EXPECT_EQ(s.MinTicks(), 10);
    s.SetMarginLeft(-4);
    EXPECT_EQ(s.MarginLeft(), 0);
    s.SetRange(-1, 10);
    s.SetLogarithmic(true);
    EXPECT_FALSE(s.Logarithmic());
    s.SetRange(1, 10);
    s.SetLabelType(ftDateTime);
    s.SetLogarithmic(true);
    EXPECT_FALSE(s.Logarithmic());
}

TEST(ChartScaleTest, ScaleTransformPutsTheEndsOnTheMargins) {
    TScale h;
    h.SetBounds(400, 300);
    h.SetScaleType(sctXB);
    h.SetRange(0, 100);
    EXPECT_EQ(h.ValueToPixel(0), 20);
    EXPECT_EQ(h.ValueToPixel(100), 379);
    TScale v;
    v.SetBounds(400, 300);
    v.SetScaleType(sctYL);
    v.SetRange(0, 100);
    EXPECT_EQ(v.ValueToPixel(100), 20);
    EXPECT_EQ(v.ValueToPixel(0), 279);
    EXPECT_EQ(v.ValueToPixel(1e300), -2147483647);
    // No room: every value on one pixel.
    h.SetMarginLeft(300);
    h.SetMarginRight(100);
    EXPECT_EQ(h.ValueToPixel(0), h.ValueToPixel(100));
}

TEST(ChartScaleTest, HorizontalLabelsStayTwoPixelsInside) {
    EXPECT_EQ(PlaceHorizontalLabel(100, 20, 280), 90);    // centred
    EXPECT_EQ(PlaceHorizontalLabel(3, 20, 280), 2);       // left edge
    EXPECT_EQ(PlaceHorizontalLabel(275, 20, 280), 258);   // right edge at 278
    EXPECT_EQ(PlaceHorizontalLabel(268, 21, 280), 258);
}

TEST(ChartScaleTest, StepAwayFromKeepsValuesDistinct) {
    EXPECT_EQ(StepAwayFrom(5, 1), 6);
    EXPECT_EQ(StepAwayFrom(0, -1e-10), -1e-10);
    const double big = 1e17;
    EXPECT_GT(StepAwayFrom(big, 1), big);
    EXPECT_LT(StepAwayFrom(-big, -1), -big);
}
