#include "platform/paths.h"

namespace platform {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string::size_type lastSeparator(std::string_view path) {
    for (auto i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1])) return i - 1;
    return std::string::npos;
}

}  // namespace platform
