#include <gtest/gtest.h>

#include "platform/text.h"

using platform::convertText;

TEST(Text, ConvertsAndReplacesWhatTheTargetCannotHold) {
    struct Case {
        const char* name;
        std::string text;
        const char* from;
        const char* to;
        std::string expected;
    } cases[] = {
        {"Chinese into Big5", "\xe4\xb8\xad\xe6\x96\x87", "UTF-8", "CP950", "\xa4\xa4\xa4\xe5"},
        {"Big5 back to UTF-8", "\xa4\xa4\xa4\xe5", "CP950", "UTF-8", "\xe4\xb8\xad\xe6\x96\x87"},
        {"a character Big5 lacks", "a\xc3\xa9z", "UTF-8", "CP950", "a?z"},
        {"a character ASCII lacks", "\xe4\xb8\xad!", "UTF-8", "ASCII", "?!"},
        {"a character outside the BMP", "x\xf0\x9f\x98\x80y", "UTF-8", "CP950", "x?y"},
        {"an invalid byte", "a\xff" "b", "UTF-8", "CP950", "a?b"},
        {"a cut sequence at the end", "a\xe4\xb8", "UTF-8", "CP950", "a?"},
        {"a lone lead byte of Big5", "\xa4", "CP950", "UTF-8", "?"},
        {"an embedded NUL", std::string("a\0b", 3), "UTF-8", "CP950", std::string("a\0b", 3)},
        {"UTF-16 units", "\xf0\x9f\x98\x80", "UTF-8", "UTF-16LE", std::string("\x3d\xd8\x00\xde", 4)},
        {"a '?' in UTF-16", "\xff", "UTF-8", "UTF-16LE", std::string("?\0", 2)},
        {"empty", "", "UTF-8", "CP950", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "stale";
        ASSERT_TRUE(convertText(c.text, c.from, c.to, out));
        EXPECT_EQ(out, c.expected);
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
