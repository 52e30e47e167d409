#include <sys/stat.h>

#include <cstdlib>

#include "platform/file_checks.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"

namespace platform {

bool isRegularFile(std::string_view path) {
    std::string real;
    if (!resolvePath(path, real)) return false;
    struct stat st;
    return ::lstat(real.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isSymbolicLink(std::string_view path) {
    std::string real;
    if (!resolvePath(path, real)) return false;
    // "link/" would name the link's target.
    while (real.size() > 1 && real.back() == '/') real.pop_back();
    struct stat st;
    return ::lstat(real.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string canonicalPath(std::string_view path) {
    std::string real;
    if (!resolvePath(path, real)) return {};
    char* resolved = ::realpath(real.c_str(), nullptr);
    if (resolved == nullptr) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

}  // namespace platform
