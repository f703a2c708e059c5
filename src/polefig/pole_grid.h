#pragma once
// Pole grids: a pole figure as whole-number intensities, one cell per phi
// step (the sample's rotation about the phi axis) and psi step (the tilt: 0
// at the centre of the polar plot, 90 at its rim).
//
// Layout, with R = Round(360 / PolePhiStep) and C = Round(90 / PolePsiStep):
// row r (0 <= r < R) holds phi = r x PolePhiStep, row R is the closing row
// (phi 360) and always repeats row 0; column c (0..C) holds psi =
// c x PolePsiStep. The popLA, ".psp" and ".php" files, the rotation and the
// absorption correction use the 5-degree layout: rows 0..72, columns 0..18.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

constexpr int PoleGridRows = 182;         // room for phi rows 0..181
constexpr int PoleGridColumns = 361;      // room for psi columns 0..360
constexpr int MaxPoleRowCount = 180;      // R: the drawing reads up to row R + 1
constexpr int MaxPoleColumnCount = 360;   // C
constexpr int FivePoleRows = 72;          // R of the 5-degree layout
constexpr int FivePoleColumns = 18;       // C of the 5-degree layout
constexpr int PoleViewerSlots = 4;        // the viewer's four panels
constexpr int PolePreviewSlot = 5;        // the generator window's preview picture
constexpr int32_t PoleScaleLimit = 9999;  // largest value of a popLA field

// One pole grid, [row][column] from 0, every index checked.
class PoleGridArray {
public:
    PoleGridArray() : cells_(static_cast<size_t>(PoleGridRows) * PoleGridColumns, 0) {}
    // Throws std::out_of_range outside the grid.
    int32_t& at(int row, int column) { return cells_[index(row, column)]; }
    int32_t at(int row, int column) const { return cells_[index(row, column)]; }
    void Clear() { std::fill(cells_.begin(), cells_.end(), 0); }
    bool operator==(const PoleGridArray& other) const = default;

private:
    static size_t index(int row, int column);
    std::vector<int32_t> cells_;
};

// The pole grids and their bookkeeping; the program keeps one in the
// Workspace for the whole run.
struct PoleGridBlock {
    PoleGridArray PoleGrid;                              // the working grid: every reader fills it
    std::array<PoleGridArray, PoleViewerSlots> PoleFigures;   // PoleFigure1..PoleFigure4: the panels' grids
    PoleGridArray PoleScratch;                           // the figure last clicked
    double PolePsiStep = 5.0;                            // degrees
    double PolePhiStep = 5.0;
    int32_t PoleMax = 0;                                 // largest cell of the grid last built or read
    std::array<int32_t, PoleViewerSlots + 1> PoleSlotMax{};   // [1..4]: that maximum when the slot was loaded
    std::array<bool, PoleViewerSlots + 1> PoleSlotFilled{};   // [1..4]: the slot holds a figure
    int32_t PoleSlot = 0;                                // 1..4 a panel, 5 the generator's preview
    int32_t PoleCount = 0;                               // panels 1..PoleCount were loaded (some may be empty)
    bool PoleFileLoaded = false;                         // the last load succeeded

    // The grid of panel `slot` (1..4); std::out_of_range otherwise.
    PoleGridArray& PoleFigure(int slot);
    const PoleGridArray& PoleFigure(int slot) const;
    // Whether panel `slot` holds a figure the commands may use.
    bool SlotHasFigure(int slot) const {
        return slot >= 1 && slot <= PoleViewerSlots && slot <= PoleCount && PoleSlotFilled[slot];
    }
};

// R and C of the given steps.
int PoleRowCount(double phiStep);
int PoleColumnCount(double psiStep);
// Whether the steps fit the grid: R in 2..180 and C in 1..360. On failure
// `why` says what is wrong.
bool PoleStepsFit(double phiStep, double psiStep, std::string& why);
// Whether the steps are the 5 degrees of the files, the rotation and the
// correction; otherwise `message` is the text to show.
bool PoleStepsAreFive(const PoleGridBlock& block, std::string& message);

// The largest cell of rows 0..rows and columns 0..columns, starting from 0.
int32_t PoleGridMaximum(const PoleGridArray& grid, int rows, int columns);
// Row `rows` := row 0 over columns 0..columns.
void ClosePoleGrid(PoleGridArray& grid, int rows, int columns);

// One phi step of rotation on the 5-degree layout: `direction` +1 moves every
// row one step up in phi (new row r = old row r - 1, wrapping at 0), -1 one
// step down; row 72 becomes the new row 0.
void RotatePoleRows(PoleGridArray& grid, int direction);
// The absorption correction on the 5-degree layout: every cell of column c
// becomes Round(cell / cos(0.8 x c x 5 degrees)).
void CorrectPoleAbsorption(PoleGridArray& grid);

} // namespace orv
