// The folders crash mode must never delete, and what its deletion removes, on every
// system.
#include "ftp/crash_upload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/system/current_folder.h"
#include "support/system/name_codeset.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"

using testsupport::PerSystem;
using testsupport::same;
using testsupport::TempDir;

TEST(CrashUpload, RootAndTheProgramsFoldersAreNeverCrashFolders) {
    TempDir temp;
    temp.write("crash/ra1.zip", "x");
    const std::string program = platform::executablePath();
    const std::string programFolder = program.substr(0, platform::lastSeparator(program));
    const PerSystem<bool> driveRoot = {true, false,
                                       "a drive's root on Windows, a relative name on Linux"};
    struct Case {
        std::string folder;
        PerSystem<bool> deletable;
        // clang-format off
    } cases[] = {
        {"/", same(false)},
        {"//", same(false)},
        {"/.", same(false)},
        {"/tmp/..", same(false)},
        {"C:\\", driveRoot},
        {"c:/", driveRoot},
        {programFolder, same(false)},
        {programFolder + "/..", same(false)},
        {temp.file("crash"), same(true)},
        {temp.file("crash/"), same(true)},
        {temp.file("not-there"), same(true)},  // deletes nothing, so it may be named
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(isDeletableCrashFolder(c.folder), c.deletable.here());
    }
}

namespace {

// Every entry at and below `path`, by path relative to `base`, sorted.
void collectTree(const std::string& base, const std::string& relative,
                 std::vector<std::string>& out) {
    platform::FolderSearch search;
    platform::FindEntry entry;
    const std::string folder = base + "/" + relative;
    if (!search.first(folder, entry)) return;
    do {
        if (entry.name == "." || entry.name == "..") continue;
        const std::string name = relative + "/" + entry.name;
        out.push_back(name);
        if (entry.attributes & platform::FILE_ATTR_DIRECTORY) collectTree(base, name, out);
    } while (search.next(entry));
}

std::vector<std::string> treeLeft(const TempDir& dir, const std::string& name) {
    std::vector<std::string> left;
    if (!dir.exists(name)) return left;
    left.push_back(name);
    collectTree(dir.path(), name, left);
    std::sort(left.begin(), left.end());
    return left;
}

}  // namespace

// Crash mode's deletion of "crash" in the game folder, over what every system has
// (links, FIFOs and a player's permissions: folder_tree_deletion_test.cpp). A read-only
// folder keeps Windows from removing it until its attribute goes.
TEST(FolderTreeDeletion, WhatGoesAndWhatStaysOnEverySystem) {
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> build;
        bool recurse;
        uint32_t result;
        std::vector<std::string> left;  // "crash" and what is below it, sorted
    };
    // clang-format off
    const Case cases[] = {
        {"read-only files and folders all go",
         [](const TempDir& d) {
             d.write("crash/a.txt", "a");
             d.write("crash/sub/deeper/ra.zip", "z");
             for (const char* name : {"crash/a.txt", "crash/sub/deeper/ra.zip", "crash/sub"})
                 ASSERT_TRUE(platform::setAttributes(d.file(name), platform::FILE_ATTR_READONLY));
         },
         true, 0, {}},
        {"a name beginning with a dot is kept and stops the deletion with its folder's error",
         [](const TempDir& d) {
             d.write("crash/a.txt", "a");
             d.write("crash/c.txt", "c");
             d.write("crash/b/.lock", "l");
             d.write("crash/b/x.txt", "x");
         },
         true, platform::winerr::DIR_NOT_EMPTY, {"crash", "crash/b", "crash/b/.lock", "crash/c.txt"}},
        {"without recursion the files go and the subfolders stay",
         [](const TempDir& d) {
             d.write("crash/a.txt", "a");
             d.write("crash/sub/b.txt", "b");
         },
         false, 0, {"crash", "crash/sub", "crash/sub/b.txt"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir game;
        c.build(game);
        EXPECT_EQ(deleteFolderTree(game.file("crash"), c.recurse), c.result);
        EXPECT_EQ(treeLeft(game, "crash"), c.left);
    }
}

// On the players' systems a crash folder inside the game folder "遊戲功" may itself hold
// a folder "功": names whose last byte is 0x5C. The whole tree goes, and the game folder
// stays protected however it is written.
TEST(FolderTreeDeletion, FoldersNamedInCodePage950Go) {
    std::string why;
    if (!testsupport::fileSystemTakesCodePage950Names(why)) GTEST_SKIP() << why;
    using namespace testsupport::cp950;
    testsupport::ScopedNameCodeset names("CP950");
    TempDir temp;
    temp.enter();
    const std::string game = kGameFolder;
    ASSERT_TRUE(platform::createDirectory(game));
    ASSERT_TRUE(testsupport::setCurrentFolder(game));
    const std::string crash = std::string("crash") + kWork;
    ASSERT_TRUE(platform::createDirectory(crash));
    ASSERT_TRUE(platform::createDirectory(crash + "\\" + kWork));
    ASSERT_TRUE(platform::writeFileReplacing(crash + "\\" + kWork + "\\ra" + kCover + ".zip", "z"));
    ASSERT_TRUE(platform::writeFileReplacing(crash + "\\" + kPermit + ".dmp", "d"));

    EXPECT_FALSE(isDeletableCrashFolder("..\\" + game + "\\"));
    EXPECT_FALSE(isDeletableCrashFolder(platform::currentDirectory()));
    EXPECT_TRUE(isDeletableCrashFolder(crash + "\\"));
    EXPECT_EQ(deleteFolderTree(crash, true), 0u);
    EXPECT_FALSE(platform::pathExists(crash));
    EXPECT_TRUE(platform::pathExists("..\\" + game));
}
