// Crash mode end to end: the built program, copied into a game folder, against
// pyftpdlib on port 21 in a private network namespace. A refused log-on is tested on
// the upload itself, where the scripted server shows every session.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/builders/game_folder.h"
#include "support/peers/pyftpdlib_server.h"
#include "support/sandbox/private_network.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using testsupport::PyftpdlibServer;
using testsupport::TempDir;
using Strings = std::vector<std::string>;

namespace {

using testsupport::inPrivateNetwork;

std::string pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
    return data;
}

Strings lines(const std::string& text) {
    Strings out;
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
        out.push_back(text.substr(start, lf - start));
    return out;
}

size_t countOf(const Strings& all, const std::string& line) {
    return static_cast<size_t>(std::count(all.begin(), all.end(), line));
}

// A game folder with a copy of the program, a server root and a command log.
struct Stage {
    testsupport::GameFolder game;
    TempDir server;
    // Runs, inside the caller's private network, pyftpdlib on port 21 and then the program.
    testsupport::ProgramResult run(const std::string& credentials, bool sizeInAnyType) {
        PyftpdlibServer::Options options;
        options.root = server.file("root");
        options.user = "crash";
        options.password = "se:cret";
        options.commandLog = server.file("commands.log");
        options.watch = game.file("KilnDev.ini");
        options.sizeInAnyType = sizeInAnyType;
        server.makeFolder("root");
        PyftpdlibServer ftp(options);
        if (!ftp.running()) {
            ADD_FAILURE() << "pyftpdlib did not start";
            return {};
        }
        return game.run({"crash", "127.0.0.1", credentials, "crash"});
    }
    Strings log() const { return lines(server.read("commands.log")); }
};

}  // namespace

class CrashModeEndToEnd : public testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_PORT_21_SERVER(true); }
};

TEST_F(CrashModeEndToEnd, FolderExampleReachesTheServerAndTheFolderGoes) {
    inPrivateNetwork([] {
        Stage stage;
        stage.game.dir().write("crash/RA_0001.ZIP", "first archive");
        stage.game.dir().write("crash/ra_0002.zip.tmp", "second, unfinished");
        stage.game.dir().write("crash/crash.dmp", "memory dump");
        stage.game.dir().write("crash/old/ra9.zip", "an older one");

        auto result = stage.run("crash:se:cret", false);
        EXPECT_EQ(result.exitCode, 1) << result.err;

        EXPECT_EQ(stage.server.read("root/ra_0001.zip"), "first archive");
        EXPECT_EQ(stage.server.read("root/ra_0002.zip.tmp"), "second, unfinished");
        EXPECT_EQ(stage.server.read("root/ra9.zip"), "an older one");
        EXPECT_FALSE(stage.server.exists("root/crash.dmp"));
        EXPECT_FALSE(stage.server.exists("root/old"));
        EXPECT_FALSE(stage.game.dir().exists("crash"));
        EXPECT_TRUE(stage.game.dir().exists("launcher"));

        const Strings log = stage.log();
        EXPECT_EQ(countOf(log, "USER crash"), 3u) << "one connection per file";
        EXPECT_EQ(countOf(log, "QUIT"), 3u);
        // The server deletes the settings file after each upload: it was there only after
        // the subfolder had been done, and it was written again after the crash folder.
        Strings watch;
        for (const auto& line : log)
            if (line.rfind("watch ", 0) == 0) watch.push_back(line.substr(6));
        EXPECT_EQ(watch, (Strings{"absent", "absent", "present"}));
        const std::string settings = stage.game.dir().read("KilnDev.ini");
        EXPECT_NE(settings.find("[Crash]"), std::string::npos) << settings;
        EXPECT_NE(settings.find("NeedCheck = 1"), std::string::npos) << settings;
    });
}

TEST_F(CrashModeEndToEnd, PartialRemoteFileIsContinuedWithAppe) {
    inPrivateNetwork([] {
        Stage stage;
        const std::string data = pattern(100000);
        stage.game.dir().write("crash/ra_big.zip", data);
        stage.server.write("root/ra_big.zip", data.substr(0, 30000));

        auto result = stage.run("crash:se:cret", true);
        EXPECT_EQ(result.exitCode, 1) << result.err;

        EXPECT_TRUE(stage.server.read("root/ra_big.zip") == data) << "the copy is not whole";
        const Strings log = stage.log();
        EXPECT_EQ(countOf(log, "SIZE ra_big.zip"), 1u);
        EXPECT_EQ(countOf(log, "APPE ra_big.zip"), 1u);
        EXPECT_EQ(countOf(log, "STOR ra_big.zip"), 0u);
        EXPECT_FALSE(stage.game.dir().exists("crash"));
    });
}
