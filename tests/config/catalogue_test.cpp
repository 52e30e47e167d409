#include "config/catalogue.h"

#include <gtest/gtest.h>

#include "config/catalogue_default_texts.h"
#include "support/system/this_system.h"

using testsupport::PerSystem;
using testsupport::same;

namespace {

std::string repeat(const std::string& unit, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i) s += unit;
    return s;
}

const std::string kZhong = "\xe4\xb8\xad";      // U+4E2D, A4 A4 in Big5
const std::string kEmoji = "\xf0\x9f\x98\x80";  // two UTF-16 units, none in Big5

}  // namespace

// A Big5 user reads every built-in text: each character exists in code page 950.
TEST(Catalogue, BuiltInDefaultsAreTheTraditionalChineseTexts) {
    for (const auto& c : kCatalogueDefaults) {
        SCOPED_TRACE(c.key);
        std::string big5 = toDisplayText(c.utf8, "CP950");
        EXPECT_EQ(big5.find('?'), std::string::npos);
        if (!c.big5.empty()) {
            EXPECT_EQ(big5, c.big5);
        }
    }
}

TEST(Catalogue, DisplayTextLimits) {
    using Text = PerSystem<std::string>;
    struct Case {
        const char* name;
        std::string text;
        const char* codeset;
        Text expected;
        // clang-format off
    } cases[] = {
        {"510 ASCII characters fit", std::string(510, 'a'), "CP950", same(std::string(510, 'a'))},
        {"511 ASCII characters do not", std::string(511, 'a'), "CP950", same<std::string>("")},
        {"255 Chinese characters are 510 bytes", repeat(kZhong, 255), "CP950",
         same(repeat("\xa4\xa4", 255))},
        {"256 Chinese characters are 512 bytes", repeat(kZhong, 256), "CP950", same<std::string>("")},
        {"510 Chinese characters fit as units, not as bytes", repeat(kZhong, 510), "CP950", same<std::string>("")},
        {"a surrogate pair counts twice: 511 units", std::string(509, 'a') + kEmoji, "CP950", same<std::string>("")},
        {"a surrogate pair at 510 units becomes '?'", std::string(508, 'a') + kEmoji, "CP950",
         Text{std::string(508, 'a') + "?", std::string(508, 'a') + "??",
              "Windows replaces each UTF-16 unit of a character the code page lacks"}},
        {"the byte limit is the target's: 171 in UTF-8 are 513 bytes", repeat(kZhong, 171), "UTF-8",
         same<std::string>("")},
        {"170 in UTF-8 are 510 bytes", repeat(kZhong, 170), "UTF-8", same(repeat(kZhong, 170))},
        {"invalid UTF-8 still displays", "ok\xff", "CP950", same<std::string>("ok?")},
        {"empty", "", "CP950", same<std::string>("")},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toDisplayText(c.text, c.codeset), c.expected.here());
    }
}
