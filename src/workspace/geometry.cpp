#include "workspace/geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <numbers>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

#include "workspace/host.h"
#include "base/numbers.h"
#include "base/parallel.h"
#include "workspace/workspace.h"

// The 4-lane vectors below never cross a call (their functions are always
// inlined), so the note that their calling convention differs with and
// without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace orv {

namespace {

constexpr double DegPerRad = 180.0 / std::numbers::pi;
constexpr double RadPerDeg = std::numbers::pi / 180.0;

// Below this many pixels per thread, starting threads costs more than it saves.
constexpr int64_t MinPixelsPerWorker = 65536;

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
// laboratory coordinates, then the angles of four pixels are worked out at
// once (in two halves where the processor has no 4-wide vectors). 2-theta is the angle between the beam (Y) and the pixel,
// atan2(sqrt(X^2 + Z^2), Y), which equals arccos(Y / r) but keeps full
// precision next to the beam and opposite it.

using Double2 = double __attribute__((vector_size(32)));   // four lanes
using Mask2 = int64_t __attribute__((vector_size(32)));

constexpr int BlockRows = 128;

struct PixelBlock {
    double X[BlockRows], Y[BlockRows], Z[BlockRows];
};

[[gnu::always_inline]] inline Double2 Abs2(const Double2& v) { return v < 0.0 ? -v : v; }

// atan2(y, x) in radians, -pi..pi; 0 for (0, 0). A rational approximation
// good to 2.3e-16 relative, as accurate as the C library's, without
// branches; the argument is reduced straight from |y| and |x| so that one
// division serves for the quotient and the reduction.
[[gnu::always_inline]] inline Double2 Atan2(const Double2& y, const Double2& x) {
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

[[gnu::always_inline]] inline Double2 Sqrt2(const Double2& v) { return Double2{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])}; }

// Psi: 0 to the right of the centre, 90 above it, 180 left, 270 below.
[[gnu::always_inline]] inline Double2 Psi2(const Double2& X, const Double2& Z) {
    const Double2 p = Atan2(-X, Z) * DegPerRad + 180.0;
    const Double2 psi = p < 270.0 ? p + 90.0 : p - 270.0;
    return Z == 0.0 ? (X > 0.0 ? Double2{} + 180.0 : Double2{}) : psi;
}

// The merged frame's column of a point: the pixel whose centre is nearest.
inline int64_t MergeColumnOf(int32_t i) { return i; }
inline int64_t MergeColumnOf(double x) { return static_cast<int64_t>(std::nearbyint(x)); }

// Fills the laboratory coordinates of rows j0 .. j0 + n - 1 of column i
// (n <= BlockRows) as the mapping in use computes them. Pixels pass whole
// numbers; a point between pixel centres (the calibration's ring centroids)
// passes its fractional column and row, mapped by the same formulas.
template <class Index, class Block>
[[gnu::always_inline]] inline void FillBlock(const DetectorMapping& m, Index i, Index j0, int n, Block& b) {
    using Kind = DetectorMapping::Kind;
    switch (m.Mapper) {
    case Kind::None:
        for (int k = 0; k < n; ++k) b.X[k] = b.Y[k] = b.Z[k] = 0;
        return;
    case Kind::Flat: {
        const double X = m.Xo - i;
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = m.D;
            b.Z[k] = (j0 + k) - m.Yo;
        }
        return;
    }
    case Kind::Tilted: {
        // Detector swung by TwoThetaD about the vertical axis (the columns' plane).
        const double a = m.Xo - i;
        const double X = a * m.Cos + m.D * m.Sin;
        const double Y = -a * m.Sin + m.D * m.Cos;
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = Y;
            b.Z[k] = (j0 + k) - m.Yo;
        }
        return;
    }
    case Kind::VerticalTilted: {
        // Detector swung by TwoThetaD in the vertical plane (the rows' plane).
        const double X = m.Xo - i;
        for (int k = 0; k < n; ++k) {
            const double rb = (j0 + k) - m.Yo;
            b.X[k] = X;
            b.Y[k] = m.D * m.Cos + rb * m.Sin;
            b.Z[k] = -m.D * m.Sin + rb * m.Cos;
        }
        return;
    }
    case Kind::Merged: {
        // A frame stitched from several detector angles: each column keeps
        // the angle and the column it came from.
        const int64_t column = MergeColumnOf(i);
        if (column < 0 || static_cast<uint64_t>(column) >= m.MergeColumns.size()) {
            for (int k = 0; k < n; ++k) b.X[k] = b.Y[k] = b.Z[k] = 0;
            return;
        }
        const MergeColumn& mc = m.MergeColumns[static_cast<size_t>(column)];
        const double alpha = mc.TwoThetaD * RadPerDeg;
        const double c = std::cos(alpha), s = std::sin(alpha);
        const double a = m.Xo - mc.SourceColumn;
        const double X = a * c + m.D * s;
        const double Y = -a * s + m.D * c;
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = Y;
            b.Z[k] = (j0 + k) - m.Yo;
        }
        return;
    }
    case Kind::Cylinder: {
        // Columns along an arc about the sample, rows along its axis.
        const double A = (m.Xo - i) * m.DegreesPerPixel * RadPerDeg;
        const double X = m.Radius * std::sin(A);
        const double Y = m.Radius * std::cos(A);
        for (int k = 0; k < n; ++k) {
            b.X[k] = X;
            b.Y[k] = Y;
            b.Z[k] = (j0 + k) - m.Yo;
        }
        return;
    }
    case Kind::Sphere: {
        // A spherical detector about the sample, swung by TwoThetaD.
        const double a = m.Xo - i;
        const double R = m.Radius;
        for (int k = 0; k < n; ++k) {
            const double rb = (j0 + k) - m.Yo;
            const double d = std::sqrt(a * a + rb * rb);
            const double t = d * m.DegreesPerPixel * RadPerDeg;
            const double Y0 = R * std::cos(t) + m.D - R;
            double X0 = 0, Z0 = 0;
            if (d != 0) {
                const double rsin = R * std::sin(t) / d;
                X0 = rsin * a;
                Z0 = rsin * rb;
            }
            b.X[k] = X0 * m.Cos + Y0 * m.Sin;
            b.Y[k] = -X0 * m.Sin + Y0 * m.Cos;
            b.Z[k] = Z0;
        }
        return;
    }
    }
}

// Stores the angles of n pixels of a block, from twoTheta[0] and psi[0].
// Points k..k+3 of a block of n; the last point is worked again in lanes past the end.
[[gnu::always_inline]] inline Double2 Lanes(const double* v, int k, int n) {
    return Double2{v[k], v[std::min(k + 1, n - 1)], v[std::min(k + 2, n - 1)], v[std::min(k + 3, n - 1)]};
}

// The 2-theta (degrees) of four laboratory points.
[[gnu::always_inline]] inline Double2 TwoThetaLanes(const Double2& X, const Double2& Y, const Double2& Z,
                                                    const DetectorMapping& m) {
    const Double2 dx = X - m.OriginX;
    return Atan2(Sqrt2(dx * dx + Z * Z), Y - m.OriginY) * DegPerRad;
}

[[gnu::always_inline]] inline void StoreBlock(float* twoTheta, float* psi, const PixelBlock& b, int n,
                                              const DetectorMapping& m, TwoThetaExtrema& e) {
    for (int k = 0; k < n; k += 4) {
        const Double2 X = Lanes(b.X, k, n), Y = Lanes(b.Y, k, n), Z = Lanes(b.Z, k, n);
        const Double2 t = TwoThetaLanes(X, Y, Z, m);
        const Double2 p = Psi2(X, Z);
        for (int lane = 0; lane < 4 && k + lane < n; ++lane) {
            const float tt = static_cast<float>(t[lane]);
            twoTheta[k + lane] = tt;
            // Just below 360 can round up when stored; keep 0 <= psi < 360.
            const float stored = static_cast<float>(p[lane]);
            psi[k + lane] = stored >= 360.0f ? 0.0f : stored;
            e.add(tt);
        }
    }
}

// Maps rows 1..height of column i. Compiled twice, for processors with
// 4-wide vectors and for all others: the same operations, lane by lane, so
// the same angles.
// Rows first..last of column i, in blocks of BlockRows rows from row 1
// (`first` is 1 or the first row of a block).
[[gnu::target_clones("avx2", "default")]] void MapColumn(FrameGeometry& g, int32_t i, int32_t first, int32_t last,
                                                                         TwoThetaExtrema& e) {
    PixelBlock block;
    float* twoTheta = g.TwoTheta[i];
    float* psi = g.Psi[i];
    for (int32_t j0 = first; j0 <= last; j0 += BlockRows) {
        const int n = static_cast<int>(std::min<int32_t>(BlockRows, last - j0 + 1));
        FillBlock(g.Mapping, i, j0, n, block);
        StoreBlock(twoTheta + j0, psi + j0, block, n, g.Mapping, e);
    }
}

// Maps every pixel of columns 1..width, rows 1..height of the geometry's
// planes, and bounds every column of the planes while it is at hand; in
// parallel over columns for large frames, and over runs of rows too when
// the frame has few columns (every pixel is mapped alone, so any split
// gives the same planes).
TwoThetaExtrema MapPixels(FrameGeometry& g, int32_t width, int32_t height) {
    g.Bounds.resize(g.BoundsBlocks() * static_cast<size_t>(g.TwoTheta.width()));
    const unsigned workers = ParallelWorkerCount(int64_t(width) * height, MinPixelsPerWorker);
    std::vector<TwoThetaExtrema> found(workers);
    if (width < static_cast<int32_t>(4 * workers)) {
        // Runs of whole blocks of rows (a multiple of both block heights).
        constexpr int32_t RunRows = BlockRows * AngleBoundsRows;
        const int32_t runs = (height + RunRows - 1) / RunRows;
        ParallelFor(0, width * runs - 1, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
            TwoThetaExtrema e;
            for (int32_t item = lo; item <= hi; ++item) {
                const int32_t i = item / runs + 1, first = (item % runs) * RunRows + 1;
                const int32_t last = std::min(height, first + RunRows - 1);
                MapColumn(g, i, first, last, e);
                g.BoundRows(i, first, last == height ? g.TwoTheta.height() : last);
            }
            found[worker].merge(e);
        });
    } else {
        ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
            TwoThetaExtrema e;
            for (int32_t i = lo; i <= hi; ++i) {
                MapColumn(g, i, 1, height, e);
                g.BoundColumn(i);
            }
            found[worker].merge(e);
        });
    }
    for (int32_t i = width + 1; i <= g.TwoTheta.width(); ++i) g.BoundColumn(i);
    TwoThetaExtrema all;
    for (const auto& e : found) all.merge(e);
    return all;
}

// The curved detector's scale from its length and radius (both mm) and the
// frame width.
struct CurvedScale {
    double PixelSize = 0, DistancePixels = 0, DegreesPerPixel = 0;
};
CurvedScale CurvedDetectorScale(double length, double radius, int32_t frameWidth) {
    CurvedScale c;
    c.PixelSize = length / frameWidth;
    c.DistancePixels = radius / c.PixelSize;
    c.DegreesPerPixel = 360.0 / (2.0 * std::numbers::pi * c.DistancePixels);
    return c;
}

GeometryKey MakeGeometryKey(const Workspace& ws, const GeometryRun& run) {
    GeometryKey k;
    k.Width = run.Width;
    k.Height = run.Height;
    k.PlaneWidth = ws.FramePixels.width();
    k.PlaneHeight = ws.FramePixels.height();
    k.FrameWidth = ws.FrameWidth;
    k.FrameSize = run.FrameSize;
    k.Shape = run.Shape;
    k.Landa = ws.Landa;
    k.Xo = run.Xo;
    k.Yo = run.Yo;
    k.Distance = run.Distance;
    k.DSize = run.DSize;
    k.TwoThetaD = run.TwoThetaD;
    k.VerticalTilt = ws.Form28.CBVertical;
    k.Merged = run.Shape == DetectorShape::Flat && ws.MergedFrame;
    if (k.Merged) k.MergeColumns = ws.MergeColumnTable;
    k.Length = run.Length;
    k.Radius = run.Radius;
    k.SampleX = run.SampleX;
    k.SampleY = run.SampleY;
    return k;
}

DetectorMapping MappingOfKey(const GeometryKey& k) {
    using Kind = DetectorMapping::Kind;
    DetectorMapping m;
    m.Xo = k.Xo;
    m.Yo = k.Yo;
    m.D = double(k.FrameSize) * k.Distance / k.DSize;
    const double alpha = k.TwoThetaD * RadPerDeg;
    m.Cos = std::cos(alpha);
    m.Sin = std::sin(alpha);
    switch (k.Shape) {
    case DetectorShape::Flat:
        if (k.Merged) {
            m.Mapper = Kind::Merged;
            m.MergeColumns = k.MergeColumns;
        } else if (k.TwoThetaD == 0) {
            m.Mapper = Kind::Flat;
        } else {
            m.Mapper = k.VerticalTilt ? Kind::VerticalTilted : Kind::Tilted;
        }
        break;
    case DetectorShape::Cylinder: {
        const CurvedScale c = CurvedDetectorScale(k.Length, k.Radius, k.FrameWidth);
        m.Mapper = Kind::Cylinder;
        m.Radius = c.DistancePixels;
        m.DegreesPerPixel = c.DegreesPerPixel;
        // A sample offset (typed in mm, like the calibration fit reports it)
        // moves the point 2-theta is measured from, not psi.
        m.OriginX = k.SampleX / c.PixelSize;
        m.OriginY = k.SampleY / c.PixelSize;
        break;
    }
    case DetectorShape::Sphere: {
        const CurvedScale c = CurvedDetectorScale(k.Length, k.Radius, k.FrameWidth);
        m.Mapper = Kind::Sphere;
        m.Radius = c.DistancePixels;
        m.DegreesPerPixel = c.DegreesPerPixel;
        break;
    }
    case DetectorShape::None:
        break;
    }
    return m;
}

// The geometry of `key`: the cached one when the key is unchanged, else
// computed (into the cached geometry's memory when nothing else holds it).
std::shared_ptr<const FrameGeometry> FindOrMapGeometry(Workspace& ws, GeometryKey key) {
    if (auto cached = ws.GeometryCache.Find(key)) return cached;
    // The frame's reference goes first, so the old planes can be reused.
    if (ws.FramePixels.Geometry() && ws.FramePixels.SharedGeometry().use_count() <= 2)
        ws.FramePixels.SetGeometry(nullptr);
    std::shared_ptr<FrameGeometry> g = ws.GeometryCache.Recycle();
    g->Mapping = MappingOfKey(key);
    if (key.Width == key.PlaneWidth && key.Height == key.PlaneHeight) {
        g->TwoTheta.resize(key.PlaneWidth, key.PlaneHeight);
        g->Psi.resize(key.PlaneWidth, key.PlaneHeight);
    } else {
        // Pixels of the allocation outside the frame keep angles of 0.
        g->TwoTheta.assign(key.PlaneWidth, key.PlaneHeight, 0.0f);
        g->Psi.assign(key.PlaneWidth, key.PlaneHeight, 0.0f);
    }
    const TwoThetaExtrema found = MapPixels(*g, key.Width, key.Height);
    g->MinTwoTheta = found.Min;
    g->MaxTwoTheta = found.Max;
    g->Key = std::move(key);
    ws.GeometryCache.Store(g);
    return g;
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

    // The shared geometry stays as it is: this frame gets a 2-theta plane of
    // its own.
    if (ws.FramePixels.HasGeometry()) {
        const FramePlane<float>& base = ws.FramePixels.TwoTheta.plane();
        auto scaled = std::make_shared<FramePlane<float>>();
        scaled->resize(base.width(), base.height());
        const int32_t width = std::min(ws.FrameWidth, base.width());
        const int32_t height = std::min(ws.FrameHeight, base.height());
        const unsigned workers = ParallelWorkerCount(int64_t(base.width() + 2) * (base.height() + 2), MinPixelsPerWorker);
        ParallelFor(0, base.width() + 1, workers, [&](unsigned, int32_t lo, int32_t hi) {
            for (int32_t i = lo; i <= hi; ++i) {
                const float* from = base[i];
                float* to = (*scaled)[i];
                std::copy(from, from + base.height() + 2, to);
                if (i < 1 || i > width) continue;
                for (int32_t j = 1; j <= height; ++j) to[j] = static_cast<float>(from[j] * factor);
            }
        });
        ws.FramePixels.SetFrameTwoTheta(std::move(scaled));
    }

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

namespace {

struct Centre {
    double Xo, Yo;
};

bool MapFrame(Workspace& ws, Host& host, const std::optional<Centre>& centre) {
    GeometryRun run = ReadGeometrySettings(ws);
    if (centre) {
        run.Xo = centre->Xo;
        run.Yo = centre->Yo;
    }
    if (const std::string problem = CheckGeometrySettings(ws, run); !problem.empty()) {
        host.message(problem);
        return false;
    }

    // Scans kept of the frame belong to the geometry it had.
    ws.FrameScans.Drop();
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
    for (size_t k = 1; k < ws.RingProfile.size(); ++k) ws.RingProfile[k].Value = 0;
    ws.ScanPoints = MaxScanPoints;

    const bool mapped = run.Width > 0 && run.Height > 0;
    const bool curved = run.Shape == DetectorShape::Cylinder || run.Shape == DetectorShape::Sphere;
    if (mapped && curved) {
        // The curved detector's scale, as the settings windows show it.
        const CurvedScale scale = CurvedDetectorScale(run.Length, run.Radius, ws.FrameWidth);
        ws.DSize = run.Length;
        ws.PixelSize = scale.PixelSize;
        ws.DistancePixels = scale.DistancePixels;
        ws.DegreesPerPixel = static_cast<float>(scale.DegreesPerPixel);
        if (run.Shape == DetectorShape::Cylinder)
            ws.Form32.EAMax = FormatNumber((run.Xo - ws.FrameWidth) * scale.DegreesPerPixel, 7, 1);
        else
            ws.SlitDetector = ws.Form32.CBSlitDetector ? 1 : 0;
    }

    TwoThetaExtrema found;
    if (mapped && run.Shape != DetectorShape::None) {
        try {
            ws.FramePixels.SetGeometry(FindOrMapGeometry(ws, MakeGeometryKey(ws, run)));
        } catch (const std::bad_alloc&) {
            // The frame keeps no angles rather than another geometry's.
            ws.FramePixels.SetGeometry(nullptr);
            ws.MinTwoTheta = found.Min;
            ws.MaxTwoTheta = ws.LargestTwoTheta = found.Max;
            host.message("Not enough memory for the geometry of a " + std::to_string(run.Width) + " x " +
                         std::to_string(run.Height) + " frame");
            return false;
        }
        found.Min = ws.FramePixels.Geometry()->MinTwoTheta;
        found.Max = ws.FramePixels.Geometry()->MaxTwoTheta;
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

} // namespace

bool ComputeFrameGeometry(Workspace& ws, Host& host) { return MapFrame(ws, host, std::nullopt); }

bool ComputeFrameGeometry(Workspace& ws, Host& host, double xo, double yo) {
    return MapFrame(ws, host, Centre{xo, yo});
}

DetectorMapping MakeDetectorMapping(const GeometryKey& key) { return MappingOfKey(key); }

LabVector MapFramePoint(const DetectorMapping& m, double x, double y) {
    struct {
        double X[1], Y[1], Z[1];
    } block{};
    FillBlock(m, x, y, 1, block);
    return {block.X[0], block.Y[0], block.Z[0]};
}

// The 2-theta of the n points of a filled block, as StoreBlock works them out.
[[gnu::always_inline]] inline void StoreTwoThetaBlock(float* out, const PixelBlock& b, int n, const DetectorMapping& m) {
    for (int k = 0; k < n; k += 4) {
        const Double2 t = TwoThetaLanes(Lanes(b.X, k, n), Lanes(b.Y, k, n), Lanes(b.Z, k, n), m);
        for (int lane = 0; lane < 4 && k + lane < n; ++lane) out[k + lane] = static_cast<float>(t[lane]);
    }
}

[[gnu::target_clones("avx2", "default")]] void MapTwoThetaColumn(const DetectorMapping& m, double x, double firstY,
                                                                 int32_t count, float* out) {
    PixelBlock block;
    for (int32_t k0 = 0; k0 < count; k0 += BlockRows) {
        const int n = static_cast<int>(std::min<int32_t>(BlockRows, count - k0));
        FillBlock(m, x, firstY + k0, n, block);
        StoreTwoThetaBlock(out + k0, block, n, m);
    }
}

double MappedTwoTheta(const DetectorMapping& m, const LabVector& p) {
    const double dx = p.X - m.OriginX;
    return std::atan2(std::sqrt(dx * dx + p.Z * p.Z), p.Y - m.OriginY) * DegPerRad;
}

void FrameGeometry::BoundColumn(int32_t i) { BoundRows(i, 1, TwoTheta.height()); }

void FrameGeometry::BoundRows(int32_t i, int32_t first, int32_t last) {
    const int32_t height = last;
    const float* twoTheta = TwoTheta[i];
    const float* psi = Psi[i];
    AngleBounds* bounds = Bounds.data() + static_cast<size_t>(i - 1) * BoundsBlocks() +
                          static_cast<size_t>((first - 1) / AngleBoundsRows);
    constexpr float Inf = std::numeric_limits<float>::infinity();
    for (int32_t j0 = first; j0 <= height; j0 += AngleBoundsRows) {
        const int32_t j1 = std::min(height, j0 + AngleBoundsRows - 1);
        float t0 = Inf, t1 = -Inf, p0 = Inf, p1 = -Inf;
        int32_t j = j0;
#if defined(__SSE2__)
        // Four rows at a time: minps(x, m) is x < m ? x : m, as below.
        __m128 vt0 = _mm_set1_ps(Inf), vt1 = _mm_set1_ps(-Inf), vp0 = vt0, vp1 = vt1;
        for (; j + 3 <= j1; j += 4) {
            const __m128 t = _mm_loadu_ps(twoTheta + j), p = _mm_loadu_ps(psi + j);
            vt0 = _mm_min_ps(t, vt0);
            vt1 = _mm_max_ps(t, vt1);
            vp0 = _mm_min_ps(p, vp0);
            vp1 = _mm_max_ps(p, vp1);
        }
        alignas(16) float lanes[4][4];
        _mm_store_ps(lanes[0], vt0);
        _mm_store_ps(lanes[1], vt1);
        _mm_store_ps(lanes[2], vp0);
        _mm_store_ps(lanes[3], vp1);
        for (int k = 0; k < 4; ++k) {
            t0 = std::min(t0, lanes[0][k]);
            t1 = std::max(t1, lanes[1][k]);
            p0 = std::min(p0, lanes[2][k]);
            p1 = std::max(p1, lanes[3][k]);
        }
#endif
        // Comparisons with a value that is not a number are false: it is left out.
        for (; j <= j1; ++j) {
            t0 = twoTheta[j] < t0 ? twoTheta[j] : t0;
            t1 = twoTheta[j] > t1 ? twoTheta[j] : t1;
            p0 = psi[j] < p0 ? psi[j] : p0;
            p1 = psi[j] > p1 ? psi[j] : p1;
        }
        *bounds++ = AngleBounds{t0, t1, p0, p1};
    }
}

void FrameGeometry::LabColumn(int32_t i, int32_t firstRow, int32_t count, LabPoint* out) const {
    PixelBlock block;
    for (int32_t done = 0; done < count; done += BlockRows) {
        const int n = static_cast<int>(std::min<int32_t>(BlockRows, count - done));
        FillBlock(Mapping, i, firstRow + done, n, block);
        for (int k = 0; k < n; ++k)
            out[done + k] = LabPoint{static_cast<float>(block.X[k]), static_cast<float>(block.Y[k]),
                                     static_cast<float>(block.Z[k])};
    }
}

LabPoint FrameGeometry::LabCoordinates(int32_t i, int32_t j) const {
    LabPoint p;
    // Pixels outside the mapped ones (the border) have no coordinates.
    if (i < 1 || j < 1 || i > Key.Width || j > Key.Height) return p;
    LabColumn(i, j, 1, &p);
    return p;
}

} // namespace orv
