#include "polefig/pole_grid.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "base/numbers.h"

namespace orv {

size_t PoleGridArray::index(int row, int column) {
    if (row < 0 || row >= PoleGridRows || column < 0 || column >= PoleGridColumns)
        throw std::out_of_range("pole grid cell [" + std::to_string(row) + "][" + std::to_string(column) +
                                "] outside the grid");
    return static_cast<size_t>(row) * PoleGridColumns + static_cast<size_t>(column);
}

PoleGridArray& PoleGridBlock::PoleFigure(int slot) {
    if (slot < 1 || slot > PoleViewerSlots) throw std::out_of_range("pole figure slot " + std::to_string(slot));
    return PoleFigures[static_cast<size_t>(slot - 1)];
}

const PoleGridArray& PoleGridBlock::PoleFigure(int slot) const {
    if (slot < 1 || slot > PoleViewerSlots) throw std::out_of_range("pole figure slot " + std::to_string(slot));
    return PoleFigures[static_cast<size_t>(slot - 1)];
}

int PoleRowCount(double phiStep) { return RoundToInt(360.0 / phiStep); }
int PoleColumnCount(double psiStep) { return RoundToInt(90.0 / psiStep); }

bool PoleStepsFit(double phiStep, double psiStep, std::string& why) {
    if (!(std::isfinite(phiStep) && phiStep > 0) || PoleRowCount(phiStep) > MaxPoleRowCount ||
        PoleRowCount(phiStep) < 2) {
        why = "The phi step must lie between 2 and 180 degrees";
        return false;
    }
    if (!(std::isfinite(psiStep) && psiStep > 0) || PoleColumnCount(psiStep) > MaxPoleColumnCount ||
        PoleColumnCount(psiStep) < 1) {
        why = "The psi step must lie between 0.25 and 90 degrees";
        return false;
    }
    return true;
}

bool PoleStepsAreFive(const PoleGridBlock& block, std::string& message) {
    if (block.PolePhiStep == 5.0 && block.PolePsiStep == 5.0) return true;
    message = "This command needs pole figures of 5 degree steps in phi and psi";
    return false;
}

int32_t PoleGridMaximum(const PoleGridArray& grid, int rows, int columns) {
    int32_t best = 0;
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c) best = std::max(best, grid.at(r, c));
    return best;
}

void ClosePoleGrid(PoleGridArray& grid, int rows, int columns) {
    for (int c = 0; c <= columns; ++c) grid.at(rows, c) = grid.at(0, c);
}

void RotatePoleRows(PoleGridArray& grid, int direction) {
    const PoleGridArray old = grid;
    const int shift = direction >= 0 ? FivePoleRows - 1 : 1;   // r - 1 or r + 1, modulo 72
    for (int r = 0; r < FivePoleRows; ++r)
        for (int c = 0; c <= FivePoleColumns; ++c) grid.at(r, c) = old.at((r + shift) % FivePoleRows, c);
    ClosePoleGrid(grid, FivePoleRows, FivePoleColumns);
}

void CorrectPoleAbsorption(PoleGridArray& grid) {
    constexpr double degree = 3.14159265358979323846 / 180.0;
    for (int c = 0; c <= FivePoleColumns; ++c) {
        const double factor = 1.0 / std::cos(0.8 * c * 5.0 * degree);
        for (int r = 0; r <= FivePoleRows; ++r) grid.at(r, c) = RoundToInt(grid.at(r, c) * factor);
    }
}

} // namespace orv
