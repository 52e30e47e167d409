#include "unzip/zip_name.h"

#include "platform/strings.h"
#include "platform/text.h"

namespace {

enum class LeadBytes { None, Big5Like, ShiftJis };

LeadBytes leadBytesOf(std::string_view codeset) {
    std::string name = platform::asciiUpper(codeset);
    std::string compact;
    for (char c : name)
        if (c != '-' && c != '_') compact += c;
    if (compact == "CP950" || compact == "BIG5" || compact == "BIG5HKSCS" || compact == "CP936" ||
        compact == "GBK" || compact == "GB18030" || compact == "CP949" || compact == "UHC" ||
        compact == "EUCKR" || compact == "EUCCN" || compact == "GB2312")
        return LeadBytes::Big5Like;
    if (compact == "CP932" || compact == "SJIS" || compact == "SHIFTJIS" || compact == "MS932" ||
        compact == "WINDOWS31J")
        return LeadBytes::ShiftJis;
    return LeadBytes::None;
}

bool isLead(LeadBytes kind, unsigned char c) {
    switch (kind) {
    case LeadBytes::Big5Like: return c >= 0x81 && c <= 0xFE;
    case LeadBytes::ShiftJis: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case LeadBytes::None: break;
    }
    return false;
}

bool isSep(char c) { return c == '\\' || c == '/'; }

// Position just after the first "<a>..<b>" (a, b the given separators), skipping the
// trail byte of every double-byte character; npos when there is none.
size_t afterDotDot(std::string_view s, char a, char b, LeadBytes kind) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (isLead(kind, static_cast<unsigned char>(s[i]))) {
            ++i;
            continue;
        }
        if (s[i] == a && i + 3 < s.size() && s[i + 1] == '.' && s[i + 2] == '.' && s[i + 3] == b)
            return i + 4;
    }
    return std::string_view::npos;
}

}  // namespace

bool isDoubleByteCodeset(std::string_view codeset) {
    return leadBytesOf(codeset) != LeadBytes::None;
}

std::string cleanZipName(std::string_view stored, std::string_view codeset) {
    const LeadBytes kind = leadBytesOf(codeset);
    std::string_view s = stored;
    for (;;) {
        if (s.size() >= 2 && s[1] == ':') {
            s.remove_prefix(2);
            continue;
        }
        if (!s.empty() && isSep(s[0])) {
            s.remove_prefix(1);
            continue;
        }
        size_t cut = std::string_view::npos;
        for (auto [a, b] : {std::pair{'\\', '\\'}, {'\\', '/'}, {'/', '/'}, {'/', '\\'}}) {
            cut = afterDotDot(s, a, b, kind);
            if (cut != std::string_view::npos) break;
        }
        if (cut != std::string_view::npos) {
            s.remove_prefix(cut);
            continue;
        }
        // A leading ".." component would climb out of the root folder.
        if (s.size() >= 3 && s[0] == '.' && s[1] == '.' && isSep(s[2])) {
            s.remove_prefix(3);
            continue;
        }
        break;
    }
    return std::string(s);
}

std::string cleanZipName(std::string_view stored) {
    return cleanZipName(stored, platform::ansiCodeset());
}
