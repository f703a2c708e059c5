#pragma once
// The logbook: every operation appends whole text lines; the user can save
// it as a ".log" file. Appending is safe from any thread.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

class LogBook {
public:
    void Append(const std::string& line);
    std::vector<std::string> Lines() const;
    void SetLines(std::vector<std::string> lines);  // the user edited the memo
    // The user edited the memo that showed the first `shown` lines: they
    // become `edited`, and lines appended since (by a worker) stay after them.
    void ReplaceFirst(size_t shown, std::vector<std::string> edited);
    size_t Count() const;
    std::string Last() const;
    void Clear();
    // Writes every line, each ended by CR LF; throws std::runtime_error on an
    // input/output failure (the lines written so far stay).
    void SaveToFile(const std::string& path) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The logbook's own "SaveLogbook" appends ".log" to the typed name (unless
// it ends in it already); the main window's keeps the name as typed.
std::string LogbookFileNameFromDialog(const std::string& typed);
// Whether closing the program saves the logbook (more than five lines and no
// script loaded).
bool LogbookSaveOnExit(size_t lineCount, bool scriptLoaded);

} // namespace orv
