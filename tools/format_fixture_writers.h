#pragma once
// Writers of detector frame files, laid out byte by byte from the format
// descriptions, for test fixtures and benchmarks. They share nothing with
// the readers, so a reader is checked against an independent layout.
// Images are given in storage order: row 0 is the first row in the file.

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace orv::fixtures {

struct Image {
    int32_t Width = 0, Height = 0;
    std::vector<int64_t> Values;   // row-major, storage order
    int64_t at(int32_t row, int32_t col) const { return Values[static_cast<size_t>(row) * Width + col]; }
    int64_t& at(int32_t row, int32_t col) { return Values[static_cast<size_t>(row) * Width + col]; }
};

// A smooth pattern with a ring, values 0..limit-1, the same on every run.
inline Image Pattern(int32_t width, int32_t height, int64_t limit, uint32_t seed = 1) {
    Image img{width, height, std::vector<int64_t>(static_cast<size_t>(width) * height)};
    uint32_t state = seed * 2654435761u + 12345u;
    for (int32_t r = 0; r < height; ++r)
        for (int32_t c = 0; c < width; ++c) {
            state = state * 1664525u + 1013904223u;
            const int64_t dx = c - width / 3, dy = r - height / 2;
            const int64_t ring = (dx * dx + dy * dy) % 997 < 60 ? limit / 2 : 0;
            img.at(r, c) = (static_cast<int64_t>(r) * 7 + c * 3 + ring + (state >> 24)) % limit;
        }
    return img;
}

inline void Put16(std::string& out, uint64_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}
inline void Put32(std::string& out, uint64_t v) {
    Put16(out, v & 0xffff);
    Put16(out, (v >> 16) & 0xffff);
}
inline void PutF32(std::string& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Put32(out, bits);
}
inline void PutF64At(std::string& out, size_t at, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) out[at + i] = static_cast<char>((bits >> (8 * i)) & 0xff);
}
inline void Put32At(std::string& out, size_t at, uint64_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
inline void PutPixel(std::string& out, int64_t v, int bytes) {
    if (bytes == 1) out += static_cast<char>(v & 0xff);
    else if (bytes == 2) Put16(out, static_cast<uint64_t>(v));
    else Put32(out, static_cast<uint64_t>(v));
}
// `text` left-aligned in `width` characters (cut when longer).
inline std::string Left(const std::string& text, size_t width) {
    std::string s = text.substr(0, width);
    s.resize(width, ' ');
    return s;
}
inline std::string Right(const std::string& text, size_t width) {
    return text.size() >= width ? text.substr(0, width) : std::string(width - text.size(), ' ') + text;
}
inline void PadTo16(std::string& out) {
    while (out.size() % 16) out += '\0';
}

// ---- Keyword-record frames ----------------------------------------------

// 96 records of 80 characters; `records` sets record n (from 1).
inline std::string KeywordRecords(const std::vector<std::pair<int, std::string>>& records) {
    std::string header(96 * 80, ' ');
    for (auto& [n, text] : records) header.replace((n - 1) * 80, 80, Left(text, 80));
    return header;
}

struct KeywordGeometry {
    double TwoTheta = 10, Xo = 64, Yo = 64, DistanceCm = 6, Landa = 0.71;
};

// "FORMAT :100": stored pixels of `bytes` bytes, 0 for values taken from
// the underflow table (entries of `underflowBytes`, negatives only),
// 255 / 65535 for values from the overflow tables.
inline std::string WriteFormat100(const Image& img, int bytes, int underflowBytes, const KeywordGeometry& g,
                                  const std::string& sideText = "") {
    std::string pixels, under, over2, over4;
    for (int64_t v : img.Values) {
        if (underflowBytes > 0 && v <= 0 && -v < (int64_t{1} << (8 * underflowBytes))) {
            // every stored 0 takes an underflow entry, so a true 0 has one too
            pixels.append(bytes, '\0');
            PutPixel(under, -v, underflowBytes);
        } else if (bytes == 1 && v >= 255) {
            pixels += '\xff';
            if (v >= 65535) {
                Put16(over2, 65535);
                Put32(over4, static_cast<uint64_t>(v));
            } else {
                Put16(over2, static_cast<uint64_t>(v));
            }
        } else if (bytes == 2 && v >= 65535) {
            Put16(pixels, 65535);
            Put32(over4, static_cast<uint64_t>(v));
        } else if (v < 0) {
            // a negative value without an underflow table: via the 32-bit table
            if (bytes == 1) {
                pixels += '\xff';
                Put16(over2, 65535);
            } else {
                Put16(pixels, 65535);
            }
            Put32(over4, static_cast<uint64_t>(v));
        } else {
            PutPixel(pixels, v, bytes);
        }
    }
    const size_t nu = underflowBytes > 0 ? under.size() / underflowBytes : 0;
    const std::string counts = Left(underflowBytes > 0 ? std::to_string(nu) : "-1", 20) +
                               Left(std::to_string(over2.size() / 2), 21) + std::to_string(over4.size() / 4);
    char buf[64];
    auto real = [&](double v, int width, int decimals) {
        std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
        return std::string(buf);
    };
    std::string out = KeywordRecords({
        {1, "FORMAT :100"},
        {2, "VERSION:18"},
        {21, "NOVERFL:" + counts},
        {38, "ANGLES :" + real(g.TwoTheta, 10, 4) + "    0.0000"},
        {40, "NPIXELB:" + Left(std::to_string(bytes), 36) + std::to_string(underflowBytes > 0 ? underflowBytes : 1)},
        {41, "NROWS  :" + (sideText.empty() ? std::to_string(img.Width) : sideText)},
        {55, "CENTER :" + real(g.Xo, 10, 4) + Left("", 8) + real(g.Yo, 10, 4)},
        {56, "DISTANC:" + real(g.DistanceCm, 8, 4)},
        {64, "WAVELEN:" + real(g.Landa, 8, 6)},
    });
    out += pixels;
    if (!under.empty()) {
        out += under;
        PadTo16(out);
    }
    out += over2;
    PadTo16(out);
    out += over4;
    return out;
}

// "FORMAT :" with a text overflow table (pixel numbers from 0).
inline std::string WriteFormat86(const Image& img, int bytes, const KeywordGeometry& g) {
    std::string pixels, table;
    const int64_t marker = bytes == 1 ? 255 : bytes == 2 ? 65535 : -1;
    for (size_t i = 0; i < img.Values.size(); ++i) {
        const int64_t v = img.Values[i];
        if (marker > 0 && v >= marker) {
            PutPixel(pixels, marker, bytes);
            char entry[64];
            std::snprintf(entry, sizeof entry, "%09lld%07zu", static_cast<long long>(v), i);
            table += entry;
        } else {
            PutPixel(pixels, v, bytes);
        }
    }
    char buf[64];
    auto real = [&](double v) {
        std::snprintf(buf, sizeof buf, "%14.6f", v);
        return std::string(buf);
    };
    std::string out = KeywordRecords({
        {1, "FORMAT :" + Right("86", 10)},
        {21, "NOVERFL:" + Right(std::to_string(table.size() / 16), 10)},
        {38, "ANGLES :" + real(g.TwoTheta) + real(0)},
        {40, "NPIXELB:" + Right(std::to_string(bytes), 10)},
        {41, "NROWS  :" + Right(std::to_string(img.Width), 10)},
        {55, "CENTER :" + real(g.Xo) + real(g.Yo)},
        {56, "DISTANC:" + real(g.DistanceCm)},
        {64, "WAVELEN:" + real(g.Landa)},
    });
    out += pixels;
    out += table;
    while (out.size() % 512) out += '.';
    return out;
}

// ---- "OD SAPPHIRE" frames -------------------------------------------------

struct SapphireGeometry {
    int16_t Binning = 1;
    double PixelSize = 0.06, Angle = 0.0001, Landa = 0.71073, BeamX = 60, BeamY = 70, Distance = 50;
    int32_t AngleFactor = 1000;
};

// Rows are stored as given (the reader turns them upside down). `delta`
// writes the TY1 step code, otherwise one plain byte per pixel.
inline std::string WriteSapphire(const Image& img, bool delta, const SapphireGeometry& g) {
    const int32_t n = img.Width;
    const int32_t headerBytes = 5120;
    std::string pixels, t16, t32;
    int64_t previous = 0;
    for (int64_t v : img.Values) {
        if (!delta) {
            pixels += static_cast<char>(v & 0xff);
            continue;
        }
        const int64_t step = v - previous;
        if (step >= -127 && step <= 126) {
            pixels += static_cast<char>(step + 127);
        } else if (step >= -32768 && step <= 32767) {
            pixels += '\xfe';
            Put16(t16, static_cast<uint64_t>(step));
        } else {
            pixels += '\xff';
            Put32(t32, static_cast<uint64_t>(step));
        }
        previous = v;
    }
    char line[256];
    std::string out = "OD SAPPHIRE  3.0\r\n";
    out += delta ? "COMPRESSION=TY1 ( 40.0)\r\n" : "COMPRESSION= NO\r\n";
    std::snprintf(line, sizeof line, "NX=%4d NY=%4d OI=%7zu OL=%7zu \r\n", n, n, t16.size() / 2, t32.size() / 4);
    out += line;
    std::snprintf(line, sizeof line, "NHEADER=%7d NG=%7d NS=%7d NK=%7d NS=%7d NH=%7d\r\n", headerBytes, 512, 768, 1024,
                  512, 2048);
    out += line;
    out += "NSUPPLEMENT=      0\r\n";
    out.resize(headerBytes, '\0');
    out[256] = static_cast<char>(g.Binning & 0xff);
    out[257] = static_cast<char>((g.Binning >> 8) & 0xff);
    PutF64At(out, 1336, g.PixelSize);
    Put32At(out, 1824, static_cast<uint32_t>(g.AngleFactor));
    PutF64At(out, 1912, g.Angle);
    PutF64At(out, 2104, g.Landa);
    PutF64At(out, 2200, g.BeamX);
    PutF64At(out, 2208, g.BeamY);
    PutF64At(out, 2248, g.Distance);
    return out + pixels + t16 + t32;
}

// ---- Binary headers of fixed length -------------------------------------

// ".mccd": 4096-byte header with integer fields, then 16-bit pixels.
inline std::string WriteMccd(const Image& img, uint32_t distanceMicron, int32_t xo, int32_t yo, int32_t twoTheta,
                             uint32_t pixelNm, uint32_t landaFm) {
    std::string out(4096, '\0');
    Put32At(out, 1664, distanceMicron);
    Put32At(out, 1668, static_cast<uint32_t>(xo));
    Put32At(out, 1672, static_cast<uint32_t>(yo));
    Put32At(out, 1692, static_cast<uint32_t>(twoTheta));
    Put32At(out, 1796, pixelNm);
    Put32At(out, 1932, landaFm);
    for (int64_t v : img.Values) Put16(out, static_cast<uint64_t>(v));
    return out;
}

// `header` bytes of filler, then rows of little-endian pixels of `bytes`.
inline std::string WriteRaw(const Image& img, size_t header, int bytes, char filler = ' ') {
    std::string out(header, filler);
    out.reserve(header + img.Values.size() * bytes);
    for (int64_t v : img.Values) PutPixel(out, v, bytes);
    return out;
}

// ---- Text headers ---------------------------------------------------------

inline std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (auto& l : lines) out += l + "\r\n";
    return out;
}

// "PIXEL_SIZE=" on line 6; pixels from byte 512.
inline std::string WritePixelSizeFrame(const Image& img, const std::string& pixelMm, const std::string& distance,
                                       const std::string& twoTheta, const std::string& landa,
                                       const std::string& beamXmm, const std::string& beamYmm) {
    std::vector<std::string> l(28, "#");
    l[2] = "REV 1 detector";
    l[5] = "PIXEL_SIZE=" + Left(pixelMm, 8);
    l[11] = "DISTANCE=" + Left(distance, 6);
    l[15] = "TWOTHETA=" + Left(twoTheta, 5);
    l[17] = "WAVELENGTH=" + Left(landa, 6);
    l[18] = "BEAM_CENTER_X=" + Left(beamXmm, 7);
    l[19] = "BEAM_CENTER_Y=" + Left(beamYmm, 7);
    l[26] = "SIZE1=" + Right(std::to_string(img.Width), 4);
    l[27] = "SIZE2=" + Right(std::to_string(img.Height), 4);
    std::string out = Lines(l);
    out.resize(512, ' ');
    for (int64_t v : img.Values) Put16(out, static_cast<uint64_t>(v));
    return out;
}

// Keyed lines, line 1 "No ..."; pixels from byte 4100, `repeats` + 1 images.
inline std::string WriteKeywordHeaderFrame(const Image& img, int bytes, int repeats, const std::string& theta,
                                           const std::string& dx, const std::string& pixelUm,
                                           const std::string& alpha) {
    std::vector<std::string> l = {
        "No of images in file",
        "Number of repeats = " + std::to_string(repeats),
        "X dimension = " + std::to_string(img.Width),
        "Y dimension = " + std::to_string(img.Height),
        "Theta start = " + theta,
        "Dx start = " + dx,
        "pixel X-size (um) = " + pixelUm,
        "Alpha1 = " + alpha,
    };
    std::string out = Lines(l);
    out.resize(4100, ' ');
    for (int r = 0; r <= repeats; ++r)
        for (int64_t v : img.Values) PutPixel(out, v, bytes);
    return out;
}

// Line 2 "HeaderID       ="; 512 x 512 16-bit pixels end the file.
inline std::string WriteHeaderIdFrame(const Image& img) {
    std::string out = Lines({"{", "HeaderID       = EH:000001:000000:000000 ;", "Image          = 1 ;",
                             "Dim_1          = 512 ;", "Dim_2          = 512 ;", "}"});
    out.resize(1024, ' ');
    for (int64_t v : img.Values) Put16(out, static_cast<uint64_t>(v));
    return out;
}

// PANalytical text header of 23 lines; signed 32-bit pixels end the file.
inline std::string WritePANalyticalFrame(const Image& img, const std::string& px, const std::string& py,
                                         const std::string& distance, const std::string& twoTheta,
                                         const std::string& landa, const std::string& xo, const std::string& yo) {
    std::vector<std::string> l(23, "-");
    l[1] = "Producer PANalytical image";
    l[4] = "PixelWidth =" + px;
    l[5] = "PixelHeight=" + py;
    l[6] = "Radius=" + distance;
    l[8] = "Exposure = 10";
    l[9] = "Frames = 1";
    l[15] = "2Theta = " + twoTheta;
    l[17] = "Wavelength=" + landa;
    l[18] = "BeamCentre X =" + xo;
    l[19] = "BeamCentre Y =" + yo;
    l[21] = "Width=" + std::to_string(img.Width);
    l[22] = "Heigh=" + std::to_string(img.Height);
    std::string out = Lines(l);
    for (int64_t v : img.Values) Put32(out, static_cast<uint64_t>(v));
    return out;
}

// ---- Image files ----------------------------------------------------------

// Little-endian TIFF: header, pixel strips, then the directory. `stripRows`
// rows per strip; `gap` bytes of filler between strips (not contiguous).
inline std::string WriteTiff(const Image& img, int bits, int sampleFormat, int stripRows, size_t gap = 0) {
    const int bytes = bits / 8;
    std::string out = "II";
    Put16(out, 42);
    Put32(out, 0);   // directory offset, set below
    std::vector<uint32_t> offsets;
    for (int32_t r = 0; r < img.Height; ++r) {
        if (r % stripRows == 0) {
            if (r > 0) out.append(gap, '\x5a');
            offsets.push_back(static_cast<uint32_t>(out.size()));
        }
        for (int32_t c = 0; c < img.Width; ++c) {
            const int64_t v = img.at(r, c);
            if (sampleFormat == 3) PutF32(out, static_cast<float>(v));
            else PutPixel(out, v, bytes);
        }
    }
    uint32_t offsetsAt = 0;
    if (offsets.size() > 1) {
        offsetsAt = static_cast<uint32_t>(out.size());
        for (uint32_t o : offsets) Put32(out, o);
    }
    while (out.size() % 2) out += '\0';
    Put32At(out, 4, out.size());
    struct Entry { uint16_t tag, type; uint32_t count, value; };
    std::vector<Entry> entries = {
        {256, 3, 1, static_cast<uint32_t>(img.Width)},
        {257, 3, 1, static_cast<uint32_t>(img.Height)},
        {258, 3, 1, static_cast<uint32_t>(bits)},
        {259, 3, 1, 1},
        {262, 3, 1, 1},
        {273, 4, static_cast<uint32_t>(offsets.size()), offsets.size() > 1 ? offsetsAt : offsets[0]},
        {277, 3, 1, 1},
        {278, 3, 1, static_cast<uint32_t>(stripRows)},
        {339, 3, 1, static_cast<uint32_t>(sampleFormat)},
    };
    Put16(out, entries.size());
    for (auto& e : entries) {
        Put16(out, e.tag);
        Put16(out, e.type);
        Put32(out, e.count);
        Put32(out, e.value);
    }
    Put32(out, 0);
    return out;
}

// Windows bitmap, rows in storage order, each padded to 4 bytes; 24-bit
// pixels take their value split over B, G, R (v/3 each, the rest on B).
inline std::string WriteBmp(const Image& img, int bits) {
    const int bytes = bits / 8;
    const uint32_t stride = (img.Width * bits + 31) / 32 * 4;
    const uint32_t paletteBytes = bits == 8 ? 1024 : 0;
    const uint32_t offset = 54 + paletteBytes;
    std::string out = "BM";
    Put32(out, offset + stride * img.Height);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(img.Width));
    Put32(out, static_cast<uint32_t>(img.Height));
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, 0);
    Put32(out, stride * img.Height);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, bits == 8 ? 256 : 0);
    Put32(out, 0);
    for (uint32_t i = 0; i < paletteBytes / 4; ++i) Put32(out, i * 0x010101u);
    for (int32_t r = 0; r < img.Height; ++r) {
        const size_t rowStart = out.size();
        for (int32_t c = 0; c < img.Width; ++c) {
            const int64_t v = img.at(r, c);
            if (bits == 24) {
                out += static_cast<char>(v - 2 * (v / 3));
                out += static_cast<char>(v / 3);
                out += static_cast<char>(v / 3);
            } else {
                PutPixel(out, v, bytes);
            }
        }
        out.append(rowStart + stride - out.size(), '\0');
    }
    return out;
}

// Two images of 1024 x 512 floats, each stored as 1024 runs of 512 (one
// run per column of the frame); `first` and `second` are indexed
// [run][position].
inline std::string WriteFloatPair(const std::vector<float>& first, const std::vector<float>& second,
                                  size_t header = 0) {
    std::string out(header, '#');
    for (float f : first) PutF32(out, f);
    for (float f : second) PutF32(out, f);
    return out;
}

// ---- The committed fixtures of formats without an outside sample ---------

struct MadeFixture {
    std::string Name;
    std::string Bytes;
    Image Source;   // what the frame holds, in storage order
};

inline std::vector<MadeFixture> MadeFixtures() {
    std::vector<MadeFixture> out;
    {
        Image img = Pattern(64, 64, 256, 11);
        SapphireGeometry g;
        g.Binning = 2;
        g.PixelSize = 0.25;        // DSize 64 x 0.25 + 0.1 = 16.1
        g.AngleFactor = -2000;     // 2-theta 57.29577951308232 x 2000 x 0.0001 = 11.459...
        g.BeamX = 70;              // Xo 35
        g.BeamY = 50;              // Yo 64 - 25 = 39
        out.push_back({"sapphire_no_64.img", WriteSapphire(img, false, g), img});
    }
    {
        Image img = Pattern(64, 64, 300, 12);
        img.at(0, 0) = 0;
        img.at(0, 1) = -1;
        img.at(0, 2) = -255;
        img.at(5, 63) = 70000;
        img.at(6, 0) = -100000;
        img.at(63, 63) = 65535;
        KeywordGeometry g{-200, 31.5, 30.25, 8.5, 1.5406};   // -200 -> 160
        out.push_back({"kw100_b1_underflow_64.sfrm", WriteFormat100(img, 1, 1, g), img});
    }
    {
        Image img = Pattern(64, 64, 70000, 13);
        img.at(0, 0) = -1;
        img.at(10, 10) = -65535;
        img.at(20, 20) = 3000000;
        KeywordGeometry g{200, 32, 33, 10, 0.7093};            // 200 -> -160
        out.push_back({"kw100_b2_underflow_64.sfrm", WriteFormat100(img, 2, 2, g), img});
    }
    {
        Image img = Pattern(96, 80, 60000, 14);
        out.push_back({"pixelsize_96x80.img",
                       WritePixelSizeFrame(img, "0.1", "123.45", "-20.5", "1.5418", "5.00", "4.25"), img});
    }
    {
        Image img = Pattern(64, 48, 60000, 15);
        out.push_back({"keyword_header_64x48.dat", WriteKeywordHeaderFrame(img, 2, 1, "-12.5", "98.7", "500", "1.5406"),
                       img});
    }
    {
        Image img = Pattern(64, 32, 90000, 16);
        img.at(3, 3) = -7;
        out.push_back({"panalytical_64x32.txt",
                       WritePANalyticalFrame(img, "0.1", "0.3", "240.0", "35.5", "1.5406", "12.5", "14.75"), img});
    }
    {
        Image img = Pattern(256, 12, 60000, 17);
        out.push_back({"tif_u16_gapstrips_256x12.tif", WriteTiff(img, 16, 1, 5, 100), img});
    }
    {
        Image img = Pattern(256, 4, 30000, 18);
        img.at(0, 0) = -1;
        img.at(1, 5) = -32768;
        out.push_back({"tif_i16_256x4.tif", WriteTiff(img, 16, 2, 4), img});
    }
    {
        Image img = Pattern(256, 4, 1000, 19);
        out.push_back({"tif_f32_256x4.tif", WriteTiff(img, 32, 3, 4), img});
    }
    {
        Image img = Pattern(121, 110, 60000, 20);
        out.push_back({"bmp_16_121x110.bmp", WriteBmp(img, 16), img});
    }
    return out;
}

} // namespace orv::fixtures
