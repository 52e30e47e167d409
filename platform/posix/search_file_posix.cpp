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

std::string joined(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    return folder + "/" + std::string(name);
}

}  // namespace

std::string searchFile(std::string_view name) {
    std::string own = executablePath();
    auto cut = lastSeparator(own);
    if (cut != std::string::npos) {
        std::string candidate = joined(own.substr(0, cut), name);
        if (cut == 0) candidate = "/" + std::string(name);
        if (isFile(candidate)) return candidate;
    }
    std::string current = joined(currentDirectory(), name);
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
            std::string candidate = joined(folder, name);
            if (isFile(candidate)) return candidate;
        }
        begin = end + 1;
    }
    return {};
}

}  // namespace platform
