// Crash mode end to end: the built program, copied into a game folder, against
// pyftpdlib on port 21 in a private network namespace.
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/background_process.h"
#include "support/child_process.h"
#include "support/private_network.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using testsupport::BackgroundProcess;
using testsupport::TempDir;
using Strings = std::vector<std::string>;

namespace {

using testsupport::inPrivateNetwork;

const char kPython[] = "/usr/bin/python3";

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
    TempDir top;
    Stage() {
        top.copyIn(testsupport::binaryPath("launcher"), "game/launcher");
        top.makeFolder("server");
        top.makeFolder("run");
    }
    // Runs, inside the caller's private network, pyftpdlib and then the program.
    testsupport::ProgramResult run(const std::string& credentials, bool sizeInAnyType) {
        Strings serverArgs = {LAUNCHER_SOURCE_DIR "/tests/support/ftp_server.py",
                              "--root", top.file("server"),
                              "--user", "crash",
                              "--password", "se:cret",
                              "--log", top.file("commands.log"),
                              "--watch", top.file("game/KilnDev.ini")};
        if (sizeInAnyType) serverArgs.push_back("--size-any-type");
        BackgroundProcess server(kPython, serverArgs);
        if (!server.waitForLine("ready")) {
            ADD_FAILURE() << "pyftpdlib did not start";
            return {};
        }
        testsupport::ProgramOptions options;
        options.workingDirectory = top.file("game");
        options.environment = {{"XDG_RUNTIME_DIR", top.file("run")}};
        return testsupport::runProgram(top.file("game/launcher"),
                                       {"crash", "127.0.0.1", credentials, "crash"}, options);
    }
    Strings log() const { return lines(top.read("commands.log")); }
};

}  // namespace

class CrashModeEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testsupport::privateNetworkAvailable(why)) {
            GTEST_SKIP() << "needs a private network namespace (unshare -rn) for port 21: " << why;
        }
        if (::access(kPython, X_OK) != 0 ||
            testsupport::runProgram(kPython, {"-c", "import pyftpdlib"}).exitCode != 0) {
            GTEST_SKIP() << "needs pyftpdlib for /usr/bin/python3 (python3-pyftpdlib)";
        }
    }
};

TEST_F(CrashModeEndToEnd, FolderExampleReachesTheServerAndTheFolderGoes) {
    inPrivateNetwork([] {
        Stage stage;
        stage.top.write("game/crash/RA_0001.ZIP", "first archive");
        stage.top.write("game/crash/ra_0002.zip.tmp", "second, unfinished");
        stage.top.write("game/crash/crash.dmp", "memory dump");
        stage.top.write("game/crash/old/ra9.zip", "an older one");

        auto result = stage.run("crash:se:cret", false);
        EXPECT_EQ(result.exitCode, 1) << result.err;

        EXPECT_EQ(stage.top.read("server/ra_0001.zip"), "first archive");
        EXPECT_EQ(stage.top.read("server/ra_0002.zip.tmp"), "second, unfinished");
        EXPECT_EQ(stage.top.read("server/ra9.zip"), "an older one");
        EXPECT_FALSE(stage.top.exists("server/crash.dmp"));
        EXPECT_FALSE(stage.top.exists("server/old"));
        EXPECT_FALSE(stage.top.exists("game/crash"));
        EXPECT_TRUE(stage.top.exists("game/launcher"));

        const Strings log = stage.log();
        EXPECT_EQ(countOf(log, "USER crash"), 3u) << "one connection per file";
        EXPECT_EQ(countOf(log, "QUIT"), 3u);
        // The server deletes the settings file after each upload: it was there only after
        // the subfolder had been done, and it was written again after the crash folder.
        Strings watch;
        for (const auto& line : log)
            if (line.rfind("watch ", 0) == 0) watch.push_back(line.substr(6));
        EXPECT_EQ(watch, (Strings{"absent", "absent", "present"}));
        const std::string settings = stage.top.read("game/KilnDev.ini");
        EXPECT_NE(settings.find("[Crash]"), std::string::npos) << settings;
        EXPECT_NE(settings.find("NeedCheck = 1"), std::string::npos) << settings;
    });
}

TEST_F(CrashModeEndToEnd, PartialRemoteFileIsContinuedWithAppe) {
    inPrivateNetwork([] {
        Stage stage;
        const std::string data = pattern(100000);
        stage.top.write("game/crash/ra_big.zip", data);
        stage.top.write("server/ra_big.zip", data.substr(0, 30000));

        auto result = stage.run("crash:se:cret", true);
        EXPECT_EQ(result.exitCode, 1) << result.err;

        EXPECT_TRUE(stage.top.read("server/ra_big.zip") == data) << "the copy is not whole";
        const Strings log = stage.log();
        EXPECT_EQ(countOf(log, "SIZE ra_big.zip"), 1u);
        EXPECT_EQ(countOf(log, "APPE ra_big.zip"), 1u);
        EXPECT_EQ(countOf(log, "STOR ra_big.zip"), 0u);
        EXPECT_FALSE(stage.top.exists("game/crash"));
    });
}

TEST_F(CrashModeEndToEnd, RefusedLogOnStillTriesEveryFileAndDeletesTheFolder) {
    inPrivateNetwork([] {
        Stage stage;
        stage.top.write("game/crash/ra1.zip", "one");
        stage.top.write("game/crash/sub/ra2.zip", "two");

        auto result = stage.run("crash:wrong", false);
        EXPECT_EQ(result.exitCode, 1) << result.err;

        const Strings log = stage.log();
        EXPECT_EQ(countOf(log, "USER crash"), 2u) << "each file over its own connection";
        EXPECT_EQ(countOf(log, "PASS wrong"), 2u);
        EXPECT_EQ(countOf(log, "STOR ra1.zip") + countOf(log, "STOR ra2.zip"), 0u);
        EXPECT_FALSE(stage.top.exists("server/ra1.zip"));
        EXPECT_FALSE(stage.top.exists("server/ra2.zip"));
        EXPECT_FALSE(stage.top.exists("game/crash"));
        EXPECT_TRUE(stage.top.exists("game/KilnDev.ini"));
    });
}
