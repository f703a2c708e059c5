#pragma once
// Reading whole files: one sized read into a buffer of exactly the file's
// size, no growing stream and no second copy. Only regular files are read:
// a FIFO, a device or a folder is refused at once (opening never waits for
// a writer), and a file larger than the caller's limit is refused before
// anything is read or allocated.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "base/plane_memory.h"

namespace orv {

// An input/output failure on a file; the message names the file.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(FileBytes&& other) noexcept { swap(other); }
    FileBytes& operator=(FileBytes&& other) noexcept {
        FileBytes gone;
        gone.swap(other);
        swap(gone);
        return *this;
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    std::string_view view() const { return {static_cast<const char*>(memory_.data()), size_}; }
    size_t size() const { return size_; }

    // The whole of `path`. Throws FileError (naming the file) when it cannot
    // be opened or read, is not a regular file, is larger than `limit`
    // bytes, or no memory can be had for it.
    static FileBytes Read(const std::string& path, uint64_t limit = UINT64_MAX);

    // While on, the memory of a read that is done is kept for the next read
    // of a file of about the same size (a run of many frames); off frees it.
    static void KeepMemory(bool on);

private:
    void swap(FileBytes& other) noexcept {
        memory_.swap(other.memory_);
        std::swap(size_, other.size_);
    }
    PlaneMemory memory_;
    size_t size_ = 0;
};

} // namespace orv
