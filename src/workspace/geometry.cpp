#include "workspace/geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "workspace/host.h"
#include "workspace/numbers.h"
#include "workspace/parallel.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double DegPerRad = 180.0 / std::numbers::pi;
constexpr double RadPerDeg = std::numbers::pi / 180.0;

// Below this many pixels per thread, starting threads costs more than it saves.
constexpr int64_t MinPixelsPerWorker = 65536;

enum class DetectorShape { None, Flat, Cylinder, Sphere };

// Everything one run reads from the settings boxes and the geometry it will
// write, worked out before anything in the workspace changes.
struct GeometryRun {
    DetectorShape Shape = DetectorShape::None;
    double Xo = 0, Yo = 0, DSize = 0, Distance = 0, TwoThetaD = 0;
    uint8_t FlatDetector = 0;
    int32_t FrameSize = 0;
    // The pixels that are mapped: the frame, cut to what is allocated.
    int32_t Width = 0, Height = 0;
    // Texts the pixel-size box writes back.
    std::optional<std::string> EDSizeText, ELengthText, EHeightText;
    // Curved detectors: length and radius, mm; sample offset.
    double Length = 0, Radius = 0, SampleX = 0, SampleY = 0;
    std::optional<float> FixedStep;
    std::optional<double> AdjustTarget;
};

// The smallest and largest 2-theta met; 90 and 0 before the first pixel.
struct TwoThetaExtrema {
    float Min = 90, Max = 0;
    void add(float t) {
        Min = std::min(Min, t);
        Max = std::max(Max, t);
    }
    void merge(const TwoThetaExtrema& o) {
        Min = std::min(Min, o.Min);
        Max = std::max(Max, o.Max);
    }
};

DetectorShape SelectedShape(const TForm32& f) {
    if (f.RFlat) return DetectorShape::Flat;
    if (f.RCylindrical) return DetectorShape::Cylinder;
    if (f.RSphere) return DetectorShape::Sphere;
    return DetectorShape::None;
}

// Reads every box the run needs; throws ConversionError before anything is
// written.
GeometryRun ReadGeometrySettings(const Workspace& ws) {
    const TForm32& f = ws.Form32;
    GeometryRun run;
    run.Shape = SelectedShape(f);
    const bool curved = run.Shape == DetectorShape::Cylinder || run.Shape == DetectorShape::Sphere;
    run.Xo = ws.Xo;
    run.Yo = ws.Yo;
    run.DSize = ws.DSize;
    run.Distance = ws.Distance;
    run.TwoThetaD = ws.TwoThetaD;
    run.FlatDetector = ws.FlatDetector;
    run.FrameSize = ws.FrameSize;
    run.Width = std::min(ws.FrameWidth, ws.FramePixels.width());
    run.Height = std::min(ws.FrameHeight, ws.FramePixels.height());

    if (f.CBXo) run.Xo = ParseNumber(f.EXoM);
    if (f.CBYo) run.Yo = ParseNumber(f.EYoM);

    // The pixel size box writes the detector size back into its box, and
    // what follows reads that box again: use the text as it will stand.
    std::string edsize = f.EDSize;
    std::string elength = f.ELength;
    if (f.CBPixSize) {
        const double pixelMicrons = ParseNumber(f.EPixSize);
        if (f.RFlat) {
            run.DSize = pixelMicrons * ws.FrameSize / 1000.0;
            edsize = *(run.EDSizeText = FormatNumber(run.DSize));
        } else {
            run.DSize = pixelMicrons * ws.FrameWidth / 1000.0;
            elength = *(run.ELengthText = FormatNumber(run.DSize));
            if (ws.FrameWidth > 0)
                run.EHeightText = FormatNumber(ws.FrameHeight * run.DSize / ws.FrameWidth);
        }
    }

    if (curved) {
        run.Length = ParseNumber(elength);
        run.Radius = ParseNumber(f.ERadius);
    }

    if (ws.Form20.CBFSettings) {
        run.Xo = ParseNumber(f.EXoM);
        run.Yo = ParseNumber(f.EYoM);
        run.FlatDetector = f.RFlat ? 1 : 0;
        switch (run.Shape) {
        case DetectorShape::Flat:
            run.DSize = ParseNumber(edsize);
            run.Distance = ParseNumber(f.EDistance);
            run.TwoThetaD = ParseNumber(f.E2thetaD) + ParseNumber(f.Eth2offset);
            break;
        case DetectorShape::Cylinder:
            // The cylinder's distance is its radius.
            run.DSize = run.Length;
            run.Distance = run.Radius;
            break;
        case DetectorShape::Sphere:
            run.DSize = run.Length;
            run.Distance = ParseNumber(f.EDistance);
            break;
        case DetectorShape::None:
            break;
        }
    }

    if (run.Shape == DetectorShape::Cylinder && f.CBSampleOffset) {
        run.SampleX = ParseNumber(f.ESampleX);
        run.SampleY = ParseNumber(f.ESampleY);
    }
    if (ws.FSetup.CBth2step) run.FixedStep = static_cast<float>(ParseNumber(ws.FSetup.Eth2step));
    if (ws.FSetup.Adjust2Theta) run.AdjustTarget = ParseNumber(ws.FSetup.E2ThetaMax);

    if (run.DSize == 0) run.DSize = 61.0;
    if (run.FrameSize == 0) run.FrameSize = ws.FrameHeight;
    return run;
}

// Settings that would divide by zero or map nonsense: the reason, or empty.
std::string CheckGeometrySettings(const Workspace& ws, const GeometryRun& run) {
    if (run.Width <= 0 || run.Height <= 0) return {};   // nothing is mapped
    const bool curved = run.Shape == DetectorShape::Cylinder || run.Shape == DetectorShape::Sphere;
    if (curved && !(run.Length > 0 && run.Radius > 0))
        return "Curved detector: length and radius must be greater than 0";
    if ((run.Shape == DetectorShape::Flat || run.Shape == DetectorShape::Sphere) && !(run.Distance > 0))
        return "Sample to detector distance must be greater than 0";
    if (run.Shape == DetectorShape::Flat && ws.MergedFrame &&
        ws.MergeColumnTable.size() <= static_cast<size_t>(run.Width))
        return "Merged frame: the column table does not cover the frame";
    return {};
}

// ---- The common rule of every mapper ------------------------------------
//
// Pixels are mapped a block of rows at a time: the mapper fills the block's
// laboratory coordinates, then the angles of two pixels are worked out at
// once. 2-theta is the angle between the beam (Y) and the pixel,
// atan2(sqrt(X^2 + Z^2), Y), which equals arccos(Y / r) but keeps full
// precision next to the beam and opposite it.

using Double2 = double __attribute__((vector_size(16)));
using Mask2 = int64_t __attribute__((vector_size(16)));

constexpr int BlockRows = 128;

struct PixelBlock {
    double X[BlockRows], Y[BlockRows], Z[BlockRows];
};

// Where 2-theta is measured from: the sample, or the cylinder's offset sample.
struct ScatteringOrigin {
    double X = 0, Y = 0;
};

inline Double2 Abs2(Double2 v) { return v < 0.0 ? -v : v; }

// atan2(y, x) in radians, -pi..pi; 0 for (0, 0). A rational approximation
// good to 2.3e-16 relative, as accurate as the C library's, without
// branches; the argument is reduced straight from |y| and |x| so that one
// division serves for the quotient and the reduction.
inline Double2 Atan2(Double2 y, Double2 x) {
    constexpr double Tan3PiOver8 = 2.41421356237309504880;
    constexpr double MoreBits = 6.123233995736765886130e-17;   // pi/2 - double(pi/2)
    const Double2 ax = Abs2(x), ay = Abs2(y);
    // atan(ay/ax) = base + atan(r): r = -ax/ay above tan(3pi/8), else
    // (ay - ax)/(ay + ax) above 0.66, else ay/ax.
    const Mask2 big = ay > Tan3PiOver8 * ax;
    const Mask2 middle = (ay > 0.66 * ax) & ~big;
    const Double2 r = (big ? -ax : (middle ? ay - ax : ay)) / (big ? ay : (middle ? ay + ax : ax));
    const Double2 base = big ? Double2{} + std::numbers::pi / 2 : (middle ? Double2{} + std::numbers::pi / 4 : Double2{});
    const Double2 extra = big ? Double2{} + MoreBits : (middle ? Double2{} + 0.5 * MoreBits : Double2{});
    const Double2 z = r * r;
    const Double2 p =
        (((-8.750608600031904122785e-1 * z - 1.615753718733365076637e1) * z - 7.500855792314704667340e1) * z -
         1.228866684490136173410e2) * z - 6.485021904942025371773e1;
    const Double2 q =
        ((((z + 2.485846490142306297962e1) * z + 1.650270098316988542046e2) * z + 4.328810604912902668951e2) * z +
         4.853903996359136964868e2) * z + 1.945506571482613964425e2;
    Double2 t = base + (r * (z * p / q) + r + extra);
    t = ((ax == 0.0) & (ay == 0.0)) ? Double2{} : t;
    t = x < 0.0 ? std::numbers::pi - t : t;
    return y < 0.0 ? -t : t;
}

inline Double2 Sqrt2(Double2 v) { return Double2{std::sqrt(v[0]), std::sqrt(v[1])}; }

// Psi: 0 to the right of the centre, 90 above it, 180 left, 270 below.
inline Double2 Psi2(Double2 X, Double2 Z) {
    const Double2 p = Atan2(-X, Z) * DegPerRad + 180.0;
    const Double2 psi = p < 270.0 ? p + 90.0 : p - 270.0;
    return Z == 0.0 ? (X > 0.0 ? Double2{} + 180.0 : Double2{}) : psi;
}

// Stores coordinates and angles of n pixels of a block, from pixels[0].
void StoreBlock(FramePixel* pixels, const PixelBlock& b, int n, ScatteringOrigin o, TwoThetaExtrema& e) {
    for (int k = 0; k < n; k += 2) {
        const int k2 = k + 1 < n ? k + 1 : k;   // an odd last pixel is worked twice
        const Double2 X{b.X[k], b.X[k2]}, Y{b.Y[k], b.Y[k2]}, Z{b.Z[k], b.Z[k2]};
        const Double2 dx = X - o.X;
        const Double2 twoTheta = Atan2(Sqrt2(dx * dx + Z * Z), Y - o.Y) * DegPerRad;
        const Double2 psi = Psi2(X, Z);
        for (int lane = 0; lane < 2 && k + lane < n; ++lane) {
            FramePixel& p = pixels[k + lane];
            p.X = static_cast<float>(X[lane]);
            p.Y = static_cast<float>(Y[lane]);
            p.Z = static_cast<float>(Z[lane]);
            p.TwoTheta = static_cast<float>(twoTheta[lane]);
            // Just below 360 can round up when stored; keep 0 <= psi < 360.
            const float stored = static_cast<float>(psi[lane]);
            p.Psi = stored >= 360.0f ? 0.0f : stored;
            e.add(p.TwoTheta);
        }
    }
}

// Runs fill(i, firstRow, rows, block) over every block of rows of columns
// 1..width and stores the angles; in parallel over columns for large frames.
template <class Fill>
TwoThetaExtrema MapColumns(FramePixelArray& frame, const GeometryRun& run, ScatteringOrigin origin, const Fill& fill) {
    const unsigned workers = ParallelWorkerCount(int64_t(run.Width) * run.Height, MinPixelsPerWorker);
    std::vector<TwoThetaExtrema> found(workers);
    ParallelFor(1, run.Width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        TwoThetaExtrema e;
        PixelBlock block;
        for (int32_t i = lo; i <= hi; ++i) {
            FramePixel* column = frame[i];
            for (int32_t j0 = 1; j0 <= run.Height; j0 += BlockRows) {
                const int n = static_cast<int>(std::min<int32_t>(BlockRows, run.Height - j0 + 1));
                fill(i, j0, n, block);
                StoreBlock(column + j0, block, n, origin, e);
            }
        }
        found[worker].merge(e);
    });
    TwoThetaExtrema all;
    for (const auto& e : found) all.merge(e);
    return all;
}

// ---- The mappers ----------------------------------------------------------

// D: sample to detector in pixels; a = Xo - i, b = j - Yo.

TwoThetaExtrema MapFlatDetector(Workspace& ws, const GeometryRun& run, double D) {
    return MapColumns(ws.FramePixels, run, {}, [&](int32_t i, int32_t j0, int n, PixelBlock& b) {
        const double X = run.Xo - i;
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = D;
            b.Z[k] = (j0 + k) - run.Yo;
        }
    });
}

// Detector swung by TwoThetaD about the vertical axis (the columns' plane).
TwoThetaExtrema MapTiltedFlatDetector(Workspace& ws, const GeometryRun& run, double D, double c, double s) {
    return MapColumns(ws.FramePixels, run, {}, [&](int32_t i, int32_t j0, int n, PixelBlock& b) {
        const double a = run.Xo - i;
        const double X = a * c + D * s;
        const double Y = -a * s + D * c;
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = Y;
            b.Z[k] = (j0 + k) - run.Yo;
        }
    });
}

// Detector swung by TwoThetaD in the vertical plane (the rows' plane).
TwoThetaExtrema MapVerticalTiltedFlatDetector(Workspace& ws, const GeometryRun& run, double D, double c,
                                              double s) {
    return MapColumns(ws.FramePixels, run, {}, [&](int32_t i, int32_t j0, int n, PixelBlock& b) {
        const double X = run.Xo - i;
        for (int k = 0; k < n; ++k) {
            const double rb = (j0 + k) - run.Yo;
            b.X[k] = X;
            b.Y[k] = D * c + rb * s;
            b.Z[k] = -D * s + rb * c;
        }
    });
}

// A frame stitched from several detector angles: each column keeps the
// angle and the column it came from.
TwoThetaExtrema MapMergedFlatDetector(Workspace& ws, const GeometryRun& run, double D) {
    const auto& table = ws.MergeColumnTable;
    return MapColumns(ws.FramePixels, run, {}, [&](int32_t i, int32_t j0, int n, PixelBlock& b) {
        const MergeColumn& m = table[static_cast<size_t>(i)];
        const double alpha = m.TwoThetaD * RadPerDeg;
        const double c = std::cos(alpha), s = std::sin(alpha);
        const double a = run.Xo - m.SourceColumn;
        const double X = a * c + D * s;
        const double Y = -a * s + D * c;
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = Y;
            b.Z[k] = (j0 + k) - run.Yo;
        }
    });
}

// Sets the curved detector's pixel size, radius in pixels and degrees per
// pixel from its length and radius; answers the degrees per pixel in double.
double SetCurvedDetectorScale(Workspace& ws, const GeometryRun& run) {
    ws.DSize = run.Length;
    ws.PixelSize = ws.DSize / ws.FrameWidth;
    ws.DistancePixels = run.Radius / ws.PixelSize;
    const double degreesPerPixel = 360.0 / (2.0 * std::numbers::pi * ws.DistancePixels);
    ws.DegreesPerPixel = static_cast<float>(degreesPerPixel);
    return degreesPerPixel;
}

// Columns along an arc about the sample, rows along its axis. A sample
// offset (typed in mm, like the calibration fit reports it) moves the point
// 2-theta is measured from, not psi.
TwoThetaExtrema MapCylindricalDetector(Workspace& ws, const GeometryRun& run) {
    const double dpp = SetCurvedDetectorScale(ws, run);
    ws.Form32.EAMax = FormatNumber((run.Xo - ws.FrameWidth) * dpp, 7, 1);
    const double R = ws.DistancePixels;
    const ScatteringOrigin sample{run.SampleX / ws.PixelSize, run.SampleY / ws.PixelSize};
    return MapColumns(ws.FramePixels, run, sample, [&](int32_t i, int32_t j0, int n, PixelBlock& b) {
        const double A = (run.Xo - i) * dpp * RadPerDeg;
        const double X = R * std::sin(A);
        const double Y = R * std::cos(A);
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = Y;
            b.Z[k] = (j0 + k) - run.Yo;
        }
    });
}

// A spherical detector about the sample, swung by TwoThetaD.
TwoThetaExtrema MapSphericalDetector(Workspace& ws, const GeometryRun& run, double D, double c, double s) {
    ws.SlitDetector = ws.Form32.CBSlitDetector ? 1 : 0;
    const double dpp = SetCurvedDetectorScale(ws, run);
    const double R = ws.DistancePixels;
    return MapColumns(ws.FramePixels, run, {}, [&](int32_t i, int32_t j0, int n, PixelBlock& b) {
        const double a = run.Xo - i;
        for (int k = 0; k < n; ++k) {
            const double rb = (j0 + k) - run.Yo;
            const double d = std::sqrt(a * a + rb * rb);
            const double t = d * dpp * RadPerDeg;
            const double Y0 = R * std::cos(t) + D - R;
            double X0 = 0, Z0 = 0;
            if (d != 0) {
                const double rsin = R * std::sin(t) / d;
                X0 = rsin * a;
                Z0 = rsin * rb;
            }
            b.X[k] = X0 * c + Y0 * s;
            b.Y[k] = -X0 * s + Y0 * c;
            b.Z[k] = Z0;
        }
    });
}

// ---- Adjust 2-theta maximum ---------------------------------------------

// Scales every pixel's 2-theta so that the strongest bin inside the sector
// lands on the target angle.
void AdjustTwoThetaMaximum(Workspace& ws, Host& host, double target) {
    ws.ProfileTopIntensity = 0;
    if (target > 90 || target < 0.1) {
        target = 20;
        ws.FSetup.E2ThetaMax = FormatNumber(target);
        host.message("2theta angle to adjust the maximum is out of limits (0.1-90)");
    }
    double measured = target;
    const int32_t first = std::max(0, RoundToInt(ws.ScanPoints * 0.1));
    const int32_t last = std::min(ProfileLength - 1, RoundToInt(ws.ScanPoints * 0.9));
    for (int32_t k = first; k <= last; ++k) {
        const ProfilePoint& p = ws.FrameProfileCopy[static_cast<size_t>(k)];
        // A bin at 0 degrees cannot be scaled to the target.
        if (ws.SectorTwoTheta1 < p.TwoTheta && p.TwoTheta < ws.SectorTwoTheta2 && p.TwoTheta > 0 &&
            p.Intensity > ws.ProfileTopIntensity) {
            ws.ProfileTopIntensity = p.Intensity;
            measured = p.TwoTheta;
        }
    }
    const double factor = target / measured;

    const int32_t width = std::min(ws.FrameWidth, ws.FramePixels.width());
    const int32_t height = std::min(ws.FrameHeight, ws.FramePixels.height());
    const unsigned workers = ParallelWorkerCount(int64_t(width) * height, MinPixelsPerWorker);
    ParallelFor(1, width, workers, [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t i = lo; i <= hi; ++i) {
            FramePixel* col = ws.FramePixels[i];
            for (int32_t j = 1; j <= height; ++j) col[j].TwoTheta = static_cast<float>(col[j].TwoTheta * factor);
        }
    });

    // Bin 0 moves with the pixels, so bins and pixels keep agreeing.
    ws.TwoThetaStep = static_cast<float>(ws.TwoThetaStep * factor);
    ws.MinTwoTheta = static_cast<float>(ws.MinTwoTheta * factor);
    ws.MaxTwoTheta = static_cast<float>(ws.MaxTwoTheta * factor);
    ws.LargestTwoTheta = static_cast<float>(ws.LargestTwoTheta * factor);
    const int32_t lastBin = std::min(ws.ScanPoints, ProfileLength - 1);
    for (int32_t k = 0; k <= lastBin; ++k) {
        const float label = static_cast<float>(k * double(ws.TwoThetaStep) + ws.MinTwoTheta);
        ws.FrameProfile[static_cast<size_t>(k)].TwoTheta = label;
        ws.FrameProfileCopy[static_cast<size_t>(k)].TwoTheta = label;
        if (k < static_cast<int32_t>(ws.RingProfile.size())) ws.RingProfile[static_cast<size_t>(k)].TwoTheta = label;
    }
}

// The step as the edit box shows it: the grid value, not its float neighbour.
std::string FormatStep(float step) { return FormatNumber(RoundHalfEven(step / 0.0025) * 0.0025); }

} // namespace

bool ComputeFrameGeometry(Workspace& ws, Host& host) {
    const GeometryRun run = ReadGeometrySettings(ws);
    if (const std::string problem = CheckGeometrySettings(ws, run); !problem.empty()) {
        host.message(problem);
        return false;
    }

    ws.Xo = run.Xo;
    ws.Yo = run.Yo;
    ws.DSize = run.DSize;
    ws.Distance = run.Distance;
    ws.TwoThetaD = run.TwoThetaD;
    ws.FlatDetector = run.FlatDetector;
    if (run.EDSizeText) ws.Form32.EDSize = *run.EDSizeText;
    if (run.ELengthText) ws.Form32.ELength = *run.ELengthText;
    if (run.EHeightText) ws.Form32.EHeight = *run.EHeightText;
    ws.FrameSize = run.FrameSize;

    const double D = double(run.FrameSize) * run.Distance / run.DSize;
    ws.FlatDistancePixels = static_cast<float>(D);
    ws.MinTwoTheta = 90;
    ws.MaxTwoTheta = 0;
    ws.LargestTwoTheta = 0;
    ws.SlitDetector = 0;
    const double alpha = run.TwoThetaD * RadPerDeg;
    const double c = std::cos(alpha), s = std::sin(alpha);
    for (size_t k = 1; k < ws.RingProfile.size(); ++k) ws.RingProfile[k].Value = 0;
    ws.ScanPoints = MaxScanPoints;

    TwoThetaExtrema found;
    const bool mapped = run.Width > 0 && run.Height > 0;
    if (mapped) {
        switch (run.Shape) {
        case DetectorShape::Flat:
            if (ws.MergedFrame)
                found = MapMergedFlatDetector(ws, run, D);
            else if (run.TwoThetaD == 0)
                found = MapFlatDetector(ws, run, D);
            else if (ws.Form28.CBVertical)
                found = MapVerticalTiltedFlatDetector(ws, run, D, c, s);
            else
                found = MapTiltedFlatDetector(ws, run, D, c, s);
            break;
        case DetectorShape::Cylinder:
            found = MapCylindricalDetector(ws, run);
            break;
        case DetectorShape::Sphere:
            found = MapSphericalDetector(ws, run, D, c, s);
            break;
        case DetectorShape::None:
            break;
        }
    }
    ws.MinTwoTheta = found.Min;
    ws.MaxTwoTheta = found.Max;
    ws.LargestTwoTheta = found.Max;

    if (ws.FrameSize <= 0 || !mapped) return true;

    const TwoThetaGrid grid = ChooseTwoThetaGrid(ws.MinTwoTheta, ws.MaxTwoTheta, ws.FrameWidth, ws.Xo,
                                                 ws.SlitDetector != 0, run.FixedStep);
    ws.TwoThetaStep = grid.Step;
    ws.FSetup.Eth2step = FormatStep(grid.Step);
    ws.MinTwoTheta = grid.MinTwoTheta;
    BinFrameProfile(ws);
    if (run.AdjustTarget) AdjustTwoThetaMaximum(ws, host, *run.AdjustTarget);
    return true;
}

} // namespace orv
