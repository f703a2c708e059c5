#include "workspace/logbook.h"

#include <algorithm>
#include <cstddef>

#include "workspace/text_files.h"

namespace orv {

void LogBook::Append(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
}

std::vector<std::string> LogBook::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void LogBook::SetLines(std::vector<std::string> lines) {
    std::lock_guard lock(mutex_);
    lines_ = std::move(lines);
}

void LogBook::ReplaceFirst(size_t shown, std::vector<std::string> edited) {
    std::lock_guard lock(mutex_);
    shown = std::min(shown, lines_.size());
    edited.insert(edited.end(), lines_.begin() + static_cast<std::ptrdiff_t>(shown), lines_.end());
    lines_ = std::move(edited);
}

size_t LogBook::Count() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
}

std::string LogBook::Last() const {
    std::lock_guard lock(mutex_);
    return lines_.empty() ? std::string() : lines_.back();
}

void LogBook::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

void LogBook::SaveToFile(const std::string& path) const {
    WriteTextLines(path, Lines());
}

std::string LogbookFileNameFromDialog(const std::string& typed) { return WithExtension(typed, ".log"); }

bool LogbookSaveOnExit(size_t lineCount, bool scriptLoaded) { return !scriptLoaded && lineCount > 5; }

} // namespace orv
