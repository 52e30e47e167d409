#include <sys/stat.h>

#include "support/system/file_times.h"

namespace testsupport {

namespace {

constexpr uint64_t kUnixEpoch = 116444736000000000ULL;

uint64_t fileTimeOf(const timespec& t) {
    return kUnixEpoch + uint64_t(t.tv_sec) * 10000000ULL + uint64_t(t.tv_nsec) / 100;
}

}  // namespace

bool readFileTimes(const std::string& path, FileTimes& times) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    times.creation.reset();
    times.access = fileTimeOf(st.st_atim);
    times.write = fileTimeOf(st.st_mtim);
    return true;
}

}  // namespace testsupport
