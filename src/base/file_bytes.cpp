#include "base/file_bytes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

std::mutex KeptMutex;
bool KeepOn = false;
PlaneMemory Kept;

// Closes the file on every way out.
struct FileHandle {
    int fd = -1;
    ~FileHandle() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

FileBytes FileBytes::Read(const std::string& path, uint64_t limit) { return ReadUpTo(path, limit, true); }

FileBytes FileBytes::ReadStart(const std::string& path, uint64_t limit) { return ReadUpTo(path, limit, false); }

FileError FileBytes::TooLarge(const std::string& path, uint64_t size, uint64_t limit) {
    return FileError("File too large (" + std::to_string(size) + " bytes, at most " + std::to_string(limit) +
                     " expected): " + path);
}

FileBytes FileBytes::ReadUpTo(const std::string& path, uint64_t limit, bool refuseLarger) {
    FileHandle file;
    // Non-blocking, so that opening a FIFO returns at once instead of
    // waiting for a writer; the file type is checked on what was opened.
    do {
        file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0) throw FileError("Cannot open file " + path);
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) throw FileError("Cannot read file " + path);
    if (!S_ISREG(info.st_mode)) throw FileError("Not a regular file: " + path);
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    if (fileSize > limit && refuseLarger) throw TooLarge(path, fileSize, limit);
    const uint64_t size = std::min(fileSize, limit);

    FileBytes bytes;
    bytes.fileSize_ = fileSize;
    {
        std::lock_guard lock(KeptMutex);
        // Kept memory serves when it is not much larger than needed.
        if (Kept.capacity() >= size && Kept.capacity() <= 2 * size + 4096) bytes.memory_.swap(Kept);
    }
    try {
        bytes.memory_.reserve(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        throw FileError("Not enough memory to read " + std::to_string(size) + " bytes of " + path);
    }
    char* data = static_cast<char*>(bytes.memory_.data());
    // One read normally does it; a file that shrinks meanwhile gives what is there.
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(file.fd, data + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw FileError("Cannot read file " + path + ": " + std::strerror(errno));
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.size_ = done;
    return bytes;
}

FileBytes::~FileBytes() {
    if (!memory_.data()) return;
    std::lock_guard lock(KeptMutex);
    if (KeepOn && memory_.capacity() > Kept.capacity()) Kept.swap(memory_);
}

void FileBytes::KeepMemory(bool on) {
    std::lock_guard lock(KeptMutex);
    KeepOn = on;
    if (!on) Kept.release();
}

} // namespace orv
