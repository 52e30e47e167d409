#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/posix_detail.h"
#include "support/temp_dir.h"

using namespace platform;
using testsupport::TempDir;

TEST(Paths, LastSeparatorTreatsBothSeparatorsAlike) {
    struct Case {
        const char* path;
        std::string::size_type expected;
        // clang-format off
    } cases[] = {
        {"C:\\Game\\Launcher.exe", 7},
        {"/opt/game/launcher", 9},
        {"mixed/dir\\file", 9},
        {"dir\\sub/file", 7},
        {"launcher", std::string::npos},
        {"", std::string::npos},
        {"\\", 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(lastSeparator(c.path), c.expected);
    }
}

// The path rules crash mode's guard and the folder walks build on.
TEST(Paths, JoinSplitAndCompareWithTheSystemsRules) {
    struct Join {
        const char* folder;
        const char* name;
        const char* joined;
    } joins[] = {
        {"crash", "ra.zip", "crash/ra.zip"},
        {"crash/", "ra.zip", "crash/ra.zip"},
        {"crash\\", "ra.zip", "crash\\ra.zip"},
        {"/", "ra.zip", "/ra.zip"},
        {"", "ra.zip", "ra.zip"},
    };
    for (const auto& c : joins) {
        SCOPED_TRACE(std::string(c.folder) + " + " + c.name);
        EXPECT_EQ(joinPath(c.folder, c.name), c.joined);
    }

    struct Parent {
        const char* path;
        const char* parent;
    } parents[] = {
        {"/opt/game/launcher", "/opt/game"},
        {"/launcher", "/"},
        {"game\\launcher", "game"},
        {"launcher", "."},
    };
    for (const auto& c : parents) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(parentFolder(c.path), c.parent);
    }

    struct Root {
        const char* path;
        bool root;
    } roots[] = {{"/", true}, {"//", true}, {"", false}, {"/tmp", false}, {"a", false}};
    for (const auto& c : roots) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isFileSystemRoot(c.path), c.root);
    }

    struct Below {
        const char* inner;
        const char* outer;
        bool below;
    } belows[] = {
        {"/home/game", "/home/game", true},
        {"/home/game/bin", "/home/game", true},
        {"/home/game/bin", "/home/game/", true},
        {"/home/game", "/", true},
        {"/home/gamer", "/home/game", false},  // a name that only begins alike
        {"/home", "/home/game", false},
        {"/home/Game", "/home/game", false},     // Linux names differ in case
        {"/home/game\\x", "/home/game", false},  // a backslash is part of a Linux name
    };
    for (const auto& c : belows) {
        SCOPED_TRACE(std::string(c.inner) + " in " + c.outer);
        EXPECT_EQ(isSameOrBelow(c.inner, c.outer), c.below);
    }
}

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

TEST(Paths, FileWrittenInOneCaseIsReadInAnother) {
    TempDir dir;
    dir.enter();
    File writer;
    ASSERT_TRUE(writer.open("update.rar", AccessWrite, Disposition::CreateAlways));
    ASSERT_EQ(writer.write("package", 7), 7);
    writer.close();

    File reader;
    ASSERT_TRUE(reader.open("Update.rar", AccessRead, Disposition::OpenExisting));
    char buffer[16] = {};
    EXPECT_EQ(reader.read(buffer, sizeof buffer), 7);
    EXPECT_EQ(std::string(buffer), "package");
    EXPECT_TRUE(pathExists("UPDATE.RAR"));
    EXPECT_TRUE(deleteFile("Update.RAR"));
    EXPECT_FALSE(dir.exists("update.rar"));
}

TEST(Paths, OverlongOrBrokenPathsAreRefusedEverywhere) {
    TempDir dir;
    dir.enter();
    const std::string tooLong(maxPathLength() + 1, 'a');
    std::string deep;
    while (deep.size() < maxPathLength() + 1) deep += "abcdefgh\\";
    const std::string longName(256, 'n');
    const std::string withNul("update.rar\0.txt", 15);
    dir.write("update.rar", "keep");

    struct Case {
        const char* name;
        std::string path;
        uint32_t error;
        // clang-format off
    } cases[] = {
        {"one long name past the path limit", tooLong, winerr::FILENAME_EXCED_RANGE},
        {"many folders past the path limit", deep, winerr::FILENAME_EXCED_RANGE},
        {"one component past the name limit", "sub\\" + longName, winerr::FILENAME_EXCED_RANGE},
        {"an embedded NUL", withNul, winerr::INVALID_NAME},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "stale";
        setLastError(0);
        EXPECT_FALSE(resolvePath(c.path, out));
        EXPECT_EQ(lastError(), c.error);
        EXPECT_TRUE(out.empty());

        File file;
        setLastError(0);
        EXPECT_FALSE(file.open(c.path, AccessWrite, Disposition::CreateAlways));
        EXPECT_EQ(lastError(), c.error);
        EXPECT_FALSE(createDirectory(c.path));
        EXPECT_FALSE(pathExists(c.path));
        EXPECT_FALSE(getAttributes(c.path).has_value());
        EXPECT_FALSE(deleteFile(c.path));
        FolderSearch search;
        FindEntry entry;
        EXPECT_FALSE(search.first(c.path, entry));
    }
    // The NUL case must not have reached "update.rar".
    EXPECT_EQ(dir.read("update.rar"), "keep");

    // Right at the limit is still a path.
    std::string atLimit = deep.substr(0, maxPathLength() - 1) + "x";
    std::string out;
    EXPECT_TRUE(resolvePath(atLimit, out));
    EXPECT_EQ(out.size(), maxPathLength());
}

TEST(Paths, CurrentAndExecutableFolders) {
    TempDir dir;
    dir.enter();
    EXPECT_EQ(currentDirectory(), dir.path());
    std::string self = executablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.substr(lastSeparator(self) + 1), "launcher_tests");
}
