#pragma once
// TCurveFit: least-squares straight line, polynomial, circle and Gaussian
// through points added one by one. The fitter keeps running sums, so each
// fit costs a fixed number of operations once the points are in.

#include <cstdint>
#include <string>
#include <vector>

#include "chart/vector_matrix.h"

namespace orv {

class TCurveFit {
public:
    explicit TCurveFit(std::string name = "CurveFit1");

    // Forgets every point.
    void ClearPoints();
    void AddPoint(double x, double y);
    int NumData() const { return N_; }

    // y = slope x + intercept. Fewer than 2 points, or all x equal, raise
    // EVemoMath2Error; the outputs are then 0.
    void CalcLinFit(double& slope, double& intercept, double& r2) const;
    // coefficients[k] belongs to x to the power k (degree 0..8); resized to
    // degree + 1. False (coefficients 0) when the normal equations are singular.
    bool CalcPolyFit(int degree, std::vector<double>& coefficients, double& r2) const;
    // Fewer than 3 points, or points on one straight line (or all at one
    // place), raise EVemoMath2Error; the outputs are then 0.
    void CalcCircleFit(double& radius, double& centreX, double& centreY) const;
    // amplitude exp(-(x - centre)^2 / width), fitted as a parabola to ln y.
    // Raises for 2 points or fewer and for any y <= 0.
    void CalcGaussFit(double& amplitude, double& centre, double& width, double& r2) const;

    double MinX() const { return MinX_; }
    double MaxX() const { return MaxX_; }
    double MinY() const { return MinY_; }
    double MaxY() const { return MaxY_; }
    // Bit 1: some x <= 0; 2: some y <= 0; 4: some |x| <= 1e-30; 8: some |y| <= 1e-30.
    uint8_t Flags() const { return Flags_; }
    // Point k in row k: column 1 x, column 2 y; grown by 1000 rows when full.
    const TMatrix& Points() const { return Store_; }
    // P[k] = sum of x^(k-1), k = 1..18; Q[k] = sum of y x^(k-1), k = 1..9.
    const TVector& PowerSums() const { return P_; }
    const TVector& Moments() const { return Q_; }

    std::string Name;

private:
    int N_ = 0;
    TMatrix Store_;
    TVector P_, Q_;
    double MinX_ = 1e308, MaxX_ = -1e308, MinY_ = 1e308, MaxY_ = -1e308;
    uint8_t Flags_ = 0;
    // The line, circle and Gaussian sums are taken about the first point
    // (X0, Y0): the fits are the same, without the cancellation that raw
    // sums of far-off coordinates suffer.
    double X0_ = 0, Y0_ = 0;
    double Sx_ = 0, Sy_ = 0, Sxx_ = 0, Syy_ = 0, Sxy_ = 0, Sxxy_ = 0, Sxyy_ = 0, Sxxx_ = 0,
           Syyy_ = 0, Sxxxx_ = 0;
    double SLnY_ = 0, SLnY2_ = 0, SxLnY_ = 0, SxxLnY_ = 0;
    double RawSyy_ = 0;   // about 0, for the polynomial's r2
};

} // namespace orv
