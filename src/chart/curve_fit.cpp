#include "chart/curve_fit.h"

#include <cmath>
#include <utility>

#include "chart/chart_errors.h"

namespace orv {

namespace {

constexpr int kStoreStep = 1000;
constexpr int kPowerSums = 18;
constexpr int kMoments = 9;
constexpr int kMaxPolyDegree = 8;   // the normal matrix needs P up to 2 x degree + 1
constexpr double kNoValue = 1.7e38;

} // namespace

TCurveFit::TCurveFit(std::string name)
    : Name(std::move(name)), Store_(2, kStoreStep, Name), P_(kPowerSums, Name), Q_(kMoments, Name) {
    ClearPoints();
}

void TCurveFit::ClearPoints() {
    N_ = 0;
    Store_.Resize(2, kStoreStep);
    Store_.Fill(0);
    P_.Clear();
    Q_.Clear();
    Flags_ = 0;
    MinX_ = MinY_ = 1e308;
    MaxX_ = MaxY_ = -1e308;
    X0_ = Y0_ = 0;
    Sx_ = Sy_ = Sxx_ = Syy_ = Sxy_ = Sxxy_ = Sxyy_ = Sxxx_ = Syyy_ = Sxxxx_ = 0;
    SLnY_ = SLnY2_ = SxLnY_ = SxxLnY_ = 0;
    RawSyy_ = 0;
}

void TCurveFit::AddPoint(double x, double y) {
    MinX_ = std::min(MinX_, x);
    MaxX_ = std::max(MaxX_, x);
    MinY_ = std::min(MinY_, y);
    MaxY_ = std::max(MaxY_, y);
    if (x <= 0) Flags_ |= 1;
    if (y <= 0) Flags_ |= 2;
    if (std::fabs(x) <= 1e-30) Flags_ |= 4;
    if (std::fabs(y) <= 1e-30) Flags_ |= 8;

    if (N_ == 0) {
        X0_ = x;
        Y0_ = y;
    }
    const double dx = x - X0_, dy = y - Y0_;
    const double dxx = dx * dx, dyy = dy * dy;
    Sx_ += dx;
    Sy_ += dy;
    Sxx_ += dxx;
    Syy_ += dyy;
    Sxy_ += dx * dy;
    Sxxy_ += dxx * dy;
    Sxyy_ += dx * dyy;
    Sxxx_ += dxx * dx;
    Syyy_ += dyy * dy;
    Sxxxx_ += dxx * dxx;
    if (y > 0) {
        const double lny = std::log(y);
        SLnY_ += lny;
        SLnY2_ += lny * lny;
        SxLnY_ += dx * lny;
        SxxLnY_ += dxx * lny;
    }
    RawSyy_ += y * y;

    double power = 1;
    for (int k = 1; k <= kPowerSums; ++k) {
        P_.SetElem(k, P_.Elem(k) + power);
        if (k <= kMoments) Q_.SetElem(k, Q_.Elem(k) + y * power);
        power *= x;
    }

    if (N_ + 1 > Store_.NrOfRows()) Store_.Resize(2, Store_.NrOfRows() + kStoreStep);
    Store_.SetElem(1, N_ + 1, x);
    Store_.SetElem(2, N_ + 1, y);
    ++N_;
}

void TCurveFit::CalcLinFit(double& slope, double& intercept, double& r2) const {
    slope = intercept = r2 = 0;
    if (N_ < 2) throw EVemoMath2Error("CalcLinFit: not enough data points");
    const double n = N_;
    const double D = n * Sxx_ - Sx_ * Sx_;
    // D is n^2 times the variance of x: zero (up to rounding) when every x is
    // the same, where no line y(x) exists.
    if (!(D > 1e-14 * n * Sxx_)) throw EVemoMath2Error("CalcLinFit: all x values are equal");
    const double s = (n * Sxy_ - Sx_ * Sy_) / D;
    const double c = (Sxx_ * Sy_ - Sx_ * Sxy_) / D;
    const double total = Syy_ - Sy_ * Sy_ / n;
    r2 = total == 0 ? 1 : (Sy_ * c + s * Sxy_ - Sy_ * Sy_ / n) / total;
    slope = s;
    intercept = c + Y0_ - s * X0_;
}

bool TCurveFit::CalcPolyFit(int degree, std::vector<double>& coefficients, double& r2) const {
    r2 = 0;
    if (degree >= N_) throw EVemoMath2Error("CalcPolyFit: not enough data points");
    if (degree < 0 || degree > kMaxPolyDegree)
        throw EVemoMath2Error("CalcPolyFit: degree must lie between 0 and 8");
    const int m = degree + 1;
    coefficients.assign(static_cast<size_t>(m), 0.0);

    TMatrix M(m, m, Name);
    TMatrix b(1, m, Name);
    for (int r = 1; r <= m; ++r) {
        for (int c = 1; c <= m; ++c) M.SetElem(c, r, P_.Elem(r + c - 1));
        b.SetElem(1, r, Q_.Elem(r));
    }
    if (!M.Invert()) return false;
    TMatrix solution(1, m, Name);
    if (!M.Multiply(b, solution)) return false;
    for (int k = 0; k < m; ++k) coefficients[static_cast<size_t>(k)] = solution.Elem(1, k + 1);

    const double n = N_;
    const double sy = Q_.Elem(1);
    double t = 0;
    for (int k = 1; k <= m; ++k) t += Q_.Elem(k) * coefficients[static_cast<size_t>(k - 1)];
    const double total = RawSyy_ - sy * sy / n;
    r2 = total == 0 ? 1 : (t - sy * sy / n) / total;
    return true;
}

void TCurveFit::CalcCircleFit(double& radius, double& centreX, double& centreY) const {
    radius = centreX = centreY = 0;
    if (N_ < 3) throw EVemoMath2Error("CalcCircleFit: not enough data points");
    const double n = N_;
    const double A = Sx_ * Sx_ - n * Sxx_;
    const double B = Sy_ * Sy_ - n * Syy_;
    const double C = n * Sxy_ - Sx_ * Sy_;
    const double E = Sy_ * (Sxx_ + Syy_) - n * (Sxxy_ + Syyy_);
    const double F = Sx_ * (Sxx_ + Syy_) - n * (Sxyy_ + Sxxx_);
    const double G = B * A - C * C;
    // G is n^4 (var x var y - cov^2): zero exactly when the points lie on one
    // straight line (or coincide), where no circle passes through them.
    if (!(G > 1e-12 * A * B))
        throw EVemoMath2Error("CalcCircleFit: the points lie on one straight line or coincide");
    const double cx = (C * E + B * F) / 2 / G;
    const double cy = (C * F + E * A) / 2 / G;
    const double r = std::sqrt(((cx * cx + cy * cy) * n + Sxx_ + Syy_ - 2 * (cx * Sx_ + cy * Sy_)) / n);
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(r))
        throw EVemoMath2Error("CalcCircleFit: the points lie on one straight line or coincide");
    radius = r;
    centreX = cx + X0_;
    centreY = cy + Y0_;
}

void TCurveFit::CalcGaussFit(double& amplitude, double& centre, double& width, double& r2) const {
    amplitude = centre = r2 = 0;
    width = kNoValue;
    if (N_ <= 2) throw EVemoMath2Error("CalcGaussFit: not enough data points");
    if (Flags_ & 2) throw EVemoMath2Error("CalcGaussFit: y values must not be negative");
    const double n = N_;
    const double L = n * Sxx_ - Sx_ * Sx_;
    const double M = L * (n * Sxxxx_ - Sxx_ * Sxx_);
    const double O = n * Sxxx_ - Sxx_ * Sx_;
    const double H = n * SxLnY_ - Sx_ * SLnY_;
    const double c = M == O * O ? kNoValue : (L * (n * SxxLnY_ - Sxx_ * SLnY_) - O * H) / (M - O * O);
    const double b = L == 0 ? kNoValue : (H - O * c) / L;
    const double a = (SLnY_ - b * Sx_ - c * Sxx_) / n;
    const double total = SLnY2_ - SLnY_ * SLnY_ / n;
    r2 = total == 0 ? 1 : (SLnY_ * a + b * SxLnY_ + c * SxxLnY_ - SLnY_ * SLnY_ / n) / total;
    if (c != 0) {
        amplitude = std::exp(a - b * b / (4 * c));
        centre = -b / (2 * c) + X0_;
        width = -1 / c;
    } else {
        width = -kNoValue;
        centre = 0;
        amplitude = 0;
    }
}

} // namespace orv
