// The folder search (FindFirstFileA/FindNextFileA) on every system.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_listing.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"

using namespace platform;
using testsupport::PerSystem;
using testsupport::same;
using testsupport::TempDir;

TEST(FolderSearch, ListsDotEntriesFirstThenInTheSystemsOrder) {
    TempDir dir;
    for (const char* name : {"b", "B9", "a", "B10", ".hidden", "Z"}) dir.write(name, "12345");
    dir.makeFolder("sub");
    const PerSystem<std::vector<std::string>> order = {
        {".", "..", ".hidden", "B10", "B9", "Z", "a", "b", "sub"},
        {".", "..", ".hidden", "a", "b", "B10", "B9", "sub", "Z"},
        "byte order on Linux, by name ignoring case on Windows (NTFS, and Wine)"};
    const PerSystem<uint32_t> newFile = {
        FILE_ATTR_NORMAL, FILE_ATTR_ARCHIVE,
        "a new file carries the archive attribute on Windows; Linux has none"};
    std::vector<std::string> names;
    const auto entries = listFolder(dir.path());
    for (const auto& e : entries) names.push_back(e.name);
    EXPECT_EQ(names, order.here());
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries[0].attributes, FILE_ATTR_DIRECTORY);
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        if (e.name == "B10") {
            EXPECT_EQ(e.size, 5u);
            EXPECT_EQ(e.attributes, newFile.here());
        }
        if (e.name == "sub") {
            EXPECT_EQ(e.attributes, FILE_ATTR_DIRECTORY);
        }
    }
}

TEST(FolderSearch, FailuresToStart) {
    TempDir dir;
    dir.write("file", "x");
    struct Case {
        const char* name;
        std::string folder;
        PerSystem<uint32_t> error;
        // clang-format off
    } cases[] = {
        {"missing folder", dir.file("missing"), same(winerr::PATH_NOT_FOUND)},
        {"a file", dir.file("file"), same(winerr::DIRECTORY)},
        {"a path past every limit", dir.file(std::string(5000, 'd')), same(winerr::FILENAME_EXCED_RANGE)},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderSearch search;
        FindEntry entry;
        EXPECT_FALSE(search.first(c.folder, entry));
        EXPECT_EQ(lastError(), c.error.here());
        EXPECT_FALSE(search.next(entry));
    }
}

// An open folder reaches its entries by their names alone and refuses what each
// operation is not meant for, with the error Windows gives.
TEST(Folder, EntriesAreReachedByTheirNamesAndRefusedWhereWindowsRefusesThem) {
    TempDir dir;
    dir.write("crash/ra.zip", "archive");
    dir.write("crash/full/inner.txt", "x");
    dir.write("crash/read-only.txt", "r");
    dir.makeFolder("crash/empty");
    Folder crash, below;
    ASSERT_TRUE(crash.open(dir.file("crash")));
    ASSERT_TRUE(crash.setAttributes("read-only.txt", FILE_ATTR_READONLY));

    std::FILE* archive = crash.openFileStream("ra.zip");
    ASSERT_NE(archive, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, archive), 7u);
    std::fclose(archive);

    struct Case {
        const char* name;
        std::function<bool()> call;
        PerSystem<uint32_t> error;
    };
    const std::string deep(300, 'd');  // past the path limit of the A functions
    // clang-format off
    const Case cases[] = {
        {"opening a missing folder", [&] { return below.open(dir.file("missing")); }, same(winerr::PATH_NOT_FOUND)},
        {"opening a file as a folder", [&] { return below.open(crash, "ra.zip"); }, same(winerr::DIRECTORY)},
        {"an empty name", [&] { return below.open(crash, ""); }, same(winerr::INVALID_NAME)},
        {"the folder above", [&] { return below.open(crash, ".."); }, same(winerr::INVALID_NAME)},
        {"a name with a slash", [&] { return crash.deleteFile("full/inner.txt"); }, same(winerr::INVALID_NAME)},
        {"a name with a backslash", [&] { return crash.deleteFile("full\\inner.txt"); },
         {winerr::FILE_NOT_FOUND, winerr::INVALID_NAME,
          "a backslash separates folders on Windows; on Linux it is a byte of the name"}},
        {"reading a folder", [&] { return crash.openFileStream("full") != nullptr; }, same(winerr::ACCESS_DENIED)},
        {"deleting a folder as a file", [&] { return crash.deleteFile("empty"); }, same(winerr::ACCESS_DENIED)},
        {"deleting a read-only file", [&] { return crash.deleteFile("read-only.txt"); }, same(winerr::ACCESS_DENIED)},
        {"removing a file as a folder", [&] { return crash.removeDirectory("ra.zip"); }, same(winerr::DIRECTORY)},
        {"removing a folder that is not empty", [&] { return crash.removeDirectory("full"); }, same(winerr::DIR_NOT_EMPTY)},
        {"a closed folder", [&] { return below.setOwnAttributes(FILE_ATTR_NORMAL); }, same(winerr::INVALID_HANDLE)},
        {"an entry name past the limit", [&] { return crash.deleteFile(deep); }, same(winerr::FILENAME_EXCED_RANGE)},
        {"a subfolder past the path limit", [&] { return below.open(crash, deep.substr(0, 250)); },
         {winerr::PATH_NOT_FOUND, winerr::FILENAME_EXCED_RANGE,
          "Linux opens entries relative to the open folder at any depth; Windows reaches "
          "them by the folder's path, which the A functions end at 259 bytes"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(lastError(), c.error.here());
    }

    // What was refused is still there, and goes by the right call.
    EXPECT_TRUE(crash.setAttributes("read-only.txt", FILE_ATTR_NORMAL));
    EXPECT_TRUE(crash.deleteFile("read-only.txt"));
    EXPECT_TRUE(crash.removeDirectory("empty"));
    ASSERT_TRUE(below.open(crash, "full"));
    EXPECT_TRUE(below.deleteFile("inner.txt"));
    below.close();
    EXPECT_TRUE(crash.removeDirectory("full"));
    EXPECT_TRUE(crash.setOwnAttributes(FILE_ATTR_NORMAL));
    EXPECT_EQ(listFolder(dir.file("crash")).size(), 3u);  // ".", ".." and "ra.zip"
}
