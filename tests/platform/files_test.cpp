// The file services of the platform layer, the same on every system wherever the
// behaviour is meant to be the same; the rows where Linux and Windows differ on purpose
// say so and why (PerSystem). What only Linux has (modes, links, the errno tables) is
// in files_linux_test.cpp.

#include "platform/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/file_stream.h"
#include "platform/net.h"
#include "platform/paths.h"
#include "support/builders/zip_builder.h"
#include "support/builders/zip_reader_handle.h"
#include "support/sandbox/as_player.h"
#include "support/system/file_times.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"
#include "support/system/time_zone.h"
#include "unzip/zip_reader.h"

using namespace platform;
using testsupport::PerSystem;
using testsupport::TempDir;

TEST(Files, DispositionsCreateTruncateAndReportAsWindowsDoes) {
    struct Case {
        const char* name;
        Disposition disposition;
        bool existsBefore;
        bool opens;
        uint32_t error;
        const char* contentAfter;  // nullptr: no file
        // clang-format off
    } cases[] = {
        {"open existing, present", Disposition::OpenExisting, true, true, winerr::SUCCESS, "old"},
        {"open existing, missing", Disposition::OpenExisting, false, false, winerr::FILE_NOT_FOUND, nullptr},
        {"create always, present", Disposition::CreateAlways, true, true, winerr::ALREADY_EXISTS, ""},
        {"create always, missing", Disposition::CreateAlways, false, true, winerr::SUCCESS, ""},
        {"create new, present", Disposition::CreateNew, true, false, winerr::FILE_EXISTS, "old"},
        {"create new, missing", Disposition::CreateNew, false, true, winerr::SUCCESS, ""},
        {"open always, present", Disposition::OpenAlways, true, true, winerr::ALREADY_EXISTS, "old"},
        {"open always, missing", Disposition::OpenAlways, false, true, winerr::SUCCESS, ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.existsBefore) dir.write("f.bin", "old");
        File file;
        setLastError(12345);
        EXPECT_EQ(file.open(dir.file("f.bin"), AccessRead | AccessWrite, c.disposition), c.opens);
        EXPECT_EQ(lastError(), c.error);
        file.close();
        EXPECT_EQ(dir.exists("f.bin"), c.contentAfter != nullptr);
        if (c.contentAfter) {
            EXPECT_EQ(dir.read("f.bin"), c.contentAfter);
        }
    }
}

TEST(Files, ReadWriteSeekAndSize) {
    TempDir dir;
    File file;
    ASSERT_TRUE(file.open(dir.file("data"), AccessRead | AccessWrite, Disposition::CreateNew));
    EXPECT_EQ(file.write("0123456789", 10), 10);
    EXPECT_EQ(file.size(), 10);
    EXPECT_EQ(file.seek(-4, SeekFrom::End), 6);
    char buffer[8] = {};
    EXPECT_EQ(file.read(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0);
    EXPECT_EQ(file.seek(2, SeekFrom::Begin), 2);
    EXPECT_EQ(file.seek(3, SeekFrom::Current), 5);
    EXPECT_EQ(file.tell(), 5);
    EXPECT_EQ(file.seek(-1, SeekFrom::Begin), -1);
    const PerSystem<uint32_t> negativeSeek = {winerr::INVALID_PARAMETER, 131,
                                              "Windows' own ERROR_NEGATIVE_SEEK (131); Linux "
                                              "maps EINVAL"};
    EXPECT_EQ(lastError(), negativeSeek.here());

    // readAt delivers all the bytes asked for or fails.
    char exact[4] = {};
    EXPECT_TRUE(file.readAt(6, exact, sizeof exact));
    EXPECT_EQ(std::string(exact, 4), "6789");
    EXPECT_FALSE(file.readAt(8, exact, sizeof exact));
    EXPECT_FALSE(file.readAt(-1, exact, 1));
    EXPECT_TRUE(file.readAt(10, exact, 0));

    File moved(std::move(file));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(moved.isOpen());

    File reader;
    ASSERT_TRUE(reader.open(dir.file("data"), AccessRead, Disposition::OpenExisting));
    EXPECT_EQ(reader.write("x", 1), -1);

    std::string whole = "stale";
    EXPECT_TRUE(readWholeFile(dir.file("DATA"), whole));
    EXPECT_EQ(whole, "0123456789");
    EXPECT_FALSE(readWholeFile(dir.file("missing"), whole));
    EXPECT_EQ(lastError(), winerr::FILE_NOT_FOUND);
    EXPECT_TRUE(whole.empty());
}

// Crash archives may pass 2 GiB; a 32-bit offset would cut their size and the resume
// point. The file is sparse, so it takes no room.
TEST(Files, StreamsSeekAndTellBeyondFourGigabytes) {
    TempDir dir;
    constexpr int64_t kFar = (int64_t(5) << 30) + 7;
    {
        File file;
        ASSERT_TRUE(file.open(dir.file("big"), AccessWrite, Disposition::CreateNew));
        ASSERT_EQ(file.seek(kFar, SeekFrom::Begin), kFar);
        ASSERT_EQ(file.write("z", 1), 1);
    }
    std::FILE* stream = openFileStream(dir.file("big"), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(seekFileStream(stream, 0, SeekFrom::End));
    EXPECT_EQ(tellFileStream(stream), kFar + 1);
    EXPECT_TRUE(seekFileStream(stream, kFar, SeekFrom::Begin));
    EXPECT_EQ(std::fgetc(stream), 'z');
    EXPECT_FALSE(seekFileStream(stream, -1, SeekFrom::Begin));
    std::fclose(stream);
}

TEST(Files, FoldersCannotBeOpenedAsFiles) {
    TempDir dir;
    dir.makeFolder("sub");
    for (unsigned access : {unsigned(AccessRead), unsigned(AccessWrite)}) {
        SCOPED_TRACE(access);
        File file;
        EXPECT_FALSE(file.open(dir.file("sub"), access, Disposition::OpenExisting));
        EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
    }
}

// A device under a file's name is no file: it neither opens nor hands out its endless or
// empty content as a file's (FIFOs and links to devices are in files_linux_test.cpp).
TEST(Files, DevicesDoNotOpenAsFiles) {
    const PerSystem<const char*> nullDevice = {"/dev/null", "NUL", "each system's own name"};
    struct Case {
        const char* name;
        unsigned access;
        Disposition disposition;
    };
    // clang-format off
    const Case cases[] = {
        {"read", AccessRead, Disposition::OpenExisting},
        {"write", AccessWrite, Disposition::OpenAlways},
        {"created over", AccessWrite, Disposition::CreateAlways},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        File file;
        EXPECT_FALSE(file.open(nullDevice.here(), c.access, c.disposition));
        EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
    }
    std::string bytes = "stale";
    EXPECT_FALSE(readWholeFile(nullDevice.here(), bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST(Files, ReadWholeFileHoldsNoMoreThanItsLimit) {
    TempDir dir;
    const std::string content(40000, 'x');
    dir.write("f", content);
    std::string bytes;
    EXPECT_TRUE(readWholeFile(dir.file("f"), bytes, content.size()));
    EXPECT_EQ(bytes.size(), content.size());
    EXPECT_FALSE(readWholeFile(dir.file("f"), bytes, content.size() - 1));
    EXPECT_EQ(lastError(), winerr::FILE_TOO_LARGE);
    EXPECT_TRUE(bytes.empty());
}

namespace {

// The names in a folder.
std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    FolderSearch search;
    FindEntry entry;
    for (bool more = search.first(folder, entry); more; more = search.next(entry))
        if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
    return names;
}

}  // namespace

// A link as the target is in files_linux_test.cpp.
TEST(Files, ReplaceFileSwapsInOneStepAsMoveFileExDoes) {
    struct Case {
        const char* name;
        std::string
            before;  // "" no target, "file", "held open", "read-only", "folder", "other case"
        PerSystem<bool> replaces;
        PerSystem<uint32_t> error;
    };
    const PerSystem<bool> heldOpenReplaces = {
        true, false, "Windows will not replace a file held open without delete sharing"};
    const PerSystem<uint32_t> heldOpenError = {winerr::SUCCESS, winerr::SHARING_VIOLATION,
                                               heldOpenReplaces.why};
    // Windows itself may give the entry the new name's case.
    const PerSystem<std::string> otherCaseName = {
        "TARGET", "TARGET", "Wine, as Linux, keeps the existing entry's name"};
    // clang-format off
    const Case cases[] = {
        {"no target yet", "", testsupport::same(true), testsupport::same(winerr::SUCCESS)},
        {"a file", "file", testsupport::same(true), testsupport::same(winerr::SUCCESS)},
        {"a file held open", "held open", heldOpenReplaces, heldOpenError},
        {"the name in another case", "other case", testsupport::same(true), testsupport::same(winerr::SUCCESS)},
        {"a read-only file", "read-only", testsupport::same(false), testsupport::same(winerr::ACCESS_DENIED)},
        {"a folder", "folder", testsupport::same(false), testsupport::same(winerr::ACCESS_DENIED)},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.makeFolder("in");
        const std::string folder = dir.file("in");
        const std::string target = folder + "/target";
        testsupport::writeFile(folder + "/new", "new");
        if (c.before == "file" || c.before == "held open" || c.before == "read-only")
            testsupport::writeFile(target, "old");
        if (c.before == "read-only") {
            ASSERT_TRUE(setAttributes(target, FILE_ATTR_READONLY));
        }
        if (c.before == "other case") testsupport::writeFile(folder + "/TARGET", "old");
        if (c.before == "folder") {
            ASSERT_TRUE(createDirectory(target));
        }

        File reader;
        if (c.before == "held open") {
            ASSERT_TRUE(reader.open(target, AccessRead, Disposition::OpenExisting));
        }
        setLastError(12345);
        EXPECT_EQ(replaceFile(folder + "/new", target), c.replaces.here());
        if (!c.replaces.here()) {
            EXPECT_EQ(lastError(), c.error.here());
            EXPECT_EQ(testsupport::readFile(folder + "/new"), "new");
            if (c.before != "folder") {
                EXPECT_EQ(testsupport::readFile(target), "old");
            }
            reader.close();
            setAttributes(target, FILE_ATTR_NORMAL);
            continue;
        }
        // One entry is left, the new file, under the name the folder knew (Linux keeps
        // the existing entry's case, as a name is found ignoring case).
        const std::vector<std::string> left = entriesOf(folder);
        ASSERT_EQ(left.size(), 1u);
        if (c.before == "other case") {
            EXPECT_EQ(left[0], otherCaseName.here());
        }
        EXPECT_EQ(testsupport::readFile(folder + "/" + left[0]), "new");
        EXPECT_EQ(getAttributes(target).value_or(FILE_ATTR_DIRECTORY) & FILE_ATTR_DIRECTORY, 0u);
        if (reader.isOpen()) {
            // Who held the old file open keeps reading the old file.
            char buffer[8] = {};
            EXPECT_EQ(reader.read(buffer, sizeof buffer), 3);
            EXPECT_EQ(std::string(buffer, 3), "old");
        }
    }
}

// Hard and symbolic links are in files_linux_test.cpp.
TEST(Files, IsSameFileComparesTheFileNotItsName) {
    TempDir dir;
    dir.write("update.rar", "package");
    dir.write("other.rar", "package");
    File archive;
    ASSERT_TRUE(archive.open(dir.file("update.rar"), AccessRead, Disposition::OpenExisting));
    struct Case {
        std::string path;
        bool same;
    };
    // clang-format off
    const Case cases[] = {
        {dir.file("update.rar"), true},
        {dir.file("UPDATE.RAR"), true},
        {dir.path() + "/./Update.rar", true},
        {dir.file("other.rar"), false},
        {dir.file("missing.rar"), false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(archive.isSameFile(c.path), c.same);
    }
    File closed;
    EXPECT_FALSE(closed.isSameFile(dir.file("update.rar")));
}

// The mode the new file keeps is in files_linux_test.cpp.
TEST(Files, WriteFileReplacingLeavesNothingBehindAndSparesAReadOnlyFile) {
    TempDir dir;
    dir.write("settings.ini", "old");
    const std::string leftover = dir.file("settings.ini") + kReplacementSuffix;
    // A leftover of a write that was cut short, read-only at that.
    testsupport::writeFile(leftover, "half");
    ASSERT_TRUE(setAttributes(leftover, FILE_ATTR_READONLY));
    EXPECT_TRUE(writeFileReplacing(dir.file("settings.ini"), "new settings"));
    EXPECT_EQ(dir.read("settings.ini"), "new settings");
    EXPECT_FALSE(pathExists(leftover));

    // A read-only file is not replaced, as CreateFileA would not overwrite it.
    ASSERT_TRUE(setAttributes(dir.file("settings.ini"), FILE_ATTR_READONLY));
    EXPECT_FALSE(writeFileReplacing(dir.file("settings.ini"), "newer"));
    EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
    EXPECT_EQ(dir.read("settings.ini"), "new settings");
    EXPECT_FALSE(pathExists(leftover));
    setAttributes(dir.file("settings.ini"), FILE_ATTR_NORMAL);
}

// Whatever sits at a temporary name is ours to clear, or is stepped around: it never
// blocks the file it stands beside, for any user of the replacement (the settings and
// side files written whole, the entries the hand-over unpacks).
TEST(Files, NothingAtATemporaryNameBlocksTheReplacement) {
    struct User {
        const char* name;
        std::function<bool(const TempDir&)> replace;  // "target" gets "new"
    };
    const User users[] = {
        {"writeFileReplacing",
         [](const TempDir& dir) { return writeFileReplacing(dir.file("target"), "new"); }},
        {"UnzipToFile",
         [](const TempDir& dir) {
             testsupport::ZipEntryPlan entry;
             entry.name = "target";
             entry.data = "new";
             dir.write("package.zip", testsupport::buildZip({entry}));
             const ZipReaderHandle reader = openZipReader(dir.file("package.zip").c_str(), nullptr);
             return reader && UnzipToFile(reader.get(), 0, dir.file("target").c_str()) == ZIPRES_OK;
         }},
    };
    struct Squatter {
        const char* name;
        std::function<void(const TempDir&, const std::string&)> make;
    };
    const Squatter squatters[] = {
        {"a read-only file",
         [](const TempDir& dir, const std::string& name) {
             dir.write(name, "planted");
             setAttributes(dir.file(name), FILE_ATTR_READONLY);
         }},
        {"an empty folder",
         [](const TempDir& dir, const std::string& name) { dir.makeFolder(name); }},
        {"a folder with a file",
         [](const TempDir& dir, const std::string& name) { dir.write(name + "/kept", "kept"); }},
        {"a folder at every name tried but the last",
         [](const TempDir& dir, const std::string&) {
             for (unsigned n = 0; n + 1 < kReplacementNames; ++n)
                 dir.write(replacementPathFor("target", n) + "/kept", "kept");
         }},
    };
    for (const User& user : users) {
        for (const Squatter& squatter : squatters) {
            SCOPED_TRACE(std::string(user.name) + ", " + squatter.name);
            TempDir dir;
            dir.write("target", "old");
            squatter.make(dir, replacementPathFor("target"));
            EXPECT_TRUE(user.replace(dir));
            EXPECT_EQ(dir.read("target"), "new");
            // What could not be cleared is left as it was; nothing of ours stays.
            for (unsigned n = 0; n < kReplacementNames; ++n) {
                const std::string name = replacementPathFor("target", n);
                if (dir.exists(name + "/kept"))
                    EXPECT_EQ(dir.read(name + "/kept"), "kept");
                else
                    EXPECT_FALSE(dir.exists(name)) << name;
            }
        }
    }
}

TEST(Files, NewFilesTakeTheReadOnlyOption) {
    TempDir dir;
    {
        File file;
        CreateOptions options;
        options.attributes = FILE_ATTR_READONLY;
        ASSERT_TRUE(file.open(dir.file("ro"), AccessWrite, Disposition::CreateAlways, options));
        EXPECT_EQ(file.write("abc", 3), 3);  // the creator may still write
    }
    EXPECT_EQ(getAttributes(dir.file("ro")).value_or(0) & FILE_ATTR_READONLY, FILE_ATTR_READONLY);
    EXPECT_EQ(dir.read("ro"), "abc");
    ASSERT_TRUE(setAttributes(dir.file("ro"), FILE_ATTR_NORMAL));
}

TEST(Files, RunningExecutableCannotBeOpenedForWriting) {
    // The hand-over retries after ending the updater on exactly this error.
    File file;
    EXPECT_FALSE(file.open(executablePath(), AccessWrite, Disposition::OpenExisting));
    EXPECT_EQ(lastError(), winerr::SHARING_VIOLATION);
}

// What the attributes do, as a player meets them: a read-only file can be neither
// written nor deleted until it is made normal again. SetFileAttributes sets exactly the
// attributes given, which Windows reads back; Wine (where the Windows suite runs)
// reports the archive attribute with every file and keeps none on a folder.
TEST(Files, AttributesReadBackAndGuardTheFile) {
    TempDir dir;
    testsupport::openFolderToPlayer(dir.path());
    const bool wine = testsupport::underWine();
    const PerSystem<uint32_t> readOnlyHidden = {
        FILE_ATTR_READONLY, FILE_ATTR_READONLY | FILE_ATTR_HIDDEN,
        "hidden, system and archive have no Linux meaning: accepted and ignored"};
    const PerSystem<uint32_t> normal = {FILE_ATTR_NORMAL, FILE_ATTR_NORMAL, nullptr};
    const PerSystem<uint32_t> readOnlyFolder = {
        FILE_ATTR_DIRECTORY, FILE_ATTR_DIRECTORY | FILE_ATTR_READONLY,
        "Windows keeps the attribute on a folder without acting on it; Linux would have "
        "to take the folder's write bits"};
    testsupport::asPlayer([&] {
        dir.write("f", "x");
        dir.makeFolder("d");
        ASSERT_TRUE(setAttributes(dir.file("f"), FILE_ATTR_READONLY | FILE_ATTR_HIDDEN));
        EXPECT_EQ(getAttributes(dir.file("f")),
                  wine ? readOnlyHidden.here() | FILE_ATTR_ARCHIVE : readOnlyHidden.here());
        File file;
        // Root under Wine writes read-only files as root does on Linux: only a player
        // meets the guard.
        if (std::ofstream(dir.file("f"), std::ios::app).is_open()) {
            std::printf("this user may write read-only files: their guard is not checked\n");
        } else {
            EXPECT_FALSE(file.open(dir.file("f"), AccessWrite, Disposition::OpenExisting));
            EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
        }
        // Windows will not delete a read-only file either.
        EXPECT_FALSE(deleteFile(dir.file("f")));
        EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
        EXPECT_EQ(dir.read("f"), "x");

        ASSERT_TRUE(setAttributes(dir.file("f"), FILE_ATTR_NORMAL));
        EXPECT_EQ(getAttributes(dir.file("f")), wine ? FILE_ATTR_ARCHIVE : normal.here());
        EXPECT_TRUE(file.open(dir.file("f"), AccessWrite, Disposition::OpenExisting));
        file.close();
        EXPECT_TRUE(deleteFile(dir.file("f")));

        // A read-only folder still takes new entries, as on Windows.
        ASSERT_TRUE(setAttributes(dir.file("d"), FILE_ATTR_READONLY));
        EXPECT_EQ(getAttributes(dir.file("d")), wine ? FILE_ATTR_DIRECTORY : readOnlyFolder.here());
        EXPECT_TRUE(file.open(dir.file("d/new"), AccessWrite, Disposition::CreateNew));
        file.close();
        EXPECT_TRUE(deleteFile(dir.file("d/new")));
        ASSERT_TRUE(setAttributes(dir.file("d"), FILE_ATTR_NORMAL));
        EXPECT_EQ(getAttributes(dir.file("d")), FILE_ATTR_DIRECTORY);
        EXPECT_FALSE(getAttributes(dir.file("missing")).has_value());
        EXPECT_EQ(lastError(), winerr::FILE_NOT_FOUND);
    });
}

// Linux deletes a file that is open; Windows only when every handle to it shares
// deleting, and the layer's files share reading and writing by default.
TEST(Files, OpenFilesAndDeletion) {
    TempDir dir;
    dir.write("open.txt", "x");
    const PerSystem<bool> deletable = {
        true, false, "Windows keeps a file that is open without sharing deletion"};
    File file;
    ASSERT_TRUE(file.open(dir.file("open.txt"), AccessRead, Disposition::OpenExisting));
    EXPECT_EQ(deleteFile(dir.file("open.txt")), deletable.here());
    if (!deletable.here()) {
        EXPECT_EQ(lastError(), winerr::SHARING_VIOLATION);
    }
    file.close();
    CreateOptions sharing;
    sharing.share = ShareRead | ShareWrite | ShareDelete;
    dir.write("shared.txt", "x");
    ASSERT_TRUE(file.open(dir.file("shared.txt"), AccessRead, Disposition::OpenExisting, sharing));
    EXPECT_TRUE(deleteFile(dir.file("shared.txt")));
}

// What a handle shares is enforced on Windows alone: the open archive shares reading
// only, so an entry that would overwrite it fails there; Linux has no mandatory sharing.
TEST(Files, ShareModesHoldOnWindowsOnly) {
    TempDir dir;
    dir.write("Update.rar", "archive");
    const PerSystem<bool> writable = {true, false, "Linux has no mandatory sharing"};
    File archive;
    CreateOptions readersOnly;
    readersOnly.share = ShareRead;
    ASSERT_TRUE(
        archive.open(dir.file("Update.rar"), AccessRead, Disposition::OpenExisting, readersOnly));
    File reader;
    EXPECT_TRUE(reader.open(dir.file("update.rar"), AccessRead, Disposition::OpenExisting));
    reader.close();
    File writer;
    EXPECT_EQ(writer.open(dir.file("update.rar"), AccessWrite, Disposition::OpenExisting),
              writable.here());
    if (!writable.here()) {
        EXPECT_EQ(lastError(), winerr::SHARING_VIOLATION);
    }
    writer.close();
    archive.close();
    EXPECT_TRUE(writer.open(dir.file("update.rar"), AccessWrite, Disposition::OpenExisting));
}

TEST(Files, FolderCreationAndRemovalErrors) {
    TempDir dir;
    EXPECT_TRUE(createDirectory(dir.file("d")));
    EXPECT_FALSE(createDirectory(dir.file("D")));  // the same folder, in another case
    EXPECT_EQ(lastError(), winerr::ALREADY_EXISTS);
    EXPECT_FALSE(createDirectory(dir.file("missing\\d")));
    EXPECT_EQ(lastError(), winerr::PATH_NOT_FOUND);
    File file;
    EXPECT_FALSE(file.open(dir.file("missing\\f"), AccessRead, Disposition::OpenExisting));
    EXPECT_EQ(lastError(), winerr::PATH_NOT_FOUND);
    EXPECT_FALSE(file.open(dir.file("f"), AccessRead, Disposition::OpenExisting));
    EXPECT_EQ(lastError(), winerr::FILE_NOT_FOUND);
    dir.write("d/inner", "x");
    EXPECT_FALSE(removeDirectory(dir.file("d")));
    EXPECT_EQ(lastError(), winerr::DIR_NOT_EMPTY);
    EXPECT_FALSE(deleteFile(dir.file("d")));
    EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
    EXPECT_FALSE(removeDirectory(dir.file("d\\inner")));
    EXPECT_EQ(lastError(), winerr::DIRECTORY);
    EXPECT_TRUE(deleteFile(dir.file("D\\INNER")));
    EXPECT_TRUE(removeDirectory(dir.file("D")));
    EXPECT_FALSE(dir.exists("d"));
}

TEST(Files, LocalTimeToFileTime) {
    testsupport::UtcTimeZone utc;
    // 2020-01-02 03:04:05 UTC.
    constexpr FileTime kUtc = kFileTimeUnixEpoch + 1577934245ULL * 10000000ULL;
    struct Case {
        int y, mo, d, h, mi, s;
        bool valid;
        FileTime expected;
        // clang-format off
    } cases[] = {
        {2020, 1, 2, 3, 4, 5, true, kUtc},
        {2000, 2, 29, 0, 0, 0, true, kFileTimeUnixEpoch + 951782400ULL * 10000000ULL},
        {1601, 1, 1, 0, 0, 0, true, 0},
        {2021, 2, 29, 0, 0, 0, false, 0},
        {1900, 2, 29, 0, 0, 0, false, 0},
        {2020, 4, 31, 0, 0, 0, false, 0},
        {2020, 13, 1, 0, 0, 0, false, 0},
        {2020, 0, 1, 0, 0, 0, false, 0},
        {2020, 1, 0, 0, 0, 0, false, 0},
        {2020, 1, 1, 24, 0, 0, false, 0},
        {2020, 1, 1, 0, 60, 0, false, 0},
        {2020, 1, 1, 0, 0, 60, false, 0},
        {1600, 12, 31, 0, 0, 0, false, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":"
                                        << c.mi << ":" << c.s);
        FileTime out = 42;
        EXPECT_EQ(localTimeToFileTime(c.y, c.mo, c.d, c.h, c.mi, c.s, out), c.valid);
        if (c.valid) {
            EXPECT_EQ(out, c.expected);
        }
    }
}

TEST(Files, SetTimesChangesOnlyWhatIsGiven) {
    TempDir dir;
    File file;
    ASSERT_TRUE(file.open(dir.file("t"), AccessWrite, Disposition::CreateAlways));
    FileTime write = 0;
    ASSERT_TRUE(localTimeToFileTime(2001, 2, 3, 4, 5, 6, write));
    FileTime access = write + 10000000ULL * 60 + 5;  // a minute later, and 500 ns
    FileTime creation = write - 10000000ULL * 3600;  // an hour earlier
    ASSERT_TRUE(file.setTimes(&creation, &access, &write));
    testsupport::FileTimes times;
    ASSERT_TRUE(testsupport::readFileTimes(dir.file("t"), times));
    EXPECT_EQ(times.write, write);
    EXPECT_EQ(times.access, access);
    // Creation time is settable on Windows only; Wine keeps none on a Linux file system
    // (it reports the write time), so the Windows suite cannot see it.
    const PerSystem<bool> reportsCreation = {false, true, "Linux has no settable creation time"};
    EXPECT_EQ(times.creation.has_value(), reportsCreation.here());
    if (times.creation && !testsupport::underWine()) {
        EXPECT_EQ(*times.creation, creation);
    }

    ASSERT_TRUE(file.setTimes(nullptr, nullptr, nullptr));
    testsupport::FileTimes again;
    ASSERT_TRUE(testsupport::readFileTimes(dir.file("t"), again));
    EXPECT_EQ(again.write, times.write);
    EXPECT_EQ(again.access, times.access);
    EXPECT_EQ(again.creation, times.creation);
}

// Every code the layer reports, file and socket alike, has a text of the system's own
// (strerror's on Linux, FormatMessageA's on Windows).
TEST(Errors, EveryReportedCodeHasASystemText) {
    namespace wsa = net::wsa;
    const uint32_t codes[] = {
        winerr::SUCCESS,
        winerr::FILE_NOT_FOUND,
        winerr::PATH_NOT_FOUND,
        winerr::ACCESS_DENIED,
        winerr::DIR_NOT_EMPTY,
        winerr::SHARING_VIOLATION,
        winerr::ALREADY_EXISTS,
        winerr::DISK_FULL,
        winerr::FILENAME_EXCED_RANGE,
        winerr::WRITE_PROTECT,
        winerr::TOO_MANY_OPEN_FILES,
        winerr::NO_MORE_FILES,
        wsa::kInterrupted,
        wsa::kAccessDenied,
        wsa::kWouldBlock,
        wsa::kConnectionReset,
        wsa::kTimedOut,
        wsa::kConnectionRefused,
        wsa::kNameTooLong,
        wsa::kHostUnreachable,
        wsa::kHostNotFound,
        wsa::kTryAgain,
        wsa::kNoRecovery,
        wsa::kNoData,
    };
    for (uint32_t code : codes) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(systemErrorText(code).empty());
    }
}
