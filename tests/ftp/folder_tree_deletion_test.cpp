// deleteFolderTree as a player runs it: what goes, what stays, the result, and that it
// never leaves the tree through a link, at any depth. What every system has is tested
// on every system (crash_upload_test.cpp). Each deletion runs in a child
// that drops root's privileges, so permissions count as they do for a player.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ftp/crash_upload.h"
#include "platform/errors.h"
#include "support/builders/folder_tree.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/unprivileged.h"
#include "support/system/temp_dir.h"

using testsupport::FolderTreeBuilder;
using testsupport::TempDir;
using Strings = std::vector<std::string>;

namespace {

// A game folder that "nobody" may enter, with a file and a folder outside the crash
// folder that links point at.
class Game {
public:
    Game() {
        ::chmod(dir.path().c_str(), 0777);
        dir.write("outside/precious.txt", "keep");
        ::chmod(dir.file("outside").c_str(), 0777);
    }
    std::string file(const std::string& name) const { return dir.file(name); }
    bool exists(const std::string& name) const { return dir.exists(name); }
    // Whatever a deletion did, the files the links point at are whole.
    bool outsideIntact() const { return dir.read("outside/precious.txt") == "keep"; }

    // deleteFolderTree of "crash" run as a player; its result, or -1 when the child failed.
    long deleteAsPlayer(bool recurse = true) const {
        const std::string folder = dir.file("crash");
        return testsupport::runInChild([&] {
            if (!testsupport::dropRootPrivileges()) return 255;
            const uint32_t result = deleteFolderTree(folder, recurse);
            return result < 255 ? int(result) : 254;
        });
    }

    TempDir dir;
};

}  // namespace

TEST(FolderTreeDeletion, WhatGoesAndWhatStays) {
    struct Case {
        const char* name;
        std::function<void(FolderTreeBuilder&, const Game&)> build;  // stands in "crash"
        bool recurse;
        long result;
        Strings left;      // below the game folder
        long entriesLeft;  // of "crash", itself included
    };
    // clang-format off
    const Case cases[] = {
        {"files, links, a FIFO and folders without write permission all go",
         [](FolderTreeBuilder& t, const Game& g) {
             t.file("read-only.txt", "r", 0444);
             t.link("link-to-file", g.file("outside/precious.txt"));
             t.link("link-to-folder", g.file("outside"));
             t.fifo("pipe");
             t.down("sub");
             t.file("inside.txt", "i", 0444);
             t.link("link-to-folder", g.file("outside"));
             t.down("locked");
             t.file("ra.zip", "z");
             t.setMode(0555);
         },
         true, 0, {}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Game game;
        {
            FolderTreeBuilder tree(game.file("crash"), true);
            c.build(tree, game);
            ASSERT_TRUE(tree.ok());
        }
        EXPECT_EQ(game.deleteAsPlayer(c.recurse), c.result);
        EXPECT_TRUE(game.outsideIntact());
        for (const std::string& name : c.left) EXPECT_TRUE(game.exists(name)) << name;
        EXPECT_EQ(testsupport::entriesLeft(game.file("crash")), c.entriesLeft);
    }
}

TEST(FolderTreeDeletion, NothingThatIsNoFolderIsDeleted) {
    Game game;
    ASSERT_EQ(::symlink(game.file("outside").c_str(), game.file("crash").c_str()), 0);
    EXPECT_EQ(game.deleteAsPlayer(), 0);
    EXPECT_TRUE(game.outsideIntact());
    EXPECT_TRUE(game.exists("crash/precious.txt"));  // the link is still there

    ASSERT_EQ(::unlink(game.file("crash").c_str()), 0);
    EXPECT_EQ(game.deleteAsPlayer(), 0);  // no folder at all

    game.dir.write("crash", "a file");
    EXPECT_EQ(game.deleteAsPlayer(), 0);
    EXPECT_EQ(game.dir.read("crash"), "a file");
}

// 2,100 levels of "d/" are 4,200 bytes: deeper than any path the system takes. The tree
// is still removed completely, a folder without write permission at the bottom too, and
// the links down there are removed as links.
TEST(FolderTreeDeletion, TreeDeeperThanThePathLimitIsRemovedCompletely) {
    Game game;
    {
        FolderTreeBuilder tree(game.file("crash"), true);
        for (int level = 0; level < 2100; ++level) {
            tree.file("crash.dmp", "dump");
            tree.down("d");
        }
        tree.link("link-to-file", game.file("outside/precious.txt"));
        tree.link("link-to-folder", game.file("outside"));
        tree.down("locked");
        tree.file("last.txt", "last", 0444);
        tree.setMode(0555);
        ASSERT_TRUE(tree.ok());
    }
    ASSERT_EQ(testsupport::entriesLeft(game.file("crash")), 1 + 2 * 2100 + 2 + 2);

    EXPECT_EQ(game.deleteAsPlayer(), 0);
    EXPECT_EQ(testsupport::entriesLeft(game.file("crash")), 0);
    EXPECT_TRUE(game.outsideIntact());
}
