// The folder search (FindFirstFileA/FindNextFileA) on every system.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/this_system.h"

using namespace platform;
using testsupport::PerSystem;
using testsupport::same;
using testsupport::TempDir;

namespace {

std::vector<FindEntry> listFolder(const std::string& folder) {
    std::vector<FindEntry> entries;
    FolderSearch search;
    FindEntry entry;
    if (!search.first(folder, entry)) return entries;
    do entries.push_back(entry);
    while (search.next(entry));
    EXPECT_EQ(lastError(), winerr::NO_MORE_FILES);
    return entries;
}

}  // namespace

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
        // The Win32 backend passes FindFirstFileA's own code on: ERROR_DIRECTORY on
        // Windows, ERROR_INVALID_NAME under Wine, where the suite runs.
        {"a file", dir.file("file"), {winerr::DIRECTORY, winerr::INVALID_NAME, "the system's own code"}},
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
