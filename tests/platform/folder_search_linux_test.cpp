// Folder searches, walks and open folders meet symbolic links and FIFOs, which only the
// Linux build has to face (Wine creates none): a link is an entry of its own and never
// leads a walk out.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/folder_listing.h"
#include "support/system/temp_dir.h"

using namespace platform;
using testsupport::TempDir;

namespace {

// A depth-first walk as crash mode does it: folders by their directory attribute.
void walk(const std::string& folder, std::vector<std::string>& seen) {
    for (const auto& entry : listFolder(folder)) {
        if (entry.name == "." || entry.name == "..") continue;
        std::string path = folder + "\\" + entry.name;
        seen.push_back(path);
        if (entry.attributes & FILE_ATTR_DIRECTORY) walk(path, seen);
    }
}

}  // namespace

TEST(FolderSearch, WalkNeverEntersALinkedFolder) {
    TempDir outside;
    outside.write("precious.txt", "keep");
    TempDir dir;
    dir.write("crash/ra1.zip", "x");
    dir.write("crash/sub/ra2.zip", "y");
    ASSERT_EQ(symlink(outside.path().c_str(), dir.file("crash/sub/link-to-outside").c_str()), 0);
    ASSERT_EQ(symlink(outside.file("precious.txt").c_str(), dir.file("crash/file-link").c_str()),
              0);

    auto entries = listFolder(dir.file("crash/sub"));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].name, "link-to-outside");
    EXPECT_TRUE(entries[2].isLink);
    EXPECT_EQ(entries[2].attributes & FILE_ATTR_DIRECTORY, 0u);

    std::vector<std::string> seen;
    walk(dir.file("crash"), seen);
    const std::string base = dir.file("crash");
    EXPECT_EQ(seen,
              (std::vector<std::string>{base + "\\file-link", base + "\\ra1.zip", base + "\\sub",
                                        base + "\\sub\\link-to-outside", base + "\\sub\\ra2.zip"}));

    // A search started on the link itself does not list the folder behind it either.
    FolderSearch search;
    FindEntry entry;
    EXPECT_FALSE(search.first(dir.file("crash/sub/link-to-outside"), entry));
    EXPECT_EQ(lastError(), winerr::DIRECTORY);
}

// An open folder works on its entries by their exact names and never through a link:
// a walk holding one reads and deletes only what lies inside.
TEST(Folder, EntriesAreReachedRelativeToTheFolderAndNoLinkIsFollowed) {
    TempDir outside;
    outside.write("precious.txt", "keep");
    TempDir dir;
    dir.write("crash/sub/ra.zip", "archive");
    ASSERT_EQ(symlink(outside.file("precious.txt").c_str(), dir.file("crash/sub/link").c_str()), 0);
    ASSERT_EQ(symlink(outside.path().c_str(), dir.file("crash/sub/linked-folder").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("crash/sub/pipe").c_str(), 0600), 0);

    Folder crash, sub, linked;
    ASSERT_TRUE(crash.open(dir.file("crash")));
    ASSERT_TRUE(sub.open(crash, "sub"));
    EXPECT_FALSE(linked.open(sub, "linked-folder"));
    EXPECT_EQ(lastError(), winerr::DIRECTORY);
    EXPECT_FALSE(linked.open(dir.file("crash/sub/linked-folder/")));
    EXPECT_FALSE(linked.open(sub, "../sub"));

    std::FILE* archive = sub.openFileStream("ra.zip");
    ASSERT_NE(archive, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, archive), 7u);
    std::fclose(archive);
    // A link or a FIFO is refused, and the FIFO at once.
    for (const char* name : {"link", "pipe"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(sub.openFileStream(name), nullptr);
    }

    EXPECT_TRUE(sub.setAttributes("link", FILE_ATTR_READONLY));
    EXPECT_TRUE(sub.deleteFile("link"));
    struct stat st;
    ASSERT_EQ(stat(outside.file("precious.txt").c_str(), &st), 0);
    EXPECT_NE(st.st_mode & 0200, 0u);
    EXPECT_EQ(outside.read("precious.txt"), "keep");
    EXPECT_FALSE(sub.removeDirectory("linked-folder"));
    EXPECT_EQ(lastError(), winerr::DIRECTORY);
    EXPECT_TRUE(outside.exists("precious.txt"));
}
