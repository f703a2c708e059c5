#include "workspace/text_files.h"

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

std::vector<std::string> ReadTextLines(const std::string& path) { return SplitTextLines(ReadWholeFile(path)); }

std::vector<std::string> SplitTextLines(const std::string& bytes) {
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
    std::string tmp = path + ".part";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw FileError("Cannot create file " + path);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            throw FileError("Cannot write file " + path);
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
