#pragma once
// What the two scan windows share: reading the FindPeaks and Background
// boxes into the routines' parameters, the crosshairs of their charts, the
// run's "intensities.out", and the batch steps that run their commands.

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "chart/rchart.h"
#include "scans/peak_search.h"

namespace orv {

class Host;
struct Workspace;
struct TForm6;
struct TForm7;

// A y range from `bottom` to `top` raised, where needed, so that every marker
// of the chart's display list with x in xLow..xHigh is drawn wholly inside
// the plot (a marker circle reaches 3 pixels above its point, and its pen one
// more); `top` as it is when the markers fit, or the plot is too small to
// tell.
double TopAboveMarkers(const TRChart& chart, double xLow, double xHigh, double bottom, double top);

// The peak-search boxes for a scan of `step` degrees per point: the window
// b = EPWidth / step, rounded; the percent and (when CBMinValue is ticked)
// the minimum as whole numbers. Throws ConversionError at a box that is not
// a number; answers nothing, after telling the user, for a negative width.
std::optional<PeakSearchParams> ReadPeakSearchBoxes(const TForm6& boxes, double step, Host& host);

// The rolling-background boxes: half-width w = EPeakWidth / step, rounded, in
// points and the height EBHeight in counts.
struct RollSettings {
    int32_t HalfWidth = 0;
    int32_t Height = 0;
};
// Throws ConversionError at a box that is not a number; a roll width below
// one step (the ellipse has no width) or a negative height is refused with a
// message and answers nothing.
std::optional<RollSettings> ReadRollBoxes(const TForm7& boxes, double step, Host& host);

// The boxes the batch uses: the "Scan settings" page of the batch settings,
// which the FindPeaks and Background dialogs take up again after every use,
// so a batch run and the window's own buttons search with the same values.
TForm6 BatchPeakBoxes(const Workspace& ws);
TForm7 BatchRollBoxes(const Workspace& ws);

// How a chart shows each of its four crosshairs.
struct CrossHairLook {
    TCrossHMode Mode;
    TColor Color;
    TPenStyle Style;
    int Width;
    int Layer;
};
void SetCrossHairs(TRChart& chart, const CrossHairLook (&looks)[4]);

// Crosshairs, mouse actions and axis captions of the 2-theta and psi
// charts, and the batch steps of the scan windows.
void SetUpScanAnalysis(Workspace& ws);

// "intensities.out" in the output folder, made empty for this run. A folder
// that cannot take it is noted in the logbook; the band sums are then
// appended wherever the output folder is when they are written.
void StartIntensitiesFile(Workspace& ws);
// The file the band sums go to; none while the program has no output folder.
std::string IntensitiesFilePath(const Workspace& ws);

// The sums of a marked range: its sum, its largest value (the first of
// equal ones) with where it lies, and its smallest value. The largest starts
// at 1, so a range of low values still gives a usable intensity axis.
struct RangeStats {
    double Sum = 0;
    double Largest = 1.0;
    double LargestAt = 0;
    double Smallest = std::numeric_limits<double>::infinity();
    void Add(double value, double at) {
        Sum += value;
        if (value > Largest) {
            Largest = value;
            LargestAt = at;
        }
        if (value < Smallest) Smallest = value;
    }
};

// A line for the logbook; the logbook window is told.
void ScanLog(Workspace& ws, Host& host, const std::string& line);

} // namespace orv
