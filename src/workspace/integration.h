#pragma once
// The integration kernel: the pixels of a frame summed into bins of 2-theta
// or psi.
//
// Every scan is made here: the 2-theta scan of the selected sector
// (N2ThetaScan1Click, the script's SAVE2THS, the batch), the 36 sectors of
// the ".SEC" file in one pass, and the psi scan. Tools that integrate many
// psi slices at once (slices, d-spacing against psi, pole figures) pass
// their slices as Sectors: a pass over the frame costs about the same for
// one sector as for a hundred disjoint ones.
//
// The kernel is pure: it reads the planes and the request and answers the
// bins; it changes and shows nothing. Masked pixels (-1) take no part. The
// result does not depend on the thread count: unweighted sums are whole
// numbers added in 64 bits (exact in any order, so every thread takes part);
// weighted sums are cut into column chunks by the window's size alone, each
// chunk sums into bins of its own in column order, and the chunks are added
// in order.

#include <cstdint>
#include <optional>
#include <vector>

#include "workspace/frame_types.h"

namespace orv {

// Bin k holds the values nearest Origin + k x Step: k = Round((value -
// Origin) / Step), halves to even; values outside bins 0..Last are dropped.
struct ScanGrid {
    double Origin = 0;
    double Step = 1;
    int32_t Last = 0;
    bool operator==(const ScanGrid&) const = default;
};

// Psi limits as the sector tools set them: Psi1 < Psi2 holds Psi1 < psi <
// Psi2, Psi1 > Psi2 runs through 360/0, equal limits hold nothing.
struct PsiSector {
    float Psi1 = 0, Psi2 = 360;
    bool operator==(const PsiSector&) const = default;
};

enum class ScanAxis { TwoTheta, Psi };

struct IntegrationRequest {
    // The pixels looked at: columns and rows, from 1; cut to the planes.
    int32_t FirstColumn = 1, LastColumn = 0, FirstRow = 1, LastRow = 0;
    ScanAxis Axis = ScanAxis::TwoTheta;
    ScanGrid Grid;
    // ScanAxis::TwoTheta: one scan per sector, of the pixels whose psi lies
    // in it (a pixel in several sectors counts in each); no sectors: one
    // scan of every pixel of the window.
    std::vector<PsiSector> Sectors;
    // ScanAxis::TwoTheta: one scan per psi row of this grid instead of per
    // sector (a 2-theta profile for every psi row, as d-spacing against psi
    // needs): row k holds the pixels whose psi bins to k, halves to even.
    std::optional<ScanGrid> PsiRows;
    // ScanAxis::Psi: one scan of the pixels with TwoTheta1 <= 2-theta <= TwoTheta2.
    float TwoTheta1 = 0, TwoTheta2 = 0;
    // The flat-detector correction: each intensity weighted by r^3 /
    // WeightDivisor, r the pixel's distance from the sample in pixels.
    bool FlatWeight = false;
    double WeightDivisor = 1;
    bool operator==(const IntegrationRequest&) const = default;
};

// What one bin received: the (weighted) intensity and the pixel count.
// Unweighted sums are whole numbers, exact in any order.
struct ScanBin {
    double Sum = 0;
    int64_t Count = 0;
};
using ScanBins = std::vector<ScanBin>;   // Grid.Last + 1 bins

// The scans of `request` over the frame's intensities and geometry: one
// ScanBins per psi row or sector (one when there are neither or the axis is
// psi).
// A frame without geometry gives empty bins.
std::vector<ScanBins> IntegrateFrame(const FrameStore& pixels, const IntegrationRequest& request);

// The scans of one frame, kept so that a scan asked for again is not made
// again (the batch's scan of a frame, then its script's scan of the same
// sector). Between Keep() and Forget() the caller sees to it that nothing
// changes the frame's intensities; a scan is answered from the kept bins
// only for an equal request over the same planes, and Drop() forgets them
// all when the geometry is mapped anew. Without Keep() every scan is made.
class KeptScans {
public:
    void Keep() { keeping_ = true; }
    void Forget() {
        keeping_ = false;
        kept_.clear();
    }
    void Drop() { kept_.clear(); }
    bool Keeping() const { return keeping_; }
    // IntegrateFrame(pixels, request), or the bins it gave before.
    const std::vector<ScanBins>& Integrate(const FrameStore& pixels, const IntegrationRequest& request);
    // Scans made since the program started (the kept ones not counted again).
    int64_t Made() const { return made_; }

private:
    struct Kept {
        IntegrationRequest Request;
        const void* Intensity;
        const void* TwoTheta;
        const void* Psi;
        const void* Geometry;
        std::vector<ScanBins> Bins;
    };
    static constexpr size_t MostKept = 4;
    bool keeping_ = false;
    std::vector<Kept> kept_;
    std::vector<ScanBins> last_;
    int64_t made_ = 0;
};

} // namespace orv
