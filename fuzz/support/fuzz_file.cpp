#include "support/fuzz_file.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace fuzzsupport {

namespace fs = std::filesystem;

ScratchFile::ScratchFile(const std::string& name) {
    // Several fuzzers may run at once (and libFuzzer's -jobs forks): each its own folder.
    std::random_device random;
    for (;;) {
        fs::path folder = fs::temp_directory_path() /
                          ("launcher-fuzz-" + std::to_string(random()) + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(folder, error)) {
            folder_ = folder.string();
            break;
        }
        if (error) throw fs::filesystem_error("scratch folder", folder, error);
    }
    path_ = (fs::path(folder_) / name).string();
}

ScratchFile::~ScratchFile() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

bool ScratchFile::write(const uint8_t* data, size_t size) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out.flush());
}

}  // namespace fuzzsupport
