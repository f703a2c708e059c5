#pragma once
// Little-endian values in bytes: the only place that assembles or writes
// multi-byte values, so no code casts pointers into files or buffers. The
// caller checks that the bytes exist (formats/binary_io.h does for readers).

#include <cstdint>
#include <cstring>
#include <string>

namespace orv {

inline uint16_t LoadU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const unsigned char* p) {
    return static_cast<uint64_t>(LoadU32(p)) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
inline float LoadF32(const unsigned char* p) {
    uint32_t bits = LoadU32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}
inline double LoadF64(const unsigned char* p) {
    uint64_t bits = LoadU64(p);
    double v;
    std::memcpy(&v, &bits, 8);
    return v;
}

// Writes a 32-bit value at p.
inline void StoreI32(unsigned char* p, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<unsigned char>(u & 0xff);
    p[1] = static_cast<unsigned char>((u >> 8) & 0xff);
    p[2] = static_cast<unsigned char>((u >> 16) & 0xff);
    p[3] = static_cast<unsigned char>((u >> 24) & 0xff);
}

// Appends a 32-bit value to a byte string (writers).
inline void PutI32(std::string& out, int32_t v) {
    unsigned char b[4];
    StoreI32(b, v);
    out.append(reinterpret_cast<const char*>(b), 4);
}

} // namespace orv
