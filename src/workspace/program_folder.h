#pragma once
// The program folder and its "Settings.txt": the last settings file, the
// working folder and the output folder, one per line.

#include <string>

namespace orv {

struct Workspace;

inline constexpr const char* SettingsTxtName = "Settings.txt";

// The path of "Settings.txt" in the program folder ("" without a program folder).
std::string SettingsTxtPath(const Workspace& ws);
// Rewrites "Settings.txt" with `settingsFile`, WorkDir and OutputDir. Does
// nothing without a program folder; throws FileError when it cannot write.
void WriteSettingsTxt(const Workspace& ws, const std::string& settingsFile);

} // namespace orv
