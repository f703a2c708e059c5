#pragma once
// Helpers shared by the core tests.

#include <filesystem>
#include <string>

namespace orv::test {

// A fresh, empty folder under the system's temporary folder, removed when
// the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The path of a file in tests/data.
std::string DataFile(const std::string& relative);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

} // namespace orv::test
