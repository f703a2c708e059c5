#pragma once
// The psi-scan window's commands ("PsiScan of Masked Sector"): read-outs,
// hand marks, two-click ranges (which may cross 0 degrees), zooming, the
// rolling background, the peak search with its ".PPK" list and ".PSU"
// summary line, and the ".pss" file. The scan is PsiScanData, points 0..N
// with N = nearest(360 / PsiStep); point c lies at psi c x PsiStep. The
// working chart is Form12.RChart2, the overview strip Form12.RChart1.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "scans/peak_search.h"

namespace orv {

class Host;
struct Workspace;
struct TForm5;
struct TForm6;
struct TForm7;

// N: the psi scan's last point.
int32_t PsiLastPoint(const Workspace& ws);
// The point a psi x is read at: x is taken into (0, 360] (so 0 reads the
// point at 360) and rounded to the nearest point.
int32_t PsiPointAt(const Workspace& ws, double x);
// The points of a psi range lo..hi (put in order): both ends negative are
// taken 360 higher, and a range through 0 is read as two pieces, the part
// below 360 first. Every index lies in 0..N.
std::vector<std::pair<int32_t, int32_t>> PsiRangePieces(const Workspace& ws, double lo, double hi);

// Draws the scan on both charts (the overview over 0..360) and shows the window.
void ShowPsiScan(Workspace& ws, Host& host);

// "Find peaks" with the given boxes: the search over points 1..N (the
// relative threshold a share of the whole scan's height), its report with
// the ".PPK" list and the ".PSU" line when the batch settings ask for them.
// Throws ConversionError for a box that is not a number and FileError when a
// file cannot be written.
PeakTable FindPsiPeaks(Workspace& ws, Host& host, const TForm6& boxes);
void ReportPsiPeaks(Workspace& ws, Host& host, const PeakTable& table);
// The ".PPK" list (without line ends; the header alone without peaks, its
// numbers always parted by a blank) and its path: OutputDir / (file name of
// CurrentFile) + ".PPK".
std::vector<std::string> PsiPeakListLines(const Workspace& ws, const PeakTable& table);
std::string PsiPeakListPath(const Workspace& ws);

// The peak statistics of a report.
struct PsiPeakSummary {
    int32_t Count = 0;
    double MeanIntensity = 0, MeanArea = 0;
    double StdevIntensity = 0, StdevArea = 0;   // sample deviations; 0 below two peaks
};
PsiPeakSummary SummarisePsiPeaks(const PeakTable& table);
// The ".PSU" summary of the project: OutputDir / EExperiment + ".PSU", with
// the ".TPK" and ".PPK" lists; its two header lines, and a frame's line.
std::string PsiSummaryPath(const Workspace& ws);
std::vector<std::string> PsiSummaryHeader(const Workspace& ws);
std::string PsiSummaryLine(const Workspace& ws, const PsiPeakSummary& summary);

// "Remove background" with the given boxes: PsiScanBackup := the scan, then
// the rolling background over points 0..N, the results rounded to whole
// numbers. Returns false, changing nothing, when a box was refused. Throws
// ConversionError for a box that is not a number.
bool RemovePsiBackground(Workspace& ws, Host& host, const TForm7& boxes);

// The ".pss" file (without line ends), and File > "SaveScanToFile" (asks for
// the name; a failure is reported).
std::vector<std::string> PsiScanLines(const Workspace& ws);
void SavePsiScan(Workspace& ws, Host& host);

void PsiZoomOut(Workspace& ws);
// "OK" of the Zoom In dialog for this window; an Amin below -180 becomes
// -180 in the box too. Throws ConversionError.
void PsiZoomIn(Workspace& ws, TForm5& boxes);
void ShowPsiBackground(Workspace& ws);
void UnselectPsiPeaks(Workspace& ws);
void UndoPsiBackground(Workspace& ws, Host& host);

void PsiKeyDown(Workspace& ws, int key);
void PsiKeyUp(Workspace& ws, int key);
void PsiMouseMove(Workspace& ws, double x);
// A click at world x: a hand mark, or with 'A' or 'Z' held one end of a
// two-click range ('A' measures it, 'Z' zooms to it).
void PsiMouseDown(Workspace& ws, Host& host, double x);

} // namespace orv
