// The POSIX backend's path resolution: how a Windows-style path finds its file on a
// Linux file system. Linux only: Windows file systems resolve names themselves.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"
#include "support/system/temp_dir.h"

using namespace platform;
using testsupport::TempDir;

TEST(Paths, ResolveFindsExistingNamesIgnoringCase) {
    TempDir dir;
    dir.enter();
    dir.write("update.rar", "x");
    dir.write("Data/Sub/file.txt", "x");
    dir.write("AB", "upper");
    dir.write("ab", "lower");
    dir.write("aB", "mixed");

    struct Case {
        const char* input;
        const char* expected;
        // clang-format off
    } cases[] = {
        {"Update.rar", "update.rar"},
        {"UPDATE.RAR", "update.rar"},
        {"data\\SUB\\File.TXT", "Data/Sub/file.txt"},
        {"DATA/sub/", "Data/Sub/"},
        {"ab", "ab"},  // the exact name wins over other spellings
        {"Ab", "AB"},  // no exact name: the first match in byte order
        {"Data\\New\\Name.txt", "Data/New/Name.txt"},  // new names keep their spelling
        {"missing\\update.rar", "missing/update.rar"},  // nothing is looked up below a miss
        {".\\DATA\\..\\Update.rar", "./Data/../update.rar"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::string out;
        ASSERT_TRUE(resolvePath(c.input, out));
        EXPECT_EQ(out, c.expected);
    }

    std::string absolute;
    ASSERT_TRUE(resolvePath(dir.path() + "\\data\\sub", absolute));
    EXPECT_EQ(absolute, dir.path() + "/Data/Sub");
}

// The look-up ignoring case keeps an index of each folder for the run. What we change
// through the file services keeps it in step; what others change (here the system's
// own calls) is seen once the folder's times move, and never answered from the old
// index.
TEST(Paths, ResolveSeesEveryChangeToAnIndexedFolder) {
    TempDir dir;
    dir.enter();
    dir.write("Kept.txt", "x");
    auto resolved = [](const char* name) {
        std::string out;
        EXPECT_TRUE(resolvePath(name, out));
        return out;
    };
    // The folder's times move at the file system's clock tick, coarser than ours.
    auto nextTick = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
    struct Case {
        const char* step;
        std::function<void()> change;
        const char* asked;
        const char* expected;
    };
    const Case cases[] = {
        {"indexed", [] {}, "kept.TXT", "Kept.txt"},
        {"made by us",
         [] {
             File f;
             f.open("New.txt", AccessWrite, Disposition::CreateNew);
         },
         "NEW.TXT", "New.txt"},
        {"renamed by us", [] { replaceFile("New.txt", "Moved.txt"); }, "new.txt", "new.txt"},
        {"renamed in by us", [] {}, "MOVED.txt", "Moved.txt"},
        {"deleted by us", [] { deleteFile("Moved.txt"); }, "moved.txt", "moved.txt"},
        {"folder made by us", [] { createDirectory("Sub"); }, "SUB", "Sub"},
        {"made by others",
         [&] {
             nextTick();
             ::close(::creat("Theirs.txt", 0644));
         },
         "theirs.txt", "Theirs.txt"},
        {"removed by others",
         [&] {
             nextTick();
             ::unlink("Kept.txt");
         },
         "kept.txt", "kept.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        c.change();
        EXPECT_EQ(resolved(c.asked), c.expected);
    }
}

TEST(Paths, ResolveRefusesOverlongOrBrokenPaths) {
    TempDir dir;
    dir.enter();
    std::string deep;
    while (deep.size() < maxPathLength() + 1) deep += "abcdefgh\\";
    struct Case {
        const char* name;
        std::string path;
        uint32_t error;
        // clang-format off
    } cases[] = {
        {"one long name past the path limit", std::string(maxPathLength() + 1, 'a'), winerr::FILENAME_EXCED_RANGE},
        {"many folders past the path limit", deep, winerr::FILENAME_EXCED_RANGE},
        {"one component past the name limit", "sub\\" + std::string(256, 'n'), winerr::FILENAME_EXCED_RANGE},
        {"an embedded NUL", std::string("update.rar\0.txt", 15), winerr::INVALID_NAME},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "stale";
        setLastError(0);
        EXPECT_FALSE(resolvePath(c.path, out));
        EXPECT_EQ(lastError(), c.error);
        EXPECT_TRUE(out.empty());
    }

    // Right at the limit is still a path.
    std::string atLimit = deep.substr(0, maxPathLength() - 1) + "x";
    std::string out;
    EXPECT_TRUE(resolvePath(atLimit, out));
    EXPECT_EQ(out.size(), maxPathLength());
}
