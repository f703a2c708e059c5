#pragma once
// Small file and path helpers shared by every reader and writer.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_bytes.h"

namespace orv {

// The longest line of a text file whose line holds what one edit box holds
// (or one path, which is shorter): a box takes at most 32767 characters,
// each at most 3 bytes in UTF-8, then the line's CR LF. The size limits of
// the text formats are counted in such lines.
constexpr uint64_t MaxBoxLineBytes = 32767 * 3 + 2;
// A file name without its folder: at most 255 characters of at most 4 bytes.
constexpr uint64_t MaxFileNameBytes = 255 * 4;

// Reads a text file as lines; CR LF, LF and a lone CR all end a line, and a
// last line without an end is kept. Throws FileError when it cannot be read
// or holds more than `limit` bytes.
std::vector<std::string> ReadTextLines(const std::string& path, uint64_t limit = UINT64_MAX);
// The whole lines among the first `limit` bytes of a text file, for a reader
// that uses only a file's first lines (a line the limit cuts through is left
// out), and the file's size: larger than `limit` when the file goes on.
// Throws FileError.
std::vector<std::string> ReadStartTextLines(const std::string& path, uint64_t limit, uint64_t& fileSize);
// The first `count` lines of a text file, for a reader that uses no more of
// it, taken from its first `limit` bytes: when the file goes on beyond them
// before `count` lines have ended, it is refused as too large. A file of
// fewer lines gives fewer. Throws FileError.
std::vector<std::string> ReadFirstTextLines(const std::string& path, size_t count, uint64_t limit);
// The same for text already read.
std::vector<std::string> SplitTextLines(std::string_view bytes);
// Writes the lines, each ended by CR LF. The file is written under a
// temporary name and renamed, so a failure never leaves half a file in place
// of a good one. Throws FileError.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
// Writes bytes the same way.
void WriteFileAtomically(const std::string& path, const std::string& bytes);
// `Length` bytes of the file `Path` from `Offset`.
struct FilePart {
    std::string Path;
    uint64_t Offset = 0;
    uint64_t Length = 0;
};
// Writes `bytes` and then `then` the same way; `then` may lie in the file
// being replaced. Throws FileError, the old file staying whole, also when
// the part cannot be read whole.
void WriteFileAtomically(const std::string& path, const std::string& bytes, const FilePart& then);
// Reads a whole regular file; throws FileError (also for a FIFO, a device or
// a folder, and when no memory can be had for it).
std::string ReadWholeFile(const std::string& path);
// Appends a line ended by CR LF to a file, creating it when missing.
void AppendTextLine(const std::string& path, const std::string& line);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The file name without its folder ("/a/b/c.tif" -> "c.tif"); both "/" and
// "\" separate folders.
std::string FileNameOnly(const std::string& path);
// The folder with its trailing separator ("/a/b/c.tif" -> "/a/b/"), or "".
std::string FolderOf(const std::string& path);
// The extension with its dot ("c.tif" -> ".tif"), or "".
std::string FileExtension(const std::string& path);
std::string ToLower(std::string s);
// Joins a folder and a name as paths (one separator between them).
std::string JoinPath(const std::string& folder, const std::string& name);
// Whether bytes are lines of text: no NUL and no control character other
// than tab, CR and LF.
bool LooksLikeText(std::string_view bytes);

// The name a save writes to: `extension` (with its dot) appended unless the
// name already ends in it, in any case ("run1" -> "run1.log", "run1.log" and
// "run1.LOG" stay).
std::string WithExtension(const std::string& name, const std::string& extension);
// The name a save dialog proposes for an output of the frame at `framePath`:
// its file name with `extension`. A frame in the program's own format
// stands for the frame it was saved from, so its ".orv" gives way
// ("ceo2.orv" -> "ceo2.xy"; "frame.tif" -> "frame.tif.xy"; "big.orv" with
// ".orv" -> "big.orv").
std::string ProposedSaveName(const std::string& framePath, const std::string& extension);

} // namespace orv
