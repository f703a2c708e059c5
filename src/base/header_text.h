#pragma once
// Fields of text headers and records: lines, fixed character positions.

#include <algorithm>
#include <string_view>
#include <vector>

namespace orv {

// The first `maxLines` lines of a text header; CR LF, LF and a lone CR each
// end a line. A file with fewer lines gives fewer.
inline std::vector<std::string_view> LeadingLines(std::string_view bytes, size_t maxLines) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (lines.size() < maxLines && pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = bytes.size();
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end;
        if (pos < bytes.size() && bytes[pos++] == '\r' && pos < bytes.size() && bytes[pos] == '\n') ++pos;
    }
    return lines;
}

// Characters `first`..`last` (counted from 1) of a header line or record; a
// shorter line gives the characters it has.
inline std::string_view Chars(std::string_view line, size_t first, size_t last) {
    if (first < 1 || first > line.size() || last < first) return {};
    return line.substr(first - 1, std::min(last, line.size()) - first + 1);
}
// The rest of a line after its first `count` characters.
inline std::string_view RestAfter(std::string_view line, size_t count) {
    return count >= line.size() ? std::string_view() : line.substr(count);
}
inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace orv
