#pragma once
// The frame and profile types shared by every part of the program.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "base/frame_plane.h"

namespace orv {

constexpr int32_t MaskedIntensity = -1;

// A computed intensity as stored into a pixel that is not masked: a result
// that lands on the mask marker is stored one count lower, so that
// arithmetic never masks a pixel by accident.
constexpr int32_t UnmaskedResult(int32_t v) { return v == MaskedIntensity ? MaskedIntensity - 1 : v; }

// Per merged column: its detector 2-theta and the source column.
struct MergeColumn {
    double TwoThetaD = 0;
    int32_t SourceColumn = 0;
    bool operator==(const MergeColumn&) const = default;
};

// A pixel's laboratory coordinates, in pixels: X across the beam (positive
// left of the centre), Y along the direct beam, Z up.
struct LabPoint {
    float X = 0, Y = 0, Z = 0;
};

enum class DetectorShape { None, Flat, Cylinder, Sphere };

// Everything that determines the per-pixel geometry of a frame: its size
// and every value the detector mapping reads. Equal keys give identical
// planes, so a geometry is computed again only when its key changes.
struct GeometryKey {
    int32_t Width = 0, Height = 0;      // the mapped pixels (columns, rows from 1)
    int32_t PlaneWidth = 0, PlaneHeight = 0;   // the planes (the frame's allocation)
    int32_t FrameWidth = 0, FrameSize = 0;
    DetectorShape Shape = DetectorShape::None;
    double Landa = 0, Xo = 0, Yo = 0, Distance = 0, DSize = 0, TwoThetaD = 0;
    bool VerticalTilt = false;          // tilted in the rows' plane
    bool Merged = false;
    std::vector<MergeColumn> MergeColumns;   // used when Merged
    double Length = 0, Radius = 0, SampleX = 0, SampleY = 0;   // curved detectors, mm
    bool operator==(const GeometryKey&) const = default;
};

// The mapping of a pixel to the laboratory, worked out once from a key
// (angles as cosines, distances in pixels).
struct DetectorMapping {
    enum class Kind { None, Flat, Tilted, VerticalTilted, Merged, Cylinder, Sphere };
    Kind Mapper = Kind::None;
    double Xo = 0, Yo = 0;
    double D = 0;                 // sample to detector, pixels
    double Cos = 1, Sin = 0;      // of the detector 2-theta
    double Radius = 0;            // curved detectors, pixels
    double DegreesPerPixel = 0;   // curved detectors
    double OriginX = 0, OriginY = 0;   // where 2-theta is measured from (cylinder sample offset)
    std::vector<MergeColumn> MergeColumns;
};

// The smallest and largest 2-theta and psi of a block of rows of one column
// (values that are not numbers left out; an empty block has its minima above
// its maxima), so that a scan can pass over blocks it takes no pixel of.
struct AngleBounds {
    float MinTwoTheta, MaxTwoTheta, MinPsi, MaxPsi;
};
constexpr int32_t AngleBoundsRows = 64;

// The bounds of a geometry's angles, worked out by its mapping. A copy of a
// geometry may have its angles changed by hand, so a copy starts without
// bounds (and scans read every pixel of it).
class AngleBoundsTable : public std::vector<AngleBounds> {
public:
    AngleBoundsTable() = default;
    AngleBoundsTable(const AngleBoundsTable&) : std::vector<AngleBounds>() {}
    AngleBoundsTable(AngleBoundsTable&&) = default;
    AngleBoundsTable& operator=(const AngleBoundsTable&) {
        clear();
        return *this;
    }
    AngleBoundsTable& operator=(AngleBoundsTable&&) = default;
};

// The per-pixel geometry of one detector setting: every pixel's 2-theta and
// psi as planes beside the intensities, computed in double and stored in
// single precision. A geometry is shared (read-only) by every frame of its
// key; see FrameGeometryCache.
class FrameGeometry {
public:
    FrameGeometry() = default;
    // A geometry of width x height pixels whose angles are all 0 and that has
    // no detector (laboratory coordinates 0); its planes may be filled by hand.
    FrameGeometry(int32_t width, int32_t height) : TwoTheta(width, height), Psi(width, height) {
        Key.Width = Key.PlaneWidth = width;
        Key.Height = Key.PlaneHeight = height;
    }

    GeometryKey Key;
    DetectorMapping Mapping;
    FramePlane<float> TwoTheta;   // degrees
    FramePlane<float> Psi;        // degrees, 0 <= psi < 360
    // The smallest and largest 2-theta of the mapped pixels (90 and 0 when none).
    float MinTwoTheta = 90, MaxTwoTheta = 0;
    // The angles' bounds per column and block of AngleBoundsRows rows of the
    // planes (column i from 1, block b holds rows 64b+1 .. 64b+64), filled
    // when the geometry is mapped; empty when its planes are set by hand.
    AngleBoundsTable Bounds;
    const AngleBounds* ColumnBounds(int32_t i) const {
        const size_t blocks = BoundsBlocks();
        if (i < 1 || Bounds.size() != blocks * static_cast<size_t>(TwoTheta.width())) return nullptr;
        return Bounds.data() + static_cast<size_t>(i - 1) * blocks;
    }
    size_t BoundsBlocks() const { return static_cast<size_t>((TwoTheta.height() + AngleBoundsRows - 1) / AngleBoundsRows); }
    // Works out the bounds of column i (1..TwoTheta.width()) from the planes;
    // Bounds must be sized for the planes.
    void BoundColumn(int32_t i);
    // The same for the blocks of rows first..last of column i (`first` the
    // first row of a block; `last` the last row of a block or of the planes).
    void BoundRows(int32_t i, int32_t first, int32_t last);

    // The laboratory coordinates of pixel [i][j], exactly as the mapping
    // computes them for the angles (double, stored as float); 0 outside the
    // mapped pixels. Computed on demand: few tools need them, and three
    // more planes would cost more memory and time than they save.
    LabPoint LabCoordinates(int32_t i, int32_t j) const;
    // Rows firstRow .. firstRow + count - 1 of mapped column i (1..Key.Width,
    // rows inside 1..Key.Height) into out[0 .. count - 1].
    void LabColumn(int32_t i, int32_t firstRow, int32_t count, LabPoint* out) const;
};

// What the planes hold for one pixel (FrameStore::Pixel).
struct FramePixel {
    int32_t Intensity = 0;
    float TwoTheta = 0;   // degrees
    float Psi = 0;        // degrees
};

// A read-only view of a plane that something else owns.
template <typename T>
class PlaneRef {
public:
    PlaneRef() : plane_(&Empty()) {}
    explicit PlaneRef(const FramePlane<T>& plane) : plane_(&plane) {}
    const T* operator[](int32_t i) const { return (*plane_)[i]; }
    int32_t width() const { return plane_->width(); }
    int32_t height() const { return plane_->height(); }
    bool contains(int64_t i, int64_t j) const { return plane_->contains(i, j); }
    bool empty() const { return plane_->empty(); }
    const FramePlane<T>& plane() const { return *plane_; }

private:
    static const FramePlane<T>& Empty() {
        static const FramePlane<T> empty;
        return empty;
    }
    const FramePlane<T>* plane_;
};

// The current frame (Workspace::FramePixels): its intensities, a plane of
// its own that readers decode into and edits change (-1 marks a masked or
// deleted pixel), and the per-pixel geometry beside it, shared with every
// frame of the same geometry. All planes are indexed [column][row] from 1
// with the spare border:
//   FramePixels.Intensity[i][j]     count (writable)
//   FramePixels.TwoTheta[i][j]      2-theta, degrees
//   FramePixels.Psi[i][j]           psi, degrees
//   FramePixels.Lab(i, j)           X, Y, Z, computed on demand
// TwoTheta and Psi are empty until a geometry of the frame's size is set
// (HasGeometry()); installing a frame of another size drops the geometry.
class FrameStore {
public:
    FramePlane<int32_t> Intensity;
    PlaneRef<float> TwoTheta;
    PlaneRef<float> Psi;

    // A blank frame of width x height pixels: every intensity 0 and a
    // geometry of its own with every angle 0.
    void Blank(int32_t width, int32_t height) {
        Intensity.assign(width, height, 0);
        SetGeometry(std::make_shared<FrameGeometry>(width, height));
    }
    // Sets the geometry (nullptr: none). Its planes become TwoTheta and Psi.
    void SetGeometry(std::shared_ptr<const FrameGeometry> geometry) {
        owned_.reset();
        geometry_ = std::move(geometry);
        twoTheta_.reset();
        TwoTheta = geometry_ ? PlaneRef<float>(geometry_->TwoTheta) : PlaneRef<float>();
        Psi = geometry_ ? PlaneRef<float>(geometry_->Psi) : PlaneRef<float>();
    }
    // Replaces this frame's 2-theta plane by one of its own (a 2-theta scaled
    // for this frame only); the shared geometry stays as it is. The plane
    // must have the geometry's shape.
    void SetFrameTwoTheta(std::shared_ptr<const FramePlane<float>> twoTheta) {
        if (!geometry_ || !twoTheta || !twoTheta->sameShape(geometry_->TwoTheta))
            throw std::invalid_argument("2-theta plane of another shape than the geometry");
        twoTheta_ = std::move(twoTheta);
        TwoTheta = PlaneRef<float>(*twoTheta_);
    }
    // A geometry this frame alone holds, to be changed by hand (tools that
    // set angles themselves, tests): the current one copied when it is
    // shared or set from outside, or one of angles 0 when there is none of
    // the frame's size. Shared geometries are never changed.
    FrameGeometry& OwnGeometry() {
        if (owned_ && geometry_ == owned_ && !twoTheta_ && HasGeometry()) return *owned_;
        auto own = HasGeometry() ? std::make_shared<FrameGeometry>(*geometry_)
                                 : std::make_shared<FrameGeometry>(Intensity.width(), Intensity.height());
        SetGeometry(own);
        owned_ = std::move(own);
        return *owned_;
    }
    const FrameGeometry* Geometry() const { return geometry_.get(); }
    // The bounds of the angles of column i as TwoTheta and Psi hold them,
    // or nullptr when there are none (a geometry set by hand, a 2-theta of
    // this frame's own).
    const AngleBounds* ColumnBounds(int32_t i) const {
        return geometry_ && !twoTheta_ ? geometry_->ColumnBounds(i) : nullptr;
    }
    const std::shared_ptr<const FrameGeometry>& SharedGeometry() const { return geometry_; }
    // Whether the geometry covers exactly this frame's pixels.
    bool HasGeometry() const { return geometry_ && geometry_->TwoTheta.sameShape(Intensity) && geometry_->Psi.sameShape(Intensity); }
    // The intensity and angles of pixel [i][j] (border included); zeros
    // outside the planes, angles 0 without a geometry.
    FramePixel Pixel(int64_t i, int64_t j) const {
        FramePixel p;
        if (!Intensity.contains(i, j)) return p;
        const auto c = static_cast<int32_t>(i), r = static_cast<int32_t>(j);
        p.Intensity = Intensity[c][r];
        if (TwoTheta.contains(i, j)) p.TwoTheta = TwoTheta[c][r];
        if (Psi.contains(i, j)) p.Psi = Psi[c][r];
        return p;
    }
    // X, Y, Z of pixel [i][j]; zeros without a geometry or outside it.
    LabPoint Lab(int32_t i, int32_t j) const {
        if (!geometry_ || !geometry_->TwoTheta.contains(i, j)) return {};
        return geometry_->LabCoordinates(i, j);
    }

    // No frame: the planes' memory is freed.
    void clear() {
        Intensity.clear();
        SetGeometry(nullptr);
    }
    // The intensity plane's size and cells (the frame's allocation).
    int32_t width() const { return Intensity.width(); }
    int32_t height() const { return Intensity.height(); }
    bool contains(int64_t i, int64_t j) const { return Intensity.contains(i, j); }
    bool empty() const { return Intensity.empty(); }

private:
    std::shared_ptr<const FrameGeometry> geometry_;
    std::shared_ptr<const FramePlane<float>> twoTheta_;   // a per-frame 2-theta, when set
    std::shared_ptr<FrameGeometry> owned_;                 // geometry_ when OwnGeometry made it
};

// The last geometry computed, kept for the next frame of the same key.
// Computed() counts the geometries worked out, so reuse can be observed.
class FrameGeometryCache {
public:
    // The cached geometry when its key equals `key`, else nullptr.
    std::shared_ptr<const FrameGeometry> Find(const GeometryKey& key) const {
        return last_ && last_->Key == key ? last_ : nullptr;
    }
    // Stores a freshly computed geometry and counts it.
    void Store(std::shared_ptr<FrameGeometry> geometry) {
        last_ = std::move(geometry);
        ++computed_;
    }
    // Takes the cached geometry's memory for a new one when nothing else
    // uses it any more (its planes then hold stale values); else a new one.
    std::shared_ptr<FrameGeometry> Recycle() {
        std::shared_ptr<FrameGeometry> g;
        if (last_ && last_.use_count() == 1) g = std::move(last_);
        last_.reset();
        return g ? g : std::make_shared<FrameGeometry>();
    }
    void Clear() { last_.reset(); }
    int64_t Computed() const { return computed_; }

private:
    std::shared_ptr<FrameGeometry> last_;
    int64_t computed_ = 0;
};

// A point of every 2-theta profile and scan.
struct ProfilePoint {
    float Intensity = 0;   // accumulated
    float TwoTheta = 0;    // degrees
    int32_t Count = 0;     // pixels that fell into the bin
};
static_assert(sizeof(ProfilePoint) == 12);

constexpr int ProfileLength = 24002;   // indices 0..24001
constexpr int MaxScanPoints = 24000;
using ProfileRow = std::vector<ProfilePoint>;   // always ProfileLength points

inline ProfileRow MakeProfileRow() { return ProfileRow(ProfileLength); }

// A record of the ring table: the 2-theta of bin k and a value of the ring
// drawing.
struct RingRecord {
    float TwoTheta = 0;
    float Value = 0;
};
constexpr int RingProfileLength = 5001;  // records 0..5000


} // namespace orv
