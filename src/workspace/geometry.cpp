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

inline double TwoThetaFromBeamCosine(double q) { return std::acos(std::clamp(q, -1.0, 1.0)) * DegPerRad; }

inline double TwoThetaOf(double X, double Y, double Z) {
    const double r = std::sqrt(X * X + Y * Y + Z * Z);
    return r == 0 ? 0.0 : TwoThetaFromBeamCosine(Y / r);
}

// Psi: 0 to the right of the centre, 90 above it, 180 left, 270 below.
inline float PsiOf(double X, double Z) {
    double psi;
    if (Z != 0) {
        const double p = std::atan2(-X, Z) * DegPerRad + 180.0;
        psi = p < 270.0 ? p + 90.0 : p - 270.0;
    } else {
        psi = X > 0 ? 180.0 : 0.0;
    }
    // Just below 360 can round up when stored; keep 0 <= psi < 360.
    const float stored = static_cast<float>(psi);
    return stored >= 360.0f ? 0.0f : stored;
}

inline void StorePixel(FramePixel& p, double X, double Y, double Z, double twoTheta, TwoThetaExtrema& e) {
    p.X = static_cast<float>(X);
    p.Y = static_cast<float>(Y);
    p.Z = static_cast<float>(Z);
    p.TwoTheta = static_cast<float>(twoTheta);
    p.Psi = PsiOf(X, Z);
    e.add(p.TwoTheta);
}

// Runs column(i, pixels of column i, extrema) over columns 1..width, in
// parallel for large frames.
template <class Column>
TwoThetaExtrema MapColumns(FramePixelArray& frame, int32_t width, int32_t height, const Column& column) {
    const unsigned workers = ParallelWorkerCount(int64_t(width) * height, MinPixelsPerWorker);
    std::vector<TwoThetaExtrema> found(workers);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        TwoThetaExtrema e;
        for (int32_t i = lo; i <= hi; ++i) column(i, frame[i], e);
        found[worker].merge(e);
    });
    TwoThetaExtrema all;
    for (const auto& e : found) all.merge(e);
    return all;
}

// ---- The mappers ----------------------------------------------------------

// D: sample to detector in pixels; a = Xo - i, b = j - Yo.

TwoThetaExtrema MapFlatDetector(Workspace& ws, const GeometryRun& run, double D) {
    return MapColumns(ws.FramePixels, run.Width, run.Height, [&](int32_t i, FramePixel* col, TwoThetaExtrema& e) {
        const double X = run.Xo - i;
        for (int32_t j = 1; j <= run.Height; ++j) {
            const double Z = j - run.Yo;
            StorePixel(col[j], X, D, Z, TwoThetaOf(X, D, Z), e);
        }
    });
}

// Detector swung by TwoThetaD about the vertical axis (the columns' plane).
TwoThetaExtrema MapTiltedFlatDetector(Workspace& ws, const GeometryRun& run, double D, double c, double s) {
    return MapColumns(ws.FramePixels, run.Width, run.Height, [&](int32_t i, FramePixel* col, TwoThetaExtrema& e) {
        const double a = run.Xo - i;
        const double X = a * c + D * s;
        const double Y = -a * s + D * c;
        for (int32_t j = 1; j <= run.Height; ++j) {
            const double Z = j - run.Yo;
            StorePixel(col[j], X, Y, Z, TwoThetaOf(X, Y, Z), e);
        }
    });
}

// Detector swung by TwoThetaD in the vertical plane (the rows' plane).
TwoThetaExtrema MapVerticalTiltedFlatDetector(Workspace& ws, const GeometryRun& run, double D, double c,
                                              double s) {
    return MapColumns(ws.FramePixels, run.Width, run.Height, [&](int32_t i, FramePixel* col, TwoThetaExtrema& e) {
        const double X = run.Xo - i;
        for (int32_t j = 1; j <= run.Height; ++j) {
            const double b = j - run.Yo;
            const double Y = D * c + b * s;
            const double Z = -D * s + b * c;
            StorePixel(col[j], X, Y, Z, TwoThetaOf(X, Y, Z), e);
        }
    });
}

// A frame stitched from several detector angles: each column keeps the
// angle and the column it came from.
TwoThetaExtrema MapMergedFlatDetector(Workspace& ws, const GeometryRun& run, double D) {
    const auto& table = ws.MergeColumnTable;
    return MapColumns(ws.FramePixels, run.Width, run.Height, [&](int32_t i, FramePixel* col, TwoThetaExtrema& e) {
        const double alpha = table[static_cast<size_t>(i)].TwoThetaD * RadPerDeg;
        const double c = std::cos(alpha), s = std::sin(alpha);
        const double a = run.Xo - table[static_cast<size_t>(i)].SourceColumn;
        const double X = a * c + D * s;
        const double Y = -a * s + D * c;
        for (int32_t j = 1; j <= run.Height; ++j) {
            const double Z = j - run.Yo;
            StorePixel(col[j], X, Y, Z, TwoThetaOf(X, Y, Z), e);
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

// Columns along an arc about the sample, rows along its axis.
TwoThetaExtrema MapCylindricalDetector(Workspace& ws, const GeometryRun& run) {
    const double dpp = SetCurvedDetectorScale(ws, run);
    ws.Form32.EAMax = FormatNumber((run.Xo - ws.FrameWidth) * dpp, 7, 1);
    const double R = ws.DistancePixels;
    const double Sx = run.SampleX, Sy = run.SampleY;
    return MapColumns(ws.FramePixels, run.Width, run.Height, [&](int32_t i, FramePixel* col, TwoThetaExtrema& e) {
        const double A = (run.Xo - i) * dpp * RadPerDeg;
        const double X = R * std::sin(A);
        const double Y = R * std::cos(A);
        for (int32_t j = 1; j <= run.Height; ++j) {
            const double Z = j - run.Yo;
            const double rs = std::sqrt((X - Sx) * (X - Sx) + (Y - Sy) * (Y - Sy) + Z * Z);
            const double q = rs == 0 ? 1.0 : (Y - Sy) / rs;
            StorePixel(col[j], X, Y, Z, TwoThetaFromBeamCosine(q), e);
        }
    });
}

// A spherical detector about the sample, swung by TwoThetaD.
TwoThetaExtrema MapSphericalDetector(Workspace& ws, const GeometryRun& run, double D, double c, double s) {
    ws.SlitDetector = ws.Form32.CBSlitDetector ? 1 : 0;
    const double dpp = SetCurvedDetectorScale(ws, run);
    const double R = ws.DistancePixels;
    return MapColumns(ws.FramePixels, run.Width, run.Height, [&](int32_t i, FramePixel* col, TwoThetaExtrema& e) {
        const double a = run.Xo - i;
        for (int32_t j = 1; j <= run.Height; ++j) {
            const double b = j - run.Yo;
            const double d = std::sqrt(a * a + b * b);
            const double t = d * dpp * RadPerDeg;
            const double Y0 = R * std::cos(t) + D - R;
            double X0 = 0, Z0 = 0;
            if (d != 0) {
                const double rsin = R * std::sin(t) / d;
                X0 = rsin * a;
                Z0 = rsin * b;
            }
            const double X = X0 * c + Y0 * s;
            const double Y = -X0 * s + Y0 * c;
            StorePixel(col[j], X, Y, Z0, TwoThetaOf(X, Y, Z0), e);
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

void ComputeFrameGeometry(Workspace& ws, Host& host) {
    const GeometryRun run = ReadGeometrySettings(ws);
    if (const std::string problem = CheckGeometrySettings(ws, run); !problem.empty()) {
        host.message(problem);
        return;
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

    if (ws.FrameSize <= 0 || !mapped) return;

    const TwoThetaGrid grid = ChooseTwoThetaGrid(ws.MinTwoTheta, ws.MaxTwoTheta, ws.FrameWidth, ws.Xo,
                                                 ws.SlitDetector != 0, run.FixedStep);
    ws.TwoThetaStep = grid.Step;
    ws.FSetup.Eth2step = FormatStep(grid.Step);
    ws.MinTwoTheta = grid.MinTwoTheta;
    BinFrameProfile(ws);
    if (run.AdjustTarget) AdjustTwoThetaMaximum(ws, host, *run.AdjustTarget);
}

} // namespace orv
