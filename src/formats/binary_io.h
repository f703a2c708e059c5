#pragma once
// Reading binary frame files: every little-endian value and every
// fixed-position header field goes through these bounds-checked helpers, so
// a short or damaged file is rejected instead of read past its end.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/header_text.h"
#include "base/little_endian.h"
#include "base/numbers.h"
#include "base/parallel.h"
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

    uint8_t u8(uint64_t offset) const { return *at(offset, 1); }
    uint16_t u16(uint64_t offset) const { return LoadU16(at(offset, 2)); }
    int16_t i16(uint64_t offset) const { return static_cast<int16_t>(u16(offset)); }
    uint32_t u32(uint64_t offset) const { return LoadU32(at(offset, 4)); }
    int32_t i32(uint64_t offset) const { return static_cast<int32_t>(u32(offset)); }
    float f32(uint64_t offset) const { return LoadF32(at(offset, 4)); }
    double f64(uint64_t offset) const { return LoadF64(at(offset, 8)); }
    // The first of `count` bytes from `offset`, after checking they exist.
    const unsigned char* at(uint64_t offset, uint64_t count) const {
        require(offset, count);
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + offset;
    }
    // A fixed-position text field of `count` characters.
    std::string text(uint64_t offset, uint64_t count) const {
        require(offset, count);
        return std::string(bytes_.substr(offset, count));
    }
    std::string_view bytes() const { return bytes_; }

private:
    std::string_view bytes_;
};

// ---- Frame blocks ---------------------------------------------------------

inline int32_t SaturateToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Bytes of a width x height block of `bytesPerPixel`-byte pixels. Throws
// FrameReadError for a size no frame can have, before anything is allocated.
inline uint64_t PixelBlockBytes(int64_t width, int64_t height, int64_t bytesPerPixel) {
    if (width < 1 || height < 1) throw FrameReadError("frame of zero size");
    if (width > MaxFramePixels || height > MaxFramePixels || width * height > MaxFramePixels)
        throw FrameReadError("frame too large: " + std::to_string(width) + " x " + std::to_string(height));
    return static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bytesPerPixel);
}

inline int32_t DecodeU8(const unsigned char* p) { return *p; }
inline int32_t DecodeI8(const unsigned char* p) { return static_cast<int8_t>(*p); }
inline int32_t DecodeU16(const unsigned char* p) { return LoadU16(p); }
inline int32_t DecodeI16(const unsigned char* p) { return static_cast<int16_t>(LoadU16(p)); }
inline int32_t DecodeI32(const unsigned char* p) { return static_cast<int32_t>(LoadU32(p)); }

// The decoder of unsigned 8-bit, unsigned 16-bit and signed 32-bit pixels,
// the three depths most formats share; nullptr for any other depth.
using PixelDecoder = int32_t (*)(const unsigned char*);
inline PixelDecoder CommonPixelDecoder(int64_t bytesPerPixel) {
    switch (bytesPerPixel) {
    case 1: return DecodeU8;
    case 2: return DecodeU16;
    case 4: return DecodeI32;
    default: return nullptr;
    }
}

namespace detail {

// The work of turning rows into columns, cut into items for the threads:
// bands of `tile` columns, and a band of few columns (a frame of few
// columns and many rows) into runs of its rows too, so that every thread
// has a share whatever the frame's shape. Each item covers whole tiles;
// the tiles are independent of each other.
class TileGrid {
public:
    TileGrid(int32_t width, int32_t rowCount, int32_t tile)
        : bands_((width + tile - 1) / tile), rowTiles_((rowCount + tile - 1) / tile), tile_(tile), rows_(rowCount) {
        // Enough items for every thread several times over, runs of at
        // least 64 tiles.
        constexpr int64_t Wanted = 256, LeastTiles = 64;
        runs_ = static_cast<int32_t>(std::clamp<int64_t>(Wanted / std::max(bands_, 1), 1,
                                                         std::max<int64_t>(1, rowTiles_ / LeastTiles)));
    }
    int32_t Last() const { return bands_ * runs_ - 1; }
    int32_t Band(int32_t item) const { return item / runs_; }
    // Stored rows FirstRow .. EndRow - 1 of the item (from 0).
    int32_t FirstRow(int32_t item) const { return RunStart(item % runs_); }
    int32_t EndRow(int32_t item) const { return std::min(rows_, RunStart(item % runs_ + 1)); }

private:
    int32_t RunStart(int32_t run) const {
        return static_cast<int32_t>(static_cast<int64_t>(rowTiles_) * run / runs_ * tile_);
    }
    int32_t bands_, rowTiles_, tile_, rows_;
    int32_t runs_ = 1;
};

// The rows of a block turned into the frame's columns, tile by tile: a tile
// of 64 stored rows and 64 columns is decoded row by row into a small
// buffer, then written column by column, so that the file is read and the
// frame written in order while the tile stays in the cache. Tiles of
// columns are independent and shared among threads.
template <typename Decode>
void TransposeRows(NewFrame& frame, const unsigned char* base, uint64_t rowStride, uint64_t pixelBytes,
                   int32_t firstRow, int32_t rowCount, int32_t rowStep, const Decode& decode) {
    constexpr int32_t Tile = 64;
    const int32_t width = frame.FrameWidth;
    const TileGrid grid(width, rowCount, Tile);
    const unsigned workers = ParallelWorkerCount(int64_t{width} * rowCount, int64_t{1} << 18);
    ParallelFor(0, grid.Last(), workers, [&](unsigned, int32_t lo, int32_t hi) {
        alignas(64) int32_t tile[Tile][Tile];
        for (int32_t item = lo; item <= hi; ++item) {
            const int32_t band = grid.Band(item);
            const int32_t x0 = band * Tile, n = std::min(width - x0, Tile);
            for (int32_t r0 = grid.FirstRow(item); r0 < grid.EndRow(item); r0 += Tile) {
                const int32_t m = std::min(rowCount - r0, Tile);
                for (int32_t r = 0; r < m; ++r) {
                    const unsigned char* p =
                        base + rowStride * static_cast<uint64_t>(r0 + r) + static_cast<uint64_t>(x0) * pixelBytes;
                    for (int32_t x = 0; x < n; ++x) tile[r][x] = decode(p + static_cast<uint64_t>(x) * pixelBytes);
                }
                for (int32_t x = 0; x < n; ++x) {
                    int32_t* column = frame.Intensity[x0 + x + 1];
                    int32_t y = firstRow + r0 * rowStep;
                    if (rowStep == 1) {
                        for (int32_t r = 0; r < m; ++r) column[y + r] = tile[r][x];
                    } else {
                        for (int32_t r = 0; r < m; ++r, y += rowStep) column[y] = tile[r][x];
                    }
                }
            }
        }
    });
}

#if defined(__SSE2__)
// Four stored little-endian pixels of type T as four intensities.
template <typename T>
inline __m128i LoadFour(const unsigned char* p) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (sizeof(T) == 4) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    } else if constexpr (sizeof(T) == 2) {
        const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        if constexpr (std::is_signed_v<T>) return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
        return _mm_unpacklo_epi16(v, zero);
    } else {
        int32_t word;
        std::memcpy(&word, p, 4);
        const __m128i v = _mm_cvtsi32_si128(word);
        if constexpr (std::is_signed_v<T>) {
            const __m128i w = _mm_unpacklo_epi8(v, v);
            return _mm_srai_epi32(_mm_unpacklo_epi16(w, w), 24);
        }
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(v, zero), zero);
    }
}

// TransposeRows for pixels stored as little-endian T, rows written one
// below the other (rowStep 1) or above (-1). A tile's stored rows are first
// copied next to each other (rows a power of two apart would crowd the same
// few cache sets); then blocks of 4 rows x 4 columns are loaded, widened and
// turned in registers, and each column's four intensities stored at once.
// The same values as decoding pixel by pixel.
template <typename T>
void TransposeRowsFour(NewFrame& frame, const unsigned char* base, uint64_t rowStride, int32_t firstRow,
                       int32_t rowCount, int32_t rowStep) {
    constexpr int32_t Tile = 64;
    constexpr uint64_t Size = sizeof(T), Row = Tile * Size;
    const int32_t width = frame.FrameWidth;
    const TileGrid grid(width, rowCount, Tile);
    const unsigned workers = ParallelWorkerCount(int64_t{width} * rowCount, int64_t{1} << 18);
    auto decode = [](const unsigned char* p) {
        T v;
        std::memcpy(&v, p, sizeof v);
        return static_cast<int32_t>(v);
    };
    ParallelFor(0, grid.Last(), workers, [&, base, rowStride, firstRow, rowCount, rowStep](unsigned, int32_t lo, int32_t hi) {
        alignas(64) unsigned char rows[Tile * Row];
        for (int32_t item = lo; item <= hi; ++item) {
            const int32_t band = grid.Band(item);
            const int32_t x0 = band * Tile, n = std::min(width - x0, Tile);
            const uint64_t bytes = static_cast<uint64_t>(n) * Size;
            for (int32_t r0 = grid.FirstRow(item); r0 < grid.EndRow(item); r0 += Tile) {
                const int32_t m = std::min(rowCount - r0, Tile);
                const unsigned char* tile =
                    base + rowStride * static_cast<uint64_t>(r0) + static_cast<uint64_t>(x0) * Size;
                for (int32_t r = 0; r < m; ++r) std::memcpy(rows + r * Row, tile + rowStride * static_cast<uint64_t>(r), bytes);
                int32_t x = 0;
                for (; x + 4 <= n; x += 4) {
                    int32_t* c0 = frame.Intensity[x0 + x + 1];
                    int32_t* c1 = frame.Intensity[x0 + x + 2];
                    int32_t* c2 = frame.Intensity[x0 + x + 3];
                    int32_t* c3 = frame.Intensity[x0 + x + 4];
                    const unsigned char* p = rows + static_cast<uint64_t>(x) * Size;
                    int32_t r = 0;
                    for (; r + 4 <= m; r += 4, p += 4 * Row) {
                        const __m128i a = LoadFour<T>(p), b = LoadFour<T>(p + Row);
                        const __m128i d = LoadFour<T>(p + 2 * Row), e = LoadFour<T>(p + 3 * Row);
                        const __m128i ab0 = _mm_unpacklo_epi32(a, b), de0 = _mm_unpacklo_epi32(d, e);
                        const __m128i ab1 = _mm_unpackhi_epi32(a, b), de1 = _mm_unpackhi_epi32(d, e);
                        __m128i k0 = _mm_unpacklo_epi64(ab0, de0), k1 = _mm_unpackhi_epi64(ab0, de0);
                        __m128i k2 = _mm_unpacklo_epi64(ab1, de1), k3 = _mm_unpackhi_epi64(ab1, de1);
                        int32_t y = firstRow + (r0 + r) * rowStep;
                        if (rowStep < 0) {
                            y -= 3;
                            k0 = _mm_shuffle_epi32(k0, _MM_SHUFFLE(0, 1, 2, 3));
                            k1 = _mm_shuffle_epi32(k1, _MM_SHUFFLE(0, 1, 2, 3));
                            k2 = _mm_shuffle_epi32(k2, _MM_SHUFFLE(0, 1, 2, 3));
                            k3 = _mm_shuffle_epi32(k3, _MM_SHUFFLE(0, 1, 2, 3));
                        }
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(c0 + y), k0);
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(c1 + y), k1);
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(c2 + y), k2);
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(c3 + y), k3);
                    }
                    for (; r < m; ++r, p += Row) {
                        const int32_t y = firstRow + (r0 + r) * rowStep;
                        c0[y] = decode(p);
                        c1[y] = decode(p + Size);
                        c2[y] = decode(p + 2 * Size);
                        c3[y] = decode(p + 3 * Size);
                    }
                }
                for (; x < n; ++x) {
                    int32_t* column = frame.Intensity[x0 + x + 1];
                    const unsigned char* p = rows + static_cast<uint64_t>(x) * Size;
                    for (int32_t r = 0; r < m; ++r, p += Row) column[firstRow + (r0 + r) * rowStep] = decode(p);
                }
            }
        }
    });
}
#endif

// Fills with TransposeRowsFour when the host can: little-endian with 4-wide
// integer vectors.
template <typename T>
bool FillFour(NewFrame& frame, const unsigned char* base, uint64_t rowStride, int32_t firstRow, int32_t rowCount,
              int32_t rowStep) {
#if defined(__SSE2__)
    if constexpr (std::endian::native == std::endian::little) {
        TransposeRowsFour<T>(frame, base, rowStride, firstRow, rowCount, rowStep);
        return true;
    }
#endif
    (void)frame, (void)base, (void)rowStride, (void)firstRow, (void)rowCount, (void)rowStep;
    return false;
}

} // namespace detail

// Writes `rowCount` stored rows of `frame.FrameWidth` pixels into frame rows
// firstRow, firstRow + rowStep, ...; stored row r starts at offset + r x
// rowStride and each pixel takes `pixelBytes` bytes, turned into an
// intensity by `decode`. The whole block is checked against the data first
// (FrameReadError when it is not inside). The decoders above are inlined
// when passed by name or as a PixelDecoder.
template <typename Decode>
void FillFrameRows(NewFrame& frame, const ByteView& file, uint64_t offset, uint64_t rowStride,
                   uint64_t pixelBytes, int32_t firstRow, int32_t rowCount, int32_t rowStep, Decode decode) {
    const int32_t width = frame.FrameWidth;
    if (rowCount < 1 || width < 1) return;
    const int64_t lastRow = firstRow + static_cast<int64_t>(rowStep) * (rowCount - 1);
    if (!frame.Intensity.contains(width, firstRow) || !frame.Intensity.contains(width, lastRow) ||
        std::min<int64_t>(firstRow, lastRow) < 1 ||
        std::max<int64_t>(firstRow, lastRow) > frame.Intensity.height())
        throw FrameReadError("pixel rows outside the frame");
    const uint64_t rowBytes = static_cast<uint64_t>(width) * pixelBytes;
    if (rowStride > (std::numeric_limits<uint64_t>::max() - rowBytes) / static_cast<uint64_t>(rowCount))
        throw FrameReadError("file too short for its pixels");
    const unsigned char* base = file.at(offset, rowStride * static_cast<uint64_t>(rowCount - 1) + rowBytes);
    auto fill = [&](const auto& d) {
        detail::TransposeRows(frame, base, rowStride, pixelBytes, firstRow, rowCount, rowStep, d);
    };
    if constexpr (std::is_convertible_v<Decode, PixelDecoder>) {
        const PixelDecoder d = decode;
        // The common decoders of little-endian pixels, four at a time.
        if (rowStep == 1 || rowStep == -1) {
            const auto four = [&]<typename T>(T) {
                return detail::FillFour<T>(frame, base, rowStride, firstRow, rowCount, rowStep);
            };
            if (d == DecodeU8 && four(uint8_t{})) return;
            if (d == DecodeI8 && four(int8_t{})) return;
            if (d == DecodeU16 && four(uint16_t{})) return;
            if (d == DecodeI16 && four(int16_t{})) return;
            if (d == DecodeI32 && four(int32_t{})) return;
        }
        // Others inline, not called per pixel.
        if (d == DecodeU8) return fill([](const unsigned char* p) { return DecodeU8(p); });
        if (d == DecodeI8) return fill([](const unsigned char* p) { return DecodeI8(p); });
        if (d == DecodeU16) return fill([](const unsigned char* p) { return DecodeU16(p); });
        if (d == DecodeI16) return fill([](const unsigned char* p) { return DecodeI16(p); });
        if (d == DecodeI32) return fill([](const unsigned char* p) { return DecodeI32(p); });
    }
    fill(decode);
}

// The geometry a format without one takes from the Detector Settings boxes;
// a box that does not hold a number throws ConversionError.
inline void GeometryFromDetectorSettings(const TForm32& form, NewFrame& frame) {
    frame.Xo = ParseNumber(form.EXoM);
    frame.Yo = ParseNumber(form.EYoM);
    frame.TwoThetaD = ParseNumber(form.E2thetaD);
    frame.Distance = ParseNumber(form.EDistance);
    frame.DSize = ParseNumber(form.EDSize);
    frame.Landa = ParseNumber(form.ELanda);
}

} // namespace orv
