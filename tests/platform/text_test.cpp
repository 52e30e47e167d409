#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/system/this_system.h"

using platform::convertText;
using testsupport::PerSystem;
using testsupport::same;

TEST(Text, ConvertsAndReplacesWhatTheTargetCannotHold) {
    // Windows converts as WideCharToMultiByte and MultiByteToWideChar do.
    const char* const kBestFit = "Windows writes a best-fit character where the code page has one";
    const char* const kPerUnit = "Windows replaces each UTF-16 unit, so a pair becomes two";
    const char* const kReplacement = "Windows reads an invalid byte as U+FFFD, which UTF-16 holds";
    using Text = PerSystem<std::string>;
    struct Case {
        const char* name;
        std::string text;
        const char* from;
        const char* to;
        Text expected;
        // clang-format off
    } cases[] = {
        {"Chinese into Big5", "\xe4\xb8\xad\xe6\x96\x87", "UTF-8", "CP950", same<std::string>("\xa4\xa4\xa4\xe5")},
        {"Big5 back to UTF-8", "\xa4\xa4\xa4\xe5", "CP950", "UTF-8", same<std::string>("\xe4\xb8\xad\xe6\x96\x87")},
        {"a character Big5 lacks", "a\xc3\xa9z", "UTF-8", "CP950", Text{"a?z", "aez", kBestFit}},
        {"a character ASCII lacks", "\xe4\xb8\xad!", "UTF-8", "ASCII", same<std::string>("?!")},
        {"a character outside the BMP", "x\xf0\x9f\x98\x80y", "UTF-8", "CP950", Text{"x?y", "x??y", kPerUnit}},
        {"an invalid byte", "a\xff" "b", "UTF-8", "CP950", same<std::string>("a?b")},
        {"a cut sequence at the end", "a\xe4\xb8", "UTF-8", "CP950", same<std::string>("a?")},
        {"a lone lead byte of Big5", "\xa4", "CP950", "UTF-8", same<std::string>("?")},
        {"an embedded NUL", std::string("a\0b", 3), "UTF-8", "CP950", same(std::string("a\0b", 3))},
        {"UTF-16 units", "\xf0\x9f\x98\x80", "UTF-8", "UTF-16LE", same(std::string("\x3d\xd8\x00\xde", 4))},
        {"a '?' in UTF-16", "\xff", "UTF-8", "UTF-16LE", Text{std::string("?\0", 2), std::string("\xfd\xff", 2), kReplacement}},
        {"empty", "", "UTF-8", "CP950", same<std::string>("")},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "stale";
        ASSERT_TRUE(convertText(c.text, c.from, c.to, out));
        EXPECT_EQ(out, c.expected.here());
    }
}

TEST(Text, LongTextsConvertWhole) {
    // Several times the converter's own buffer.
    std::string text, expected;
    for (int i = 0; i < 3000; ++i) text += "\xe4\xb8\xad", expected += "\xa4\xa4";
    std::string out;
    ASSERT_TRUE(convertText(text, "UTF-8", "CP950", out));
    EXPECT_EQ(out, expected);
}

TEST(Text, UnknownCodesetIsReported) {
    std::string out;
    EXPECT_FALSE(convertText("abc", "UTF-8", "NO-SUCH-CODESET", out));
    EXPECT_FALSE(convertText("abc", "NO-SUCH-CODESET", "UTF-8", out));
}

// The zip name cleaner skips the trail byte after each lead byte, so a Big5 or
// Shift-JIS character whose trail byte is '\' never counts as a separator.
TEST(Text, LeadBytesOfDoubleByteCodePagesOnly) {
    struct Case {
        const char* codeset;
        std::vector<unsigned char> leads;
        std::vector<unsigned char> others;
        // clang-format off
    } cases[] = {
        {"CP950", {0x81, 0xA4, 0xB3, 0xFE}, {0x00, 0x2F, 0x5C, 0x7F, 0x80, 0xFF}},
        {"big5-hkscs", {0x81, 0xB3}, {0x5C, 0x80}},
        {"GB18030", {0x81, 0xB0, 0xFE}, {0x5C, 0x80, 0xFF}},
        {"euc_kr", {0x81, 0xB0}, {0x5C}},
        {"Shift_JIS", {0x81, 0x9F, 0xE0, 0xFC}, {0x5C, 0x80, 0xA1, 0xDF, 0xFD}},  // A1-DF: kana
        {"UTF-8", {}, {0xC3, 0xE4, 0x80}},
        {"ISO-8859-1", {}, {0x80, 0xC3, 0xFF}},
        {"no-such-codeset", {}, {0x81, 0xB3}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codeset);
        const auto leads = platform::leadBytes(c.codeset);
        for (unsigned char b : c.leads) EXPECT_TRUE(leads.test(b)) << int(b);
        for (unsigned char b : c.others) EXPECT_FALSE(leads.test(b)) << int(b);
        if (c.leads.empty()) {
            EXPECT_TRUE(leads.none());
        }
    }
}
