// The folder search (FindFirstFileA/FindNextFileA) on every system.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "support/temp_dir.h"

using namespace platform;
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

TEST(FolderSearch, ListsDotEntriesFirstThenByteOrder) {
    TempDir dir;
    for (const char* name : {"b", "B9", "a", "B10", ".hidden", "Z"}) dir.write(name, "12345");
    dir.makeFolder("sub");
    std::vector<std::string> names;
    for (const auto& e : listFolder(dir.path())) names.push_back(e.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{".", "..", ".hidden", "B10", "B9", "Z", "a", "b", "sub"}));
    auto entries = listFolder(dir.path());
    EXPECT_EQ(entries[0].attributes, FILE_ATTR_DIRECTORY);
    EXPECT_EQ(entries[3].size, 5u);
    EXPECT_EQ(entries[3].attributes, FILE_ATTR_NORMAL);
    EXPECT_EQ(entries.back().attributes, FILE_ATTR_DIRECTORY);
}

TEST(FolderSearch, FailuresToStart) {
    TempDir dir;
    dir.write("file", "x");
    struct Case {
        const char* name;
        std::string folder;
        uint32_t error;
        // clang-format off
    } cases[] = {
        {"missing folder", dir.file("missing"), winerr::PATH_NOT_FOUND},
        {"a file", dir.file("file"), winerr::DIRECTORY},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FolderSearch search;
        FindEntry entry;
        EXPECT_FALSE(search.first(c.folder, entry));
        EXPECT_EQ(lastError(), c.error);
        EXPECT_FALSE(search.next(entry));
    }
}
