#pragma once
// TVector and TMatrix: 1-based containers of doubles used by the curve
// fitter. Reads outside the bounds give 0 and writes there are ignored, so a
// caller's off-by-one never touches foreign memory.

#include <functional>
#include <string>
#include <vector>

namespace orv {

class TVector {
public:
    // At least one element; allocation failure raises EVemoVectorError.
    explicit TVector(int nrOfElem = 1, std::string name = {});

    int NrOfElem() const { return static_cast<int>(Data_.size()); }
    // Keeps the elements that still fit; new ones are 0.
    void SetNrOfElem(int n);
    double Elem(int k) const;                 // k from 1; 0 outside
    void SetElem(int k, double v);            // ignored outside
    void Clear();                             // every element 0

    std::string Name;
    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange) OnChange();
    }
    std::vector<double> Data_;
};

class TMatrix {
public:
    // Columns and rows are at least 1; allocation failure raises EVemoMatrixError.
    explicit TMatrix(int nrOfColumns = 1, int nrOfRows = 1, std::string name = {});

    int NrOfColumns() const { return Columns_; }
    int NrOfRows() const { return Rows_; }
    // Keeps the elements that still fit; new ones are 0.
    void Resize(int nrOfColumns, int nrOfRows);
    void SetNrOfColumns(int n) { Resize(n, Rows_); }
    void SetNrOfRows(int n) { Resize(Columns_, n); }
    double Elem(int column, int row) const;   // both from 1; 0 outside
    void SetElem(int column, int row, double v);
    void Fill(double v);
    // C := this x B. False (C unchanged) unless this has as many columns as
    // B has rows and C is sized B's columns by this one's rows.
    bool Multiply(const TMatrix& B, TMatrix& C) const;
    // In place, by LU decomposition with implicit row scaling. False for a
    // non-square or singular matrix (which is then left decomposed).
    bool Invert();

    std::string DataID;
    std::string Name;
    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange) OnChange();
    }
    double& At(int column, int row) { return Data_[static_cast<size_t>(row - 1) * Columns_ + (column - 1)]; }
    double At(int column, int row) const {
        return Data_[static_cast<size_t>(row - 1) * Columns_ + (column - 1)];
    }
    int Columns_ = 1, Rows_ = 1;
    std::vector<double> Data_;
};

} // namespace orv
