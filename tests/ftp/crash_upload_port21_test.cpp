// Crash mode's bounds and numbered names against a scripted FTP server on port 21, on
// both systems. Crash mode always connects to port 21, which a test may serve only in a
// network of its own (support/sandbox/port21.h): on Linux each test makes one; the Windows
// suite runs these tests under Wine only when launcher_wine_tests starts it inside one
// (tests/wine/crash_upload_wine_test.cpp), and skips them otherwise.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "config/dev_settings.h"
#include "ftp/crash_upload.h"
#include "support/peers/scripted_ftp_server.h"
#include "support/sandbox/port21.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"

using testsupport::ScriptedFtpServer;
using testsupport::TempDir;
using Strings = std::vector<std::string>;

namespace {

void freshDevSettings() {
    devSettings.Load("KilnDev.ini");
    devSettings.section = "Crash";
}

Strings crashTokens(const std::string& folder) {
    return {"launcher", "crash", "127.0.0.1", "user:pw", folder};
}

}  // namespace

// The lock keeps the game from starting while crash mode runs: a server that answers
// just within each time-out holds a file only until its deadline, and the run's uploads
// end at the run's bound. Whatever was not sent is still marked and deleted.
TEST(CrashUploadOnPort21, EachFileAndTheWholeRunEndByTheirDeadlines) {
    SKIP_WITHOUT_PORT_21();
    struct Case {
        const char* name;
        Strings files;
        const char* slowCommand;  // the commands answered late; "" for all
        int pauseMs;
        unsigned runSeconds;
        size_t maxStored;
        int maxSeconds;  // unbounded, each case would take over a minute
    };
    // clang-format off
    const Case cases[] = {
        {"every numbered name reported taken, slowly", {"crash/ra1.zip", "crash/sub/RA1.ZIP"},
         "SIZE", 700, 600, 1, 12},
        {"many files, every reply slow", {"crash/ra1.zip", "crash/ra2.zip", "crash/ra3.zip",
         "crash/ra4.zip", "crash/ra5.zip", "crash/ra6.zip", "crash/ra7.zip", "crash/ra8.zip"},
         "", 300, 3, 4, 12},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::onPrivatePort21([&] {
            TempDir game;
            game.enter();
            for (const std::string& file : c.files) game.write(file, "archive");
            freshDevSettings();
            CrashSettings bounds;
            bounds.timeoutSeconds = 1;
            bounds.runSeconds = c.runSeconds;
            ScriptedFtpServer server(21);
            server.reply("SIZE", "213 7\r\n");
            const std::string slow = c.slowCommand;
            server.onCommand([&](const std::string& command) {
                if (command.rfind(slow, 0) == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
            });
            const auto started = std::chrono::steady_clock::now();
            runCrashUpload(crashTokens("crash"), bounds);
            EXPECT_LT(std::chrono::steady_clock::now() - started,
                      std::chrono::seconds(c.maxSeconds));
            EXPECT_LE(server.transferredNames().size(), c.maxStored);
            EXPECT_FALSE(game.exists("crash"));
            EXPECT_NE(game.read("KilnDev.ini").find("NeedCheck = 1"), std::string::npos);
        });
    }
}

// Names that differ in case (on Linux), or one name in two folders, land on one remote
// name. The later file must never be appended to the earlier one's copy: it goes up
// whole under a numbered name that neither this run nor the server has taken.
TEST(CrashUploadOnPort21, ALaterFileOfATakenNameGoesUpWholeUnderANumberedName) {
    SKIP_WITHOUT_PORT_21();
    testsupport::onPrivatePort21([] {
        TempDir game;
        game.enter();
        game.write("crash/RA1.ZIP", "upper case");
        // On Windows the two names are one file.
        if (!testsupport::onWindows()) game.write("crash/ra1.zip", "lower case");
        game.write("crash/sub/ra1.zip", "in a subfolder");
        game.write("crash/rabbit-zip", "no dot");
        game.write("crash/sub/rabbit-zip", "no dot either");
        freshDevSettings();

        ScriptedFtpServer server(21);
        server.reply("USER", "331 password\r\n");
        server.reply("PASS", "230 in\r\n");
        server.reply("CWD", "250 ok\r\n");
        server.reply("TYPE", "200 ok\r\n");
        server.reply("PORT", "200 ok\r\n");
        server.reply("STOR", "150 go\r\n");
        server.reply("QUIT", "221 bye\r\n");
        // The server holds every name but these from earlier runs (ra1~3.zip among them).
        server.reply("SIZE", "213 4\r\n");
        server.reply("SIZE ra1.zip", "550 none\r\n");
        server.reply("SIZE rabbit-zip", "550 none\r\n");
        server.reply("SIZE ra1~2.zip", "550 none\r\n");
        server.reply("SIZE ra1~4.zip", "550 none\r\n");

        struct Stored {
            std::string command;
            std::string data;
            bool operator==(const Stored&) const = default;
        };
        // clang-format off
        const testsupport::PerSystem<std::vector<Stored>> stores = {
            {
                {"STOR ra1.zip", "upper case"},
                {"STOR ra1~2.zip", "lower case"},
                {"STOR rabbit-zip", "no dot"},
                {"STOR ra1~4.zip", "in a subfolder"},
                {"STOR rabbit-zip~2", "no dot either"},
            },
            {
                {"STOR ra1.zip", "upper case"},
                {"STOR rabbit-zip", "no dot"},
                {"STOR ra1~2.zip", "in a subfolder"},
                {"STOR rabbit-zip~2", "no dot either"},
            },
            "names that differ in case are one file on Windows"};
        // clang-format on
        const std::vector<Stored>& expected = stores.here();

        runCrashUpload(crashTokens("crash"));
        ASSERT_TRUE(server.waitForSessions(expected.size()));
        std::vector<Stored> stored;
        for (const auto& t : server.transfers()) stored.push_back({t.command, t.data});
        ASSERT_EQ(stored.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(stored[i].command, expected[i].command);
            EXPECT_EQ(stored[i].data, expected[i].data);
        }
        // Each name was asked for once: the look for a free name, never again by the
        // store, which could then continue a copy with "APPE".
        for (const auto& session : server.sessions()) {
            const auto stor =
                std::find_if(session.begin(), session.end(),
                             [](const std::string& c) { return c.rfind("STOR ", 0) == 0; });
            ASSERT_NE(stor, session.end());
            EXPECT_EQ(std::count(session.begin(), stor, "SIZE " + stor->substr(5)), 1);
        }
        EXPECT_FALSE(game.exists("crash"));
    });
}

// A data peer that reads below the floor rate holds its file only until the file's
// deadline (four time-outs plus its size at the floor): each wait for the peer is
// answered within the time-out, so only the deadline ends the upload. The run goes on
// with the next file, and the folder is marked and deleted as always.
TEST(CrashUploadOnPort21, ASlowReaderOfTheDataIsCutAtTheFilesDeadline) {
    SKIP_WITHOUT_PORT_21();
    testsupport::onPrivatePort21([] {
        TempDir game;
        game.enter();
        // 1 MiB: a deadline of 4 s + 4 s; at 64 KiB/s the whole file would take 16 s.
        std::string big(1 << 20, '\0');
        for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 131 % 251);
        game.write("crash/ra_big.zip", big);
        game.write("crash/ra_small.zip", "small archive");
        freshDevSettings();
        CrashSettings bounds;
        bounds.timeoutSeconds = 1;
        ScriptedFtpServer server(21);
        server.setSlowReceive("STOR ra_big.zip", 8 * 1024, 125);

        const auto started = std::chrono::steady_clock::now();
        runCrashUpload(crashTokens("crash"), bounds);
        const auto took = std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(server.waitForSessions(2));
        EXPECT_GE(took, std::chrono::seconds(7));
        EXPECT_LT(took, std::chrono::seconds(12));
        std::string bigSent;
        std::string smallSent;
        for (const auto& t : server.transfers())
            (t.command == "STOR ra_big.zip" ? bigSent : smallSent) = t.data;
        EXPECT_GT(bigSent.size(), 0u);
        EXPECT_LT(bigSent.size(), big.size());
        EXPECT_EQ(bigSent, big.substr(0, bigSent.size()));
        EXPECT_EQ(smallSent, "small archive");
        EXPECT_FALSE(game.exists("crash"));
        EXPECT_NE(game.read("KilnDev.ini").find("NeedCheck = 1"), std::string::npos);
    });
}

// The search for a free numbered name ends at the first probe the server does not
// answer with a size: "no such file" names the free name, and a server that refuses
// "SIZE" itself cannot tell more on the next probe, so the file goes up under the first
// number rather than after 98 probes.
TEST(CrashUploadOnPort21, TheNumberedSearchEndsAtTheFirstProbeNotAnsweredWithASize) {
    SKIP_WITHOUT_PORT_21();
    for (const char* refusal :
         {"550 no such file\r\n", "500 unknown command\r\n", "502 not implemented\r\n"}) {
        SCOPED_TRACE(refusal);
        testsupport::onPrivatePort21([refusal] {
            TempDir game;
            game.enter();
            game.write("crash/RA1.ZIP", "first");
            game.write("crash/sub/ra1.zip", "second");
            freshDevSettings();
            ScriptedFtpServer server(21);
            server.reply("SIZE", refusal);

            runCrashUpload(crashTokens("crash"));
            ASSERT_TRUE(server.waitForSessions(2));
            const auto sessions = server.sessions();
            ASSERT_EQ(sessions.size(), 2u);
            Strings probes;
            for (const std::string& command : sessions[1])
                if (command.rfind("SIZE ", 0) == 0) probes.push_back(command);
            EXPECT_EQ(probes, Strings{"SIZE ra1~2.zip"});
            EXPECT_EQ(server.transferredNames(), (Strings{"ra1.zip", "ra1~2.zip"}));
            EXPECT_FALSE(game.exists("crash"));
        });
    }
}
