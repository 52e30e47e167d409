#pragma once
// The times the file system keeps for a file, read without the platform layer, to hold
// its SetFileTime to. FILETIME units: 100 ns since 1601-01-01 UTC.

#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

struct FileTimes {
    std::optional<uint64_t> creation;  // none on Linux, which keeps no settable one
    uint64_t access = 0;
    uint64_t write = 0;
};

// False when the file cannot be read.
bool readFileTimes(const std::string& path, FileTimes& times);

}  // namespace testsupport
