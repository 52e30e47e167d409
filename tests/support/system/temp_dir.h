#pragma once
// A scoped temporary folder, removed with everything in it at the end of the scope.
// The system works relative to the current folder, so a test can also make the folder
// current for the scope; the previous current folder comes back on destruction.

#include <string>
#include <string_view>

#include "support/system/file_bytes.h"

namespace testsupport {

class TempDir {
public:
    TempDir();
    // The folder is named `name` (inside a temporary folder of its own), such as a game
    // folder whose name matters.
    explicit TempDir(std::string_view name);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name.
    std::string file(std::string_view name) const;

    // Makes this folder the current folder until the end of the scope.
    void enter();

    // Writes bytes to a file below the folder, creating folders on the way.
    void write(std::string_view name, std::string_view content) const;
    // The bytes of a file below the folder; empty when it cannot be read.
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;
    // Copies a file (its mode too) into the folder under `name`.
    void copyIn(const std::string& source, std::string_view name) const;
    void makeFolder(std::string_view name) const;

private:
    std::string path_;
    std::string owned_;  // what goes at the end: path_ or the folder around it
    std::string previousDirectory_;
};

}  // namespace testsupport
