#pragma once
// Sectors on the frame: the sector outline and single 2-theta rings drawn on
// the frame picture (decided per display pixel), the sector statistics lines
// of the logbook, and masking the pixels of a sector.
//
// Display pixel (j, i), both from 1, shows frame pixel (Round(j s), Round(i s))
// with s = FrameWidth / DisplayWidth; display pixels whose frame pixel lies
// outside the frame are never marked. Psi limits are taken as InPsiSector
// (sector_scan.h) takes them.

#include <array>
#include <cstdint>
#include <string>

namespace orv {

class Host;
struct Workspace;

// "t1, p1, t2, p2" with 3 decimals each, as the logbook lines give a sector.
std::string SectorLimitsText(double t1, double p1, double t2, double p2);

// Half the width of a drawn ring: (MaxTwoTheta - MinTwoTheta) / DisplayWidth,
// 0 without a frame size (nothing is marked).
double BandHalfWidth(const Workspace& ws);

// Marks on Image1 every display pixel whose 2-theta lies within the band
// half-width of the 2-theta of FrameProfileCopy bin `bin` and whose psi lies
// in psi1..psi2. `color` is 0x00BBGGRR.
void DrawTwoThetaBand(Workspace& ws, int32_t bin, uint32_t color, float psi1, float psi2);
// Image1 := Image2 (the clean picture), then every display pixel (any psi)
// within the band half-width of `twoTheta` is marked.
void DrawTwoThetaBandZoom(Workspace& ws, uint32_t color, float twoTheta);

// The bin of the inner ring of a sector starting at t1 (the last bin not
// above t1 + step/4) and of the outer ring ending at t2 (the last bin, counting
// down, not below t2 - step/4); -1 when there is none.
int32_t InnerRingBin(const Workspace& ws, float t1);
int32_t OuterRingBin(const Workspace& ws, float t2);
// The outline of an angular sector in blue: its inner and outer rings and
// its two radial edges.
void DrawAngularSector(Workspace& ws, float t1, float p1, float t2, float p2);
// Form1.Image1 := the frame with the current sector drawn over it (the
// rectangle or the angular sector), as RenderFrame then the outline.
void RenderFrameWithSector(Workspace& ws, Host& host);
// Reads and clamps the rectangle from the Mask dialog into CropRect and draws
// its outline in blue. A box that is not a whole number is reported.
void DrawSectorRectangle(Workspace& ws, Host& host);

// The sums of a sector; masked pixels take no part.
struct SectorStatistics {
    int64_t Integral = 0;
    int32_t Maximum = 0;
    int64_t Count = 0;
};
// Sums the pixels with t1 < 2-theta < t2 (limits put in order) and psi in
// p1..p2 and writes the two logbook lines.
SectorStatistics AngularSectorStatistics(Workspace& ws, float t1, float p1, float t2, float p2);
// The same for CropRect (put in order and stored back, kept in the frame).
SectorStatistics RectangleSectorStatistics(Workspace& ws);

// Masks (-1) every pixel with t1 < 2-theta < t2 and psi in p1..p2 and logs it.
void MaskAngularSector(Workspace& ws, float t1, float p1, float t2, float p2);
// Reads and clamps the rectangle from the Mask dialog, puts it in order into
// CropRect, masks its pixels and logs it. A box that is not a whole number is
// reported, nothing changes and the answer is false.
bool MaskRectangleSector(Workspace& ws, Host& host);

} // namespace orv
