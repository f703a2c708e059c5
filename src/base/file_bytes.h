#pragma once
// Reading whole files: one sized read into a buffer of exactly the file's
// size, no growing stream and no second copy. Only regular files are read:
// a FIFO, a device or a folder is refused at once (opening never waits for
// a writer), and a file larger than the caller's limit is refused before
// anything is read or allocated.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orv {

// An input/output failure on a file; the message names the file.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FileBytes {
public:
    FileBytes() = default;
    std::string_view view() const { return {data_.get(), size_}; }
    size_t size() const { return size_; }

    // The whole of `path`. Throws FileError (naming the file) when it cannot
    // be opened or read, is not a regular file, is larger than `limit`
    // bytes, or no memory can be had for it.
    static FileBytes Read(const std::string& path, uint64_t limit = UINT64_MAX);

private:
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
};

} // namespace orv
