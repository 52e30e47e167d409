#include "platform/paths.h"

#include <algorithm>
#include <bitset>

#include "platform/strings.h"
#include "platform/text.h"

namespace platform {

namespace {

struct NameCodeset {
    std::string name;
    std::bitset<256> leads;
};

NameCodeset& current() {
    static NameCodeset codeset = [] {
        NameCodeset ansi;
        ansi.name = ansiCodeset();
        ansi.leads = leadBytes(ansi.name);
        return ansi;
    }();
    return codeset;
}

bool isLead(char c) { return current().leads.test(static_cast<unsigned char>(c)); }

// Calls `each` with the position of every character of `text`, in order, until it
// returns false.
template <typename Each>
void forEachCharacter(std::string_view text, Each each, size_t from = 0) {
    const std::bitset<256>& leads = current().leads;
    for (size_t i = from; i < text.size();) {
        if (!each(i)) return;
        i += (leads.test(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    }
}

template <char (*Fold)(char)>
std::string foldName(std::string_view name) {
    std::string folded(name);
    forEachCharacter(name, [&](size_t i) {
        if (!isLead(name[i])) folded[i] = Fold(name[i]);
        return true;
    });
    return folded;
}

}  // namespace

std::string nameCodeset() { return current().name; }

void setNameCodeset(std::string_view codeset) {
    NameCodeset& names = current();
    names.name = codeset.empty() ? ansiCodeset() : std::string(codeset);
    names.leads = leadBytes(names.name);
}

size_t characterLength(std::string_view text, size_t pos) {
    return pos + 1 < text.size() && isLead(text[pos]) ? 2 : 1;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string::size_type firstSeparator(std::string_view path, size_t from) {
    std::string::size_type found = std::string::npos;
    forEachCharacter(
        path,
        [&](size_t i) {
            if (isSeparator(path[i])) found = i;
            return found == std::string::npos;
        },
        from);
    return found;
}

std::string::size_type lastSeparator(std::string_view path) {
    std::string::size_type found = std::string::npos;
    forEachCharacter(path, [&](size_t i) {
        if (isSeparator(path[i])) found = i;
        return true;
    });
    return found;
}

bool endsWithSeparator(std::string_view path) {
    const auto last = lastSeparator(path);
    return last != std::string::npos && last + 1 == path.size();
}

std::string_view withoutTrailingSeparators(std::string_view path, size_t keep) {
    // The separators that end the path: those after its last character of another kind.
    size_t end = 0;
    forEachCharacter(path, [&](size_t i) {
        if (!isSeparator(path[i])) end = i + characterLength(path, i);
        return true;
    });
    return path.substr(0, std::max(end, std::min(keep, path.size())));
}

std::string upperCaseName(std::string_view name) {
    return foldName<static_cast<char (*)(char)>(asciiUpper)>(name);
}

std::string lowerCaseName(std::string_view name) {
    return foldName<static_cast<char (*)(char)>(asciiLower)>(name);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && upperCaseName(a) == upperCaseName(b);
}

}  // namespace platform
