#pragma once
// One value per pixel of a frame: a plane indexed [column][row], both used
// from 1, with one spare cell at each end of both indices (the border).
// Columns are contiguous, so plane[i][j] is a plain pointer access and
// plane[i] is the column as a pointer indexed by row.
//
// resize() gives room without writing the pixels (the caller writes every
// one; only the border is set to 0, as code reading next to the edge expects
// a defined value there); assign() sets every cell. Both keep the allocation
// when it is large enough, so planes of consecutive frames reuse memory.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>

#include "base/plane_memory.h"

namespace orv {

template <typename T>
class FramePlane {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    FramePlane() = default;
    // width x height pixels plus the border, every cell `value`.
    FramePlane(int32_t width, int32_t height, T value = T{}) { assign(width, height, value); }
    FramePlane(const FramePlane& other) { *this = other; }
    FramePlane(FramePlane&& other) noexcept { swap(other); }
    FramePlane& operator=(const FramePlane& other) {
        if (this == &other) return *this;
        if (other.cellCount() == 0) {
            cols_ = rows_ = 0;
            return *this;
        }
        setShape(other.width(), other.height());
        if (other.cellCount()) std::memcpy(data(), other.data(), other.cellCount() * sizeof(T));
        return *this;
    }
    FramePlane& operator=(FramePlane&& other) noexcept {
        if (this != &other) {
            FramePlane gone;
            gone.swap(other);
            swap(gone);
        }
        return *this;
    }

    // Room for width x height pixels plus the border; the pixels hold
    // whatever was there (zero in fresh memory), the border holds 0.
    void resize(int32_t width, int32_t height) {
        const bool fresh = setShape(width, height);
        if (!fresh) clearBorder();
    }
    // Room for width x height pixels plus the border, every cell `value`.
    void assign(int32_t width, int32_t height, T value) {
        const bool fresh = setShape(width, height);
        if (fresh && IsZero(value)) return;
        fill(value);
    }
    // Every cell, border included.
    void fill(T value) { std::fill(data(), data() + cellCount(), value); }
    // Sets the border cells (columns 0 and width + 1, rows 0 and height + 1) to 0.
    void clearBorder() {
        if (cellCount() == 0) return;
        std::fill(data(), data() + rows_, T{});
        std::fill(data() + size_t(cols_ - 1) * rows_, data() + cellCount(), T{});
        for (int32_t i = 1; i < cols_ - 1; ++i) {
            (*this)[i][0] = T{};
            (*this)[i][rows_ - 1] = T{};
        }
    }
    // Frees the memory.
    void clear() {
        cols_ = rows_ = 0;
        memory_.release();
    }
    void swap(FramePlane& other) noexcept {
        memory_.swap(other.memory_);
        std::swap(cols_, other.cols_);
        std::swap(rows_, other.rows_);
    }

    // Column i (0..width + 1), indexed by row (0..height + 1).
    T* operator[](int32_t i) { return data() + static_cast<size_t>(i) * rows_; }
    const T* operator[](int32_t i) const { return data() + static_cast<size_t>(i) * rows_; }

    // Usable width and height (without the border).
    int32_t width() const { return cols_ > 0 ? cols_ - 2 : 0; }
    int32_t height() const { return rows_ > 0 ? rows_ - 2 : 0; }
    // Whether [i][j] lies in the allocation (border included).
    bool contains(int64_t i, int64_t j) const { return i >= 0 && j >= 0 && i < cols_ && j < rows_; }
    bool empty() const { return cellCount() == 0; }
    // Whether a plane (of any type) has this plane's cells.
    template <typename U>
    bool sameShape(const FramePlane<U>& o) const {
        return width() == o.width() && height() == o.height() && cellCount() == o.cellCount();
    }

    T* data() { return static_cast<T*>(memory_.data()); }
    const T* data() const { return static_cast<const T*>(memory_.data()); }
    // Cells in use, border included.
    size_t cellCount() const { return static_cast<size_t>(cols_) * static_cast<size_t>(rows_); }
    // Cells the allocation holds without growing.
    size_t capacity() const { return memory_.capacity() / sizeof(T); }

private:
    static bool IsZero(T value) {
        T zero{};
        return std::memcmp(&value, &zero, sizeof(T)) == 0;
    }
    // Answers whether the memory is fresh (every cell zero).
    bool setShape(int32_t width, int32_t height) {
        if (width < 0 || height < 0) throw std::invalid_argument("negative frame size");
        const size_t cells = (static_cast<size_t>(width) + 2) * (static_cast<size_t>(height) + 2);
        const bool fresh = memory_.reserve(cells * sizeof(T));
        cols_ = width + 2;
        rows_ = height + 2;
        return fresh;
    }

    PlaneMemory memory_;
    int32_t cols_ = 0, rows_ = 0;
};

} // namespace orv
