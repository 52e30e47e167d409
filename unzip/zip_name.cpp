#include "unzip/zip_name.h"

#include "platform/paths.h"
#include "platform/text.h"

namespace {

// Position just after the first "<a>..<b>" (a, b the given separators), skipping the
// trail byte of every double-byte character; npos when there is none.
size_t afterDotDot(std::string_view s, char a, char b, const std::bitset<256>& leads) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (leads.test(static_cast<unsigned char>(s[i]))) {
            ++i;
            continue;
        }
        if (s[i] == a && i + 3 < s.size() && s[i + 1] == '.' && s[i + 2] == '.' && s[i + 3] == b)
            return i + 4;
    }
    return std::string_view::npos;
}

}  // namespace

std::string cleanZipName(std::string_view stored, std::string_view codeset) {
    const std::bitset<256> leads = platform::leadBytes(codeset);
    std::string_view s = stored;
    for (;;) {
        if (s.size() >= 2 && s[1] == ':') {
            s.remove_prefix(2);
            continue;
        }
        if (!s.empty() && platform::isSeparator(s[0])) {
            s.remove_prefix(1);
            continue;
        }
        size_t cut = std::string_view::npos;
        for (auto [a, b] : {std::pair{'\\', '\\'}, {'\\', '/'}, {'/', '/'}, {'/', '\\'}}) {
            cut = afterDotDot(s, a, b, leads);
            if (cut != std::string_view::npos) break;
        }
        if (cut != std::string_view::npos) {
            s.remove_prefix(cut);
            continue;
        }
        // A leading ".." component would climb out of the root folder.
        if (s.size() >= 3 && s[0] == '.' && s[1] == '.' && platform::isSeparator(s[2])) {
            s.remove_prefix(3);
            continue;
        }
        break;
    }
    return std::string(s);
}

std::string cleanZipName(std::string_view stored) {
    return cleanZipName(stored, platform::nameCodeset());
}
