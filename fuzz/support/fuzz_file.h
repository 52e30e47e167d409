#pragma once
// A file the fuzz targets rewrite with each input, in a folder of their own that goes
// away when the process ends normally.

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzsupport {

class ScratchFile {
public:
    explicit ScratchFile(const std::string& name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    bool write(const uint8_t* data, size_t size) const;
    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::string path_;
};

}  // namespace fuzzsupport
