#include "config/catalogue.h"

#include <gtest/gtest.h>

#include <clocale>

#include "config/update_context.h"
#include "support/child_process.h"

namespace {

std::string repeat(const std::string& unit, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i) s += unit;
    return s;
}

const std::string kZhong = "\xe4\xb8\xad";      // U+4E2D, A4 A4 in Big5
const std::string kEmoji = "\xf0\x9f\x98\x80";  // two UTF-16 units, none in Big5

}  // namespace

TEST(Catalogue, BuiltInDefaultsAreTheTraditionalChineseTexts) {
    struct Case {
        const char* key;
        std::string utf8;
        std::string big5;
        // clang-format off
    } cases[] = {
        {"MSG_UAC_TITLE",
         "\xe4\xbd\xbf\xe7\x94\xa8\xe8\x80\x85\xe5\xb8\xb3\xe6\x88\xb6\xe6\x8e\xa7\xe5\x88\xb6(UAC)",
         "\xa8\xcf\xa5\xce\xaa\xcc\xb1\x62\xa4\xe1\xb1\xb1\xa8\xee(UAC)"},
        {"MSG_UAC_CANTWRITE",
         "\xe6\xb2\x92\xe6\x9c\x89\xe6\xaa\x94\xe6\xa1\x88\xe5\xaf\xab\xe5\x85\xa5\xe6\xac\x8a\xe9"
         "\x99\x90,\xe8\xab\x8b\xe6\xaa\xa2\xe6\x9f\xa5\xe4\xbd\xa0\xe7\x9a\x84\xe5\x9f\xb7\xe8\xa1"
         "\x8c\xe8\xba\xab\xe5\x88\x86",
         ""},
        {"MSG_NET_ERROR",
         "\xe9\x80\xa3\xe7\xb7\x9a\xe5\xa4\xb1\xe6\x95\x97, \xe8\xab\x8b\xe6\xaa\xa2\xe6\x9f\xa5\xe4"
         "\xbd\xa0\xe7\x9a\x84\xe7\xb6\xb2\xe8\xb7\xaf\xe6\x88\x96\xe9\x98\xb2\xe7\x81\xab\xe7\x89"
         "\x86\xe8\xa8\xad\xe5\xae\x9a",
         ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        // A UTF-8 user sees the defaults byte for byte; a fresh process reads the
        // locale's codeset once.
        int rc = testsupport::runInChild([&] {
            if (!std::setlocale(LC_CTYPE, "C.UTF-8")) return 2;
            updateContext.messages.LoadFromMemory("", 0);
            testing::internal::CaptureStderr();
            EXPECT_EQ(catalogueText(c.key), c.utf8);
            testing::internal::GetCapturedStderr();
            return testsupport::childResult();
        });
        EXPECT_EQ(rc, 0);
        // A Big5 user reads them too: every character exists in code page 950.
        std::string big5 = toDisplayText(c.utf8, "CP950");
        EXPECT_EQ(big5.find('?'), std::string::npos);
        if (!c.big5.empty()) {
            EXPECT_EQ(big5, c.big5);
        }
    }
}

TEST(Catalogue, CatalogueTextsOverrideDefaultsUnlessEmpty) {
    int rc = testsupport::runInChild([] {
        if (!std::setlocale(LC_CTYPE, "C.UTF-8")) return 2;
        const std::string text = "[boot]\nmsg_net_error=Offline\nMSG_UAC_TITLE=\n";
        updateContext.messages.LoadFromMemory(text.data(), text.size());
        updateContext.messages.section = "Elsewhere";  // the look-up sets its own section
        testing::internal::CaptureStderr();
        EXPECT_EQ(catalogueText("MSG_NET_ERROR"), "Offline");
        EXPECT_EQ(catalogueText("MSG_UAC_TITLE"),
                  "\xe4\xbd\xbf\xe7\x94\xa8\xe8\x80\x85\xe5\xb8\xb3\xe6\x88\xb6\xe6\x8e\xa7\xe5\x88"
                  "\xb6(UAC)");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        return testsupport::childResult();
    });
    EXPECT_EQ(rc, 0);
}

TEST(Catalogue, DisplayTextLimits) {
    struct Case {
        const char* name;
        std::string text;
        const char* codeset;
        std::string expected;
        // clang-format off
    } cases[] = {
        {"510 ASCII characters fit", std::string(510, 'a'), "CP950", std::string(510, 'a')},
        {"511 ASCII characters do not", std::string(511, 'a'), "CP950", ""},
        {"255 Chinese characters are 510 bytes", repeat(kZhong, 255), "CP950",
         repeat("\xa4\xa4", 255)},
        {"256 Chinese characters are 512 bytes", repeat(kZhong, 256), "CP950", ""},
        {"510 Chinese characters fit as units, not as bytes", repeat(kZhong, 510), "CP950", ""},
        {"a surrogate pair counts twice: 511 units", std::string(509, 'a') + kEmoji, "CP950", ""},
        {"a surrogate pair at 510 units becomes '?'", std::string(508, 'a') + kEmoji, "CP950",
         std::string(508, 'a') + "?"},
        {"the byte limit is the target's: 171 in UTF-8 are 513 bytes", repeat(kZhong, 171), "UTF-8",
         ""},
        {"170 in UTF-8 are 510 bytes", repeat(kZhong, 170), "UTF-8", repeat(kZhong, 170)},
        {"invalid UTF-8 still displays", "ok\xff", "CP950", "ok?"},
        {"empty", "", "CP950", ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toDisplayText(c.text, c.codeset), c.expected);
    }
}
