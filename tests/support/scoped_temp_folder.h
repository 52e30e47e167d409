#pragma once
// A temporary folder removed with everything in it when the object goes.

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

class ScopedTempFolder {
public:
    ScopedTempFolder();
    ~ScopedTempFolder();
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

    // Writes a file below the folder (parents made as needed); returns its full path.
    std::string write(const std::string& name, const std::string& content) const;

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);

}  // namespace testsupport
