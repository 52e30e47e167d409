#include <vector>

#include "platform/file_checks.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

bool isRegularFile(std::string_view path) {
    std::string name;
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!systemPath(path, name) || !readEntry(name, attributes, tag)) return false;
    return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) &&
           !isLinkAttributes(attributes, tag);
}

bool isSymbolicLink(std::string_view path) {
    std::string name;
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!systemPath(path, name)) return false;
    // "link\" is still the link itself; "C:\" keeps its separator.
    const size_t colon = name.find(':');
    name = std::string(withoutTrailingSeparators(name, colon == std::string::npos ? 1 : colon + 2));
    return readEntry(name, attributes, tag) && isLinkAttributes(attributes, tag);
}

// The final path of what the name leads to, every link followed, as the system names it
// (GetFinalPathNameByHandleA), without the "\\?\" long-path prefix.
std::string canonicalPath(std::string_view path) {
    std::string name;
    if (!systemPath(path, name) || name.empty()) return {};
    // Backup semantics open folders too; no access right is needed to ask for the name.
    HANDLE handle =
        CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::vector<char> buffer(MAX_PATH + 8);
    DWORD n = GetFinalPathNameByHandleA(handle, buffer.data(), DWORD(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = GetFinalPathNameByHandleA(handle, buffer.data(), DWORD(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(handle);
    if (n == 0 || n >= buffer.size()) return {};
    std::string result(buffer.data(), n);
    if (result.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + result.substr(8);
    if (result.rfind("\\\\?\\", 0) == 0) return result.substr(4);
    return result;
}

}  // namespace platform
