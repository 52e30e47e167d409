#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/paths.h"

namespace platform {

namespace {

bool isFile(const std::string& path) {
    auto attributes = getAttributes(path);
    return attributes && !(*attributes & FILE_ATTR_DIRECTORY);
}

}  // namespace

std::string searchFile(std::string_view name) {
    std::string own = executablePath();
    if (lastSeparator(own) != std::string::npos) {
        std::string candidate = joinPath(parentFolder(own), name);
        if (isFile(candidate)) return candidate;
    }
    std::string current = joinPath(currentDirectory(), name);
    if (isFile(current)) return current;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t begin = 0;
    while (begin <= folders.size()) {
        size_t end = folders.find(':', begin);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(begin, end - begin);
        // An empty PATH entry means the current folder, already searched.
        if (!folder.empty()) {
            std::string candidate = joinPath(folder, name);
            if (isFile(candidate)) return candidate;
        }
        begin = end + 1;
    }
    return {};
}

}  // namespace platform
