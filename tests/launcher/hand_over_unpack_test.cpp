// The unpacking of the hand-over, on every system: the updater replaced last, the
// bounded waits, the package that was checked and nothing else, an entry that targets
// the package itself. The hand-over ends updater processes by name, so each test runs
// among the test's own processes only (support/sandbox/own_processes.h). What needs Linux (modes,
// a second user, the started updater, names that differ in case) is in
// hand_over_test.cpp.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "config/update_context.h"
#include "hand_over_messages.h"
#include "launcher/hand_over.h"
#include "support/builders/zip_builder.h"
#include "support/sandbox/own_processes.h"
#include "support/system/environment.h"
#include "support/system/file_bytes.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"
#include "update/package_verification.h"
#include "update/release_statement.h"

namespace fs = std::filesystem;
using testsupport::messageBoxes;
using testsupport::PerSystem;
using testsupport::unixEntry;
using testsupport::windowsEntry;
using testsupport::ZipEntryPlan;

namespace {

constexpr unsigned kShortPause = 1;

class HandOverUnpackTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Message boxes go to standard error, where the tests read them.
        testsupport::unsetEnvironment("DISPLAY");
        testsupport::unsetEnvironment("WAYLAND_DISPLAY");
        game.enter();
    }

    // The stand-in client updater, as the package holds it.
    static std::string updaterBytes() {
        return testsupport::readFile(testsupport::binaryPath("record_args"));
    }
    void writePackage(const std::vector<ZipEntryPlan>& entries) const {
        // Written under the patch step's name; the hand-over reads "Update.rar".
        game.write("update.rar", testsupport::buildZip(entries));
    }
    bool archiveLeft() const { return game.exists("update.rar") || game.exists("Update.rar"); }

    testsupport::TempDir game;
};

// "ClientUpdate.exe", whose version decides whether the next start fetches the package
// again, is replaced only once every other entry is installed: after any failure it
// still reads as outdated. The other entries are unpacked as always.
TEST_F(HandOverUnpackTest, TheUpdaterIsReplacedOnlyOnceEveryOtherEntryIsInstalled) {
    if (testsupport::rerunAmongOwnProcesses()) return;
    const std::string updater = updaterBytes();
    ZipEntryPlan damaged = windowsEntry("data.txt", "new data");
    damaged.deflate = false;
    damaged.payload = "NEW DATA";  // fails its CRC-32
    struct Case {
        const char* label;
        ZipEntryPlan before;  // stored ahead of the updater's entry
        ZipEntryPlan after;   // behind it
        bool blocked;         // a folder stands where "data.txt" goes
        bool installed;
        const char* messages;
    };
    // clang-format off
    const Case cases[] = {
        {"every entry installs", windowsEntry("a.txt", "a"), windowsEntry("data.txt", "new data"), false, true, ""},
        {"a later entry damaged", windowsEntry("a.txt", "a"), damaged, false, false, ""},
        {"an earlier entry damaged", damaged, windowsEntry("a.txt", "a"), false, false, ""},
        {"a later entry that cannot be written", windowsEntry("a.txt", "a"),
         windowsEntry("data.txt", "new data"), true, false, "[Reboot] Please reboot computer \n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(game.file("data.txt"));
        game.write(kClientUpdater, "the outdated updater");
        if (c.blocked) game.makeFolder("data.txt");
        writePackage({c.before, unixEntry(kClientUpdater, updater, 0100755), c.after});

        testing::internal::CaptureStderr();
        installPatchArchive(kShortPause);
        EXPECT_EQ(messageBoxes(testing::internal::GetCapturedStderr()), c.messages);
        EXPECT_EQ(game.read(kClientUpdater) == updater, c.installed);
        EXPECT_EQ(game.read("a.txt"), "a");
        EXPECT_FALSE(archiveLeft());
    }
}

// An entry under the package's own name would replace the archive being read. As the
// archive's share mode does on Windows, only that entry fails its attempts; every other
// entry, before and after it, is installed, but the updater then stays outdated.
TEST_F(HandOverUnpackTest, AnEntryThatTargetsThePackageItselfFailsAlone) {
    if (testsupport::rerunAmongOwnProcesses()) return;
    const std::string updater = updaterBytes();
    for (const char* name : {"update.rar", "UPDATE.RAR", "./Update.rar", "x/../update.rar"}) {
        SCOPED_TRACE(name);
        game.write(kClientUpdater, "the outdated updater");
        game.write("data.txt", "old data");
        writePackage({unixEntry(kClientUpdater, updater, 0100755),
                      windowsEntry(name, "no package at all"),
                      windowsEntry("data.txt", "new data")});

        testing::internal::CaptureStderr();
        installPatchArchive(kShortPause);
        const std::string err = testing::internal::GetCapturedStderr();
        const std::string messages = messageBoxes(err);
        EXPECT_EQ(messages, "[Reboot] Please reboot computer \n");
        if (!testsupport::onWindows()) {
            EXPECT_NE(err.find(": the target is the archive\n"), std::string::npos) << err;
        }
        EXPECT_EQ(game.read(kClientUpdater), "the outdated updater");
        EXPECT_EQ(game.read("data.txt"), "new data");
        EXPECT_FALSE(archiveLeft());
    }
}

// With a key, the hand-over unpacks the very file whose digest the patch step checked: a
// package put at "update.rar" in between, over the checked one or where there was none,
// is never unpacked, and goes with the name. Windows refuses the swap itself: the
// checked file is held without write or delete sharing.
TEST_F(HandOverUnpackTest, SignedReleaseUnpacksOnlyTheFileThatWasVerified) {
    if (testsupport::rerunAmongOwnProcesses()) return;
    const std::string updater = updaterBytes();
    const std::string swapped =
        testsupport::buildZip({unixEntry(kClientUpdater, "#!/bin/sh\necho unsigned\n", 0100755),
                               windowsEntry("data.txt", "unsigned data")});
    const PerSystem<bool> heldFileSwapped = {
        true, false, "Windows holds the checked package without write or delete sharing"};
    struct Case {
        const char* label;
        bool signedPackage;  // a package stands at the name when it is checked
        bool renamedOver;    // the swap renames a new file over the name, else deletes first
    };
    const Case cases[] = {
        {"a file renamed over the checked one", true, true},
        {"the checked one deleted, then written anew", true, false},
        {"a file put where none was checked", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        game.write(kClientUpdater, "the installed updater");
        game.write("data.txt", "old data");
        ReleaseStatement statement;
        if (c.signedPackage) {
            writePackage({unixEntry(kClientUpdater, updater, 0100755),
                          windowsEntry("data.txt", "signed data")});
            ASSERT_TRUE(digestFile(game.file("update.rar"), statement.size, statement.sha512));
        }
        ASSERT_TRUE(acceptPatchPackage(updateContext, statement, "update.rar"));

        std::error_code error;
        if (c.renamedOver) {
            game.write("swap.zip", swapped);
            fs::rename(game.file("swap.zip"), game.file("update.rar"), error);
        } else {
            fs::remove(game.file("update.rar"), error);
            if (!error) {
                std::ofstream out(game.file("update.rar"), std::ios::binary);
                out << swapped;
            }
        }
        EXPECT_EQ(!error, c.signedPackage ? heldFileSwapped.here() : true) << error.message();
        installPatchArchive(kShortPause);

        // Compared whole, reported short: the updater is a program.
        const std::string installed = game.read(kClientUpdater);
        EXPECT_TRUE(installed == (c.signedPackage ? updater : "the installed updater"))
            << "the installed updater: " << installed.substr(0, 40);
        EXPECT_EQ(game.read("data.txt"), c.signedPackage ? "signed data" : "old data");
        EXPECT_FALSE(archiveLeft());
        fs::remove(game.file("swap.zip"), error);
    }
    updateContext.releaseSigned = false;
}

// The waits between attempts are bounded for the whole package: one of many entries
// that all fail cannot hold the start for their attempts' sum. Each still asks for a
// reboot, and the other entries are unpacked.
TEST_F(HandOverUnpackTest, TheWaitsOfTheWholeUnpackingAreBounded) {
    if (testsupport::rerunAmongOwnProcesses()) return;
    std::vector<ZipEntryPlan> entries;
    std::string expected;
    for (int i = 0; i < 4; ++i) {
        const std::string name = "blocked" + std::to_string(i) + ".txt";
        game.makeFolder(name);  // a folder where the entry's file should go
        entries.push_back(windowsEntry(name, "cannot land"));
        expected += "[Reboot] Please reboot computer \n";
    }
    entries.push_back(windowsEntry("after.txt", "landed"));
    writePackage(entries);

    // Unbounded, 4 entries of 19 waits of 50 ms would take 3.8 s.
    const auto started = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    installPatchArchive(50, 10);
    EXPECT_EQ(messageBoxes(testing::internal::GetCapturedStderr()), expected);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2000));
    EXPECT_EQ(game.read("after.txt"), "landed");
    EXPECT_FALSE(archiveLeft());
}

}  // namespace
