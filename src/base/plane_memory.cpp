#include "base/plane_memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#define ORV_HAVE_MMAP 1
#endif

namespace orv {

namespace {
// Below this a block comes from the ordinary heap, zeroed there.
constexpr size_t MappedFrom = size_t{1} << 20;
constexpr size_t HugePage = size_t{2} << 20;
} // namespace

bool PlaneMemory::reserve(size_t bytes) {
    if (bytes <= capacity_ && data_) return false;
    release();
    if (bytes == 0) return true;
#ifdef ORV_HAVE_MMAP
    if (bytes >= MappedFrom) {
        // One huge page more than asked, so the block can start on a huge page.
        const size_t length = bytes + HugePage;
        void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        const uintptr_t start = (reinterpret_cast<uintptr_t>(p) + HugePage - 1) & ~(HugePage - 1);
#ifdef MADV_HUGEPAGE
        ::madvise(reinterpret_cast<void*>(start), bytes & ~(HugePage - 1), MADV_HUGEPAGE);
#endif
        mapping_ = p;
        mappingBytes_ = length;
        data_ = reinterpret_cast<void*>(start);
        capacity_ = bytes;
        return true;
    }
#endif
    void* p = std::calloc(bytes, 1);
    if (!p) throw std::bad_alloc();
    data_ = p;
    capacity_ = bytes;
    return true;
}

void PlaneMemory::release() noexcept {
#ifdef ORV_HAVE_MMAP
    if (mapping_) {
        ::munmap(mapping_, mappingBytes_);
    } else
#endif
    {
        std::free(data_);
    }
    data_ = mapping_ = nullptr;
    capacity_ = mappingBytes_ = 0;
}

void PlaneMemory::swap(PlaneMemory& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(mapping_, other.mapping_);
    std::swap(mappingBytes_, other.mappingBytes_);
}

} // namespace orv
