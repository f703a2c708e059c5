#pragma once
// The 2-theta scan window's commands ("2Theta Scan of Defined Sector "):
// read-outs under the mouse, hand marks and "Mark At", two-click ranges,
// zooming, the peak search with its report and ".TPK" list, the rolling
// background with its band sums in "intensities.out", and ".ths" scans read
// back. The scan is SectorScan, points 0..SectorScanPoints; the working
// chart is Form2.RChart1, the overview strip Form2.RChart2.

#include <cstdint>
#include <string>
#include <vector>

#include "scans/peak_search.h"

namespace orv {

class Host;
struct Workspace;
struct TForm5;
struct TForm6;
struct TForm7;
struct TwoThetaScanFile;

// The point under a 2-theta x: the last point, counting from 1, whose
// 2-theta is at most x; 1 when even the first lies beyond x (0 for a scan of
// one point).
int32_t ThetaPointAt(const Workspace& ws, double x);

// ---- Peaks ----------------------------------------------------------------

// "Find peaks" with the given boxes: the search over points 1..n, its report
// and, when the batch settings ask for it, the ".TPK" list. Returns the peaks
// (nothing when a box was refused). Throws ConversionError for a box that is
// not a number and FileError when the list cannot be written.
PeakTable FindThetaPeaks(Workspace& ws, Host& host, const TForm6& boxes);
// The report of a search: a fresh plot, a blue mark over each peak above
// 1.1 degrees (with `onlyInSector`, strictly inside the sector's 2-theta
// limits), the logbook lines and the ".TPK" list when CB2ThScanPeaks is
// ticked (its header alone when no peak is reported). Peaks keep their slot
// numbers, so skipped ones leave gaps.
void ReportThetaPeaks(Workspace& ws, Host& host, const PeakTable& table, bool onlyInSector);
// The ".TPK" list of the reported peaks (without line ends): the header,
// then one row per peak whose numbers are always parted by a blank.
std::vector<std::string> ThetaPeakListLines(const Workspace& ws, const PeakTable& table, bool onlyInSector);
// OutputDir / (file name of CurrentFile) + ".TPK".
std::string ThetaPeakListPath(const Workspace& ws);

// ---- Background -----------------------------------------------------------

// The six band sums of a background-free scan and the angle they are
// measured from.
struct ThetaBands {
    double MaxAngle = 0;   // 2-theta of the strongest three-point sum (0 below 40 points)
    double Offset = 0;     // MaxAngle - 13.1 when within 1 degree of it, else 0
    double Sums[6] = {};
};
ThetaBands MeasureThetaBands(const Workspace& ws);
// The "intensities.out" line of the current frame.
std::string IntensitiesLine(const Workspace& ws, const ThetaBands& bands);

// "Remove background" with the given boxes: the rolling background over the
// whole scan, the band line in "intensities.out", the logbook lines and a new
// plot. Returns false, changing nothing, when a box was refused. Throws
// ConversionError for a box that is not a number.
bool RemoveThetaBackground(Workspace& ws, Host& host, const TForm7& boxes);

// ---- The window's other commands ---------------------------------------------

// Zoom > "Out" (`fromMenu`: the lowest intensity of the frame's profile
// sets the floor) and the button (the scan's own).
void ThetaZoomOut(Workspace& ws, bool fromMenu);
// "OK" of the Zoom In dialog for this window. Throws ConversionError.
void ThetaZoomIn(Workspace& ws, const TForm5& boxes);
// View > "ShowBackground": what the background removal took away, in red.
void ShowThetaBackground(Workspace& ws);
// Analyze > "UnselectPeaks".
void UnselectThetaPeaks(Workspace& ws);
// Analyze > "UndoBackground": the scan computed anew.
void UndoThetaBackground(Workspace& ws, Host& host);
// View > "Select Full Angular Range".
void SelectFullAngularRange(Workspace& ws, Host& host);

// Keys over the window (Windows key codes: 'A' 65, 'Z' 90, 'S' 83).
void ThetaKeyDown(Workspace& ws, int key);
void ThetaKeyUp(Workspace& ws, int key);
// The mouse at world x over the working chart: the crosshair, the ring on
// the frame while the profile is shown, and the read-out in the caption.
void ThetaMouseMove(Workspace& ws, Host& host, double x);
// A click at world x: a hand mark, "Mark At" (another key held), or one end
// of a two-click range ('A' measures and selects the sector, 'Z' zooms).
void ThetaMouseDown(Workspace& ws, Host& host, double x);

// ---- ".ths" scans ---------------------------------------------------------------

// Installs a scan read from a ".ths" file named `name` as the current scan:
// its points, the step taken from its rows, its wavelength, the sector's
// 2-theta limits and the plots. A scan with no rows, more rows than a scan
// holds, or angles that do not increase is refused with a message and
// changes nothing. Returns whether the scan was installed.
bool InstallThetaScan(Workspace& ws, Host& host, const TwoThetaScanFile& scan, const std::string& name);
// File > "Open": reads `path` and installs it; a file that cannot be read or
// holds text where a number belongs is reported and changes nothing.
bool OpenThetaScanFile(Workspace& ws, Host& host, const std::string& path);

} // namespace orv
