// Update mode to its end: the built program in a game folder fetches the package from
// lighttpd, unpacks it over the client updater's files and starts the updater. The
// updater is the tests' own program that records its arguments. Ending a running
// updater and a package that cannot be opened are tested on the hand-over itself.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/builders/argument_records.h"
#include "support/builders/game_folder.h"
#include "support/builders/pe_image.h"
#include "support/builders/zip_builder.h"
#include "support/peers/lighttpd_server.h"
#include "support/sandbox/pid_namespace.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace testsupport;

namespace {

class UpdateModeHandOverTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The server's address comes from the arguments; these settings must lose.
        game.dir().write("update.ini",
                         "[BOOT]\nVersionURL=http://127.0.0.1:1/unused/\n"
                         "DownloadURL=http://127.0.0.1:1/unused/\nDownloadPort=1\nZipPath=Patch\n");
    }

    static std::string recorder() { return readFile(binaryPath("record_args")); }
    void installRecorder() const {
        game.dir().copyIn(binaryPath("record_args"), "ClientUpdate.exe");
    }

    void publish(const std::string& version, const std::string& package) const {
        packages.write("version.txt", "[Current Version]\nUpdateFile=" + version + ".zip\n");
        packages.write(version + ".zip", package);
    }

    // The launcher as a player starts it: x y z PatchIP:URL PatchPort:P.
    std::vector<std::string> arguments() const {
        return {"x", "y", "z", "PatchIP:" + server.url(),
                "PatchPort:" + std::to_string(server.port())};
    }
    std::vector<std::string> forwarded() const {
        return {"4718", "x", "y", "PatchIP:" + server.url(),
                "PatchPort:" + std::to_string(server.port())};
    }

    std::vector<std::string> requests() {
        std::vector<std::string> lines;
        for (const auto& line : server.stopAndReadLog())
            lines.push_back(line.request + " " + std::to_string(line.status));
        return lines;
    }

    GameFolder game;
    TempDir packages;
    LighttpdServer server{packages.path()};
};

TEST_F(UpdateModeHandOverTest, OutdatedUpdaterIsReplacedAndStartedWithTheForwardedWords) {
    // Unpacking ends updater processes by name.
    if (rerunInOwnPidNamespace()) return;
    ASSERT_TRUE(server.running());
    installRecorder();
    game.dir().write("Readme.txt", "old notes");
    const std::string newUpdater = recorder() + "release 2";
    publish("2.0.13.6", buildZip({unixEntry("ClientUpdate.exe", newUpdater, 0100755),
                                  unixEntry("Readme.txt", "new notes", 0100444)}));
    // A read-only file among those replaced, for a player (root writes it anyway).
    ASSERT_EQ(::chmod(game.file("Readme.txt").c_str(), 0444), 0);
    game.handToPlayer();

    const ProgramResult result = game.runAsPlayer(arguments());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(game.dir().read("ClientUpdate.exe"), newUpdater);
    EXPECT_EQ(game.dir().read("Readme.txt"), "new notes");
    EXPECT_FALSE(game.dir().exists("update.rar"));
    const ArgumentRecords records = waitForArgumentRecords(game.path(), 1);
    EXPECT_EQ(records, ArgumentRecords{forwarded()});
    EXPECT_EQ(requests(), (std::vector<std::string>{"GET /version.txt HTTP/1.1 200",
                                                    "GET /2.0.13.6.zip HTTP/1.1 200"}));
}

TEST_F(UpdateModeHandOverTest, CurrentUpdaterStartsDirectlyThroughWine) {
    ASSERT_TRUE(server.running());
    // A Windows updater of the version the server names: nothing to fetch, no
    // "update.rar", and the updater starts through wine (here the recording stand-in).
    game.dir().write("ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));
    game.dir().write("vcfile.res", "");
    publish("2.0.13.5", "must not be fetched");
    TempDir bin;
    bin.copyIn(binaryPath("record_args"), "wine");
    game.prependToPath(bin.path());

    const ProgramResult result = game.run(arguments());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(game.dir().exists("update.rar"));
    const ArgumentRecords records = waitForArgumentRecords(bin.path(), 1);
    ASSERT_EQ(records.size(), 1u);
    std::vector<std::string> expected = forwarded();
    expected.insert(expected.begin(), game.file("ClientUpdate.exe"));
    EXPECT_EQ(records[0], expected);
    EXPECT_EQ(requests(), std::vector<std::string>{"GET /version.txt HTTP/1.1 200"});
}

}  // namespace
