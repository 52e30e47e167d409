// Name cleaning, attribute mapping and time stamps of archive items.

#include <gtest/gtest.h>

#include <string>

#include "support/builders/zip_builder.h"
#include "unzip/zip_attributes.h"
#include "unzip/zip_name.h"

namespace {

TEST(ZipItemRules, StoredNamesAreCleanedBelowTheRoot) {
    struct Case {
        const char* stored;
        const char* codeset;
        const char* cleaned;
    };
    // clang-format off
    const Case cases[] = {
        {"plain.txt", "UTF-8", "plain.txt"},
        {"dir/sub/file.txt", "UTF-8", "dir/sub/file.txt"},
        {"C:\\data\\a.txt", "UTF-8", "data\\a.txt"},
        {"C:\\dir\\file.txt", "UTF-8", "dir\\file.txt"},
        {"C:C:x", "UTF-8", "x"},
        {"//server/x", "UTF-8", "server/x"},
        {"\\\\server\\share\\x", "UTF-8", "server\\share\\x"},
        {"x/../y.txt", "UTF-8", "y.txt"},
        {"a/../b/../c.txt", "UTF-8", "c.txt"},
        {"a\\..\\b.txt", "UTF-8", "b.txt"},
        {"a\\../b.txt", "UTF-8", "b.txt"},
        {"a/..\\b.txt", "UTF-8", "b.txt"},
        // Leading ".." components would climb out of the root: they are dropped.
        {"dir/../../up.txt", "UTF-8", "up.txt"},
        {"../evil.txt", "UTF-8", "evil.txt"},
        {"..\\..\\..\\Temp\\evil.txt", "UTF-8", "Temp\\evil.txt"},
        {"/../../etc/passwd", "UTF-8", "etc/passwd"},
        {"C:/../x", "UTF-8", "x"},
        {"..", "UTF-8", ".."},
        {"..a/b", "UTF-8", "..a/b"},
        {"a..b/c", "UTF-8", "a..b/c"},
        {"./x", "UTF-8", "./x"},
        {"", "UTF-8", ""},
        // In Big5 the second byte of 0xB3 0x5C is part of the character, not a separator.
        {"\xB3\x5C..\\x.txt", "CP950", "\xB3\x5C..\\x.txt"},
        {"\xB3\x5C..\\x.txt", "UTF-8", "x.txt"},
        {"\xB3\x5C\\..\\x.txt", "CP950", "x.txt"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " in " + c.codeset);
        EXPECT_EQ(cleanZipName(c.stored, c.codeset), c.cleaned);
    }
}

TEST(ZipItemRules, HostAndExternalAttributesMapToWindowsAttributes) {
    struct Case {
        const char* what;
        uint16_t versionMadeBy;
        uint32_t external;
        uint32_t attributes;
        bool executable;
    };
    // clang-format off
    const Case cases[] = {
        {"DOS 0x27", 0x0014, 0x27, 0x27, false},
        {"DOS directory", 0x0014, 0x10, 0x10, false},
        {"DOS bits beyond the mapped ones", 0x0014, 0xFFC0, 0x00, false},
        {"Macintosh read-only", 0x0714, 0x21, 0x21, false},
        {"NTFS hidden system", 0x0B14, 0x06, 0x06, false},
        {"VFAT archive", 0x0E14, 0x20, 0x20, false},
        {"Unix file 0644", 0x0314, 0100644u << 16, 0x20, false},
        {"Unix file 0444", 0x0314, 0100444u << 16, 0x21, false},
        {"Unix file 0755", 0x0314, 0100755u << 16, 0x20, true},
        {"Unix file 0500", 0x0314, 0100500u << 16, 0x21, true},
        {"Unix directory 0755", 0x0314, (040755u << 16) | 0x10, 0x30, true},
        {"Unix directory 0555", 0x0314, 040555u << 16, 0x31, true},
        {"Unix mode without file type", 0x0314, 0644u << 16, 0x20, false},
        {"Unix DOS byte ignored", 0x0314, (0100644u << 16) | 0x07, 0x20, false},
        {"OS X file 0755", 0x1314, 0100755u << 16, 0x20, false},
        {"NTFS with a mode-like upper half", 0x0B14, 0100755u << 16, 0x00, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mapZipAttributes(c.versionMadeBy, c.external), c.attributes);
        EXPECT_EQ(zipEntryIsExecutable(c.versionMadeBy, c.external), c.executable);
    }
}

TEST(ZipItemRules, ExtendedTimestampReplacesTheTimesItCarries) {
    using testsupport::extendedTimestamp;
    using testsupport::fileTimeFromUnix;
    const uint64_t dos = 42;
    const uint64_t w = fileTimeFromUnix(1300668680);
    const uint64_t a = fileTimeFromUnix(1300668670);
    const uint64_t c = fileTimeFromUnix(1000000000);
    const std::string otherBlock = std::string("\x75\x78\x0B\x00", 4) + std::string(11, '\x01');
    struct Case {
        const char* what;
        std::string extra;
        uint64_t write, access, creation;
    };
    // clang-format off
    const Case cases[] = {
        {"write and access", extendedTimestamp(3, {1300668680, 1300668670}), w, a, dos},
        {"all three", extendedTimestamp(7, {1300668680, 1300668670, 1000000000}), w, a, c},
        {"access only", extendedTimestamp(2, {1300668670}), dos, a, dos},
        {"after another block", otherBlock + extendedTimestamp(1, {1300668680}), w, dos, dos},
        {"only the first UT counts",
         extendedTimestamp(1, {1300668680}) + extendedTimestamp(1, {1000000000}), w, dos, dos},
        {"flags announce more than the block holds", extendedTimestamp(7, {1300668680}), w, dos, dos},
        {"block cut by the end of the field", extendedTimestamp(3, {1300668680, 1300668670}).substr(0, 11),
         w, dos, dos},
        {"field of four bytes is not walked", std::string("UT\x05\x00", 4), dos, dos, dos},
        {"empty", "", dos, dos, dos},
        {"negative seconds", extendedTimestamp(1, {-86400}), fileTimeFromUnix(-86400), dos, dos},
        {"block longer than the field", std::string("\x01\x00\xF0\xFF", 4) + "UT\x05\x00\x01zzzz", dos,
         dos, dos},
    };
    // clang-format on
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ZipTimes times{dos, dos, dos};
        applyExtendedTimestamp(reinterpret_cast<const unsigned char*>(k.extra.data()),
                               k.extra.size(), times);
        EXPECT_EQ(times.write, k.write);
        EXPECT_EQ(times.access, k.access);
        EXPECT_EQ(times.creation, k.creation);
    }
}

TEST(ZipItemRules, DosDateAndTimeAreLocalTimeAndImpossibleOnesFallBackTo1980) {
    platform::FileTime expected = 0;
    ASSERT_TRUE(platform::localTimeToFileTime(2011, 12, 8, 10, 4, 24, expected));
    const uint32_t date = ((2011 - 1980) << 9) | (12 << 5) | 8;
    const uint32_t time = (10 << 11) | (4 << 5) | 12;
    EXPECT_EQ(dosDateTimeToFileTime((date << 16) | time), expected);

    platform::FileTime earliest = 0;
    ASSERT_TRUE(platform::localTimeToFileTime(1980, 1, 1, 0, 0, 0, earliest));
    EXPECT_EQ(dosDateTimeToFileTime(0), earliest) << "month 0, day 0";
    EXPECT_EQ(dosDateTimeToFileTime((date << 16) | (25 << 11)), earliest) << "hour 25";
}

}  // namespace
