#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "chart/chart_errors.h"
#include "chart/curve_fit.h"
#include "chart/vector_matrix.h"

using namespace orv;

namespace {

// The message of the EVemoMath2Error that `f` raises ("" when none).
template <class F>
std::string Math2Message(F f) {
    try {
        f();
    } catch (const EVemoMath2Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(CurveFitTest, StraightLineThroughThreePoints) {
    TCurveFit fit;
    fit.AddPoint(0, 1);
    fit.AddPoint(1, 3);
    fit.AddPoint(2, 5);
    double slope, intercept, r2;
    fit.CalcLinFit(slope, intercept, r2);
    EXPECT_NEAR(slope, 2, 1e-14);
    EXPECT_NEAR(intercept, 1, 1e-14);
    EXPECT_NEAR(r2, 1, 1e-14);
    EXPECT_EQ(fit.MinX(), 0);
    EXPECT_EQ(fit.MaxY(), 5);
}

TEST(CurveFitTest, NoisyLineHasTheTextbookCoefficients) {
    // (1,1) (2,2) (3,2) (4,4), by hand about the means 2.5 and 2.25:
    // Sxx = 5, Sxy = 4.5, Syy = 4.75; slope 0.9, intercept 0, r2 = Sxy^2 / (Sxx Syy).
    TCurveFit fit;
    fit.AddPoint(1, 1);
    fit.AddPoint(2, 2);
    fit.AddPoint(3, 2);
    fit.AddPoint(4, 4);
    double slope, intercept, r2;
    fit.CalcLinFit(slope, intercept, r2);
    EXPECT_NEAR(slope, 0.9, 1e-14);
    EXPECT_NEAR(intercept, 0, 1e-14);
    EXPECT_NEAR(r2, 4.5 * 4.5 / (5 * 4.75), 1e-14);
}

TEST(CurveFitTest, RandomLinesAreRecovered) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int trial = 0; trial < 200; ++trial) {
        const double slope = 50 * u(rng), intercept = 1000 * u(rng);
        const double x0 = 2000 * u(rng), spread = 0.5 + 100 * (u(rng) + 1);
        TCurveFit fit;
        const int n = 2 + trial % 50;
        for (int i = 0; i < n; ++i) {
            double x = x0 + spread * u(rng);
            fit.AddPoint(x, slope * x + intercept);
        }
        double s, c, r2;
        fit.CalcLinFit(s, c, r2);
        EXPECT_NEAR(s, slope, 1e-9 * (1 + std::fabs(slope))) << trial;
        EXPECT_NEAR(c, intercept, 1e-9 * (1 + std::fabs(intercept) + std::fabs(slope * x0))) << trial;
        EXPECT_NEAR(r2, 1, 1e-9) << trial;
    }
}

TEST(CurveFitTest, PolynomialNeedsMorePointsThanItsDegree) {
    TCurveFit fit;
    auto p = [](double x) { return 2 - 3 * x + 0.5 * x * x + 0.25 * x * x * x; };
    for (double x : {-1.0, 0.5, 2.0}) fit.AddPoint(x, p(x));
    std::vector<double> c;
    double r2;
    EXPECT_EQ(Math2Message([&] { fit.CalcPolyFit(3, c, r2); }), "CalcPolyFit: not enough data points");
    fit.AddPoint(3, p(3));
    ASSERT_TRUE(fit.CalcPolyFit(3, c, r2));
    ASSERT_EQ(c.size(), 4u);
    EXPECT_NEAR(c[0], 2, 1e-10);
    EXPECT_NEAR(c[1], -3, 1e-10);
    EXPECT_NEAR(c[2], 0.5, 1e-10);
    EXPECT_NEAR(c[3], 0.25, 1e-10);
    EXPECT_NEAR(r2, 1, 1e-10);
    EXPECT_FALSE(Math2Message([&] { fit.CalcPolyFit(9, c, r2); }).empty());
}

TEST(CurveFitTest, PolynomialOfManyPointsAndAConstant) {
    TCurveFit fit;
    for (int i = 0; i <= 40; ++i) {
        double x = i * 0.25 - 5;
        fit.AddPoint(x, 1.5 + 0.75 * x - 0.125 * x * x);
    }
    std::vector<double> c;
    double r2;
    ASSERT_TRUE(fit.CalcPolyFit(2, c, r2));
    EXPECT_NEAR(c[0], 1.5, 1e-9);
    EXPECT_NEAR(c[1], 0.75, 1e-9);
    EXPECT_NEAR(c[2], -0.125, 1e-9);
    EXPECT_NEAR(r2, 1, 1e-9);
    // Degree 0 is the mean.
    TCurveFit mean;
    for (double y : {1.0, 2.0, 6.0}) mean.AddPoint(y, y);
    ASSERT_TRUE(mean.CalcPolyFit(0, c, r2));
    EXPECT_NEAR(c[0], 3, 1e-14);
}

TEST(CurveFitTest, PolynomialOnSingularSumsReportsFailure) {
    // Every point at the same x: the normal matrix is singular.
    TCurveFit fit;
    for (int i = 0; i < 5; ++i) fit.AddPoint(2, i);
    std::vector<double> c;
    double r2;
    EXPECT_FALSE(fit.CalcPolyFit(2, c, r2));
    EXPECT_EQ(c, (std::vector<double>{0, 0, 0}));
}

TEST(CurveFitTest, CircleThroughPointsOfAKnownCircle) {
    TCurveFit fit;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 8; ++i) fit.AddPoint(10 + 5 * std::cos(i * pi / 4), -3 + 5 * std::sin(i * pi / 4));
    double r, cx, cy;
    fit.CalcCircleFit(r, cx, cy);
    EXPECT_NEAR(r, 5, 1e-12);
    EXPECT_NEAR(cx, 10, 1e-12);
    EXPECT_NEAR(cy, -3, 1e-12);
    // Three points fix a circle: (0,0), (2,0), (0,2) lie on radius sqrt 2 about (1,1).
    TCurveFit three;
    three.AddPoint(0, 0);
    three.AddPoint(2, 0);
    three.AddPoint(0, 2);
    three.CalcCircleFit(r, cx, cy);
    EXPECT_NEAR(r, std::sqrt(2.0), 1e-14);
    EXPECT_NEAR(cx, 1, 1e-14);
    EXPECT_NEAR(cy, 1, 1e-14);
}

TEST(CurveFitTest, RandomRingsAreRecovered) {
    // Ring points as the centre finder collects them: pixel coordinates of a
    // frame, partial arcs, any number of points.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(0, 1);
    const double pi = std::acos(-1.0);
    for (int trial = 0; trial < 200; ++trial) {
        const double cx = 4096 * u(rng) - 1024, cy = 4096 * u(rng) - 1024;
        const double r = 5 + 2000 * u(rng);
        const double start = 2 * pi * u(rng), arc = pi / 3 + (5 * pi / 3) * u(rng);
        const int n = 3 + static_cast<int>(500 * u(rng));
        TCurveFit fit;
        for (int i = 0; i < n; ++i) {
            double a = start + arc * u(rng);
            fit.AddPoint(cx + r * std::cos(a), cy + r * std::sin(a));
        }
        double fr, fx, fy;
        fit.CalcCircleFit(fr, fx, fy);
        EXPECT_NEAR(fx, cx, 1e-9) << trial;
        EXPECT_NEAR(fy, cy, 1e-9) << trial;
        EXPECT_NEAR(fr, r, 1e-9) << trial;
    }
}

TEST(CurveFitTest, GaussianThroughThreePoints) {
    TCurveFit fit;
    fit.AddPoint(-1, std::exp(-1.0));
    fit.AddPoint(0, 1);
    fit.AddPoint(1, std::exp(-1.0));
    double a, c, w, r2;
    fit.CalcGaussFit(a, c, w, r2);
    EXPECT_NEAR(a, 1, 1e-14);
    EXPECT_NEAR(c, 0, 1e-14);
    EXPECT_NEAR(w, 1, 1e-14);
    EXPECT_NEAR(r2, 1, 1e-14);
}

TEST(CurveFitTest, NoiselessPeakIsRecovered) {
    // A diffraction peak: 2-theta 31.7, width parameter 0.02, on a fine grid.
    const double amplitude = 12500, centre = 31.7, width = 0.02;
    TCurveFit fit;
    for (int i = -40; i <= 40; ++i) {
        double x = centre + 0.0071 + i * 0.005;
        fit.AddPoint(x, amplitude * std::exp(-(x - centre) * (x - centre) / width));
    }
    double a, c, w, r2;
    fit.CalcGaussFit(a, c, w, r2);
    EXPECT_NEAR(a / amplitude, 1, 1e-9);
    EXPECT_NEAR(c, centre, 1e-9);
    EXPECT_NEAR(w / width, 1, 1e-9);
    EXPECT_NEAR(r2, 1, 1e-9);
}

TEST(CurveFitTest, TooFewPointsAndBadValuesRaiseWithTheirMessages) {
    TCurveFit fit;
    double a = 9, b = 9, c = 9, d = 9;
    EXPECT_EQ(Math2Message([&] { fit.CalcLinFit(a, b, c); }), "CalcLinFit: not enough data points");
    EXPECT_EQ(a, 0);
    fit.AddPoint(1, 1);
    fit.AddPoint(2, 4);
    EXPECT_EQ(Math2Message([&] { fit.CalcCircleFit(a, b, c); }), "CalcCircleFit: not enough data points");
    EXPECT_EQ(Math2Message([&] { fit.CalcGaussFit(a, b, c, d); }), "CalcGaussFit: not enough data points");
    EXPECT_EQ(c, 1.7e38);            // width keeps its start value
    fit.AddPoint(3, 0);
    EXPECT_EQ(Math2Message([&] { fit.CalcGaussFit(a, b, c, d); }),
              "CalcGaussFit: y values must not be negative");
    EXPECT_EQ(fit.Flags() & 2, 2);
    // The exceptions form one family.
    EXPECT_THROW(fit.CalcGaussFit(a, b, c, d), EVemoError);
}

TEST(CurveFitTest, DegeneratePointsRaiseInsteadOfReturningInfinities) {
    double r, cx, cy, s, i, r2;
    TCurveFit vertical;
    for (double y : {1.0, 2.0, 5.0}) vertical.AddPoint(512.3, y);
    EXPECT_EQ(Math2Message([&] { vertical.CalcLinFit(s, i, r2); }), "CalcLinFit: all x values are equal");

    const std::string onALine = "CalcCircleFit: the points lie on one straight line or coincide";
    TCurveFit collinear;
    for (int k = 0; k < 20; ++k) collinear.AddPoint(1024.5 + 3 * k, 998.25 - 7 * k);
    EXPECT_EQ(Math2Message([&] { collinear.CalcCircleFit(r, cx, cy); }), onALine);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(cx, 0);

    TCurveFit same;
    for (int k = 0; k < 5; ++k) same.AddPoint(700.1, 300.7);
    EXPECT_EQ(Math2Message([&] { same.CalcCircleFit(r, cx, cy); }), onALine);

    TCurveFit horizontal;
    for (int k = 0; k < 4; ++k) horizontal.AddPoint(k, 5);
    EXPECT_EQ(Math2Message([&] { horizontal.CalcCircleFit(r, cx, cy); }), onALine);
}

TEST(CurveFitTest, PointStoreGrowsByAThousandRowsAndClears) {
    TCurveFit fit;
    EXPECT_EQ(fit.Points().NrOfRows(), 1000);
    EXPECT_EQ(fit.Points().NrOfColumns(), 2);
    for (int k = 1; k <= 1000; ++k) fit.AddPoint(k, 2 * k);
    EXPECT_EQ(fit.Points().NrOfRows(), 1000);
    fit.AddPoint(1001, 7);
    EXPECT_EQ(fit.Points().NrOfRows(), 2000);
    EXPECT_EQ(fit.Points().Elem(1, 1001), 1001);
    EXPECT_EQ(fit.Points().Elem(2, 1000), 2000);
    EXPECT_EQ(fit.NumData(), 1001);
    EXPECT_EQ(fit.PowerSums().Elem(1), 1001);
    fit.ClearPoints();
    EXPECT_EQ(fit.NumData(), 0);
    EXPECT_EQ(fit.Points().NrOfRows(), 1000);
    EXPECT_EQ(fit.Points().Elem(1, 1), 0);
    EXPECT_EQ(fit.PowerSums().Elem(1), 0);
    EXPECT_EQ(fit.MinX(), 1e308);
    EXPECT_EQ(fit.Flags(), 0);
    // A cleared fitter starts afresh.
    fit.AddPoint(0, 1);
    fit.AddPoint(1, 3);
    double s, i, r2;
    fit.CalcLinFit(s, i, r2);
    EXPECT_NEAR(s, 2, 1e-14);
}

TEST(VectorMatrixTest, OutOfRangeReadsGiveZeroAndWritesAreIgnored) {
    TVector v(3);
    int changes = 0;
    v.OnChange = [&] { ++changes; };
    v.SetElem(2, 4.5);
    v.SetElem(0, 1);
    v.SetElem(4, 1);
    EXPECT_EQ(v.Elem(2), 4.5);
    EXPECT_EQ(v.Elem(0), 0);
    EXPECT_EQ(v.Elem(4), 0);
    EXPECT_EQ(changes, 1);
    v.SetNrOfElem(0);
    EXPECT_EQ(v.NrOfElem(), 1);

    TMatrix m(2, 3);
    m.SetElem(2, 3, 8);
    m.SetElem(3, 1, 9);
    EXPECT_EQ(m.Elem(2, 3), 8);
    EXPECT_EQ(m.Elem(3, 1), 0);
    m.Resize(3, 4);
    EXPECT_EQ(m.Elem(2, 3), 8);                 // kept where it still fits
    m.Resize(0, -2);
    EXPECT_EQ(m.NrOfColumns(), 1);
    EXPECT_EQ(m.NrOfRows(), 1);
}

TEST(VectorMatrixTest, InverseTimesMatrixIsTheIdentity) {
    // A matrix that needs row exchanges (zero on the first diagonal place).
    const double a[3][3] = {{0, 2, 1}, {4, 1, -2}, {3, -5, 7}};
    TMatrix m(3, 3);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) m.SetElem(c, r, a[r - 1][c - 1]);
    TMatrix original(3, 3);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) original.SetElem(c, r, a[r - 1][c - 1]);
    ASSERT_TRUE(m.Invert());
    TMatrix product(3, 3);
    ASSERT_TRUE(original.Multiply(m, product));
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) EXPECT_NEAR(product.Elem(c, r), r == c ? 1 : 0, 1e-14);
    // The determinant is -91: element (1,1) of the inverse is (7 - 10) / -91.
    EXPECT_NEAR(m.Elem(1, 1), 3.0 / 91, 1e-15);

    TMatrix singular(2, 2);
    singular.SetElem(1, 1, 1);
    singular.SetElem(2, 1, 2);
    singular.SetElem(1, 2, 2);
    singular.SetElem(2, 2, 4);
    EXPECT_FALSE(singular.Invert());
    TMatrix rect(2, 3);
    EXPECT_FALSE(rect.Invert());
    TMatrix zeros(2, 2);
    EXPECT_FALSE(zeros.Invert());

    TMatrix wrong(2, 2);
    EXPECT_FALSE(original.Multiply(rect, wrong));
}

TEST(VectorMatrixTest, ImpossibleSizesRaiseTheComponentMessage) {
    try {
        TMatrix huge(INT_MAX, INT_MAX, "Big");
        FAIL() << "no exception";
    } catch (const EVemoMatrixError& e) {
        EXPECT_STREQ(e.what(), "Component \"Big\": not enough memory on heap");
    }
}
