#include <cstdlib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

bool isFile(const std::string& path) {
    auto attributes = getAttributes(path);
    return attributes && !(*attributes & FILE_ATTR_DIRECTORY);
}

std::string systemFolder(UINT(WINAPI* query)(LPSTR, UINT)) {
    char buffer[MAX_PATH];
    const UINT n = query(buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
}

}  // namespace

// OpenFile's order for a bare name: the program's folder, the current folder, the
// system folder, the Windows folder, then the PATH folders.
std::string searchFile(std::string_view name) {
    std::vector<std::string> folders;
    const std::string own = executablePath();
    if (lastSeparator(own) != std::string::npos) folders.push_back(parentFolder(own));
    folders.push_back(currentDirectory());
    folders.push_back(systemFolder(GetSystemDirectoryA));
    folders.push_back(systemFolder(GetWindowsDirectoryA));
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const auto cut = rest.find(';');
        std::string_view folder = rest.substr(0, cut);
        // A PATH entry may be quoted.
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        folders.emplace_back(folder);
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        const std::string candidate = joinPath(folder, name);
        if (isFile(candidate)) return candidate;
    }
    return {};
}

}  // namespace platform
