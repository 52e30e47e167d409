#pragma once
// ASCII-only text rules, as the C library applies them in the default locale: case
// folding leaves bytes from 0x80 up unchanged, numbers are decimal digits.

#include <climits>
#include <cstdint>
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

inline bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

// The decimal number the text starts with: its leading digits, 0 when it does not
// begin with a digit (a sign or a blank counts as no digit). Saturates at INT64_MAX.
inline int64_t leadingNumber(std::string_view text) {
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        const int digit = c - '0';
        if (value > (INT64_MAX - digit) / 10) return INT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// atoi: blanks (space, \t, \n, \v, \f, \r), an optional sign, then the leading digits;
// 0 for text. Out of range, the value is clamped to int, as the Windows runtime does,
// instead of being undefined.
inline int atoiValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    const int64_t magnitude = leadingNumber(text.substr(i));
    if (negative) return magnitude > -int64_t(INT_MIN) ? INT_MIN : int(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : int(magnitude);
}

}  // namespace platform
