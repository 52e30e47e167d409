// The path rules of the platform layer, the same on every system wherever the
// behaviour is meant to be the same; the rows where Linux and Windows differ on purpose
// say so and why (PerSystem).

#include "platform/paths.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/file_checks.h"
#include "platform/files.h"
#include "support/system/name_codeset.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"

using namespace platform;
using testsupport::PerSystem;
using testsupport::same;
using testsupport::TempDir;

namespace {

const char* const kSearchOrder =
    "a folder search lists names in the system's order: byte order on Linux, by name "
    "ignoring case on Windows (NTFS, and Wine)";

}  // namespace

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
    const PerSystem<std::string> driveRoot = {"C:", "C:\\",
                                              "a drive's root keeps its separator on Windows"};
    const PerSystem<bool> isDrive = {false, true,
                                     "\"C:\\\" is a drive's root on Windows, a name on Linux"};
    const PerSystem<bool> caseBlind = {false, true,
                                       "Linux names differ in case; Windows compares them "
                                       "without regard to case"};
    const PerSystem<bool> backslash = {false, true,
                                       "a backslash is part of a Linux name, a separator on "
                                       "Windows"};
    struct Join {
        const char* folder;
        const char* name;
        PerSystem<std::string> joined;
        // clang-format off
    } joins[] = {
        {"crash", "ra.zip", {"crash/ra.zip", "crash\\ra.zip", "the system's own separator"}},
        {"crash/", "ra.zip", same<std::string>("crash/ra.zip")},
        {"crash\\", "ra.zip", same<std::string>("crash\\ra.zip")},
        {"/", "ra.zip", same<std::string>("/ra.zip")},
        {"", "ra.zip", same<std::string>("ra.zip")},
    };
    // clang-format on
    for (const auto& c : joins) {
        SCOPED_TRACE(std::string(c.folder) + " + " + c.name);
        EXPECT_EQ(joinPath(c.folder, c.name), c.joined.here());
    }

    struct Parent {
        const char* path;
        PerSystem<std::string> parent;
        // clang-format off
    } parents[] = {
        {"/opt/game/launcher", same<std::string>("/opt/game")},
        {"/launcher", same<std::string>("/")},
        {"game\\launcher", same<std::string>("game")},
        {"C:\\Game\\launcher.exe", same<std::string>("C:\\Game")},
        {"C:\\launcher.exe", driveRoot},
        {"launcher", same<std::string>(".")},
    };
    // clang-format on
    for (const auto& c : parents) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(parentFolder(c.path), c.parent.here());
    }

    struct Root {
        const char* path;
        PerSystem<bool> root;
        // clang-format off
    } roots[] = {
        {"/", same(true)}, {"//", same(true)}, {"", same(false)}, {"/tmp", same(false)}, {"a", same(false)},
        {"C:\\", isDrive}, {"C:\\Game", same(false)},
    };
    // clang-format on
    for (const auto& c : roots) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(isFileSystemRoot(c.path), c.root.here());
    }

    struct Below {
        const char* inner;
        const char* outer;
        PerSystem<bool> below;
        // clang-format off
    } belows[] = {
        {"/home/game", "/home/game", same(true)},
        {"/home/game/bin", "/home/game", same(true)},
        {"/home/game/bin", "/home/game/", same(true)},
        {"/home/game", "/", same(true)},
        {"/home/gamer", "/home/game", same(false)},  // a name that only begins alike
        {"/home", "/home/game", same(false)},
        {"/home/Game", "/home/game", caseBlind},
        {"/home/game\\x", "/home/game", backslash},
        {"C:\\Game\\bin", "C:\\Game", backslash},
        {"C:\\Gamer", "C:\\Game", same(false)},
    };
    // clang-format on
    for (const auto& c : belows) {
        SCOPED_TRACE(std::string(c.inner) + " in " + c.outer);
        EXPECT_EQ(isSameOrBelow(c.inner, c.outer), c.below.here());
    }
}

// A name that does not exist as written finds the entry that matches it without regard
// to case; a new name is stored as written, in the folder that matched.
TEST(Paths, NamesMatchExistingEntriesIgnoringCase) {
    TempDir dir;
    dir.enter();
    dir.write("Data/Sub/file.txt", "x");
    EXPECT_TRUE(pathExists("data\\SUB\\File.TXT"));
    std::string bytes;
    EXPECT_TRUE(readWholeFile("DATA/sub/FILE.txt", bytes));
    EXPECT_EQ(bytes, "x");
    File created;
    ASSERT_TRUE(created.open("DATA\\sub\\New.Txt", AccessWrite, Disposition::CreateNew));
    created.close();
    std::vector<std::string> names;
    FolderSearch search;
    FindEntry entry;
    ASSERT_TRUE(search.first(dir.file("Data/Sub"), entry));
    do names.push_back(entry.name);
    while (search.next(entry));
    const PerSystem<std::vector<std::string>> listed = {
        {".", "..", "New.Txt", "file.txt"}, {".", "..", "file.txt", "New.Txt"}, kSearchOrder};
    EXPECT_EQ(names, listed.here());
    EXPECT_FALSE(createDirectory("data"));
    EXPECT_EQ(lastError(), winerr::ALREADY_EXISTS);
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
    reader.close();  // Windows deletes no file that is open (see Files.OpenFilesAndDeletion)
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
}

TEST(Paths, CurrentAndExecutableFolders) {
    TempDir dir;
    dir.enter();
    EXPECT_EQ(currentDirectory(), dir.path());
    std::string self = executablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.substr(lastSeparator(self) + 1),
              std::string("launcher_tests") + LAUNCHER_EXECUTABLE_SUFFIX);
}

// The players' systems run code page 950, where 85 common characters end in the byte
// 0x5C ('\') and many in an ASCII letter. Every helper that looks for a separator or
// folds case walks names by characters; the same table holds on every system.
TEST(Paths, NamesInCodePage950AreWalkedByCharacters) {
    using namespace testsupport::cp950;
    testsupport::ScopedNameCodeset names("CP950");
    const std::string game = kGameFolder;
    const std::string work = kWork;
    const PerSystem<bool> backslash = {false, true,
                                       "a backslash is part of a Linux name, a separator on "
                                       "Windows"};

    struct Split {
        std::string path;
        std::string::size_type last;
        bool endsWithSeparator;
        std::string parent;
        std::string withoutTrailing;
        // clang-format off
    } splits[] = {
        {game, std::string::npos, false, ".", game},
        {game + "\\", 6, true, game, game},
        {game + "\\\\/", 8, true, game + "\\\\", game},
        {"C:\\" + game + "\\launcher.exe", 9, false, "C:\\" + game, "C:\\" + game + "\\launcher.exe"},
        {game + "\\" + kPermit, 6, false, game, game + "\\" + kPermit},
        {work + kCover + "/x", 4, false, work + kCover, work + kCover + "/x"},
        {std::string(kPlace) + kRecord, std::string::npos, false, ".", std::string(kPlace) + kRecord},
        {"\\", 0, true, "\\", "\\"},
    };
    // clang-format on
    for (const Split& c : splits) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(lastSeparator(c.path), c.last);
        EXPECT_EQ(endsWithSeparator(c.path), c.endsWithSeparator);
        EXPECT_EQ(parentFolder(c.path), c.parent);
        EXPECT_EQ(withoutTrailingSeparators(c.path), c.withoutTrailing);
    }

    const PerSystem<std::string> joined = {game + "/ra.zip", game + "\\ra.zip",
                                           "the system's own separator"};
    EXPECT_EQ(joinPath(game, "ra.zip"), joined.here());
    EXPECT_EQ(joinPath(game + "\\", kPermit), game + "\\" + kPermit);

    struct Below {
        std::string inner;
        std::string outer;
        PerSystem<bool> below;
        // clang-format off
    } belows[] = {
        {"/g/" + game + "/bin", "/g/" + game, same(true)},
        {"/g/" + game + "/bin", "/g/" + game + "/", same(true)},
        {"/g/" + game + "x", "/g/" + game, same(false)},  // only begins alike
        {"/g/" + game, "/g/" + game.substr(0, 4), same(false)},
        {"C:\\" + game + "\\bin", "C:\\" + game, backslash},
        {"C:\\" + game + "\\bin", "C:\\" + game + "\\", backslash},
    };
    // clang-format on
    for (const Below& c : belows) {
        SCOPED_TRACE(c.inner + " in " + c.outer);
        EXPECT_EQ(isSameOrBelow(c.inner, c.outer), c.below.here());
    }
    // A server whose name ends in 0x5C is one component of a UNC root.
    EXPECT_EQ(isFileSystemRoot("\\\\srv" + work + "\\share\\"), backslash.here());

    struct Fold {
        std::string name;
        std::string upper;
        std::string lower;
        // clang-format off
    } folds[] = {
        {std::string("RA") + kPlace + ".ZIP", std::string("RA") + kPlace + ".ZIP", std::string("ra") + kPlace + ".zip"},
        {std::string("ra") + kRecord + "x", std::string("RA") + kRecord + "X", std::string("ra") + kRecord + "x"},
        {game, game, game},
        {std::string(kYong) + "a", std::string(kYong) + "A", std::string(kYong) + "a"},
    };
    // clang-format on
    for (const Fold& c : folds) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(upperCaseName(c.name), c.upper);
        EXPECT_EQ(lowerCaseName(c.name), c.lower);
    }
    EXPECT_TRUE(sameNameIgnoringCase(std::string("ClientUpdate") + kPlace + ".exe",
                                     std::string("CLIENTUPDATE") + kPlace + ".EXE"));
    EXPECT_FALSE(sameNameIgnoringCase(kPlace, kPig));
    EXPECT_FALSE(sameNameIgnoringCase(kRecord, kYong));

    // The temporary file of a long name ends with a whole character.
    const std::string longName = std::string(244, 'a') + kWork + ".exe";
    EXPECT_EQ(replacementPathFor(longName), std::string(244, 'a') + kReplacementSuffix);
    EXPECT_EQ(replacementPathFor(std::string(243, 'a') + kWork + ".exe"),
              std::string(243, 'a') + kWork + kReplacementSuffix);
}

// The game folder "遊戲功" and its subfolder "功" end in the byte 0x5C: opened by path,
// by their names as entries of an open folder, with a separator after them, and removed.
TEST(Paths, FoldersNamedInCodePage950AreReachedByTheirNames) {
    std::string why;
    if (!testsupport::fileSystemTakesCodePage950Names(why)) GTEST_SKIP() << why;
    using namespace testsupport::cp950;
    testsupport::ScopedNameCodeset names("CP950");
    TempDir dir;
    dir.enter();
    const std::string game = kGameFolder;
    const std::string sub = game + "\\" + kWork;
    const std::string fileName = std::string(kPermit) + ".txt";
    ASSERT_TRUE(createDirectory(game));
    ASSERT_TRUE(createDirectory(sub + "\\"));
    ASSERT_TRUE(writeFileReplacing(sub + "\\" + fileName, "permit"));
    std::string bytes;
    EXPECT_TRUE(readWholeFile(sub + "/" + fileName, bytes));
    EXPECT_EQ(bytes, "permit");
    for (const std::string& folder : {game, game + "\\", sub, sub + "\\"}) {
        SCOPED_TRACE(folder);
        const auto attributes = getAttributes(folder);
        ASSERT_TRUE(attributes.has_value());
        EXPECT_TRUE(*attributes & FILE_ATTR_DIRECTORY);
        EXPECT_FALSE(isSymbolicLink(folder));
    }
    const std::string canonical = canonicalPath(sub + "\\");
    ASSERT_GT(canonical.size(), sub.size());
    EXPECT_TRUE(isSameOrBelow(canonical, canonicalPath(game)));
    EXPECT_FALSE(isSameOrBelow(canonicalPath(game), canonical));

    Folder top;
    ASSERT_TRUE(top.open(game + "\\"));
    Folder inner;
    ASSERT_TRUE(inner.open(top, kWork)) << lastError();
    FolderSearch search;
    FindEntry entry;
    std::vector<std::string> listed;
    ASSERT_TRUE(search.first(inner, entry));
    do listed.push_back(entry.name);
    while (search.next(entry));
    search.close();
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", fileName}));
    EXPECT_TRUE(inner.setAttributes(fileName, FILE_ATTR_NORMAL));
    EXPECT_TRUE(inner.deleteFile(fileName));
    inner.close();
    EXPECT_TRUE(top.removeDirectory(kWork)) << lastError();
    top.close();
    EXPECT_TRUE(removeDirectory(game + "\\"));
    EXPECT_FALSE(pathExists(game));
}
