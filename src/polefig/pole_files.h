#pragma once
// The files that carry pole-figure data: psi-slice files ".slc" (one line of
// 1-degree psi slices per frame) read into a pole grid, popLA pole figures
// ".epf" (".wpf" read the same way), and the psi- and phi-profile tables
// ".psp" and ".php" of a clicked pole.
//
// The slice file, as the frame workspace and the generation worker write it
// and BuildPoleGrid reads it (text, CR LF lines):
//   line 1   "2Theta integration range =10.000 to 11.000 Psi range = 0 to 360; SlicesWidth = 1.000"
//            (only its first 10 characters, "2Theta int", are checked);
//   line 2.. the frame's file name without folder, one blank, then 360 fields,
//            field k the summed intensity of the pixels whose psi rounds to
//            k degrees, each a whole number right-aligned in exactly 10
//            characters (so every value must lie in -999999999..9999999999;
//            the worker's saturated 32-bit sums always do).
// The name's extension is the frame number: ".000" to ".199", frame m taken
// at phi = m x PolePhiStep. Lines may come in any order; a frame missing from
// the file leaves its row empty. A name may hold blanks when the line has
// exactly the 3600 characters of fields after it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "polefig/pole_grid.h"
#include "workspace/text_files.h"

namespace orv {

class Host;
struct Workspace;

constexpr int PoleSliceCount = 360;     // 1-degree slices of a slice-file line
constexpr int SliceFieldWidth = 10;
constexpr int MaxSliceFrames = 200;     // frame numbers .000 to .199

// What the readers use of a file lies within its first bytes; a file that
// goes on is not read beyond them, and one whose used lines do not end
// within them is refused as too large:
// - a slice file: its header and a line per frame number, each the frame's
//   file name, a blank and 360 fields of 10 characters (11 for the lowest
//   32-bit sum); lines after those (from later runs appending to the same
//   file) are not read;
// - a popLA file: its first figure, a title and a header (a box's text each)
//   and 76 ring lines of a blank and at most 19 fields of 4 characters.
constexpr uint64_t MaxSliceLineBytes = MaxFileNameBytes + 1 + PoleSliceCount * (SliceFieldWidth + 1) + 2;
constexpr uint64_t SliceFileReadBytes = MaxBoxLineBytes + MaxSliceFrames * MaxSliceLineBytes;
constexpr size_t PopLARingLines = (FivePoleColumns + 1) * 4;
constexpr size_t PopLAFigureLines = 2 + PopLARingLines;
constexpr uint64_t PopLAFileReadBytes = 2 * MaxBoxLineBytes + PopLARingLines * (1 + 19 * 4 + 2);

// ---- Slice files ------------------------------------------------------------

// The header line of a new slice file (numbers with 3 decimals).
std::string SliceFileHeader(double twoTheta1, double twoTheta2, double sliceWidth);
// A frame's line: `frameName` (no folder), one blank, then every sum
// right-aligned in 10 characters.
std::string SliceFileLine(const std::string& frameName, const std::vector<int32_t>& sums);
// The grid row of a frame name: its frame number + 1 for the extensions
// ".000" to ".199", else 0.
int SliceFrameRow(const std::string& frameName);

struct SliceFileFrame {
    std::string Name;
    int Row = 0;                                    // frame number + 1
    std::array<int64_t, PoleSliceCount> Slices{};   // slice k: psi k degrees
};

// The frame lines of a slice file, at most `rowCount` of them (the lines
// after those are not read), each row within 1..rowCount. Blank lines are
// passed over. On failure returns false with the message to show.
bool ParseSliceFile(const std::vector<std::string>& lines, int rowCount, std::vector<SliceFileFrame>& frames,
                    std::string& message);

// Assembles the frames into `grid` for the phi-axis angle `phiAxis` (whole
// degrees, 0..360) and the steps: the half ring of every frame (azimuth
// phiAxis - 90 .. phiAxis + 90) becomes its phi row (and, when the frames
// cover only half a turn, the opposite row). The cells are sums of slices;
// returns the largest cell (from 0). The grid is cleared first and closed;
// it is neither scaled nor mirrored.
int64_t AssemblePoleGrid(const std::vector<SliceFileFrame>& frames, int phiAxis, double phiStep, double psiStep,
                         std::vector<int64_t>& cells);

// Why the typed phi-axis angle cannot be used (not a number, or not 0..360
// once rounded), or "".
std::string PhiAxisProblem(const std::string& text);

// BuildPoleGrid: reads a slice file into the working grid PoleGrid with the
// steps of Form16 (Eincph, Eincps) and the phi axis of Form14 (EPhiAxis):
// cells above 9999 are scaled so that the largest is 9999, then the grid is
// mirrored in phi. Sets PolePhiStep, PolePsiStep, PoleMax, PoleSlotMax of
// PoleSlot (1..4) and PoleFileLoaded. On any failure it shows the message,
// PoleFileLoaded is false and the working grid is left as it was.
bool BuildPoleGrid(Workspace& ws, Host& host, const std::string& path);

// ---- popLA files ------------------------------------------------------------

// The first figure of a popLA file's lines into rows 0..72, columns 0..18 of
// `grid` (other cells untouched): two lines skipped, then for every psi ring
// four lines of a blank and 4-character fields (18, 18, 18, and 18 or 19;
// with 18 the closing row repeats row 0). A blank field reads as 0.
bool ParsePopLA(const std::vector<std::string>& lines, PoleGridArray& grid, std::string& message);
// ReadPopLA: the first figure of a popLA file into PoleGrid; sets PoleMax,
// PoleSlotMax of PoleSlot (1..4) and PoleFileLoaded, and the 5-degree steps
// of the format.
bool ReadPopLA(Workspace& ws, Host& host, const std::string& path);

// One figure as popLA lines: title, header, 19 rings of 4 lines, an empty
// line. `slotMax` is the maximum the figure had when it was built (its cells
// were scaled to 9999 when it exceeded that). When the grid's current
// maximum exceeds 9999 (after the absorption correction) the values are
// rescaled to 9999 and the factor follows; the factor is at least 1.
struct PopLAFigure {
    std::vector<std::string> Lines;
    int32_t Factor = 100;
    bool Rescaled = false;        // the values were rescaled to fit 4 characters
    bool FactorClamped = false;   // the factor rounded to 0 and was raised to 1
};
PopLAFigure FormatPopLAFigure(const PoleGridArray& grid, const std::string& title, const std::string& hkl,
                              int32_t slotMax);

// ---- Profile files ------------------------------------------------------------

// ".psp": the psi profile at the phi row of `clickPhi`; ".php": the phi
// profile at the psi column of `clickPsi`. 5-degree layout.
std::vector<std::string> PsiProfileLines(const PoleGridArray& grid, const std::string& title, double clickPhi);
std::vector<std::string> PhiProfileLines(const PoleGridArray& grid, const std::string& title, double clickPsi);

// Whether a path names a popLA file (".epf" or ".wpf", any case).
bool IsPopLAPath(const std::string& path);

} // namespace orv
