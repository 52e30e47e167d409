// Windows takes both separators and compares names ignoring case itself, so paths pass
// to the system as they are written; only the rules for roots are the system's own.

#include <vector>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

// Length of the root a path starts with: "C:\" (3), "C:" (2, relative to the drive's
// current folder), "\" (1), "\\server\share\" (up to and with the separator after the
// share), "\\?\C:\" and "\\?\UNC\server\share\" (the long-path forms); 0 for a relative
// path.
size_t rootLength(std::string_view path) {
    auto isDrive = [](std::string_view p) {
        return p.size() >= 2 && p[1] == ':' &&
               ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
    };
    auto afterComponent = [&](size_t from) {
        const size_t end = firstSeparator(path, from);
        return end == std::string_view::npos ? path.size() : end + 1;
    };
    if (path.size() >= 4 && isSeparator(path[0]) && isSeparator(path[1]) &&
        (path[2] == '?' || path[2] == '.') && isSeparator(path[3])) {
        std::string_view rest = path.substr(4);
        if (isDrive(rest)) return 4 + (rest.size() >= 3 && isSeparator(rest[2]) ? 3 : 2);
        if (rest.size() >= 4 && (rest[0] == 'U' || rest[0] == 'u') &&
            (rest[1] == 'N' || rest[1] == 'n') && (rest[2] == 'C' || rest[2] == 'c') &&
            isSeparator(rest[3]))
            return afterComponent(afterComponent(8));
        return afterComponent(4);
    }
    if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]))
        return afterComponent(afterComponent(2));
    if (isDrive(path)) return path.size() >= 3 && isSeparator(path[2]) ? 3 : 2;
    if (!path.empty() && isSeparator(path[0])) return 1;
    return 0;
}

// Names compare as the file system compares them: ignoring case, beyond ASCII too.
bool sameNames(std::string_view a, std::string_view b) {
    const UINT codePage = nameCodePage();
    auto wide = [codePage](std::string_view text) {
        std::wstring out;
        if (text.empty()) return out;
        int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
        out.resize(size_t(n > 0 ? n : 0));
        if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), out.data(), n);
        return out;
    };
    std::wstring wa = wide(a);
    std::wstring wb = wide(b);
    for (auto* w : {&wa, &wb})
        for (auto& c : *w)
            if (c == L'/') c = L'\\';
    return CompareStringOrdinal(wa.data(), int(wa.size()), wb.data(), int(wb.size()), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace

// The A functions stop below MAX_PATH.
size_t maxPathLength() { return MAX_PATH - 1; }

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && !endsWithSeparator(path)) path.push_back('\\');
    path.append(name);
    return path;
}

std::string parentFolder(std::string_view path) {
    const auto cut = lastSeparator(path);
    if (cut == std::string::npos) return ".";
    const size_t root = rootLength(path);
    if (root > 0 && cut < root) return std::string(path.substr(0, root));
    return std::string(path.substr(0, cut));
}

bool isFileSystemRoot(std::string_view path) {
    const size_t root = rootLength(path);
    if (root == 0) return false;
    // "C:" names the drive's current folder, not its root.
    if (root == 2 && path[1] == ':') return false;
    for (size_t i = root; i < path.size(); ++i)
        if (!isSeparator(path[i])) return false;
    return true;
}

bool isSameOrBelow(std::string_view inner, std::string_view outer) {
    outer = withoutTrailingSeparators(outer, rootLength(outer));
    inner = withoutTrailingSeparators(inner, rootLength(inner));
    if (inner.size() < outer.size() || !sameNames(inner.substr(0, outer.size()), outer))
        return false;
    // The next character of `inner` begins a component: a separator where a character
    // begins, not the second byte of one.
    return inner.size() == outer.size() || endsWithSeparator(outer) ||
           lastSeparator(inner.substr(0, outer.size() + 1)) == outer.size();
}

std::string currentDirectory() {
    for (DWORD size = MAX_PATH;;) {
        std::vector<char> buffer(size);
        const DWORD n = GetCurrentDirectoryA(size, buffer.data());
        if (n == 0) return {};
        if (n < size) return std::string(buffer.data(), n);
        size = n + 1;
    }
}

std::string executablePath() {
    for (DWORD size = MAX_PATH;; size *= 2) {
        std::vector<char> buffer(size);
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), size);
        if (n == 0) return {};
        if (n < size) return std::string(buffer.data(), n);
        if (size >= 32768) return {};
    }
}

}  // namespace platform
