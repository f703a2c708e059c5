#pragma once
// The pattern centre: the direct-beam position (Xo, Yo) about which the
// Debye rings of the current frame are circles, found by one of the five
// methods of the "Find pattern center" window (Form27) and applied to the
// axes whose "Vary" box is ticked.
//
// Ring points are taken on the flat plane normal to the beam: a pixel at
// laboratory (X, Y, Z) projects to u = X D / Y, v = Z D / Y (D the distance
// in pixels; pixels with Y <= 0 have no projection). A circle fitted through
// ring points with centre (cu, cv) moves the centre to (Xo - cu, Yo + cv).
//
// A search that finds nothing changes nothing: the old centre stays and the
// reason is answered (too few ring points, points on one line, no intensity,
// a candidate far outside the frame). Masked pixels take no part.

#include <cstdint>
#include <string>

#include "base/frame_plane.h"

namespace orv {

class Host;
struct Workspace;

// A centre found, or why none was.
struct CentreCandidate {
    bool Found = false;
    double X = 0, Y = 0;
    std::string Problem;
};

// "GravityCenter": the intensity-weighted mean column and row of the pixels
// strictly inside the sector's 2-theta limits (angular sector) or of the
// rectangle of the Mask dialog (read, kept in the frame and written back;
// a rectangle whose corners are the wrong way round holds nothing).
CentreCandidate IntensityCentroid(Workspace& ws);

// The ring through the band lower < 2-theta < upper: in each of the 72 psi
// rows of 5 degrees (psi at or above 357.5 joins row 0) the brightest pixel
// above `threshold` (the first in column order among equals) marks the
// ring; the point is that pixel moved along its radius to the crest of the
// row's ring profile. 4 or more points give the centre of the circle
// through them. The points pass through CurveFit1 and CentrePoints, which
// are cleared before and after.
CentreCandidate RingPointsCentre(Workspace& ws, double threshold, double upper, double lower);

// "EllipseCenter": the circle through the ring points picked on the frame
// (CurveFit1); its centre goes into Form27's boxes and the points are
// cleared. At least 3 points.
CentreCandidate FitRingCircle(Workspace& ws);

// The pixel whose box of (2 half + 1)^2 pixels, cut to columns 1..width and
// rows 1..height, holds the largest sum of unmasked intensities; among equal
// sums the first in column order (columns outer, rows inner). Found only for
// a positive sum. Summed-area table: a fixed cost per pixel whatever `half`.
struct BoxPeak {
    bool Found = false;
    int32_t Column = 0, Row = 0;
    int64_t Sum = 0;
};
BoxPeak BrightestBox(const FramePlane<int32_t>& intensity, int32_t width, int32_t height, int32_t half);
// "Direct beam": the centre of the brightest 11 x 11 box.
CentreCandidate DirectBeamCentre(const Workspace& ws);

// "Auto": from Form27's boxes (CBInitPos ticked) or the frame's middle.
// First the centre within 6 % of the distance (in pixels) about which the
// rings are sharpest (SearchSharpestCentre, which walks on while the
// sharpest lies beyond its disc); then passes of RingPointsCentre about the
// strongest ring of the frame profile inside the sector's 2-theta limits,
// with bands of +-0.75, 0.5 and 0.25 degrees and the mean intensity as
// threshold, the geometry following each pass; at last the rings must be
// round about the centre found (CheckRingsRound). Moves Xo, Yo and the
// geometry; when no centre is found, or the rings are not round about it,
// the old centre and its geometry are put back and the reason is answered.
CentreCandidate AutoAdjustCenter(Workspace& ws, Host& host);

// The centre command (BCenterClick) without its message: the candidate of
// the selected method (pick mode: Form27's boxes as typed) is applied to the
// ticked "Vary" axes; boxes, geometry, picture, scan and logbook follow.
// Returns why no centre was set ("" when one was).
std::string FindCentre(Workspace& ws, Host& host, bool pickMode);
// The same, the reason shown as a message.
void BCenterClick(Workspace& ws, Host& host, bool pickMode);

// Form27 "FindCenter": the centre command, only when a "Vary" box is ticked.
void Form27FindCenterClick(Workspace& ws, Host& host);
// Form27 "Set": the typed centre for the ticked axes, handed to the geometry.
void BSetClick(Workspace& ws, Host& host);
// Form27 "EllipseCenter" chosen: the picked points start afresh and the
// user is told what to do. "SectorCenter" chosen: likewise told.
void Form27RCircleClick(Workspace& ws, Host& host);
void Form27RSectorClick(Workspace& ws, Host& host);
// Forgets the ring points (CurveFit1, CentrePoints).
void ClearRingPoints(Workspace& ws);

// The frame window's one-button centring: "Auto" for both axes, whatever
// the "Vary" boxes say. False (after a message) when nothing was found.
bool SpeedButton1Click(Workspace& ws, Host& host);
// The batch's "AdjustCenter": "Auto" for both axes, the new centre in the
// boxes and the logbook; a failure is reported as a problem of the run.
void AdjustCentreOfFrame(Workspace& ws, Host& host);

// Installs the script's FINDCENT and the batch's AdjustCenter.
void SetUpCentreSearch(Workspace& ws);

} // namespace orv
