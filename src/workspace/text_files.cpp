#include "workspace/text_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <new>
#include <stdexcept>
#include <system_error>

namespace orv {

namespace fs = std::filesystem;

std::string ReadWholeFile(const std::string& path) {
    const FileBytes bytes = FileBytes::Read(path);
    try {
        return std::string(bytes.view());
    } catch (const std::bad_alloc&) {
        throw FileError("Not enough memory to read " + path);
    }
}

std::vector<std::string> ReadTextLines(const std::string& path, uint64_t limit) {
    return SplitTextLines(FileBytes::Read(path, limit).view());
}

std::vector<std::string> ReadStartTextLines(const std::string& path, uint64_t limit, uint64_t& fileSize) {
    const FileBytes bytes = FileBytes::ReadStart(path, limit);
    std::string_view text = bytes.view();
    fileSize = bytes.fileSize();
    // A line is whole when its end (CR or LF) was read.
    if (fileSize > text.size()) {
        const size_t end = text.find_last_of("\r\n");
        text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
    }
    return SplitTextLines(text);
}

std::vector<std::string> ReadFirstTextLines(const std::string& path, size_t count, uint64_t limit) {
    uint64_t fileSize = 0;
    std::vector<std::string> lines = ReadStartTextLines(path, limit, fileSize);
    if (lines.size() > count) lines.resize(count);
    else if (fileSize > limit && lines.size() < count) throw FileBytes::TooLarge(path, fileSize, limit);
    return lines;
}

std::vector<std::string> SplitTextLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    WriteFileAtomically(path, bytes, FilePart{});
}

void WriteFileAtomically(const std::string& path, const std::string& bytes, const FilePart& then) {
    std::string tmp = path + ".part";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw FileError("Cannot create file " + path);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        // The part is copied a block at a time: it is never held whole.
        uint64_t left = then.Length;
        if (left > 0) {
            std::ifstream in(then.Path, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(then.Offset));
            std::vector<char> block(static_cast<size_t>(std::min<uint64_t>(left, 1 << 20)));
            while (left > 0 && in && out) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
                in.read(block.data(), static_cast<std::streamsize>(n));
                if (static_cast<size_t>(in.gcount()) != n) break;
                out.write(block.data(), static_cast<std::streamsize>(n));
                left -= n;
            }
        }
        out.flush();
        if (!out || left > 0) {
            const bool written = static_cast<bool>(out);
            out.close();
            std::remove(tmp.c_str());
            throw FileError(written ? "Cannot read file " + then.Path : "Cannot write file " + path);
        }
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) {
        std::remove(tmp.c_str());
        throw FileError("Cannot write file " + path + ": " + ec.message());
    }
}

void WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& l : lines) {
        bytes += l;
        bytes += "\r\n";
    }
    WriteFileAtomically(path, bytes);
}

void AppendTextLine(const std::string& path, const std::string& line) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) throw FileError("Cannot open file " + path);
    out << line << "\r\n";
    if (!out) throw FileError("Cannot write file " + path);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

bool DirectoryExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string FileNameOnly(const std::string& path) {
    auto p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string FolderOf(const std::string& path) {
    auto p = path.find_last_of("/\\");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string FileExtension(const std::string& path) {
    std::string name = FileNameOnly(path);
    auto p = name.find_last_of('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ToLower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/' || folder.back() == '\\') return folder + name;
    return folder + "/" + name;
}

bool LooksLikeText(std::string_view bytes) {
    for (unsigned char c : bytes)
        if (c == 0 || (c < 32 && c != '\r' && c != '\n' && c != '\t')) return false;
    return true;
}

std::string WithExtension(const std::string& name, const std::string& extension) {
    const bool has = name.size() >= extension.size() &&
                     ToLower(name.substr(name.size() - extension.size())) == ToLower(extension);
    return has ? name : name + extension;
}

std::string ProposedSaveName(const std::string& framePath, const std::string& extension) {
    std::string name = FileNameOnly(framePath);
    constexpr std::string_view own = ".orv";
    if (name.size() > own.size() && ToLower(name.substr(name.size() - own.size())) == own)
        name.resize(name.size() - own.size());
    return WithExtension(name, extension);
}

} // namespace orv
