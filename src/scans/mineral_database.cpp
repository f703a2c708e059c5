#include "scans/mineral_database.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include "base/header_text.h"
#include "base/little_endian.h"
#include "workspace/text_files.h"

namespace orv {

namespace {

constexpr double Pi = 3.14159265358979323846;

// A text field: a length byte, then `length` characters, zero-filled.
void PutText(std::string& out, const std::string& text, size_t length) {
    const std::string cut = CutMineralText(text, length);
    out.push_back(static_cast<char>(cut.size()));
    out += cut;
    out.append(length - cut.size(), '\0');
}

void PutF64(std::string& out, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    PutI32(out, static_cast<int32_t>(static_cast<uint32_t>(bits & 0xffffffffu)));
    PutI32(out, static_cast<int32_t>(static_cast<uint32_t>(bits >> 32)));
}

// A text field read back; a length byte beyond the field reads as the whole field.
std::string TextAt(const unsigned char* p, size_t length) {
    const size_t n = std::min<size_t>(p[0], length);
    return std::string(reinterpret_cast<const char*>(p + 1), n);
}

double FiniteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One number of a pattern line from `pos`: at most 20 characters are skipped
// up to the first digit or '.', then digits and '.' (at most 20) are taken up
// to the first other character, which is consumed.
std::string NumberAt(std::string_view line, size_t& pos) {
    for (int skipped = 0; pos < line.size() && skipped < 20; ++skipped) {
        if (IsDigit(line[pos]) || line[pos] == '.') break;
        ++pos;
    }
    std::string number;
    while (pos < line.size() && number.size() < 20 && (IsDigit(line[pos]) || line[pos] == '.'))
        number.push_back(line[pos++]);
    if (pos < line.size()) ++pos;
    return number;
}

} // namespace

std::string CutMineralText(const std::string& text, size_t length) {
    if (text.size() <= length) return text;
    size_t n = length;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;   // a continuation byte
    return text.substr(0, n);
}

bool MineralLineTwoTheta(double landa, double d, double minD, double& twoTheta) {
    if (!(d > minD)) return false;
    const double s = landa / (2 * d);
    if (!(s <= 1) || !(s >= -1)) return false;
    twoTheta = 2 * std::asin(s) * 180 / Pi;
    return true;
}

std::string PackMineralRecord(const MineralRecord& record) {
    std::string out;
    out.reserve(MineralRecordBytes);
    PutText(out, record.Name, MineralTextLength);
    PutText(out, record.Formula, MineralTextLength);
    out.append(2, '\0');
    for (const MineralLine& line : record.Line) {
        PutText(out, line.Hkl, MineralHklLength);
        out.append(4, '\0');
        PutF64(out, line.D);
        PutF64(out, line.Intensity);
    }
    PutI32(out, std::clamp(record.LineCount, 0, MaxMineralLines));
    out.append(4, '\0');
    return out;
}

MineralRecord UnpackMineralRecord(std::string_view bytes) {
    unsigned char raw[MineralRecordBytes] = {};
    std::memcpy(raw, bytes.data(), std::min<size_t>(bytes.size(), MineralRecordBytes));
    MineralRecord r;
    r.Name = TextAt(raw, MineralTextLength);
    r.Formula = TextAt(raw + MineralTextLength + 1, MineralTextLength);
    for (int i = 0; i < MaxMineralLines; ++i) {
        const unsigned char* p = raw + MineralLinesOffset + i * MineralLineBytes;
        MineralLine& line = r.Line[static_cast<size_t>(i)];
        line.Hkl = TextAt(p, MineralHklLength);
        line.D = FiniteOrZero(LoadF64(p + 16));
        line.Intensity = FiniteOrZero(LoadF64(p + 24));
    }
    r.LineCount = std::clamp(static_cast<int32_t>(LoadU32(raw + MineralCountOffset)), 0, MaxMineralLines);
    return r;
}

MineralFile ParseMineralFile(std::string_view bytes) {
    MineralFile file;
    file.RecordsInFile = static_cast<int32_t>(
        std::min<size_t>(bytes.size() / MineralRecordBytes, std::numeric_limits<int32_t>::max()));
    const size_t inTable = std::min<size_t>(static_cast<size_t>(file.RecordsInFile), MaxMinerals);
    file.Records.reserve(inTable);
    for (size_t i = 0; i < inTable; ++i)
        file.Records.push_back(UnpackMineralRecord(bytes.substr(i * MineralRecordBytes, MineralRecordBytes)));
    const size_t beyondStart = inTable * MineralRecordBytes;
    const size_t wholeEnd = static_cast<size_t>(file.RecordsInFile) * MineralRecordBytes;
    file.Beyond = std::string(bytes.substr(beyondStart, wholeEnd - beyondStart));
    return file;
}

MineralFile ReadMineralFile(const std::string& path) {
    const FileBytes bytes = FileBytes::ReadStart(path, MineralTableBytes);
    MineralFile file = ParseMineralFile(bytes.view());
    file.RecordsInFile = static_cast<int32_t>(
        std::min<uint64_t>(bytes.fileSize() / MineralRecordBytes, std::numeric_limits<int32_t>::max()));
    return file;
}

namespace {

std::string PackMineralRecords(const std::vector<MineralRecord>& records) {
    std::string bytes;
    bytes.reserve(records.size() * MineralRecordBytes);
    for (const MineralRecord& r : records) bytes += PackMineralRecord(r);
    return bytes;
}

} // namespace

void WriteMineralFile(const std::string& path, const std::vector<MineralRecord>& records, const std::string& beyond) {
    WriteFileAtomically(path, PackMineralRecords(records) + beyond);
}

void RewriteMineralFile(const std::string& path, const std::vector<MineralRecord>& records, int32_t tableCount) {
    FilePart beyond;
    std::error_code ec;
    const uint64_t size = FileExists(path) ? std::filesystem::file_size(path, ec) : 0;
    if (!ec) {
        const uint64_t whole = size / MineralRecordBytes * MineralRecordBytes;
        const uint64_t table = static_cast<uint64_t>(std::max(tableCount, 0)) * MineralRecordBytes;
        const uint64_t start = std::min(table, whole);
        beyond = {path, start, whole - start};
    }
    WriteFileAtomically(path, PackMineralRecords(records), beyond);
}

std::string MineralListText(const MineralRecord& record) { return record.Name + " " + record.Formula; }

bool MineralPassesSearch(const MineralRecord& record, const std::string& include, const std::string& exclude,
                         MineralSearchField field) {
    std::string text;
    switch (field) {
    case MineralSearchField::Name: text = record.Name; break;
    case MineralSearchField::Formula: text = record.Formula; break;
    case MineralSearchField::Both: text = (record.Name + record.Formula).substr(0, 2 * MineralTextLength); break;
    }
    return (include.empty() || Contains(text, include)) && (exclude.empty() || !Contains(text, exclude));
}

PatternText ParsePatternText(std::string_view text) {
    PatternText pattern;
    const std::vector<std::string_view> lines = LeadingLines(text, PatternTextLines);
    if (!lines.empty()) pattern.Name = std::string(lines[0]);
    if (lines.size() > 1) pattern.Formula = std::string(lines[1]);
    for (size_t n = 2; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        size_t pos = 0;
        PatternTextRow row;
        row.D = NumberAt(line, pos);
        row.Intensity = NumberAt(line, pos);
        for (int looked = 0; pos < line.size() && looked < 20; ++looked, ++pos)
            if (line[pos] == '-' || IsDigit(line[pos])) break;
        if (pos < line.size() && (line[pos] == '-' || IsDigit(line[pos])))
            row.Hkl = std::string(line.substr(pos, 21));
        pattern.Rows.push_back(std::move(row));
    }
    return pattern;
}

bool InstallShippedMinerals(const std::string& installDir) {
    if (installDir.empty()) return false;
    const std::string path = JoinPath(installDir, MineralFileName);
    if (FileExists(path)) return false;
    WriteFileAtomically(path, std::string(ShippedMineralBytes()));
    return true;
}

} // namespace orv
