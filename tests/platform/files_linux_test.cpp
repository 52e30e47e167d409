// What the file services do with what only Linux has: modes and execute bits, symbolic
// links, descriptors, the process's time zone, and the errno tables behind the Windows
// codes. The shared contract is in files_test.cpp.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/posix/posix_detail.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/unprivileged.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace platform;
using testsupport::TempDir;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(Files, NewFilesTakeReadOnlyAndExecutableOptionsAsModes) {
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

namespace {

void checkAttributes(const TempDir& dir) {
    dir.write("f", "x");
    dir.makeFolder("d");

    // Read-only is "no write bit for anyone"; normal gives the owner's back.
    ASSERT_TRUE(setAttributes(dir.file("f"), FILE_ATTR_READONLY | FILE_ATTR_HIDDEN));
    EXPECT_EQ(modeOf(dir.file("f")) & 0222, 0u);
    ASSERT_TRUE(setAttributes(dir.file("f"), FILE_ATTR_NORMAL));
    EXPECT_NE(modeOf(dir.file("f")) & S_IWUSR, 0u);

    // A folder whose write bits are gone reads as read-only.
    chmod(dir.file("d").c_str(), 0555);
    EXPECT_EQ(getAttributes(dir.file("d")), FILE_ATTR_DIRECTORY | FILE_ATTR_READONLY);
    ASSERT_TRUE(setAttributes(dir.file("d"), FILE_ATTR_NORMAL));
    EXPECT_NE(modeOf(dir.file("d")) & S_IWUSR, 0u);
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

// Replacing a link replaces the link, never what it points to; the new file is a
// file of its own.
TEST(Files, ReplaceFileReplacesALinkNotWhatItPointsTo) {
    TempDir dir;
    dir.write("pointed-at", "pointed at");
    dir.write("new", "new");
    ASSERT_EQ(::symlink(dir.file("pointed-at").c_str(), dir.file("target").c_str()), 0);
    EXPECT_TRUE(replaceFile(dir.file("new"), dir.file("target")));
    EXPECT_FALSE(dir.exists("new"));
    EXPECT_EQ(dir.read("target"), "new");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("target").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(dir.read("pointed-at"), "pointed at");
}

TEST(Files, IsSameFileFollowsHardLinksNotSymbolicOnes) {
    TempDir dir;
    dir.write("update.rar", "package");
    ASSERT_EQ(::link(dir.file("update.rar").c_str(), dir.file("hard-link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("update.rar").c_str(), dir.file("soft-link").c_str()), 0);
    File archive;
    ASSERT_TRUE(archive.open(dir.file("update.rar"), AccessRead, Disposition::OpenExisting));
    EXPECT_TRUE(archive.isSameFile(dir.file("hard-link")));
    // Replacing the link leaves the file alone.
    EXPECT_FALSE(archive.isSameFile(dir.file("soft-link")));
}

TEST(Files, WriteFileReplacingKeepsTheMode) {
    TempDir dir;
    dir.write("settings.ini", "old");
    ::chmod(dir.file("settings.ini").c_str(), 0640);
    EXPECT_TRUE(writeFileReplacing(dir.file("settings.ini"), "new settings"));
    EXPECT_EQ(dir.read("settings.ini"), "new settings");
    EXPECT_EQ(modeOf(dir.file("settings.ini")), 0640u);
}

// A link planted at the temporary name goes as a link: nothing is written through it,
// and what it points to keeps its bytes and mode.
TEST(Files, ALinkAtATemporaryNameIsRemovedNotFollowed) {
    struct Case {
        const char* name;
        const char* pointsTo;  // in the folder
    };
    // clang-format off
    const Case cases[] = {
        {"a link to another file", "elsewhere"},
        {"a link to a folder", "folder"},
        {"a dangling link", "missing"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("target", "old");
        dir.write("elsewhere", "not ours");
        ::chmod(dir.file("elsewhere").c_str(), 0444);
        dir.makeFolder("folder");
        const std::string temporary = replacementPathFor(dir.file("target"));
        ASSERT_EQ(::symlink(dir.file(c.pointsTo).c_str(), temporary.c_str()), 0);
        EXPECT_TRUE(writeFileReplacing(dir.file("target"), "new"));
        EXPECT_EQ(dir.read("target"), "new");
        EXPECT_EQ(dir.read("elsewhere"), "not ours");
        EXPECT_EQ(modeOf(dir.file("elsewhere")), 0444u);
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("folder")));
        struct stat st {};
        EXPECT_NE(::lstat(temporary.c_str(), &st), 0);
    }
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

// The time zone is the process's (TZ) on Linux; a Windows program takes it from the
// system, which a test cannot change for one scope.
TEST(Files, LocalTimeToFileTimeFollowsTheZone) {
    // 2020-01-02 03:04:05 UTC.
    constexpr FileTime kUtc = kFileTimeUnixEpoch + 1577934245ULL * 10000000ULL;
    constexpr FileTime kHour = 3600ULL * 10000000ULL;
    {
        ScopedTimeZone zone("CST-8");  // Taipei: UTC+8
        FileTime out = 42;
        ASSERT_TRUE(localTimeToFileTime(2020, 1, 2, 11, 4, 5, out));
        EXPECT_EQ(out, kUtc);
    }
    // Summer time is the zone's to decide: 12:00 in July in Central Europe is 10:00 UTC.
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    FileTime summer = 0, winter = 0;
    ASSERT_TRUE(localTimeToFileTime(2020, 7, 1, 12, 0, 0, summer));
    ASSERT_TRUE(localTimeToFileTime(2020, 1, 1, 12, 0, 0, winter));
    EXPECT_EQ(summer % (24 * kHour), 10 * kHour + kFileTimeUnixEpoch % (24 * kHour));
    EXPECT_EQ(winter % (24 * kHour), 11 * kHour + kFileTimeUnixEpoch % (24 * kHour));
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
