// The zip reader on archives written byte by byte: result codes, the memory read
// protocol, file targets and hostile names.

#include "unzip/zip_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/builders/zip_builder.h"
#include "support/builders/zip_reader_handle.h"
#include "support/system/current_folder.h"
#include "support/system/name_codeset.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"
#include "zip_reader_fixture.h"

namespace fs = std::filesystem;
using testsupport::buildZip;
using testsupport::ZipBuildOptions;
using testsupport::ZipEntryPlan;

namespace {

class ZipReaderTest : public testsupport::ZipReaderFixture {};

using testsupport::entry;
const std::string& kText = testsupport::kZipSampleText;

TEST_F(ZipReaderTest, HandMadeArchivesGiveTheirResultCodes) {
    struct Case {
        const char* what;
        ZipEntryPlan stored;
        ZipResult describe;              // GetItem
        ZipResult memory;                // UnzipToMemory into a buffer of the declared size
        ZipResult file;                  // UnzipToFile to "out.bin"
        const char* name;                // the cleaned name when described
        const char* password = nullptr;  // given to Open
    };
    auto with = [](ZipEntryPlan e, auto change) {
        change(e);
        return e;
    };
    const std::string deflated = testsupport::deflateRaw(kText);
    // clang-format off
    const Case cases[] = {
        {"stored", entry("a.txt", kText), ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "a.txt"},
        {"deflated", entry("a.txt", kText, true), ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "a.txt"},
        {"empty item", entry("empty", ""), ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "empty"},
        {"drive prefix", entry("C:\\dir\\f.txt", kText), ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "dir\\f.txt"},
        {"local name of another length",
         with(entry("a.txt", kText), [](auto& e) { e.localName = "ab.txt"; }), ZIPRES_CORRUPT,
         ZIPRES_INFLATE_FAILED, ZIPRES_CORRUPT, nullptr},
        {"local method differs", with(entry("a.txt", kText), [](auto& e) { e.localMethod = 8; }),
         ZIPRES_CORRUPT, ZIPRES_INFLATE_FAILED, ZIPRES_CORRUPT, nullptr},
        {"local CRC differs", with(entry("a.txt", kText), [](auto& e) { e.localCrc = 0x12345678; }),
         ZIPRES_CORRUPT, ZIPRES_INFLATE_FAILED, ZIPRES_CORRUPT, nullptr},
        {"local CRC differs under a data descriptor",
         with(entry("a.txt", kText),
              [](auto& e) {
                  e.localCrc = 0;
                  e.flags = 0x8;
              }),
         ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "a.txt"},
        {"bzip2 method", with(entry("a.txt", kText), [](auto& e) { e.method = 12; }), ZIPRES_CORRUPT,
         ZIPRES_INFLATE_FAILED, ZIPRES_CORRUPT, nullptr},
        {"directory size disagrees with the local header",
         with(entry("a.txt", kText), [](auto& e) { e.centralUncompressedSize = 5; }), ZIPRES_CORRUPT,
         ZIPRES_INFLATE_FAILED, ZIPRES_CORRUPT, nullptr},
        {"local extra field runs past the end",
         with(entry("a.txt", kText), [](auto& e) { e.localExtraLength = 0xFFFF; }),
         ZIPRES_READ_FAILED, ZIPRES_INFLATE_FAILED, ZIPRES_READ_FAILED, nullptr},
        {"deflate stream cut short",
         with(entry("a.txt", kText, true),
              [&](auto& e) { e.payload = deflated.substr(0, deflated.size() / 2); }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt"},
        {"stored data shorter than declared",
         with(entry("a.txt", kText), [](auto& e) { e.payload = kText.substr(0, 10); }), ZIPRES_OK,
         ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt"},
        {"garbage instead of deflate data",
         with(entry("a.txt", kText, true), [](auto& e) { e.payload = std::string(40, '\xFF'); }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt"},
        {"a data byte altered (CRC-32 mismatch)",
         with(entry("a.txt", kText),
              [](auto& e) {
                  e.payload = e.data;
                  (*e.payload)[7] ^= 0x20;
              }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt"},
        {"a read-only item with a data byte altered",
         with(entry("a.txt", kText),
              [](auto& e) {
                  e.externalAttributes = 0x21;
                  e.payload = e.data;
                  (*e.payload)[7] ^= 0x20;
              }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt"},
        {"a deflated byte altered (CRC-32 mismatch)",
         with(entry("a.txt", "abcdefghijklmnopqrstuvwxyz", true),
              [](auto& e) { e.payload = testsupport::deflateRaw("abcdefghijklmnopqrstuvwxyZ"); }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt"},
        {"name that fills the item's buffer", entry(std::string(259, 'n'), "x"), ZIPRES_OK, ZIPRES_OK,
         ZIPRES_OK, nullptr},
        {"name too long for the item's buffer", entry(std::string(260, 'n'), "x"), ZIPRES_CORRUPT,
         ZIPRES_INFLATE_FAILED, ZIPRES_CORRUPT, nullptr},
        {"encrypted stored", with(entry("a.txt", kText), [](auto& e) { e.password = "pw"; }), ZIPRES_OK,
         ZIPRES_OK, ZIPRES_OK, "a.txt", "pw"},
        {"encrypted deflated", with(entry("a.txt", kText, true), [](auto& e) { e.password = "pw"; }),
         ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "a.txt", "pw"},
        {"encrypted, check byte from the DOS time under a data descriptor",
         with(entry("a.txt", kText, true),
              [](auto& e) {
                  e.password = "pw";
                  e.flags = 0x8;
                  e.dosTime = 0xA55A;
              }),
         ZIPRES_OK, ZIPRES_OK, ZIPRES_OK, "a.txt", "pw"},
        {"encrypted, wrong password", with(entry("a.txt", kText, true), [](auto& e) { e.password = "pw"; }),
         ZIPRES_OK, ZIPRES_BAD_PASSWORD, ZIPRES_BAD_PASSWORD, "a.txt", "PW"},
        {"encrypted, no password", with(entry("a.txt", kText), [](auto& e) { e.password = "pw"; }),
         ZIPRES_OK, ZIPRES_BAD_PASSWORD, ZIPRES_BAD_PASSWORD, "a.txt", nullptr},
        {"encrypted with the empty password, opened without one",
         with(entry("a.txt", kText), [](auto& e) { e.password = ""; }), ZIPRES_OK, ZIPRES_OK, ZIPRES_OK,
         "a.txt", nullptr},
        {"encrypted stored, a data byte altered (CRC-32 mismatch)",
         with(entry("a.txt", kText),
              [](auto& e) {
                  e.password = "pw";
                  e.payload = e.data;
                  (*e.payload)[7] ^= 0x20;
              }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt", "pw"},
        {"encrypted deflated, other data (CRC-32 mismatch)",
         with(entry("a.txt", "abcdefghijklmnopqrstuvwxyz", true),
              [](auto& e) {
                  e.password = "pw";
                  e.payload = testsupport::deflateRaw("abcdefghijklmnopqrstuvwxyZ");
              }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt", "pw"},
        {"encrypted deflate stream cut short",
         with(entry("a.txt", kText, true),
              [&](auto& e) {
                  e.password = "pw";
                  e.payload = deflated.substr(0, deflated.size() / 2);
              }),
         ZIPRES_OK, ZIPRES_INFLATE_FAILED, ZIPRES_INFLATE_FAILED, "a.txt", "pw"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto reader = openBytes(buildZip({entry("first.txt", "first"), c.stored}), c.password);
        ASSERT_TRUE(reader);
        ZipItem item;
        EXPECT_EQ(GetItem(reader.get(), 1, &item), c.describe);
        if (c.describe == ZIPRES_OK && c.name) {
            EXPECT_STREQ(item.name, c.name);
            EXPECT_EQ(item.uncompressedSize, int32_t(c.stored.data.size()));
        }
        std::string buffer(c.stored.centralUncompressedSize ? *c.stored.centralUncompressedSize
                                                            : c.stored.data.size(),
                           '\0');
        EXPECT_EQ(UnzipToMemory(reader.get(), 1, buffer.data(), buffer.size()), c.memory);
        if (c.memory == ZIPRES_OK) {
            EXPECT_EQ(buffer, c.stored.data);
        }

        EXPECT_EQ(UnzipToFile(reader.get(), 1, "out.bin"), c.file);
        // A failed unpacking leaves no file that could pass for the item.
        EXPECT_EQ(dir.exists("out.bin"), c.file == ZIPRES_OK);
        if (c.file == ZIPRES_OK) {
            EXPECT_EQ(dir.read("out.bin"), c.stored.data);
        }
        fs::remove(dir.file("out.bin"));

        // The damage stays with its item.
        std::string first(5, '\0');
        EXPECT_EQ(UnzipToMemory(reader.get(), 0, first.data(), first.size()), ZIPRES_OK);
        EXPECT_EQ(first, "first");
    }
}

TEST_F(ZipReaderTest, ArchivesWithoutEntriesAreValid) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::string end = buildZip({});
    std::string commented = end;
    commented[20] = 3;
    commented += "abc";
    // clang-format off
    const Case cases[] = {
        {"end record alone", end},
        {"end record with a comment", commented},
        {"data in front", std::string(100, 'x') + end},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto reader = openBytes(c.bytes);
        ASSERT_TRUE(reader);
        ZipItem item;
        item.index = 99;
        EXPECT_EQ(GetItem(reader.get(), -1, &item), ZIPRES_OK);
        EXPECT_EQ(item.index, 0);
        EXPECT_STREQ(item.name, "");
        EXPECT_EQ(GetItem(reader.get(), 0, &item), ZIPRES_BAD_ARGS);
        int index = 5;
        EXPECT_EQ(FindItem(reader.get(), "install.ini", &index, nullptr), ZIPRES_NOT_FOUND);
        EXPECT_EQ(index, -1);
        char byte;
        EXPECT_EQ(UnzipToMemory(reader.get(), 0, &byte, 1), ZIPRES_BAD_ARGS);
        EXPECT_EQ(UnzipToFile(reader.get(), 0, "x"), ZIPRES_BAD_ARGS);
    }
}

TEST_F(ZipReaderTest, FilesThatAreNoArchiveDoNotOpen) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::string good = buildZip({entry("a.txt", kText, true), entry("b.txt", kText)});
    std::string badDirectoryOffset = good;
    badDirectoryOffset[good.size() - 3] = '\x7F';  // directory offset far past the end
    // clang-format off
    const Case cases[] = {
        {"empty file", ""},
        {"text", "This is not a zip archive, only a few words.\n"},
        {"cut inside the directory", good.substr(0, good.size() - 30)},
        {"cut before the end record", good.substr(0, good.size() - 10)},
        {"directory offset past the end", badDirectoryOffset},
        {"end record announcing entries but no directory", buildZip({}, ZipBuildOptions{"", 3, 0})},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(openBytes(c.bytes));
    }
    EXPECT_FALSE(testsupport::openZip("missing.zip"));
    EXPECT_FALSE(testsupport::openZip(dir.path()));
}

TEST_F(ZipReaderTest, IndexesOutOfRangeAndMissingReadersAreBadArguments) {
    auto reader = openBytes(buildZip({entry("a.txt", "a"), entry("b.txt", "b")}));
    ASSERT_TRUE(reader);
    ZipItem item;
    ASSERT_EQ(GetItem(reader.get(), -1, &item), ZIPRES_OK);
    EXPECT_EQ(item.index, 2);
    char buffer[4];
    for (int index : {-2, 2, 1000}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(GetItem(reader.get(), index, &item), ZIPRES_BAD_ARGS);
        EXPECT_EQ(UnzipToMemory(reader.get(), index, buffer, sizeof buffer), ZIPRES_BAD_ARGS);
        EXPECT_EQ(UnzipToFile(reader.get(), index, "x"), ZIPRES_BAD_ARGS);
    }
    EXPECT_EQ(UnzipToFile(reader.get(), -1, "x"), ZIPRES_BAD_ARGS);
    EXPECT_EQ(GetItem(nullptr, 0, &item), ZIPRES_BAD_ARGS);
    EXPECT_EQ(FindItem(nullptr, "a.txt", nullptr, nullptr), ZIPRES_BAD_ARGS);
    EXPECT_EQ(UnzipToFile(nullptr, 0, "x"), ZIPRES_BAD_ARGS);
    EXPECT_EQ(UnzipToMemory(nullptr, 0, buffer, 1), ZIPRES_BAD_ARGS);
    EXPECT_EQ(Close(nullptr), ZIPRES_BAD_ARGS);
    EXPECT_FALSE(dir.exists("x"));
}

TEST_F(ZipReaderTest, DirectoryThatAnnouncesMoreEntriesThanItHoldsEndsWithCorrupt) {
    ZipBuildOptions options;
    options.declaredCount = 40000;
    auto reader = openBytes(buildZip({entry("a.txt", "a"), entry("b.txt", "b")}, options));
    ASSERT_TRUE(reader);
    ZipItem item;
    ASSERT_EQ(GetItem(reader.get(), -1, &item), ZIPRES_OK);
    EXPECT_EQ(item.index, 40000);
    EXPECT_EQ(GetItem(reader.get(), 2, &item), ZIPRES_CORRUPT);
    EXPECT_EQ(GetItem(reader.get(), 39999, &item), ZIPRES_CORRUPT);
    EXPECT_EQ(UnzipToFile(reader.get(), 5, "x"), ZIPRES_CORRUPT);
    char c;
    EXPECT_EQ(UnzipToMemory(reader.get(), 5, &c, 1), ZIPRES_CORRUPT);
    EXPECT_EQ(FindItem(reader.get(), "missing", nullptr, nullptr), ZIPRES_CORRUPT);
    // The entries that are there stay readable.
    int index = -1;
    EXPECT_EQ(FindItem(reader.get(), "B.TXT", &index, &item), ZIPRES_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(UnzipToMemory(reader.get(), 0, &c, 1), ZIPRES_OK);
    EXPECT_EQ(c, 'a');
    EXPECT_FALSE(dir.exists("x"));
}

TEST_F(ZipReaderTest, FindItemComparesStoredNamesIgnoringAsciiCase) {
    const std::string longName(256, 'L');
    auto reader = openBytes(
        buildZip({entry("localization.ini", "[BOOT]\n"),
                  entry("install.ini", "[BOOT]\nselect=TW\n"), entry("C:\\raw\\name.txt", "raw"),
                  entry(longName, "long"), entry("\xC3\xA9t\xC3\xA9.ini", "utf8")}));
    ASSERT_TRUE(reader);
    struct Case {
        std::string name;
        ZipResult result;
        int index;
    };
    // clang-format off
    const Case cases[] = {
        {"install.ini", ZIPRES_OK, 1},
        {"INSTALL.INI", ZIPRES_OK, 1},
        {"Localization.Ini", ZIPRES_OK, 0},
        {"C:\\RAW\\NAME.TXT", ZIPRES_OK, 2},  // stored names are compared uncleaned
        {"raw\\name.txt", ZIPRES_NOT_FOUND, -1},
        {"install", ZIPRES_NOT_FOUND, -1},
        {"install.ini ", ZIPRES_NOT_FOUND, -1},
        {longName, ZIPRES_NOT_FOUND, -1},  // 256 characters never match
        {"\xC3\xA9T\xC3\xA9.INI", ZIPRES_OK, 4},
        {"\xC3\x89t\xC3\x89.ini", ZIPRES_NOT_FOUND, -1},  // only ASCII letters fold
        {"", ZIPRES_NOT_FOUND, -1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int index = 77;
        ZipItem item;
        EXPECT_EQ(FindItem(reader.get(), c.name.c_str(), &index, &item), c.result);
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(item.index, c.index);
        if (c.result == ZIPRES_NOT_FOUND) {
            EXPECT_STREQ(item.name, "");
        }
    }
    int index = -1;
    EXPECT_EQ(FindItem(reader.get(), "install.ini", &index, nullptr), ZIPRES_OK);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(FindItem(reader.get(), "install.ini", nullptr, nullptr), ZIPRES_OK);
}

TEST_F(ZipReaderTest, MemoryReadInHalvesContinuesAndRestartsAfterGetItem) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += "line " + std::to_string(i) + "\n";
    struct Case {
        const char* what;
        ZipEntryPlan stored;
    };
    // clang-format off
    const Case cases[] = {
        {"stored", entry("data", big)},
        {"deflated", entry("data", big, true)},
        {"odd size", entry("data", big.substr(0, 12345), true)},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto reader = openBytes(buildZip({entry("other", "other"), c.stored}));
        ASSERT_TRUE(reader);
        const std::string& data = c.stored.data;
        const size_t half = data.size() / 2;
        std::string first(half, '\0');
        std::string second(data.size() - half, '\0');

        EXPECT_EQ(UnzipToMemory(reader.get(), 1, first.data(), first.size()), ZIPRES_MORE_DATA);
        EXPECT_EQ(UnzipToMemory(reader.get(), 1, second.data(), second.size()), ZIPRES_OK);
        EXPECT_EQ(first + second, data);

        // A GetItem in between starts the item again.
        EXPECT_EQ(UnzipToMemory(reader.get(), 1, first.data(), first.size()), ZIPRES_MORE_DATA);
        ZipItem item;
        EXPECT_EQ(GetItem(reader.get(), 1, &item), ZIPRES_OK);
        std::string again(half, '\0');
        EXPECT_EQ(UnzipToMemory(reader.get(), 1, again.data(), again.size()), ZIPRES_MORE_DATA);
        EXPECT_EQ(again, data.substr(0, half));

        // A failed FindItem leaves the read running; another index abandons it.
        EXPECT_EQ(FindItem(reader.get(), "absent", nullptr, nullptr), ZIPRES_NOT_FOUND);
        EXPECT_EQ(UnzipToMemory(reader.get(), 1, second.data(), second.size()), ZIPRES_OK);
        EXPECT_EQ(second, data.substr(half));

        EXPECT_EQ(UnzipToMemory(reader.get(), 1, first.data(), first.size()), ZIPRES_MORE_DATA);
        char other[5];
        EXPECT_EQ(UnzipToMemory(reader.get(), 0, other, sizeof other), ZIPRES_OK);
        EXPECT_EQ(UnzipToMemory(reader.get(), 1, again.data(), again.size()), ZIPRES_MORE_DATA);
        EXPECT_EQ(again, data.substr(0, half));

        // A buffer larger than the item gets the item and OK.
        std::string roomy(data.size() + 100, '\0');
        EXPECT_EQ(UnzipToMemory(reader.get(), 0, roomy.data(), roomy.size()), ZIPRES_OK);
        EXPECT_EQ(roomy.substr(0, 5), "other");
    }
}

TEST_F(ZipReaderTest, UnzipToFileComposesTargetsBelowTheRootFolder) {
    ZipEntryPlan folder = entry("sub/", "");
    folder.externalAttributes = 0x10;
    ZipEntryPlan timed = entry("timed.txt", "");
    timed.localExtra = testsupport::extendedTimestamp(1, {1300668680});
    auto reader = openBytes(buildZip({entry("c.txt", kText, true), folder, timed}));
    ASSERT_TRUE(reader);

    EXPECT_EQ(UnzipToFile(reader.get(), 0, "a/b/c.txt"), ZIPRES_OK);
    EXPECT_EQ(dir.read("a/b/c.txt"), kText);
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "a\\b\\d.txt"), ZIPRES_OK);
    EXPECT_EQ(dir.read("a/b/d.txt"), kText);

    EXPECT_EQ(UnzipToFile(reader.get(), 1, "sub/"), ZIPRES_OK);
    EXPECT_TRUE(fs::is_directory(dir.file("sub")));
    EXPECT_TRUE(fs::is_empty(dir.file("sub")));
    EXPECT_EQ(UnzipToFile(reader.get(), 1, "deep/er/sub"), ZIPRES_OK);
    EXPECT_TRUE(fs::is_directory(dir.file("deep/er/sub")));

    EXPECT_EQ(UnzipToFile(reader.get(), 2, "timed.txt"), ZIPRES_OK);
    EXPECT_EQ(fs::file_size(dir.file("timed.txt")), 0u);
    const auto written =
        std::chrono::file_clock::to_sys(fs::last_write_time(dir.file("timed.txt")));
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count(),
              1300668680);

    // An absolute target is taken as it is.
    testsupport::TempDir elsewhere;
    const std::string absolute = elsewhere.file("x/abs.txt");
    EXPECT_EQ(UnzipToFile(reader.get(), 0, absolute.c_str()), ZIPRES_OK);
    EXPECT_EQ(elsewhere.read("x/abs.txt"), kText);

    // Targets that do not fit the 260-byte buffer are refused, not cut.
    const std::string tooLong = "long/" + std::string(255, 'n');
    EXPECT_EQ(UnzipToFile(reader.get(), 0, tooLong.c_str()), ZIPRES_CANNOT_OPEN);
    EXPECT_FALSE(dir.exists("long"));
    // On Windows the whole path must also stay below MAX_PATH, which the current folder
    // in front of these 259 bytes passes.
    const std::string fits = "fits/" + std::string(254, 'n');
    const testsupport::PerSystem<ZipResult> longName = {
        ZIPRES_OK, ZIPRES_CANNOT_OPEN, "the A functions stop at MAX_PATH for the whole path"};
    EXPECT_EQ(UnzipToFile(reader.get(), 0, fits.c_str()), longName.here());
    if (longName.here() == ZIPRES_OK) {
        EXPECT_EQ(dir.read(fits), kText);
    }

    // The root folder is the current folder at opening, not at unpacking.
    dir.makeFolder("later");
    fs::current_path(dir.file("later"));
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "root.txt"), ZIPRES_OK);
    EXPECT_TRUE(dir.exists("root.txt"));
    EXPECT_FALSE(dir.exists("later/root.txt"));
}

TEST_F(ZipReaderTest, UtBlockOfTheLocalHeaderGivesWriteAndAccessTimesTheDosTimeTheRest) {
    ZipEntryPlan timed = entry("timed.txt", kText);
    timed.localExtra = std::string("\x75\x78\x0B\x00", 4) + std::string(11, '\x01') +
                       testsupport::extendedTimestamp(3, {1300668680, 1200000000});
    auto reader = openBytes(buildZip({timed}));
    ASSERT_TRUE(reader);
    ZipItem item;
    ASSERT_EQ(GetItem(reader.get(), 0, &item), ZIPRES_OK);
    platform::FileTime dos = 0;
    ASSERT_TRUE(platform::localTimeToFileTime(2020, 6, 15, 12, 30, 10, dos));
    EXPECT_EQ(item.writeTime, testsupport::fileTimeFromUnix(1300668680));
    EXPECT_EQ(item.accessTime, testsupport::fileTimeFromUnix(1200000000));
    EXPECT_EQ(item.creationTime, dos);

    ASSERT_EQ(UnzipToFile(reader.get(), 0, "timed.txt"), ZIPRES_OK);
    const auto written =
        std::chrono::file_clock::to_sys(fs::last_write_time(dir.file("timed.txt")));
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count(),
              1300668680);
}

TEST_F(ZipReaderTest, ExistingReadOnlyTargetIsCannotOpenUntilMadeNormal) {
    ZipEntryPlan item = entry("ro.txt", kText);
    item.versionMadeBy = 0x0314;
    item.externalAttributes = 0100444u << 16;
    auto reader = openBytes(buildZip({item}));
    ASSERT_TRUE(reader);
    ASSERT_EQ(UnzipToFile(reader.get(), 0, "ro.txt"), ZIPRES_OK);
    const auto permissions = fs::status(dir.file("ro.txt")).permissions();
    EXPECT_EQ(permissions & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(
        platform::getAttributes(dir.file("ro.txt")).value_or(0) & platform::FILE_ATTR_READONLY,
        platform::FILE_ATTR_READONLY);

    // Refused as CreateFileA refuses it, whoever runs it (root may write the file).
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "ro.txt"), ZIPRES_CANNOT_OPEN);
    EXPECT_EQ(dir.read("ro.txt"), kText);
    ASSERT_TRUE(platform::setAttributes(dir.file("ro.txt"), platform::FILE_ATTR_NORMAL));
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "ro.txt"), ZIPRES_OK);
    EXPECT_EQ(fs::status(dir.file("ro.txt")).permissions() & fs::perms::owner_write,
              fs::perms::none);
}

// The hand-over only retries an entry it cannot write and then asks for a reboot; the
// debugger line is what tells which cause refused it.
TEST_F(ZipReaderTest, CannotOpenNamesItsCauseOnTheDebugger) {
    auto reader = openBytes(buildZip({entry("a.txt", kText)}));
    ASSERT_TRUE(reader);
    dir.write("ro.txt", "kept");
    ASSERT_TRUE(platform::setAttributes(dir.file("ro.txt"), platform::FILE_ATTR_READONLY));
    dir.makeFolder("folder.txt");
    const std::string tooLong(300, 'n');
    struct Case {
        std::string target;
        const char* cause;
    };
    const Case cases[] = {
        {tooLong, "the name is too long"},
        {"b.txt.~launcher", "the name has the form of a temporary file"},
        {"archive.zip", "the target is the archive"},
        {"folder.txt", "a folder is in the way"},
        {"ro.txt", "the target is read-only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        testing::internal::CaptureStderr();
        EXPECT_EQ(UnzipToFile(reader.get(), 0, c.target.c_str()), ZIPRES_CANNOT_OPEN);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "UnzipToFile " + c.target + ": " + c.cause + "\n");
    }
    EXPECT_EQ(dir.read("ro.txt"), "kept");
    // An entry that is written says nothing.
    testing::internal::CaptureStderr();
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "a.txt"), ZIPRES_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    platform::setAttributes(dir.file("ro.txt"), platform::FILE_ATTR_NORMAL);
}

// A temporary file of an interrupted run is replaced, never kept beside the target, and
// no target may take a temporary file's name.
TEST_F(ZipReaderTest, TemporaryFilesNeverOutliveTheirItem) {
    auto reader = openBytes(buildZip({entry("a.txt", kText, true)}));
    ASSERT_TRUE(reader);
    const std::string leftover = std::string("a.txt") + platform::kReplacementSuffix;
    dir.write(leftover, "left by a run that was killed");
    fs::permissions(dir.file(leftover), fs::perms::owner_read);
    EXPECT_EQ(UnzipToFile(reader.get(), 0, "a.txt"), ZIPRES_OK);
    EXPECT_EQ(dir.read("a.txt"), kText);
    EXPECT_FALSE(dir.exists(leftover));

    // Nor may a folder take one: nothing of such a name is made.
    for (const char* name :
         {"b.txt.~LAUNCHER", "a.txt.~launcher/b.txt", "x\\a.~launcher2\\b.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(UnzipToFile(reader.get(), 0, name), ZIPRES_CANNOT_OPEN);
    }
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(platform::kReplacementSuffix),
                  std::string::npos);
        ++entries;
    }
    EXPECT_EQ(entries, 2u);  // the archive and a.txt
}

// What the hand-over does: every item to its own cleaned name. Nothing may land
// outside the root folder, whatever the names say.
TEST_F(ZipReaderTest, HostileNamesNeverLeaveTheRootFolder) {
    std::vector<ZipEntryPlan> plans;
    for (const char* name :
         {"../escape1.txt", "..\\..\\escape2.txt", "/abs/escape3.txt", "C:\\escape4.txt",
          "a/../../escape5.txt", "dir/../../../escape6.txt", "..", "../", "./../escape7.txt",
          "\\\\host\\share\\escape8.txt", "C:../escape9.txt", "sub/..", "ok.txt"})
        plans.push_back(entry(name, "payload"));
    ZipEntryPlan folder = entry("../escapedir/", "");
    folder.externalAttributes = 0x10;
    plans.push_back(folder);

    dir.makeFolder("root");
    dir.write("root/archive.zip", buildZip(plans));
    fs::current_path(dir.file("root"));
    auto reader = testsupport::openZip("archive.zip");
    ASSERT_TRUE(reader);
    ZipItem count;
    ASSERT_EQ(GetItem(reader.get(), -1, &count), ZIPRES_OK);
    for (int i = 0; i < count.index; ++i) {
        ZipItem item;
        if (GetItem(reader.get(), i, &item) == ZIPRES_OK) UnzipToFile(reader.get(), i, item.name);
    }
    reader.reset();
    std::vector<std::string> outside;
    for (const auto& e : fs::directory_iterator(dir.path()))
        if (e.path().filename() != "root") outside.push_back(e.path().filename().string());
    EXPECT_TRUE(outside.empty()) << outside.front();
    EXPECT_EQ(dir.read("root/escape1.txt"), "payload");
    EXPECT_EQ(dir.read("root/abs/escape3.txt"), "payload");
    EXPECT_EQ(dir.read("root/ok.txt"), "payload");
    EXPECT_TRUE(fs::is_directory(dir.file("root/escapedir")));
}

}  // namespace

namespace {

// Every cut and every flipped byte of a small archive: each operation gives a result
// code, none crashes or hangs, and nothing is written outside the root folder.
TEST(ZipReaderHostileTest, CutAndFlippedArchivesFailCleanlyBelowTheRoot) {
    ZipEntryPlan folder = entry("dir/", "");
    folder.externalAttributes = 0x10;
    ZipEntryPlan secret = entry("dir/c.txt", kText, true);
    secret.password = "pw";
    ZipEntryPlan timed = entry("b.bin", "stored bytes");
    timed.localExtra = testsupport::extendedTimestamp(3, {1300668680, 1300668670});
    const std::string good = buildZip({entry("a.txt", kText, true), folder, timed, secret});

    testsupport::TempDir dir;
    dir.enter();
    dir.makeFolder("root");
    // Files of one round stay for the next: an item may meet anything in its way.
    dir.write("archive.zip", good);
    auto tryArchive = [&](const std::string& bytes) {
        {
            // Rewritten in place: freeing and reallocating the file's block each round
            // costs more than the rest of the round on some file systems.
            std::fstream file(dir.file("archive.zip"),
                              std::ios::in | std::ios::out | std::ios::binary);
            file.write(bytes.data(), std::streamsize(bytes.size()));
        }
        fs::resize_file(dir.file("archive.zip"), bytes.size());
        fs::current_path(dir.file("root"));
        auto reader = testsupport::openZip(dir.file("archive.zip"), "pw");
        if (reader) {
            ZipItem count;
            ASSERT_EQ(GetItem(reader.get(), -1, &count), ZIPRES_OK);
            std::vector<char> buffer(4096);
            for (int i = 0; i < std::min(count.index, 8); ++i) {
                ZipItem item;
                if (GetItem(reader.get(), i, &item) == ZIPRES_OK)
                    UnzipToFile(reader.get(), i, item.name);
                // A declared size may be anything: read through a bounded buffer.
                ZipResult result = ZIPRES_MORE_DATA;
                for (int pieces = 0; result == ZIPRES_MORE_DATA && pieces < 64; ++pieces)
                    result = UnzipToMemory(reader.get(), i, buffer.data(), buffer.size());
            }
            FindItem(reader.get(), "dir/c.txt", nullptr, nullptr);
        }
        reader.reset();
        fs::current_path(dir.path());
        for (const auto& e : fs::directory_iterator(dir.path())) {
            const std::string name = e.path().filename().string();
            ASSERT_TRUE(name == "root" || name == "archive.zip") << name;
        }
    };

    for (size_t at = 0; at < good.size(); ++at) {
        SCOPED_TRACE("byte " + std::to_string(at) + " flipped");
        std::string bytes = good;
        bytes[at] = char(bytes[at] ^ 0xFF);
        tryArchive(bytes);
        if (HasFatalFailure()) return;
    }
    for (size_t cut = good.size(); cut-- > 0;) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        tryArchive(good.substr(0, cut));
        if (HasFatalFailure()) return;
    }
}

}  // namespace

namespace {

// On the players' systems the game folder may end in a character whose second byte is
// 0x5C ("遊戲功"), and entries stored in code page 950 (no UTF-8 flag), as zips made there
// hold them, carry such characters too: each lands at its name inside the folder.
TEST_F(ZipReaderTest, CodePage950NamesLandInsideAGameFolderEndingIn0x5C) {
    std::string why;
    if (!testsupport::fileSystemTakesCodePage950Names(why)) GTEST_SKIP() << why;
    using namespace testsupport::cp950;
    testsupport::ScopedNameCodeset names("CP950");
    const std::string game = kGameFolder;
    const std::string inFolder = std::string(kWork) + "\\" + kPermit + ".txt";
    const std::string cover = std::string(kCover) + ".txt";
    const std::string settings = std::string("RA") + kPlace + ".INI";
    dir.write("archive.zip",
              buildZip({entry("ClientUpdate.exe", "new updater"), entry(inFolder, "permit"),
                        entry(cover, "cover"), entry(settings, "place")}));
    ASSERT_TRUE(platform::createDirectory(game));
    ASSERT_TRUE(testsupport::setCurrentFolder(game));
    auto reader = testsupport::openZip("..\\archive.zip");
    ASSERT_TRUE(reader);
    for (int i = 0; i < 4; ++i) {
        ZipItem item;
        ASSERT_EQ(GetItem(reader.get(), i, &item), ZIPRES_OK);
        SCOPED_TRACE(item.name);
        EXPECT_EQ(UnzipToFile(reader.get(), i, item.name), ZIPRES_OK);
    }
    reader.reset();
    const std::vector<std::pair<std::string, std::string>> landed = {
        {"ClientUpdate.exe", "new updater"},
        {inFolder, "permit"},
        {cover, "cover"},
        {settings, "place"}};
    for (const auto& [name, contents] : landed) {
        SCOPED_TRACE(name);
        std::string bytes;
        EXPECT_TRUE(platform::readWholeFile(name, bytes));
        EXPECT_EQ(bytes, contents);
    }
    // Nothing landed beside the game folder.
    platform::FolderSearch search;
    platform::FindEntry found;
    std::vector<std::string> beside;
    ASSERT_TRUE(search.first("..", found));
    do beside.push_back(found.name);
    while (search.next(found));
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{".", "..", "archive.zip", game}));

    // Only single-byte letters fold: 處 (second byte 'B') is not 豚 (second byte 'b').
    reader = testsupport::openZip("..\\archive.zip");
    ASSERT_TRUE(reader);
    int index = -1;
    EXPECT_EQ(
        FindItem(reader.get(), (std::string("ra") + kPlace + ".ini").c_str(), &index, nullptr),
        ZIPRES_OK);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(FindItem(reader.get(), (std::string("RA") + kPig + ".INI").c_str(), &index, nullptr),
              ZIPRES_NOT_FOUND);
}

}  // namespace
