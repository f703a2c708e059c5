#include "chart/vector_matrix.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>
#include <utility>

#include "chart/chart_errors.h"

namespace orv {

namespace {

// Runs an allocation; running out of memory (or asking for more than can
// exist) becomes the component's own error.
template <class Error, class F>
void Allocate(const std::string& name, const char* tail, F&& allocation) {
    auto fail = [&] { return Error("Component \"" + name + "\": " + tail); };
    try {
        allocation();
    } catch (const std::bad_alloc&) {
        throw fail();
    } catch (const std::length_error&) {
        throw fail();
    }
}

} // namespace

// ---------------------------------------------------------------- TVector

TVector::TVector(int nrOfElem, std::string name) : Name(std::move(name)) {
    Allocate<EVemoVectorError>(Name, "not enough memory on heap",
                               [&] { Data_.assign(static_cast<size_t>(std::max(nrOfElem, 1)), 0.0); });
}

void TVector::SetNrOfElem(int n) {
    Allocate<EVemoVectorError>(Name, "not enough memory",
                               [&] { Data_.resize(static_cast<size_t>(std::max(n, 1)), 0.0); });
    Changed();
}

double TVector::Elem(int k) const {
    if (k < 1 || k > NrOfElem()) return 0;
    return Data_[static_cast<size_t>(k - 1)];
}

void TVector::SetElem(int k, double v) {
    if (k < 1 || k > NrOfElem()) return;
    Data_[static_cast<size_t>(k - 1)] = v;
    Changed();
}

void TVector::Clear() {
    std::fill(Data_.begin(), Data_.end(), 0.0);
    Changed();
}

// ---------------------------------------------------------------- TMatrix

TMatrix::TMatrix(int nrOfColumns, int nrOfRows, std::string name) : Name(std::move(name)) {
    Resize(nrOfColumns, nrOfRows);
}

void TMatrix::Resize(int nrOfColumns, int nrOfRows) {
    const int columns = std::max(nrOfColumns, 1), rows = std::max(nrOfRows, 1);
    Allocate<EVemoMatrixError>(Name, "not enough memory on heap", [&] {
        if (columns == Columns_ && !Data_.empty()) {
            // Rows are contiguous: growing or shrinking keeps the others in place.
            Data_.resize(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0.0);
        } else {
            std::vector<double> data(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0.0);
            for (int r = 1; r <= std::min(rows, Rows_) && !Data_.empty(); ++r)
                for (int c = 1; c <= std::min(columns, Columns_); ++c)
                    data[static_cast<size_t>(r - 1) * columns + (c - 1)] = At(c, r);
            Data_.swap(data);
        }
    });
    Columns_ = columns;
    Rows_ = rows;
    Changed();
}

double TMatrix::Elem(int column, int row) const {
    if (column < 1 || column > Columns_ || row < 1 || row > Rows_) return 0;
    return At(column, row);
}

void TMatrix::SetElem(int column, int row, double v) {
    if (column < 1 || column > Columns_ || row < 1 || row > Rows_) return;
    At(column, row) = v;
    Changed();
}

void TMatrix::Fill(double v) {
    std::fill(Data_.begin(), Data_.end(), v);
    Changed();
}

bool TMatrix::Multiply(const TMatrix& B, TMatrix& C) const {
    if (Columns_ != B.Rows_ || C.Columns_ != B.Columns_ || C.Rows_ != Rows_) return false;
    // Into a scratch copy first: C may be this matrix or B.
    std::vector<double> product(static_cast<size_t>(C.Columns_) * C.Rows_, 0.0);
    for (int r = 1; r <= Rows_; ++r)
        for (int c = 1; c <= B.Columns_; ++c) {
            double sum = 0;
            for (int k = 1; k <= Columns_; ++k) sum += At(k, r) * B.At(c, k);
            product[static_cast<size_t>(r - 1) * C.Columns_ + (c - 1)] = sum;
        }
    C.Data_.swap(product);
    C.Changed();
    return true;
}

bool TMatrix::Invert() {
    if (Columns_ != Rows_) return false;
    const int n = Rows_;
    // a(r, c): row r, column c, from 1.
    auto a = [this](int r, int c) -> double& { return At(c, r); };

    std::vector<double> scale(static_cast<size_t>(n) + 1);
    for (int r = 1; r <= n; ++r) {
        double big = 0;
        for (int c = 1; c <= n; ++c) big = std::max(big, std::fabs(a(r, c)));
        if (big == 0) return false;
        scale[r] = 1.0 / big;
    }

    // Crout's decomposition with partial pivoting on scaled magnitudes.
    std::vector<int> pivot(static_cast<size_t>(n) + 1);
    bool failed = false;
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i < j; ++i) {
            double sum = a(i, j);
            for (int k = 1; k < i; ++k) sum -= a(i, k) * a(k, j);
            a(i, j) = sum;
        }
        double big = 0;
        int imax = j;
        for (int i = j; i <= n; ++i) {
            double sum = a(i, j);
            for (int k = 1; k < j; ++k) sum -= a(i, k) * a(k, j);
            a(i, j) = sum;
            double scaled = scale[i] * std::fabs(sum);
            if (scaled >= big) {  // on a tie the later row wins
                big = scaled;
                imax = i;
            }
        }
        if (imax != j) {
            for (int k = 1; k <= n; ++k) std::swap(a(imax, k), a(j, k));
            scale[imax] = scale[j];
        }
        pivot[j] = imax;
        if (std::fabs(a(j, j)) < 1e-15) {
            a(j, j) = 1e-15;
            failed = true;
        }
        if (j != n) {
            double inverse = 1.0 / a(j, j);
            for (int i = j + 1; i <= n; ++i) a(i, j) *= inverse;
        }
    }
    if (failed) {
        Changed();
        return false;
    }

    // One forward and back substitution per unit vector gives the inverse's columns.
    std::vector<double> inverse(static_cast<size_t>(n) * n);
    std::vector<double> b(static_cast<size_t>(n) + 1);
    for (int col = 1; col <= n; ++col) {
        std::fill(b.begin(), b.end(), 0.0);
        b[col] = 1;
        int first = 0;
        for (int i = 1; i <= n; ++i) {
            int ip = pivot[i];
            double sum = b[ip];
            b[ip] = b[i];
            if (first != 0) {
                for (int k = first; k < i; ++k) sum -= a(i, k) * b[k];
            } else if (sum != 0) {
                first = i;
            }
            b[i] = sum;
        }
        for (int i = n; i >= 1; --i) {
            double sum = b[i];
            for (int k = i + 1; k <= n; ++k) sum -= a(i, k) * b[k];
            b[i] = sum / a(i, i);
        }
        for (int r = 1; r <= n; ++r) inverse[static_cast<size_t>(r - 1) * n + (col - 1)] = b[r];
    }
    Data_.swap(inverse);
    Changed();
    return true;
}

} // namespace orv
