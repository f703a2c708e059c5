#pragma once
// The reference-pattern database "mineral.min": a name, a formula and up to
// 100 diffraction lines per pattern, stored as fixed 3272-byte little-endian
// records one after another with no header. This file holds the record, its
// bytes, the file as a whole, the list's boolean search and the text format
// of the New Pattern dialog's "Load"; the windows' commands are in
// mineral_list.h.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/text_files.h"

namespace orv {

inline constexpr const char* MineralFileName = "mineral.min";
constexpr int MineralRecordBytes = 3272;
constexpr int MineralLineBytes = 32;
constexpr int MineralLinesOffset = 64;     // line 1 of a record
constexpr int MineralCountOffset = 3264;   // LineCount
constexpr int MaxMineralLines = 100;
constexpr int MaxMinerals = 250;           // patterns the table holds (slots 1..250)
constexpr int MineralTextLength = 30;      // Name and Formula
constexpr int MineralHklLength = 11;

struct MineralLine {
    std::string Hkl;        // the Miller indices as text ("1 1 1"), at most 11 characters
    double D = 0;           // d-spacing, angstrom
    double Intensity = 0;   // relative intensity, 0..100
};

// One reference pattern. Line[i] is the pattern's line i + 1; lines
// LineCount + 1 onwards are unused.
struct MineralRecord {
    std::string Name;       // at most 30 characters
    std::string Formula;    // at most 30 characters
    std::array<MineralLine, MaxMineralLines> Line;
    int32_t LineCount = 0;
};

// The 2-theta (degrees) of a line of d-spacing `d` at the wavelength
// `landa`, 2 arcsin(landa / (2 d)). False, leaving `twoTheta` alone, when the
// line has none: d of `minD` or less, or landa / (2 d) above 1.
bool MineralLineTwoTheta(double landa, double d, double minD, double& twoTheta);

// The record's 3272 bytes: texts as a length byte and their characters,
// padding and unused characters zero.
std::string PackMineralRecord(const MineralRecord& record);
// A record from its 3272 bytes (fewer give a zeroed rest). Damaged fields are
// clamped: a length byte beyond its field reads as the field's full length,
// LineCount is kept within 0..100, and a d-spacing or intensity that is not
// a finite number reads as 0.
MineralRecord UnpackMineralRecord(std::string_view bytes);

// The part of "mineral.min" the table holds: its first 250 records. The
// records after them are never read, whatever their number; a rewrite copies
// them as they stand.
constexpr uint64_t MineralTableBytes = uint64_t{MaxMinerals} * MineralRecordBytes;

// A "mineral.min" as read: the first 250 records, and the whole records after
// them exactly as they stand, so that a rewrite keeps them. A partial record
// at the end of the file is not a pattern and is left out.
struct MineralFile {
    std::vector<MineralRecord> Records;
    std::string Beyond;            // empty when read from a file (not read)
    int32_t RecordsInFile = 0;     // whole records, those beyond the table included
};
MineralFile ParseMineralFile(std::string_view bytes);
// Reads the table's part of the file (MineralTableBytes at most); throws
// FileError when it cannot be read.
MineralFile ReadMineralFile(const std::string& path);
// Writes the records, then `beyond`, under a temporary name that is then
// renamed over the file. Throws FileError; the old file then stays whole.
void WriteMineralFile(const std::string& path, const std::vector<MineralRecord>& records,
                      const std::string& beyond);
// Rewrites the file with the records, then the whole records the file holds
// after its first `tableCount` (those the table could not hold), copied from
// the file as they stand. Throws FileError; the old file then stays whole.
void RewriteMineralFile(const std::string& path, const std::vector<MineralRecord>& records, int32_t tableCount);

// `text` cut to at most `length` bytes, never inside a UTF-8 character.
std::string CutMineralText(const std::string& text, size_t length);

// The list row of a pattern: its name, a blank and its formula.
std::string MineralListText(const MineralRecord& record);

// What the boolean search looks at.
enum class MineralSearchField { Name, Formula, Both };
// Whether a pattern passes the boolean search: the searched text (the name,
// the formula, or the name directly followed by the formula) contains
// `include` (when not empty) and does not contain `exclude` (when not
// empty), as exact, case-sensitive substrings.
bool MineralPassesSearch(const MineralRecord& record, const std::string& include, const std::string& exclude,
                         MineralSearchField field);

// A pattern typed in a text file for the New Pattern dialog: line 1 the
// name, line 2 the formula, then one line per diffraction line holding the
// d-spacing, the intensity and the hkl text. The cells stay text, as the
// dialog's grid holds them; they are converted when the pattern is saved.
struct PatternTextRow {
    std::string D, Intensity, Hkl;
};
struct PatternText {
    std::string Name, Formula;
    std::vector<PatternTextRow> Rows;   // at most 99
};
PatternText ParsePatternText(std::string_view text);
// What "Load" reads of a pattern text file: its first 101 lines, each at most
// a box's text. A file that goes on is not read beyond them.
constexpr size_t PatternTextLines = 2 + 99;
constexpr uint64_t PatternTextReadBytes = PatternTextLines * MaxBoxLineBytes;

// The database shipped with the program (data/mineral.min, built in).
std::string_view ShippedMineralBytes();
// Puts the shipped database into the program folder when it has none; a
// database already there is never touched. Returns whether it wrote one;
// throws FileError when it cannot.
bool InstallShippedMinerals(const std::string& installDir);

} // namespace orv
