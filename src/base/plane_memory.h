#pragma once
// Memory for the large pixel planes of frames and their geometry.
//
// Large blocks are taken straight from the operating system: fresh memory
// is known to read as zero, so a plane that is about to be written needs no
// zero-filling, and a plane that must start at zero gets it for free. Large
// blocks also ask for huge pages, which cuts the cost of touching them
// the first time.

#include <cstddef>

namespace orv {

class PlaneMemory {
public:
    PlaneMemory() = default;
    ~PlaneMemory() { release(); }
    PlaneMemory(PlaneMemory&& other) noexcept { swap(other); }
    PlaneMemory& operator=(PlaneMemory&& other) noexcept {
        if (this != &other) {
            release();
            swap(other);
        }
        return *this;
    }
    PlaneMemory(const PlaneMemory&) = delete;
    PlaneMemory& operator=(const PlaneMemory&) = delete;

    // Makes room for `bytes` bytes, keeping the block when it is large
    // enough. Answers whether the block is fresh (reads as zero). Throws
    // std::bad_alloc.
    bool reserve(size_t bytes);
    void release() noexcept;
    void swap(PlaneMemory& other) noexcept;

    void* data() const { return data_; }
    size_t capacity() const { return capacity_; }

private:
    void* data_ = nullptr;
    size_t capacity_ = 0;
    void* mapping_ = nullptr;   // the block from the system, when mapped
    size_t mappingBytes_ = 0;
};

} // namespace orv
