#include "workspace/sector_overlay.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "workspace/frame_display.h"
#include "workspace/frame_display_pass.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace orv {

std::string SectorLimitsText(double t1, double p1, double t2, double p2) {
    return FormatNumber(t1) + ", " + FormatNumber(p1) + ", " + FormatNumber(t2) + ", " + FormatNumber(p2);
}

double BandHalfWidth(const Workspace& ws) {
    if (ws.FrameSize <= 0) return 0;
    return (static_cast<double>(ws.MaxTwoTheta) - ws.MinTwoTheta) / std::max(1, ws.DisplayWidth);
}

namespace {

// Paints `color` on every display pixel of Image1 whose frame pixel passes
// `test`.
template <typename Test>
void PaintDisplayPixels(Workspace& ws, uint32_t color, const Test& test) {
    DrawDisplayPixels(ws, ws.Form1.Image1, false, test, color);
}

// A ring of bin `bin` restricted to a psi range.
struct BandTest {
    bool Active = false;
    double TwoTheta = 0, HalfWidth = 0;
    float Psi1 = 0, Psi2 = 0;
    bool operator()(float twoTheta, float psi) const {
        return Active && std::fabs(twoTheta - TwoTheta) < HalfWidth && InPsiSector(psi, Psi1, Psi2);
    }
};

BandTest MakeBand(const Workspace& ws, int32_t bin, float psi1, float psi2) {
    BandTest band;
    if (bin < 0 || bin >= static_cast<int32_t>(ws.FrameProfileCopy.size())) return band;
    band.TwoTheta = ws.FrameProfileCopy[bin].TwoTheta;
    band.HalfWidth = BandHalfWidth(ws);
    band.Psi1 = psi1;
    band.Psi2 = psi2;
    band.Active = band.HalfWidth > 0;
    return band;
}

// The last bin whose 2-theta is in use (ScanPoints kept inside the profile).
int32_t LastBin(const Workspace& ws) {
    return std::clamp(ws.ScanPoints, 0, static_cast<int32_t>(ws.FrameProfileCopy.size()) - 1);
}

float Wrap300(float a) { return a > 300 ? a - 360 : a; }

// The two radial edges of an angular sector.
struct EdgeTest {
    float T1 = 0, T2 = 0;
    double R = 0, T = 0;
    double Base = 0;      // the half-width at 2-theta 1 degree
    double Factor = 1;
    bool Scaled = false;  // the half-width falls with 2-theta
    double Widest = 0;    // no half-width inside T1..T2 reaches this (see Finish)
    bool operator()(float twoTheta, float psi) const {
        const double t = twoTheta;
        if (!(T1 < t && t < T2)) return false;
        const double p = Wrap300(psi);
        const double dr = std::fabs(p - R), dt = std::fabs(p - T);
        // Most pixels lie far from both edges: refused before the division.
        if (!(dr < Widest || dt < Widest)) return false;
        const double w = (Scaled && t > 0.01 ? Base / t : 1.0) * Factor;
        return dr < w || dt < w;
    }
    // Works out Widest from the other members: the half-width is Factor up
    // to 2-theta 0.01 and Base / t x Factor above, largest at the smallest t.
    void Finish() {
        const double scaled = Scaled ? std::fabs(Base) / std::max(0.01, static_cast<double>(T1)) * Factor : 0.0;
        const double widest = std::max(Factor, scaled);
        Widest = widest + (widest + 1) * 1e-9;
    }
};

std::string RectangleText(const std::array<int32_t, 4>& r) {
    return std::to_string(r[0]) + ", " + std::to_string(r[2]) + ", " + std::to_string(r[1]) + ", " +
           std::to_string(r[3]);
}

// The rectangle from the dialog, or false after reporting a box that is not
// a whole number.
bool ReadMaskRectangle(Workspace& ws, Host& host, std::array<int32_t, 4>& r) {
    try {
        r = ReadSectorRectangle(ws);
        return true;
    } catch (const ConversionError& e) {
        host.message(e.what());
        return false;
    }
}

void OrderRectangle(std::array<int32_t, 4>& r) {
    if (r[1] < r[0]) std::swap(r[0], r[1]);
    if (r[3] < r[2]) std::swap(r[2], r[3]);
}

// Visits every frame pixel of columns x1..x2 and rows y1..y2 that lies in
// the frame.
template <typename Visit>
void ForRectangle(Workspace& ws, const std::array<int32_t, 4>& r, const Visit& visit) {
    const int32_t x1 = std::max(1, r[0]), x2 = std::min(UsedColumns(ws), r[1]);
    const int32_t y1 = std::max(1, r[2]), y2 = std::min(UsedRows(ws), r[3]);
    for (int32_t x = x1; x <= x2; ++x) {
        int32_t* column = ws.FramePixels.Intensity[x];
        for (int32_t y = y1; y <= y2; ++y) visit(column[y]);
    }
}

// Visits the intensity of every frame pixel with t1 < 2-theta < t2 and psi
// in p1..p2 (none while the frame has no geometry).
template <typename Visit>
void ForAngularSector(Workspace& ws, float t1, float p1, float t2, float p2, const Visit& visit) {
    if (!ws.FramePixels.HasGeometry()) return;
    const int32_t width = UsedColumns(ws), height = UsedRows(ws);
    for (int32_t x = 1; x <= width; ++x) {
        int32_t* column = ws.FramePixels.Intensity[x];
        const float* twoTheta = ws.FramePixels.TwoTheta[x];
        const float* psi = ws.FramePixels.Psi[x];
        for (int32_t y = 1; y <= height; ++y)
            if (t1 < twoTheta[y] && twoTheta[y] < t2 && InPsiSector(psi[y], p1, p2)) visit(column[y]);
    }
}

struct StatisticsSum {
    SectorStatistics Result;
    void operator()(int32_t intensity) {
        if (intensity < 0) return;   // a masked pixel carries no intensity
        Result.Integral += intensity;
        Result.Maximum = std::max(Result.Maximum, intensity);
        ++Result.Count;
    }
};

void LogStatistics(Workspace& ws, const SectorStatistics& st) {
    ws.LLog.Append("Integral = " + std::to_string(st.Integral) + ";  MaxIntensity = " +
                   FormatFixed(st.Maximum, 1) + ";  Number of pixels in sector = " + std::to_string(st.Count));
}

} // namespace

void DrawTwoThetaBand(Workspace& ws, int32_t bin, uint32_t color, float psi1, float psi2) {
    const BandTest band = MakeBand(ws, bin, psi1, psi2);
    if (band.Active) PaintDisplayPixels(ws, color, band);
    ws.Form1.PicturePending = true;
}

void DrawTwoThetaBandZoom(Workspace& ws, uint32_t color, float twoTheta) {
    ws.Form1.Image1 = ws.Form1.Image2;
    const double hw = BandHalfWidth(ws);
    if (hw > 0) {
        const double t = twoTheta;
        PaintDisplayPixels(ws, color, [t, hw](float twoTheta, float) { return std::fabs(twoTheta - t) < hw; });
    }
    ws.Form1.PicturePending = true;
}

int32_t InnerRingBin(const Workspace& ws, float t1) {
    const double limit = static_cast<double>(t1) + ws.TwoThetaStep / 4.0;
    int32_t found = -1;
    for (int32_t k = 0, last = LastBin(ws); k <= last; ++k) {
        if (ws.FrameProfileCopy[k].TwoTheta > limit) break;
        found = k;
    }
    return found;
}

int32_t OuterRingBin(const Workspace& ws, float t2) {
    const double limit = static_cast<double>(t2) - ws.TwoThetaStep / 4.0;
    int32_t found = -1;
    for (int32_t k = LastBin(ws); k >= 0; --k) {
        if (ws.FrameProfileCopy[k].TwoTheta < limit) break;
        found = k;
    }
    return found;
}

namespace {

// The outline of an angular sector: its two rings and its radial edges.
struct AngularSectorTest {
    BandTest Inner, Outer;
    EdgeTest Edge;
    // Outside Low..High no part of the outline can hold (a quick refusal of
    // most of the frame).
    double Low = 0, High = 0;
    bool operator()(float t, float p) const {
        if (!(t > Low && t < High)) return false;
        return Inner(t, p) || Outer(t, p) || Edge(t, p);
    }
};

AngularSectorTest MakeAngularSectorTest(const Workspace& ws, float t1, float p1, float t2, float p2) {
    AngularSectorTest test;
    // The rings take their 2-theta from the profile's own bin labels, which
    // exist for every bin in use.
    test.Inner = MakeBand(ws, InnerRingBin(ws, t1), p1, p2);
    test.Outer = MakeBand(ws, OuterRingBin(ws, t2), p1, p2);
    EdgeTest& edge = test.Edge;
    edge.T1 = t1;
    edge.T2 = t2;
    edge.R = Wrap300(std::min(p1, p2));
    edge.T = Wrap300(std::max(p1, p2));
    edge.Scaled = ws.FrameSize >= 1;
    if (edge.Scaled)
        edge.Base = (static_cast<double>(ws.MaxTwoTheta) - ws.MinTwoTheta) * 0.5 / ws.FrameSize * 90.0;
    if (ws.FrameSize > 512) edge.Factor *= 1.5;
    if (ws.FrameSize > 1024) edge.Factor *= 1.5;
    edge.Finish();
    // Each part holds only inside its own 2-theta interval; the limits are
    // widened by far more than a rounding, so nothing near them is refused.
    double low = edge.T1, high = edge.T2;
    for (const BandTest* band : {&test.Inner, &test.Outer})
        if (band->Active) {
            low = std::min(low, band->TwoTheta - band->HalfWidth);
            high = std::max(high, band->TwoTheta + band->HalfWidth);
        }
    test.Low = low - (std::fabs(low) + 1) * 1e-9;
    test.High = high + (std::fabs(high) + 1) * 1e-9;
    return test;
}

} // namespace

void DrawAngularSector(Workspace& ws, float t1, float p1, float t2, float p2) {
    PaintDisplayPixels(ws, BlueColor, MakeAngularSectorTest(ws, t1, p1, t2, p2));
    ws.Form1.PicturePending = true;
}

void RenderFrameWithSector(Workspace& ws, Host& host) {
    if (ws.RectangularSector) {
        RenderFrame(ws);
        DrawSectorRectangle(ws, host);
        return;
    }
    // One pass draws the frame and the outline.
    DrawDisplayPixels(ws, ws.Form1.Image1, true,
                      MakeAngularSectorTest(ws, ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2),
                      BlueColor);
    ws.Form1.PicturePending = true;
}

void DrawSectorRectangle(Workspace& ws, Host& host) {
    std::array<int32_t, 4> r{};
    if (!ReadMaskRectangle(ws, host, r)) return;
    ws.CropRect = r;
    const double s = DisplayPixelScale(ws);
    if (s <= 0) return;
    const int32_t x1 = RoundToInt(r[0] / s), x2 = RoundToInt(r[1] / s);
    const int32_t y1 = RoundToInt(r[2] / s), y2 = RoundToInt(r[3] / s);
    // An outline covering columns left..right-1 and rows top..bottom-1.
    const int32_t left = std::min(x1, x2), right = std::max(x1, x2) - 1;
    const int32_t top = std::min(y1, y2), bottom = std::max(y1, y2) - 1;
    RgbImage& image = ws.Form1.Image1;
    for (int32_t x = left; x <= right; ++x) {
        image.Set(x, top, BlueColor);
        image.Set(x, bottom, BlueColor);
    }
    for (int32_t y = top; y <= bottom; ++y) {
        image.Set(left, y, BlueColor);
        image.Set(right, y, BlueColor);
    }
    ws.Form1.PicturePending = true;
}

SectorStatistics AngularSectorStatistics(Workspace& ws, float t1, float p1, float t2, float p2) {
    const float low = std::min(t1, t2), high = std::max(t1, t2);
    StatisticsSum sum;
    ForAngularSector(ws, low, p1, high, p2, [&sum](int32_t intensity) { sum(intensity); });
    ws.LLog.Append("Angular sector = " + SectorLimitsText(low, p1, high, p2));
    LogStatistics(ws, sum.Result);
    return sum.Result;
}

SectorStatistics RectangleSectorStatistics(Workspace& ws) {
    OrderRectangle(ws.CropRect);
    // A rectangle left from another frame is kept to this one.
    std::array<int32_t, 4>& r = ws.CropRect;
    const int32_t width = std::max(1, UsedColumns(ws)), height = std::max(1, UsedRows(ws));
    r = {std::clamp(r[0], 1, width), std::clamp(r[1], 1, width), std::clamp(r[2], 1, height),
         std::clamp(r[3], 1, height)};
    StatisticsSum sum;
    ForRectangle(ws, ws.CropRect, [&sum](int32_t intensity) { sum(intensity); });
    ws.LLog.Append("Rectangular sector = " + RectangleText(ws.CropRect));
    LogStatistics(ws, sum.Result);
    return sum.Result;
}

void MaskAngularSector(Workspace& ws, float t1, float p1, float t2, float p2) {
    ForAngularSector(ws, t1, p1, t2, p2, [](int32_t& intensity) { intensity = MaskedIntensity; });
    ws.LLog.Append(" Angular sector = " + SectorLimitsText(t1, p1, t2, p2));
    ws.LLog.Append("Deleted ");
}

bool MaskRectangleSector(Workspace& ws, Host& host) {
    std::array<int32_t, 4> r{};
    if (!ReadMaskRectangle(ws, host, r)) return false;
    OrderRectangle(r);
    ws.CropRect = r;
    ForRectangle(ws, r, [](int32_t& intensity) { intensity = MaskedIntensity; });
    ws.LLog.Append(" Rectangular sector = " + RectangleText(r));
    ws.LLog.Append("Deleted ");
    return true;
}

} // namespace orv
