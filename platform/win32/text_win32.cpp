// Code pages by number, converted through UTF-16 with MultiByteToWideChar and
// WideCharToMultiByte as Windows converts them: a character the target cannot hold
// becomes the code page's default character ('?'); an invalid input byte becomes
// U+FFFD first, so it too ends as '?' in any code page but UTF-8.

#include <cstdlib>
#include <optional>

#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/text.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

// UTF-16LE is what the conversions go through; no code page function takes it.
constexpr UINT kUtf16Le = 1200;

struct CodesetName {
    const char* name;  // upper case, without '-' or '_'
    UINT codePage;
};

// The codeset names the callers and the C library use, for the code pages Windows has.
constexpr CodesetName kCodesetNames[] = {
    {"UTF8", CP_UTF8},
    {"UTF16LE", kUtf16Le},
    {"ASCII", 20127},
    {"USASCII", 20127},
    {"ANSIX3.41968", 20127},
    {"BIG5", 950},
    {"BIG5HKSCS", 950},
    {"GBK", 936},
    {"GB2312", 936},
    {"EUCCN", 936},
    {"GB18030", 54936},
    {"SJIS", 932},
    {"SHIFTJIS", 932},
    {"MS932", 932},
    {"WINDOWS31J", 932},
    {"EUCKR", 949},
    {"UHC", 949},
    {"EUCJP", 20932},
    {"LATIN1", 28591},
    {"KOI8R", 20866},
    {"KOI8U", 21866},
};

std::optional<UINT> numberAfter(std::string_view name, std::string_view prefix) {
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix)
        return std::nullopt;
    UINT number = 0;
    for (char c : name.substr(prefix.size())) {
        if (c < '0' || c > '9' || number > 100000) return std::nullopt;
        number = number * 10 + UINT(c - '0');
    }
    return number;
}

// The code page a codeset name stands for: "CP950", "WINDOWS-1252", "ISO-8859-2", a
// name of the table; nothing for a name Windows has no code page for.
std::string normalName(std::string_view codeset) {
    std::string name;
    for (char c : codeset)
        if (c != '-' && c != '_') name.push_back(asciiUpper(c));
    return name;
}

std::optional<UINT> codePageOf(std::string_view codeset) {
    const std::string name = normalName(codeset);
    std::optional<UINT> page;
    for (const CodesetName& known : kCodesetNames)
        if (name == known.name) page = known.codePage;
    if (!page) page = numberAfter(name, "CP");
    if (!page) page = numberAfter(name, "WINDOWS");
    if (!page) page = numberAfter(name, "IBM");
    if (!page) {
        if (auto part = numberAfter(name, "ISO8859"); part && *part >= 1 && *part <= 15)
            page = 28590 + *part;
    }
    if (!page || (*page != kUtf16Le && !IsValidCodePage(*page))) return std::nullopt;
    return page;
}

bool toWide(std::string_view text, UINT codePage, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (codePage == kUtf16Le) {
        for (size_t i = 0; i + 1 < text.size(); i += 2)
            wide.push_back(wchar_t(static_cast<unsigned char>(text[i]) |
                                   (static_cast<unsigned char>(text[i + 1]) << 8)));
        if (text.size() % 2) wide.push_back(L'?');
        return true;
    }
    if (text.size() > size_t(INT32_MAX)) return false;
    const int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return false;
    wide.resize(size_t(n));
    return MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(), n) == n;
}

bool fromWide(const std::wstring& wide, UINT codePage, std::string& out) {
    out.clear();
    if (wide.empty()) return true;
    if (codePage == kUtf16Le) {
        for (wchar_t c : wide) {
            out.push_back(char(c & 0xFF));
            out.push_back(char((c >> 8) & 0xFF));
        }
        return true;
    }
    if (wide.size() > size_t(INT32_MAX)) return false;
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(size_t(n));
    return WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), out.data(), n, nullptr,
                               nullptr) == n;
}

}  // namespace

// The ANSI code page (CP_ACP) under the name "CP<number>".
std::string ansiCodeset() {
    static const std::string codeset = "CP" + std::to_string(GetACP());
    return codeset;
}

bool convertText(std::string_view text, const char* fromCodeset, const char* toCodeset,
                 std::string& out) {
    out.clear();
    const auto from = codePageOf(fromCodeset ? fromCodeset : "");
    const auto to = codePageOf(toCodeset ? toCodeset : "");
    if (!from || !to) return false;
    std::wstring wide;
    return toWide(text, *from, wide) && fromWide(wide, *to, out);
}

UINT nameCodePage() { return codePageOf(nameCodeset()).value_or(CP_ACP); }

std::bitset<256> leadBytes(std::string_view codeset) {
    std::bitset<256> leads;
    // GB18030 begins its two- and four-byte characters with GBK's lead bytes; Windows
    // counts none for code page 54936, which is never an ANSI code page.
    const auto page = codePageOf(normalName(codeset) == "GB18030" ? "CP936" : codeset);
    if (!page || *page == kUtf16Le || *page == CP_UTF8) return leads;
    for (unsigned b = 0; b < 256; ++b)
        if (IsDBCSLeadByteEx(*page, BYTE(b))) leads.set(b);
    return leads;
}

}  // namespace platform
