#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/errors.h"
#include "platform/file_stream.h"
#include "platform/net.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"
#include "support/child_process.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/unprivileged.h"

using namespace platform;
using testsupport::TempDir;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

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
    EXPECT_EQ(lastError(), winerr::INVALID_PARAMETER);

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

// A FIFO, a device or a socket planted under a file's name: opening it must neither
// wait for a peer nor hand out its endless or empty content as a file's. Each case runs
// in a child, so an open that waits cannot hold the test.
TEST(Files, OnlyRegularFilesOpenAndNothingWaitsForAPeer) {
    TempDir dir;
    dir.write("plain.txt", "plain");
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.file("zero-link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("plain.txt").c_str(), dir.file("plain-link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("fifo-link").c_str()), 0);
    struct Case {
        const char* name;
        std::string path;
        unsigned access;
        Disposition disposition;
        bool opens;
    };
    // clang-format off
    const Case cases[] = {
        {"FIFO, read", dir.file("fifo"), AccessRead, Disposition::OpenExisting, false},
        {"FIFO, write", dir.file("fifo"), AccessWrite, Disposition::OpenExisting, false},
        {"FIFO, created over", dir.file("fifo"), AccessWrite, Disposition::CreateAlways, false},
        {"FIFO through a link", dir.file("fifo-link"), AccessRead, Disposition::OpenExisting, false},
        {"link to /dev/zero", dir.file("zero-link"), AccessRead, Disposition::OpenExisting, false},
        {"/dev/null, write", "/dev/null", AccessWrite, Disposition::OpenAlways, false},
        {"regular file", dir.file("plain.txt"), AccessRead, Disposition::OpenExisting, true},
        {"link to a regular file", dir.file("plain-link"), AccessRead, Disposition::OpenExisting, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::Subprocess child = testsupport::Subprocess::fork([&] {
            File file;
            const bool opened = file.open(c.path, c.access, c.disposition);
            if (opened != c.opens) return 1;
            if (!opened) return lastError() == winerr::ACCESS_DENIED ? 0 : 2;
            char buffer[16] = {};
            return file.read(buffer, sizeof buffer) == 5 ? 0 : 3;
        });
        ASSERT_TRUE(child.wait(5000)) << "the open waited for a peer";
        EXPECT_EQ(child.exitCode(), 0);
    }
    std::string bytes;
    EXPECT_FALSE(readWholeFile(dir.file("zero-link"), bytes));
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

TEST(Files, ReplaceFileSwapsInOneStepAsMoveFileExDoes) {
    struct Case {
        const char* name;
        std::string before;  // "" no target, "file", "read-only", "folder", "link", "other case"
        bool replaces;
        uint32_t error;
    };
    // clang-format off
    const Case cases[] = {
        {"no target yet", "", true, winerr::SUCCESS},
        {"a file", "file", true, winerr::SUCCESS},
        {"the name in another case", "other case", true, winerr::SUCCESS},
        {"a link: the link goes, not what it points to", "link", true, winerr::SUCCESS},
        {"a read-only file", "read-only", false, winerr::ACCESS_DENIED},
        {"a folder", "folder", false, winerr::ACCESS_DENIED},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("pointed-at", "pointed at");
        dir.write("new", "new");
        if (c.before == "file" || c.before == "read-only") dir.write("target", "old");
        if (c.before == "read-only") ::chmod(dir.file("target").c_str(), 0444);
        if (c.before == "other case") dir.write("TARGET", "old");
        if (c.before == "folder") dir.makeFolder("target");
        if (c.before == "link")
            ::symlink(dir.file("pointed-at").c_str(), dir.file("target").c_str());

        File reader;
        const bool held = c.before == "file" &&
                          reader.open(dir.file("target"), AccessRead, Disposition::OpenExisting);
        setLastError(12345);
        EXPECT_EQ(replaceFile(dir.file("new"), dir.file("target")), c.replaces);
        if (!c.replaces) {
            EXPECT_EQ(lastError(), c.error);
            EXPECT_EQ(dir.read("new"), "new");
            continue;
        }
        EXPECT_FALSE(dir.exists("new"));
        const std::string name = c.before == "other case" ? "TARGET" : "target";
        EXPECT_EQ(dir.read(name), "new");
        struct stat st {};
        ASSERT_EQ(::lstat(dir.file(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(dir.exists("target") + dir.exists("TARGET"), 1);
        EXPECT_EQ(dir.read("pointed-at"), "pointed at");
        if (held) {
            // Who held the old file open keeps reading the old file.
            char buffer[8] = {};
            EXPECT_EQ(reader.read(buffer, sizeof buffer), 3);
            EXPECT_EQ(std::string(buffer, 3), "old");
        }
    }
}

TEST(Files, IsSameFileComparesTheFileNotItsName) {
    TempDir dir;
    dir.write("update.rar", "package");
    dir.write("other.rar", "package");
    ASSERT_EQ(::link(dir.file("update.rar").c_str(), dir.file("hard-link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("update.rar").c_str(), dir.file("soft-link").c_str()), 0);
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
        {dir.file("hard-link"), true},
        {dir.file("soft-link"), false},  // replacing the link leaves the file alone
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

TEST(Files, WriteFileReplacingKeepsTheModeAndLeavesNothingBehind) {
    TempDir dir;
    dir.write("settings.ini", "old");
    ::chmod(dir.file("settings.ini").c_str(), 0640);
    // A leftover of a write that was cut short, read-only at that.
    dir.write(std::string("settings.ini") + kReplacementSuffix, "half");
    ::chmod((dir.file("settings.ini") + kReplacementSuffix).c_str(), 0444);
    EXPECT_TRUE(writeFileReplacing(dir.file("settings.ini"), "new settings"));
    EXPECT_EQ(dir.read("settings.ini"), "new settings");
    EXPECT_EQ(modeOf(dir.file("settings.ini")), 0640u);
    EXPECT_FALSE(dir.exists(std::string("settings.ini") + kReplacementSuffix));

    // A read-only file is not replaced, as CreateFileA would not overwrite it.
    ::chmod(dir.file("settings.ini").c_str(), 0444);
    EXPECT_FALSE(writeFileReplacing(dir.file("settings.ini"), "newer"));
    EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
    EXPECT_EQ(dir.read("settings.ini"), "new settings");
    EXPECT_FALSE(dir.exists(std::string("settings.ini") + kReplacementSuffix));
}

TEST(Files, NewFilesTakeReadOnlyAndExecutableOptions) {
    TempDir dir;
    {
        File file;
        CreateOptions options;
        options.executable = true;
        ASSERT_TRUE(file.open(dir.file("tool"), AccessWrite, Disposition::CreateAlways, options));
    }
    EXPECT_NE(modeOf(dir.file("tool")) & S_IXUSR, 0u);
    {
        File file;
        CreateOptions options;
        options.attributes = FILE_ATTR_READONLY;
        ASSERT_TRUE(file.open(dir.file("ro"), AccessWrite, Disposition::CreateAlways, options));
        EXPECT_EQ(file.write("abc", 3), 3);  // the creator may still write
    }
    EXPECT_EQ(modeOf(dir.file("ro")) & 0222, 0u);
    EXPECT_EQ(modeOf(dir.file("ro")) & S_IXUSR, 0u);
}

TEST(Files, OverwritingGivesTheFileTheNewReadOnlyAndExecuteBits) {
    struct Case {
        const char* label;
        Disposition disposition;
        mode_t before;
        CreateOptions options;
        mode_t after;
    };
    // clang-format off
    const Case cases[] = {
        {"plain file becomes a program", Disposition::CreateAlways, 0644, {0, true, {}}, 0755},
        {"owner-only program stays owner-only", Disposition::CreateAlways, 0700, {0, true, {}}, 0700},
        {"program becomes a plain file", Disposition::CreateAlways, 0755, {0, false, {}}, 0644},
        {"read-only program", Disposition::CreateAlways, 0755, {FILE_ATTR_READONLY, true, {}}, 0555},
        {"open always keeps the mode", Disposition::OpenAlways, 0644, {FILE_ATTR_READONLY, true, {}}, 0644},
    };
    // clang-format on
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = dir.file("target");
        dir.write("target", "old");
        ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
        {
            File file;
            ASSERT_TRUE(file.open(path, AccessWrite, c.disposition, c.options));
            EXPECT_EQ(file.write("new", 3), 3);
        }
        EXPECT_EQ(modeOf(path) & 0777, c.after);
        EXPECT_EQ(testsupport::readFile(path), "new");
        ::chmod(path.c_str(), 0644);
    }
}

TEST(Files, HandlesAreNotInheritedByChildren) {
    TempDir dir;
    File file;
    ASSERT_TRUE(file.open(dir.file("secret-handle"), AccessWrite, Disposition::CreateAlways));
    auto result = testsupport::runProgram("/bin/sh", {"-c", "ls -l /proc/$$/fd/"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("secret-handle"), std::string::npos) << result.out;
}

TEST(Files, RunningExecutableCannotBeOpenedForWriting) {
    // The hand-over retries after ending the updater on exactly this error.
    File file;
    EXPECT_FALSE(file.open(executablePath(), AccessWrite, Disposition::OpenExisting));
    EXPECT_EQ(lastError(), winerr::SHARING_VIOLATION);
}

namespace {

void checkAttributes(const TempDir& dir) {
    dir.write("f", "x");
    dir.makeFolder("d");

    ASSERT_TRUE(setAttributes(dir.file("f"), FILE_ATTR_READONLY | FILE_ATTR_HIDDEN));
    EXPECT_EQ(modeOf(dir.file("f")) & 0222, 0u);
    EXPECT_EQ(getAttributes(dir.file("f")), FILE_ATTR_READONLY);
    File file;
    EXPECT_FALSE(file.open(dir.file("f"), AccessWrite, Disposition::OpenExisting));
    EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);
    // Windows will not delete a read-only file either.
    EXPECT_FALSE(deleteFile(dir.file("f")));
    EXPECT_EQ(lastError(), winerr::ACCESS_DENIED);

    ASSERT_TRUE(setAttributes(dir.file("f"), FILE_ATTR_NORMAL));
    EXPECT_NE(modeOf(dir.file("f")) & S_IWUSR, 0u);
    EXPECT_EQ(getAttributes(dir.file("f")), FILE_ATTR_NORMAL);
    EXPECT_TRUE(deleteFile(dir.file("f")));

    chmod(dir.file("d").c_str(), 0555);
    EXPECT_EQ(getAttributes(dir.file("d")), FILE_ATTR_DIRECTORY | FILE_ATTR_READONLY);
    ASSERT_TRUE(setAttributes(dir.file("d"), FILE_ATTR_NORMAL));
    EXPECT_NE(modeOf(dir.file("d")) & S_IWUSR, 0u);
    EXPECT_FALSE(getAttributes(dir.file("missing")).has_value());
    EXPECT_EQ(lastError(), winerr::FILE_NOT_FOUND);
}

}  // namespace

TEST(Files, AttributesMapToWriteBits) {
    TempDir dir;
    chmod(dir.path().c_str(), 0777);
    // Root ignores write bits; check as a player would meet them.
    EXPECT_EQ(testsupport::runInChild([&] {
                  if (!testsupport::dropRootPrivileges()) return 2;
                  checkAttributes(dir);
                  return testsupport::childResult();
              }),
              0);
}

TEST(Files, LinksAreEntriesOfTheirOwn) {
    TempDir dir;
    dir.write("target.txt", "keep");
    dir.makeFolder("folder");
    ASSERT_EQ(symlink(dir.file("target.txt").c_str(), dir.file("file-link").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("folder").c_str(), dir.file("folder-link").c_str()), 0);
    const mode_t before = modeOf(dir.file("target.txt"));

    // Never through a link: the target keeps its mode.
    EXPECT_TRUE(setAttributes(dir.file("file-link"), FILE_ATTR_READONLY));
    EXPECT_EQ(modeOf(dir.file("target.txt")), before);
    EXPECT_EQ(getAttributes(dir.file("folder-link")), FILE_ATTR_NORMAL);

    EXPECT_FALSE(removeDirectory(dir.file("folder-link")));
    EXPECT_EQ(lastError(), winerr::DIRECTORY);
    EXPECT_TRUE(deleteFile(dir.file("file-link")));
    EXPECT_TRUE(deleteFile(dir.file("folder-link")));
    EXPECT_EQ(dir.read("target.txt"), "keep");
    EXPECT_TRUE(dir.exists("folder"));
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

namespace {

// Sets TZ for one scope.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string old_;
    bool hadOld_ = false;
};

}  // namespace

TEST(Files, LocalTimeToFileTime) {
    // 2020-01-02 03:04:05 UTC.
    constexpr FileTime kUtc = kFileTimeUnixEpoch + 1577934245ULL * 10000000ULL;
    constexpr FileTime kHour = 3600ULL * 10000000ULL;
    struct Case {
        const char* zone;
        int y, mo, d, h, mi, s;
        bool valid;
        FileTime expected;
        // clang-format off
    } cases[] = {
        {"UTC0", 2020, 1, 2, 3, 4, 5, true, kUtc},
        {"CST-8", 2020, 1, 2, 11, 4, 5, true, kUtc},  // Taipei: UTC+8
        {"UTC0", 2000, 2, 29, 0, 0, 0, true, kFileTimeUnixEpoch + 951782400ULL * 10000000ULL},
        {"UTC0", 1601, 1, 1, 0, 0, 0, true, 0},
        {"UTC0", 2021, 2, 29, 0, 0, 0, false, 0},
        {"UTC0", 1900, 2, 29, 0, 0, 0, false, 0},
        {"UTC0", 2020, 4, 31, 0, 0, 0, false, 0},
        {"UTC0", 2020, 13, 1, 0, 0, 0, false, 0},
        {"UTC0", 2020, 0, 1, 0, 0, 0, false, 0},
        {"UTC0", 2020, 1, 0, 0, 0, 0, false, 0},
        {"UTC0", 2020, 1, 1, 24, 0, 0, false, 0},
        {"UTC0", 2020, 1, 1, 0, 60, 0, false, 0},
        {"UTC0", 2020, 1, 1, 0, 0, 60, false, 0},
        {"UTC0", 1600, 12, 31, 0, 0, 0, false, 0},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.zone << " " << c.y << "-" << c.mo << "-" << c.d << " "
                                        << c.h << ":" << c.mi << ":" << c.s);
        ScopedTimeZone zone(c.zone);
        FileTime out = 42;
        EXPECT_EQ(localTimeToFileTime(c.y, c.mo, c.d, c.h, c.mi, c.s, out), c.valid);
        if (c.valid) {
            EXPECT_EQ(out, c.expected);
        }
    }
    // Summer time is the zone's to decide: 12:00 in July in Central Europe is 10:00 UTC.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    FileTime summer = 0, winter = 0;
    ASSERT_TRUE(localTimeToFileTime(2020, 7, 1, 12, 0, 0, summer));
    ASSERT_TRUE(localTimeToFileTime(2020, 1, 1, 12, 0, 0, winter));
    EXPECT_EQ(summer % (24 * kHour), 10 * kHour + kFileTimeUnixEpoch % (24 * kHour));
    EXPECT_EQ(winter % (24 * kHour), 11 * kHour + kFileTimeUnixEpoch % (24 * kHour));
}

TEST(Files, SetTimesChangesOnlyWhatIsGiven) {
    TempDir dir;
    File file;
    ASSERT_TRUE(file.open(dir.file("t"), AccessWrite, Disposition::CreateAlways));
    FileTime write = 0;
    ASSERT_TRUE(localTimeToFileTime(2001, 2, 3, 4, 5, 6, write));
    FileTime access = write + 10000000ULL * 60 + 5;  // a minute later, and 500 ns
    FileTime creation = 0;
    ASSERT_TRUE(file.setTimes(&creation, &access, &write));
    struct stat st {};
    ASSERT_EQ(stat(dir.file("t").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, static_cast<time_t>((write - kFileTimeUnixEpoch) / 10000000));
    EXPECT_EQ(st.st_atim.tv_sec - st.st_mtim.tv_sec, 60);
    EXPECT_EQ(st.st_atim.tv_nsec, 500);

    ASSERT_TRUE(file.setTimes(nullptr, nullptr, nullptr));
    struct stat again {};
    ASSERT_EQ(stat(dir.file("t").c_str(), &again), 0);
    EXPECT_EQ(again.st_mtim.tv_sec, st.st_mtim.tv_sec);
    EXPECT_EQ(again.st_atim.tv_sec, st.st_atim.tv_sec);
}

TEST(Errors, ErrnoTableAndTexts) {
    struct Case {
        int err;
        uint32_t code;
        // clang-format off
    } cases[] = {
        {0, winerr::SUCCESS},
        {ENOENT, winerr::FILE_NOT_FOUND},
        {ENOTDIR, winerr::PATH_NOT_FOUND},
        {EACCES, winerr::ACCESS_DENIED},
        {EPERM, winerr::ACCESS_DENIED},
        {ENOTEMPTY, winerr::DIR_NOT_EMPTY},
        {EBUSY, winerr::SHARING_VIOLATION},
        {ETXTBSY, winerr::SHARING_VIOLATION},
        {EEXIST, winerr::ALREADY_EXISTS},
        {ENOSPC, winerr::DISK_FULL},
        {ENAMETOOLONG, winerr::FILENAME_EXCED_RANGE},
        {EROFS, winerr::WRITE_PROTECT},
        {EMFILE, winerr::TOO_MANY_OPEN_FILES},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        EXPECT_EQ(windowsErrorFromErrno(c.err), c.code);
        EXPECT_FALSE(systemErrorText(c.code).empty());
    }
    EXPECT_EQ(systemErrorText(10061), "Connection refused");
    EXPECT_EQ(systemErrorText(winerr::NO_MORE_FILES), "There are no more files.");
    EXPECT_EQ(systemErrorText(99999), "Unknown error 99999");
}

// One table serves both the socket layer's error numbers and their texts, so every
// number the socket layer can report has a text, and each errno comes back as the
// number Windows gives for it.
TEST(Errors, SocketErrnoTableAndTexts) {
    namespace wsa = net::wsa;
    struct Case {
        int err;
        int code;
        // clang-format off
    } cases[] = {
        {0, 0},
        {EINTR, wsa::kInterrupted},
        {EACCES, wsa::kAccessDenied},
        {EPERM, wsa::kAccessDenied},
        {EAGAIN, wsa::kWouldBlock},
        {EPFNOSUPPORT, wsa::kProtocolFamilyNotSupported},
        {ECONNRESET, wsa::kConnectionReset},
        {EPIPE, wsa::kConnectionReset},
        {ENOMEM, wsa::kNoBufferSpace},
        {ETIMEDOUT, wsa::kTimedOut},
        {ECONNREFUSED, wsa::kConnectionRefused},
        {ENAMETOOLONG, wsa::kNameTooLong},
        {EHOSTUNREACH, wsa::kHostUnreachable},
        {ENOENT, wsa::kInvalidArgument},  // no socket meaning
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        EXPECT_EQ(net::errorFromErrno(c.err), c.code);
    }
    const int numbers[] = {
        wsa::kInterrupted,
        wsa::kBadHandle,
        wsa::kAccessDenied,
        wsa::kBadAddress,
        wsa::kInvalidArgument,
        wsa::kTooManySockets,
        wsa::kWouldBlock,
        wsa::kInProgress,
        wsa::kAlreadyInProgress,
        wsa::kNotSocket,
        wsa::kDestinationRequired,
        wsa::kMessageTooLong,
        wsa::kWrongProtocolType,
        wsa::kBadProtocolOption,
        wsa::kProtocolNotSupported,
        wsa::kSocketTypeNotSupported,
        wsa::kOperationNotSupported,
        wsa::kProtocolFamilyNotSupported,
        wsa::kAddressFamilyNotSupported,
        wsa::kAddressInUse,
        wsa::kAddressNotAvailable,
        wsa::kNetworkDown,
        wsa::kNetworkUnreachable,
        wsa::kNetworkReset,
        wsa::kConnectionAborted,
        wsa::kConnectionReset,
        wsa::kNoBufferSpace,
        wsa::kAlreadyConnected,
        wsa::kNotConnected,
        wsa::kShutDown,
        wsa::kTimedOut,
        wsa::kConnectionRefused,
        wsa::kNameTooLong,
        wsa::kHostDown,
        wsa::kHostUnreachable,
        wsa::kHostNotFound,
        wsa::kTryAgain,
        wsa::kNoRecovery,
        wsa::kNoData,
    };
    for (int number : numbers) {
        SCOPED_TRACE(number);
        EXPECT_EQ(systemErrorText(uint32_t(number)).find("Unknown error"), std::string::npos);
    }
    EXPECT_EQ(systemErrorText(uint32_t(wsa::kNameTooLong)), "File name too long");
    EXPECT_EQ(systemErrorText(uint32_t(wsa::kConnectionReset)), "Connection reset by peer");
}
