#pragma once
// The program folder and its "Settings.txt": the last settings file, the
// working folder and the output folder, one per line.

#include <cstdint>
#include <string>
#include <vector>

#include "workspace/text_files.h"

namespace orv {

struct Workspace;

inline constexpr const char* SettingsTxtName = "Settings.txt";
// "Settings.txt" is three lines, a path or a box's text each: a larger file
// is refused before it is read.
constexpr uint64_t MaxSettingsTxtBytes = 3 * MaxBoxLineBytes;

// The path of "Settings.txt" in the program folder ("" without a program folder).
std::string SettingsTxtPath(const Workspace& ws);
// The lines of a "Settings.txt". Throws FileError when it cannot be read or
// is larger than MaxSettingsTxtBytes.
std::vector<std::string> ReadSettingsTxt(const std::string& path);
// Rewrites "Settings.txt" with `settingsFile`, WorkDir and OutputDir. Does
// nothing without a program folder; throws FileError when it cannot write.
void WriteSettingsTxt(const Workspace& ws, const std::string& settingsFile);

} // namespace orv
