#pragma once
// Reading binary frame files: every little-endian value and every
// fixed-position header field goes through these bounds-checked helpers, so
// a short or damaged file is rejected instead of read past its end.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/reader.h"

namespace orv {

class ByteView {
public:
    ByteView() = default;
    explicit ByteView(std::string_view bytes) : bytes_(bytes) {}

    size_t size() const { return bytes_.size(); }
    // Whether `count` bytes from `offset` lie inside the data.
    bool has(uint64_t offset, uint64_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    void require(uint64_t offset, uint64_t count) const {
        if (!has(offset, count)) throw FrameReadError("file too short");
    }

    uint8_t u8(uint64_t offset) const {
        require(offset, 1);
        return static_cast<uint8_t>(bytes_[offset]);
    }
    uint16_t u16(uint64_t offset) const {
        require(offset, 2);
        return static_cast<uint16_t>(b(offset) | (b(offset + 1) << 8));
    }
    int16_t i16(uint64_t offset) const { return static_cast<int16_t>(u16(offset)); }
    uint32_t u32(uint64_t offset) const {
        require(offset, 4);
        return static_cast<uint32_t>(b(offset)) | (static_cast<uint32_t>(b(offset + 1)) << 8) |
               (static_cast<uint32_t>(b(offset + 2)) << 16) | (static_cast<uint32_t>(b(offset + 3)) << 24);
    }
    int32_t i32(uint64_t offset) const { return static_cast<int32_t>(u32(offset)); }
    float f32(uint64_t offset) const {
        uint32_t bits = u32(offset);
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    double f64(uint64_t offset) const {
        require(offset, 8);
        uint64_t bits = static_cast<uint64_t>(u32(offset)) | (static_cast<uint64_t>(u32(offset + 4)) << 32);
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    // A fixed-position text field of `count` characters.
    std::string text(uint64_t offset, uint64_t count) const {
        require(offset, count);
        return std::string(bytes_.substr(offset, count));
    }
    std::string_view bytes() const { return bytes_; }

private:
    uint32_t b(uint64_t offset) const { return static_cast<uint8_t>(bytes_[offset]); }
    std::string_view bytes_;
};

// Appends little-endian values to a byte string (writers).
inline void PutI32(std::string& out, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    char b[4] = {static_cast<char>(u & 0xff), static_cast<char>((u >> 8) & 0xff),
                 static_cast<char>((u >> 16) & 0xff), static_cast<char>((u >> 24) & 0xff)};
    out.append(b, 4);
}

} // namespace orv
