// Linux only: the program's own path is the /proc/self/exe link.

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"

namespace platform {

size_t maxPathLength() { return kMaxPath; }

bool resolvePath(std::string_view path, std::string& out) {
    out.clear();
    if (path.size() > kMaxPath) {
        setLastError(winerr::FILENAME_EXCED_RANGE);
        return false;
    }
    // A NUL would cut the name short at the system call and name another file.
    if (path.find('\0') != std::string_view::npos) {
        setLastError(winerr::INVALID_NAME);
        return false;
    }
    out.reserve(path.size());
    bool lookUp = true;  // false once a component matched nothing: nothing below it exists
    size_t pos = 0;
    while (pos < path.size()) {
        if (isSeparator(path[pos])) {
            out.push_back('/');
            ++pos;
            continue;
        }
        // A '\\' that ends a double-byte character is part of the name.
        size_t end = firstSeparator(path, pos);
        if (end == std::string_view::npos) end = path.size();
        std::string_view component = path.substr(pos, end - pos);
        if (component.size() > NAME_MAX) {
            out.clear();
            setLastError(winerr::FILENAME_EXCED_RANGE);
            return false;
        }
        const std::string folder = out;
        out.append(component);
        pos = end;
        if (!lookUp || component == "." || component == "..") continue;
        struct stat st;
        if (lstat(out.c_str(), &st) == 0) continue;
        if (errno != ENOENT) {
            lookUp = false;
            continue;
        }
        if (auto match = findIgnoringCase(folder, component)) {
            out.resize(folder.size());
            out.append(*match);
        } else {
            lookUp = false;
        }
    }
    return true;
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && !endsWithSeparator(path)) path.push_back('/');
    path.append(name);
    return path;
}

std::string parentFolder(std::string_view path) {
    const auto cut = lastSeparator(path);
    if (cut == std::string::npos) return ".";
    return std::string(path.substr(0, cut == 0 ? 1 : cut));
}

bool isFileSystemRoot(std::string_view path) {
    if (path.empty()) return false;
    for (char c : path)
        if (!isSeparator(c)) return false;
    return true;
}

// Canonical Linux paths hold '/' alone between components and compare byte for byte:
// a '\' there is part of a name.
bool isSameOrBelow(std::string_view inner, std::string_view outer) {
    if (isFileSystemRoot(outer)) return true;
    while (!outer.empty() && outer.back() == '/') outer.remove_suffix(1);
    if (inner.size() < outer.size() || inner.substr(0, outer.size()) != outer) return false;
    return inner.size() == outer.size() || inner[outer.size()] == '/';
}

std::string currentDirectory() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE) {
            setLastError(windowsErrorFromErrno(errno));
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            setLastError(windowsErrorFromErrno(errno));
            return {};
        }
        if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace platform
