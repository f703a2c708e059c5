#pragma once
// Reading files: one sized read into a buffer of exactly the size read, no
// growing stream and no second copy. Only regular files are read: a FIFO, a
// device or a folder is refused at once (opening never waits for a writer).
// Every reader states the most its format can hold: a file larger than that
// is refused (or, for a reader that uses only a file's beginning, read no
// further) before anything is read or allocated.

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
    // The size of the file when it was opened: more than size() when only
    // its beginning was read.
    uint64_t fileSize() const { return fileSize_; }

    // The whole of `path`. Throws FileError (naming the file) when it cannot
    // be opened or read, is not a regular file, is larger than `limit`
    // bytes, or no memory can be had for it.
    static FileBytes Read(const std::string& path, uint64_t limit = UINT64_MAX);
    // The first `limit` bytes of `path` (all of it when it is no longer), for
    // a reader that uses only the beginning of a file: what lies beyond is
    // neither read nor allocated. Throws FileError as Read does.
    static FileBytes ReadStart(const std::string& path, uint64_t limit);
    // The refusal of a file of `size` bytes where at most `limit` can be of
    // use, naming the file.
    static FileError TooLarge(const std::string& path, uint64_t size, uint64_t limit);

    // While on, the memory of a read that is done is kept for the next read
    // of a file of about the same size (a run of many frames); off frees it.
    static void KeepMemory(bool on);

private:
    void swap(FileBytes& other) noexcept {
        memory_.swap(other.memory_);
        std::swap(size_, other.size_);
        std::swap(fileSize_, other.fileSize_);
    }
    static FileBytes ReadUpTo(const std::string& path, uint64_t limit, bool refuseLarger);
    PlaneMemory memory_;
    size_t size_ = 0;
    uint64_t fileSize_ = 0;
};

} // namespace orv
