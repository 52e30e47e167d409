#pragma once
// ASCII-only case folding, as the C library does it in the default locale:
// bytes from 0x80 up never change, whatever the user's locale.

#include <string>
#include <string_view>

namespace platform {

inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

inline std::string asciiUpper(std::string_view s) {
    std::string r(s);
    for (auto& c : r) c = asciiUpper(c);
    return r;
}
inline std::string asciiLower(std::string_view s) {
    std::string r(s);
    for (auto& c : r) c = asciiLower(c);
    return r;
}
inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

}  // namespace platform
