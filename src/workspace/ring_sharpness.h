#pragma once
// How sharp and how round the Debye rings of a frame are about a beam
// centre: the coarse stage and the final check of the automatic centre
// search. Pure kernels over the frame's planes; masked pixels take no part.
//
// A trial centre moves the detector in its own plane. Every detector shape
// but a merged frame maps a pixel through its offset from the centre, so
// the 2-theta of pixel (i, j) about the centre (Xo + dx, Yo + dy) is the
// 2-theta that the mapping in force gives the point (i - dx, j - dy). The
// search tabulates those 2-theta once for every point a trial within reach
// can ask for.
//
// Sharpness of a trial centre: a fixed, regular sample of the frame's
// pixels (at most about 60 000; 20 000 on grids coarser than a pixel)
// binned by their 2-theta about it, in bins as wide as the trial grid's
// step at the distance, each pixel shared between its two nearest bins by
// its distance from their middles; the sum over bins of
// (S^2 - Q) N / (N^2 - N2), S, Q, N and N2 the bin's weighted sums of
// intensities, of their squares, of the weights and of their squares. That
// is on average N times the square of the bin's mean, whatever the counting
// noise, and for a fixed set of pixels it is largest where the intensity
// varies least inside the bins: where the rings are narrowest. Rings whose
// intensity changes along psi (texture) sharpen about the same centre.

#include <cstdint>
#include <string>

#include "workspace/frame_types.h"

namespace orv {

struct SharpestCentre {
    bool Found = false;
    double X = 0, Y = 0;    // the centre about which the rings are sharpest
    bool Settled = false;   // it is the sharpest of the disc about itself
    std::string Problem;
};

// The sharpest centre within `reach` pixels of the centre the geometry in
// force was mapped with: trial centres on a grid over the disc, coarse to
// fine (bins as wide as the grid's step; the best few maxima of each grid
// followed to the next) down to whole pixels. A centre sharper than its
// neighbours may lie beside a sharper one beyond the disc, so the search is
// repeated about its best until that best is the sharpest of the disc about
// itself (Settled), three discs at most. A parabola through the best
// whole-pixel centre and its neighbours gives the fraction. Only pixels
// whose 2-theta in force lies between `lower` and `upper` (widened by the
// angle the discs span) are sampled. `distancePixels` is the
// sample-to-detector distance in pixels. Not found when the frame has no
// geometry, the geometry is that of a merged frame or too few pixels are
// left.
SharpestCentre SearchSharpestCentre(const FrameStore& px, int32_t width, int32_t height, double reach,
                                    double distancePixels, float lower, float upper);

// Whether the rings are round about the centre the geometry in force was
// mapped with. The pixels between `lower` and `upper` 2-theta are binned
// by their radius D tan(2-theta) (D = `distancePixels`) in 12 psi sectors
// of 30 degrees; each sector's profile is matched against that of the
// other sectors by correlation over shifts of up to 3 pixels. Sectors
// whose best correlation is weak (no ring there, texture, the beam stop)
// are left out. Round when at least 3 sectors in more than one direction
// match, none matches only at the largest shift, and their shifts fit an
// offset of the centre of at most 0.25 pixel; the offset is reported
// (OffsetX, OffsetY: where the centre would move).
struct RingRoundness {
    bool Round = false;
    int Sectors = 0;                  // sectors that took part
    double OffsetX = 0, OffsetY = 0;  // pixels
    std::string Problem;
};
RingRoundness CheckRingsRound(const FrameStore& px, int32_t width, int32_t height, double distancePixels,
                              float lower, float upper);

} // namespace orv
