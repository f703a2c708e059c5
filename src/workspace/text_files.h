#pragma once
// Small file and path helpers shared by every reader and writer.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_bytes.h"

namespace orv {


// Reads a text file as lines; CR LF, LF and a lone CR all end a line, and a
// last line without an end is kept. Throws FileError when it cannot be read.
std::vector<std::string> ReadTextLines(const std::string& path);
// The same for text already read.
std::vector<std::string> SplitTextLines(const std::string& bytes);
// Writes the lines, each ended by CR LF. The file is written under a
// temporary name and renamed, so a failure never leaves half a file in place
// of a good one. Throws FileError.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
// Writes bytes the same way.
void WriteFileAtomically(const std::string& path, const std::string& bytes);
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
