#include "formats/frame_signatures.h"

#include <array>
#include <vector>

#include "formats/binary_io.h"
#include "formats/native_frame.h"
#include "workspace/text_files.h"

namespace orv {

namespace {

struct Prefix {
    std::string_view Bytes;
    const char* Family;
};

// Families recognised by the first bytes of the file.
constexpr std::array<Prefix, 5> Prefixes{{
    {std::string_view("II*\0", 4), "TIFF"},
    {std::string_view("MM\0*", 4), "TIFF"},
    {"FORMAT :", "keyword-record"},
    {"OD SAPPHIRE", "OD SAPPHIRE"},
    {"R-AXIS", "R-AXIS"},
}};

// "BM" alone is two bytes any 16-bit pixel may hold; a bitmap also has a
// known info-header size, states its own file size, or has its reserved
// fields clear and its pixels starting inside the file.
bool BitmapSignature(ByteView file) {
    if (!file.has(0, 18) || !StartsWith(file.bytes(), "BM")) return false;
    const uint32_t info = file.u32(14);
    const uint32_t start = file.u32(10);
    return info == 12 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124 ||
           file.u32(2) == file.size() || (file.u32(6) == 0 && start >= 26 && start < file.size());
}

struct Extension {
    const char* Name;
    const char* Family;
};

// Names that only frames of one family carry.
constexpr std::array<Extension, 6> Extensions{{
    {".orv", "Orvantide (.orv)"},
    {".tif", "TIFF"},
    {".tiff", "TIFF"},
    {".bmp", "BMP"},
    {".csv", "CSV"},
    {".mccd", "mccd"},
}};

// Comma-separated numbers: the first characters are digits, signs, blanks
// and commas, a comma among the first 8 (pixel bytes seldom look so).
bool CsvSignature(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 8);
    bool comma = false, digit = false;
    for (char c : head) {
        if (c == '\r' || c == '\n') break;
        if (c == ',') comma = true;
        else if (c >= '0' && c <= '9') digit = true;
        else if (c != '-' && c != '+' && c != '.' && c != ' ' && c != '\t') return false;
    }
    return comma && digit;
}

} // namespace

std::string FrameFamilySignature(std::string_view bytes) {
    const ByteView file(bytes);
    if (file.has(0, 4) && file.i32(0) == NativeFrameMagic) return "Orvantide (.orv)";
    for (const Prefix& p : Prefixes)
        if (StartsWith(bytes, p.Bytes)) return p.Family;
    if (BitmapSignature(file)) return "BMP";
    // Text headers: the line that names the family.
    const std::vector<std::string_view> lines = LeadingLines(bytes.substr(0, 65536), 6);
    if (lines.size() >= 2 && Chars(lines[1], 10, 20) == "PANalytical") return "PANalytical";
    if (lines.size() >= 2 && StartsWith(lines[1], "HeaderID       =")) return "HeaderID";
    if (lines.size() >= 6 && StartsWith(lines[5], "PIXEL_SIZE=")) return "PIXEL_SIZE";
    if (CsvSignature(bytes)) return "CSV";
    return {};
}

std::string FrameFamilyByName(const std::string& path) {
    const std::string ext = ToLower(FileExtension(path));
    for (const Extension& e : Extensions)
        if (ext == e.Name) return e.Family;
    return {};
}

} // namespace orv
