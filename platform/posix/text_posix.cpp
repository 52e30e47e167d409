#include <iconv.h>
#include <langinfo.h>

#include <cerrno>

#include "platform/strings.h"
#include "platform/text.h"

namespace platform {

namespace {

class Converter {
public:
    Converter(const char* from, const char* to) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts `in`, replacing each unit that fails by '?' (encoded by `question`) and
    // skipping `skip` input bytes for it.
    void run(std::string_view in, size_t skip, std::string_view question, std::string& out) {
        out.clear();
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        char buffer[1024];
        while (srcLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            int err = errno;
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r != static_cast<size_t>(-1) || err == E2BIG) continue;
            out.append(question);
            if (err == EILSEQ) {
                // A unit that is invalid or that the target cannot hold.
                size_t n = skip < srcLeft ? skip : srcLeft;
                src += n;
                srcLeft -= n;
            } else {
                // EINVAL: the input ends inside a sequence.
                srcLeft = 0;
            }
        }
        for (;;) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t r = iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
            out.append(buffer, static_cast<size_t>(dst - buffer));
            if (r == static_cast<size_t>(-1) && errno == E2BIG) continue;
            break;
        }
    }

private:
    iconv_t cd_;
};

struct LeadRange {
    unsigned char first;
    unsigned char last;
};

struct DoubleByteCodePage {
    const char* names;  // the codeset's names, upper case without '-' or '_', ';'-separated
    LeadRange ranges[2];
};

// The lead-byte ranges Windows gives its double-byte code pages (GetCPInfo's LeadByte),
// under the names iconv and the C library's locales use for them.
constexpr DoubleByteCodePage kDoubleByteCodePages[] = {
    {"CP950;BIG5;BIG5HKSCS", {{0x81, 0xFE}}},
    {"CP936;GBK;GB18030;EUCCN;GB2312", {{0x81, 0xFE}}},
    {"CP949;UHC;EUCKR", {{0x81, 0xFE}}},
    {"CP932;SJIS;SHIFTJIS;MS932;WINDOWS31J", {{0x81, 0x9F}, {0xE0, 0xFC}}},
};

bool namesInclude(std::string_view names, std::string_view name) {
    while (!names.empty()) {
        const auto cut = names.find(';');
        if (names.substr(0, cut) == name) return true;
        if (cut == std::string_view::npos) break;
        names.remove_prefix(cut + 1);
    }
    return false;
}

}  // namespace

std::bitset<256> leadBytes(std::string_view codeset) {
    std::string name;
    for (char c : codeset)
        if (c != '-' && c != '_') name.push_back(asciiUpper(c));
    std::bitset<256> leads;
    for (const DoubleByteCodePage& page : kDoubleByteCodePages) {
        if (!namesInclude(page.names, name)) continue;
        for (const LeadRange& range : page.ranges)
            for (unsigned c = range.first; range.last != 0 && c <= range.last; ++c) leads.set(c);
    }
    return leads;
}

std::string ansiCodeset() {
    static const std::string codeset = nl_langinfo(CODESET);
    return codeset;
}

bool convertText(std::string_view text, const char* fromCodeset, const char* toCodeset,
                 std::string& out) {
    out.clear();
    // Two steps through UTF-32, as Windows goes through UTF-16: the first step can skip a
    // bad input byte, the second a whole character, each leaving one '?'.
    Converter decode(fromCodeset, "UTF-32LE");
    Converter encode("UTF-32LE", toCodeset);
    if (!decode.ok() || !encode.ok()) return false;
    static constexpr char kQuestion32[] = {'?', 0, 0, 0};
    std::string wide;
    decode.run(text, 1, std::string_view(kQuestion32, 4), wide);
    std::string question;
    encode.run(std::string_view("?\0\0\0", 4), 4, "?", question);
    encode.run(wide, 4, question.empty() ? std::string_view("?") : std::string_view(question), out);
    return true;
}

}  // namespace platform
