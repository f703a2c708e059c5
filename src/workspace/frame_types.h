#pragma once
// The frame and profile types shared by every part of the program.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace orv {

// One pixel: its count (-1 marks a masked or deleted pixel) and the
// laboratory coordinates and angles that the geometry step fills.
struct FramePixel {
    int32_t Intensity = 0;
    float X = 0, Y = 0, Z = 0;   // pixels; Y along the direct beam
    float TwoTheta = 0;          // degrees
    float Psi = 0;               // degrees, 0 <= psi < 360
};
static_assert(sizeof(FramePixel) == 24);

constexpr int32_t MaskedIntensity = -1;

// A frame indexed [column][row], both used from 1, with one spare cell at
// each end of both indices. Columns are contiguous, so frame[i][j] is a
// plain pointer access.
class FramePixelArray {
public:
    FramePixelArray() = default;
    // Room for `width` x `height` pixels plus the border.
    FramePixelArray(int32_t width, int32_t height) { resize(width, height); }

    void resize(int32_t width, int32_t height) {
        if (width < 0 || height < 0) throw std::invalid_argument("negative frame size");
        cols_ = width + 2;
        rows_ = height + 2;
        data_.assign(static_cast<size_t>(cols_) * static_cast<size_t>(rows_), FramePixel{});
    }
    void clear() { cols_ = rows_ = 0; data_.clear(); data_.shrink_to_fit(); }
    // Cells the allocation holds without growing.
    size_t capacity() const { return data_.capacity(); }

    // Column i (0..width+1), indexed by row.
    FramePixel* operator[](int32_t i) { return data_.data() + static_cast<size_t>(i) * rows_; }
    const FramePixel* operator[](int32_t i) const { return data_.data() + static_cast<size_t>(i) * rows_; }

    // Usable width and height (without the border).
    int32_t width() const { return cols_ > 0 ? cols_ - 2 : 0; }
    int32_t height() const { return rows_ > 0 ? rows_ - 2 : 0; }
    // Whether [i][j] lies in the allocation (border included).
    bool contains(int64_t i, int64_t j) const { return i >= 0 && j >= 0 && i < cols_ && j < rows_; }
    bool empty() const { return data_.empty(); }

    FramePixel* data() { return data_.data(); }
    const FramePixel* data() const { return data_.data(); }
    size_t cellCount() const { return data_.size(); }

private:
    int32_t cols_ = 0, rows_ = 0;
    std::vector<FramePixel> data_;
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

// Per merged column: its detector 2-theta and the source column.
struct MergeColumn {
    double TwoThetaD = 0;
    int32_t SourceColumn = 0;
};

} // namespace orv
