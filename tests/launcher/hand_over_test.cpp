// The hand-over with what Linux alone has: file modes and a second user, the started
// updater reaped in a PID namespace, a package made on Windows started through wine,
// names that differ only in case. The unpacking's order, bounds and checked package
// hold on both systems: hand_over_unpack_test.cpp.
#include "launcher/hand_over.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hand_over_messages.h"
#include "platform/process.h"
#include "support/builders/argument_records.h"
#include "support/builders/pe_image.h"
#include "support/builders/zip_builder.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/pid_namespace.h"
#include "support/sandbox/unprivileged.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::ArgumentRecords;
using testsupport::messageBoxes;
using testsupport::unixEntry;
using testsupport::windowsEntry;
using testsupport::ZipEntryPlan;

namespace {

constexpr unsigned kShortPause = 1;

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// The hand-over ends updater processes by name, so every test runs in its own PID
// namespace (see rerunInOwnPidNamespace). There the test program is process 1: updaters
// that outlive a child of ours come back to it, so they can be reaped.
class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Message boxes go to standard error, where the tests read them.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        game.enter();
    }
    void TearDown() override { ::unlink(game.file("wait").c_str()); }

    // The stand-in client updater, as the package or the installation holds it.
    static std::string updaterBytes() {
        return testsupport::readFile(testsupport::binaryPath("record_args"));
    }
    void installUpdater() const {
        game.copyIn(testsupport::binaryPath("record_args"), kClientUpdater);
    }
    void writePackage(const std::vector<ZipEntryPlan>& entries) const {
        // Written under the patch step's name; the hand-over reads "Update.rar".
        game.write("update.rar", testsupport::buildZip(entries));
    }
    bool archiveLeft() const { return game.exists("update.rar") || game.exists("Update.rar"); }

    bool handOver(const LaunchArguments& arguments) {
        uint32_t pid = 0;
        const bool ok = handOverToClientUpdater(arguments, &pid, kShortPause);
        if (ok) started.push_back(testsupport::Subprocess::adopt(int(pid)));
        return ok;
    }

    testsupport::TempDir game;
    std::vector<testsupport::Subprocess> started;  // updaters, ended before the folder goes
};

TEST_F(HandOverTest, UnpacksThePackageOverTheFilesAndStartsTheNewUpdater) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    game.write(kClientUpdater, "the outdated updater, not even executable");
    ::chmod(game.file(kClientUpdater).c_str(), 0644);
    game.write("data.txt", "old data");
    ::chmod(game.file("data.txt").c_str(), 0444);
    game.write("keep.txt", "not in the package");
    const std::string updater = updaterBytes();
    writePackage({
        unixEntry(kClientUpdater, updater, 0100755),
        windowsEntry("data.txt", "new data"),
        unixEntry("Patch/notes.txt", "release notes", 0100644),
        unixEntry("VeltoraUpdate.exe", "companion", 0100755),
    });
    LaunchArguments arguments{"x", "y", "http://127.0.0.1:8080/", "8080"};

    // As a player, for whom a read-only file is really read-only (root may write it).
    if (::geteuid() == 0) {
        for (const auto& entry : fs::recursive_directory_iterator(game.path()))
            ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::lchown(game.path().c_str(), 65534, 65534), 0);
    }
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int rc = testsupport::runInChild([&] {
        ::close(pipeFds[0]);
        if (!testsupport::dropRootPrivileges()) return 2;
        uint32_t pid = 0;
        const bool ok = handOverToClientUpdater(arguments, &pid, kShortPause);
        (void)!::write(pipeFds[1], &pid, sizeof pid);
        return ok ? 0 : 1;
    });
    ::close(pipeFds[1]);
    uint32_t pid = 0;
    EXPECT_EQ(::read(pipeFds[0], &pid, sizeof pid), ssize_t(sizeof pid));
    ::close(pipeFds[0]);
    ASSERT_EQ(rc, 0);
    started.push_back(testsupport::Subprocess::adopt(int(pid)));

    EXPECT_EQ(game.read(kClientUpdater), updater);
    EXPECT_EQ(modeOf(game.file(kClientUpdater)) & 0111, 0111u);
    EXPECT_EQ(game.read("data.txt"), "new data");
    EXPECT_EQ(game.read("Patch/notes.txt"), "release notes");
    EXPECT_EQ(game.read("VeltoraUpdate.exe"), "companion");
    EXPECT_EQ(game.read("keep.txt"), "not in the package");
    EXPECT_FALSE(archiveLeft());
    const ArgumentRecords records = testsupport::waitForArgumentRecords(game.path(), 1);
    const ArgumentRecords expected = {
        {"4718", "x", "y", "PatchIP:http://127.0.0.1:8080/", "PatchPort:8080"}};
    EXPECT_EQ(records, expected);
}

TEST_F(HandOverTest, EndsARunningUpdaterAndReplacesItsFile) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    installUpdater();
    game.write("wait", "");
    uint32_t pid = 0;
    ASSERT_TRUE(platform::shellOpen(kClientUpdater, "already running", &pid));
    testsupport::Subprocess running = testsupport::Subprocess::adopt(int(pid));
    ASSERT_EQ(testsupport::waitForArgumentRecords(game.path(), 1).size(), 1u);

    // A different file: the same program with bytes appended.
    const std::string newUpdater = updaterBytes() + "release 2";
    writePackage({unixEntry(kClientUpdater, newUpdater, 0100755)});
    testing::internal::CaptureStderr();
    ASSERT_TRUE(handOver({}));
    const std::string messages = testing::internal::GetCapturedStderr();

    EXPECT_TRUE(running.wait(10000));
    EXPECT_EQ(running.signal(), SIGKILL);
    EXPECT_EQ(game.read(kClientUpdater), newUpdater);
    EXPECT_FALSE(archiveLeft());
    EXPECT_EQ(messages.find("Reboot"), std::string::npos) << messages;
    ::unlink(game.file("wait").c_str());
    const ArgumentRecords records = testsupport::waitForArgumentRecords(game.path(), 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1], std::vector<std::string>{"4718"});
}

TEST_F(HandOverTest, UpdaterReceivesTheLaunchCodeAndTheGivenPiecesAsSeparateWords) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    struct Case {
        const char* label;
        LaunchArguments arguments;
        const char* parameters;
        std::vector<std::string> words;
    };
    // clang-format off
    const Case cases[] = {
        {"no arguments", {}, "4718", {"4718"}},
        {"one word and the server",
         {"x", "", "1.2.3.4", "99"},
         "4718 x PatchIP:1.2.3.4 PatchPort:99",
         {"4718", "x", "PatchIP:1.2.3.4", "PatchPort:99"}},
        {"port alone", {"", "", "", "8080"}, "4718 PatchPort:8080", {"4718", "PatchPort:8080"}},
        {"a value with spaces is not quoted",
         {"Player One", "y", "", ""},
         "4718 Player One y",
         {"4718", "Player", "One", "y"}},
    };
    // clang-format on
    installUpdater();
    size_t count = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(clientUpdaterParameters(c.arguments), c.parameters);
        // No archive: the updater starts directly.
        ASSERT_TRUE(handOver(c.arguments));
        const ArgumentRecords records = testsupport::waitForArgumentRecords(game.path(), ++count);
        ASSERT_EQ(records.size(), count);
        EXPECT_EQ(records.back(), c.words);
    }
}

TEST_F(HandOverTest, AnArchiveThatCannotBeOpenedIsDeletedAndTheUpdaterStillStarts) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    const std::string package = testsupport::buildZip({windowsEntry("data.txt", "new data")});
    struct Case {
        const char* label;
        std::string bytes;
    };
    // clang-format off
    const Case cases[] = {
        {"not a zip archive", "Rar!\x1a\x07 this is no zip archive"},
        {"a zip signature and nothing of an archive", "PK\x03\x04 but nothing of a zip archive follows"},
        {"cut short", package.substr(0, package.size() / 2)},
        {"empty file", ""},
    };
    // clang-format on
    installUpdater();
    size_t count = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        game.write("data.txt", "old data");
        game.write("update.rar", c.bytes);
        ASSERT_TRUE(handOver({}));
        EXPECT_EQ(game.read("data.txt"), "old data");
        EXPECT_FALSE(archiveLeft());
        EXPECT_EQ(testsupport::waitForArgumentRecords(game.path(), ++count).size(), count);
    }
}

// Whatever is wrong with an entry's data, the file it would replace stays as it was,
// byte for byte and mode for mode: the installed updater still reads as outdated, so the
// next start fetches the package again. Damaged data counts as done (no reboot box);
// a password the hand-over does not have is retried and then reported.
TEST_F(HandOverTest, DamagedEntriesLeaveTheInstalledFilesAsTheyWere) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    const std::string updater = updaterBytes();
    std::string flippedStored = updater;
    flippedStored[flippedStored.size() / 2] ^= 0x55;
    std::string flippedDeflated = testsupport::deflateRaw(updater);
    flippedDeflated[flippedDeflated.size() / 2] ^= 0x55;
    const std::string cutDeflated =
        testsupport::deflateRaw(updater).substr(0, flippedDeflated.size() / 2);
    struct Case {
        const char* label;
        std::optional<std::string> payload;
        bool deflate;
        std::optional<std::string> password;
        mode_t installedMode;
        mode_t modeAfter;  // the hand-over makes a read-only target writable first
        bool reboot;
    };
    // clang-format off
    const Case cases[] = {
        {"one byte flipped in stored data", flippedStored, false, {}, 0755, 0755, false},
        {"one byte flipped in deflated data", flippedDeflated, true, {}, 0755, 0755, false},
        {"the data end early", cutDeflated, true, {}, 0755, 0755, false},
        {"encrypted, as zip -P makes it", {}, true, "secret", 0755, 0755, true},
        {"over a read-only updater", flippedStored, false, {}, 0555, 0755, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        game.write(kClientUpdater, "the outdated updater");
        ::chmod(game.file(kClientUpdater).c_str(), c.installedMode);
        game.write("data.txt", "old data");
        ZipEntryPlan entry = unixEntry(kClientUpdater, updater, 0100755);
        entry.deflate = c.deflate;
        entry.payload = c.payload;
        entry.password = c.password;
        writePackage({entry, windowsEntry("data.txt", "new data")});

        testing::internal::CaptureStderr();
        installPatchArchive(kShortPause);
        const std::string messages = messageBoxes(testing::internal::GetCapturedStderr());
        EXPECT_EQ(game.read(kClientUpdater), "the outdated updater");
        EXPECT_EQ(modeOf(game.file(kClientUpdater)), c.modeAfter);
        EXPECT_EQ(game.read("data.txt"), "new data");
        EXPECT_FALSE(archiveLeft());
        EXPECT_EQ(messages, c.reboot ? "[Reboot] Please reboot computer \n" : "");
        for (const auto& entry : fs::directory_iterator(game.path()))
            EXPECT_EQ(entry.path().string().find(".~launcher"), std::string::npos) << entry.path();
        ::chmod(game.file(kClientUpdater).c_str(), 0755);
    }
}

// On Linux "update.rar" and "Update.rar" are two files. The patch step downloads and
// checks "update.rar"; a stale "Update.rar" beside it, never checked, must not be what
// is unpacked.
TEST_F(HandOverTest, UnpacksTheFileThePatchStepWroteNotAnotherCaseOfItsName) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    game.write("data.txt", "old data");
    game.write("Update.rar", testsupport::buildZip({windowsEntry("data.txt", "unchecked data")}));
    writePackage({windowsEntry("data.txt", "checked data")});
    installPatchArchive(kShortPause);
    EXPECT_EQ(game.read("data.txt"), "checked data");
    EXPECT_FALSE(game.exists("update.rar"));
}

TEST_F(HandOverTest, AnEntryThatCannotBeWrittenAsksForARebootAndTheRestGoesOn) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    installUpdater();
    game.makeFolder("blocked.txt");  // a folder where the entry's file should go
    writePackage({windowsEntry("blocked.txt", "cannot land"), windowsEntry("after.txt", "landed")});

    testing::internal::CaptureStderr();
    ASSERT_TRUE(handOver({}));
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string messages = messageBoxes(err);
    EXPECT_EQ(messages, "[Reboot] Please reboot computer \n");
    EXPECT_NE(err.find("blocked.txt: a folder is in the way\n"), std::string::npos) << err;
    EXPECT_EQ(game.read("after.txt"), "landed");
    EXPECT_FALSE(archiveLeft());
    EXPECT_EQ(testsupport::waitForArgumentRecords(game.path(), 1).size(), 1u);
}

TEST_F(HandOverTest, AWindowsMadePackageStartsItsUpdaterThroughWine) {
    if (testsupport::rerunInOwnPidNamespace()) return;
    // A package made on Windows has no execute bits: its "ClientUpdate.exe" is a PE
    // image and runs through wine, here the stand-in recording its arguments.
    testsupport::TempDir bin;
    bin.copyIn(testsupport::binaryPath("record_args"), "wine");
    const std::string image = testsupport::buildPeImage().bytes;
    writePackage({windowsEntry(kClientUpdater, image)});
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    setenv("PATH", (bin.path() + ":" + savedPath).c_str(), 1);
    const bool ok = handOver({"x", "", "", "99"});
    setenv("PATH", savedPath.c_str(), 1);
    ASSERT_TRUE(ok);

    EXPECT_EQ(game.read(kClientUpdater), image);
    EXPECT_EQ(modeOf(game.file(kClientUpdater)) & 0111, 0u);
    const ArgumentRecords records = testsupport::waitForArgumentRecords(bin.path(), 1);
    ASSERT_EQ(records.size(), 1u);
    const std::vector<std::string> expected = {game.file(kClientUpdater), "4718", "x",
                                               "PatchPort:99"};
    EXPECT_EQ(records[0], expected);
}

}  // namespace
