// Crash mode against a scripted FTP server on port 21, in a private network namespace,
// over crash folders with links and FIFOs, and as a second user. Linux only: links,
// FIFOs, modes and a second user are Linux's; the folder example relies on the order
// Linux lists the folder in, the port that never completes a handshake on a listen
// queue of Linux sockets, the code page 950 names on a locale of Linux's. The per-file
// and per-run bounds and the numbered names hold on both systems:
// crash_upload_port21_test.cpp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config/dev_settings.h"
#include "config/ini_file.h"
#include "ftp/crash_upload.h"
#include "support/builders/folder_tree.h"
#include "support/peers/scripted_ftp_server.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/private_network.h"
#include "support/sandbox/unprivileged.h"
#include "support/system/name_codeset.h"
#include "support/system/temp_dir.h"

using testsupport::ScriptedFtpServer;
using testsupport::TempDir;
using Strings = std::vector<std::string>;

namespace {

using testsupport::inPrivateNetwork;

void freshDevSettings() {
    devSettings.Load("KilnDev.ini");
    devSettings.section = "Crash";
}

Strings crashTokens(const std::string& folder, const std::string& credentials = "user:pw",
                    const std::string& host = "127.0.0.1") {
    return {"launcher", "crash", host, credentials, folder};
}

}  // namespace

TEST(CrashUpload, FolderExampleUploadsThreeArchivesAndDeletesTheTree) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    inPrivateNetwork([] {
        TempDir game;
        game.enter();
        game.write("crash/RA_0001.ZIP", "first archive");
        game.write("crash/ra_0002.zip.tmp", "second, unfinished");
        game.write("crash/crash.dmp", "memory dump");
        game.write("crash/old/ra9.zip", "an older one");
        freshDevSettings();

        ScriptedFtpServer server(21);
        // Each time an upload asks for the remote size, note whether the settings file
        // is there and take it away: every later appearance is a new write.
        std::vector<bool> settingsSeen;
        server.onCommand([&](const std::string& command) {
            if (command.rfind("SIZE ", 0) != 0) return;
            settingsSeen.push_back(game.exists("KilnDev.ini"));
            ::unlink(game.file("KilnDev.ini").c_str());
        });

        runCrashUpload(crashTokens("crash", "user:pa:ss"));
        ASSERT_TRUE(server.waitForSessions(3));

        const auto sessions = server.sessions();
        ASSERT_EQ(sessions.size(), 3u);
        const Strings names = {"ra_0001.zip", "ra9.zip", "ra_0002.zip.tmp"};
        for (size_t i = 0; i < sessions.size(); ++i) {
            SCOPED_TRACE(names[i]);
            ASSERT_EQ(sessions[i].size(), 8u);
            EXPECT_EQ(Strings(sessions[i].begin(), sessions[i].begin() + 5),
                      (Strings{"USER user", "PASS pa:ss", "CWD /", "SIZE " + names[i], "TYPE I"}));
            EXPECT_EQ(sessions[i][5].rfind("PORT 127,0,0,1,", 0), 0u) << sessions[i][5];
            EXPECT_EQ(sessions[i][6], "STOR " + names[i]);
            EXPECT_EQ(sessions[i][7], "QUIT");
        }
        const auto transfers = server.transfers();
        ASSERT_EQ(transfers.size(), 3u);
        EXPECT_EQ(transfers[0].data, "first archive");
        EXPECT_EQ(transfers[1].data, "an older one");
        EXPECT_EQ(transfers[2].data, "second, unfinished");

        // Written after "old" (seen by the third upload), then after "crash" itself.
        EXPECT_EQ(settingsSeen, (std::vector<bool>{false, false, true}));
        EXPECT_NE(game.read("KilnDev.ini").find("NeedCheck = 1"), std::string::npos);
        EXPECT_FALSE(game.exists("crash"));
    });
}

TEST(CrashUpload, RefusedLogOnStillTriesEveryFileAndDeletesTheFolder) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    inPrivateNetwork([] {
        TempDir game;
        game.enter();
        game.write("crash/ra1.zip", "1");
        game.write("crash/ra2.zip", "2");
        game.write("crash/sub/ra3.zip", "3");
        freshDevSettings();

        ScriptedFtpServer server(21);
        server.reply("PASS", "530 Login incorrect.\r\n");
        server.reply("SIZE", "530 Please login with USER and PASS.\r\n");
        server.reply("TYPE", "530 Please login with USER and PASS.\r\n");

        runCrashUpload(crashTokens("crash"));
        ASSERT_TRUE(server.waitForSessions(3));
        const auto sessions = server.sessions();
        ASSERT_EQ(sessions.size(), 3u);
        const Strings names = {"ra1.zip", "ra2.zip", "ra3.zip"};
        for (size_t i = 0; i < 3; ++i) {
            std::string name = sessions[i].size() > 2 ? sessions[i][2].substr(5) : "";
            EXPECT_EQ(sessions[i],
                      (Strings{"USER user", "PASS pw", "SIZE " + name, "TYPE I", "QUIT"}));
        }
        Strings tried;
        for (const auto& s : sessions) tried.push_back(s[2].substr(5));
        std::sort(tried.begin(), tried.end());
        EXPECT_EQ(tried, names);
        EXPECT_TRUE(server.transfers().empty());
        EXPECT_FALSE(game.exists("crash"));
        EXPECT_TRUE(game.exists("KilnDev.ini"));
    });
}

namespace {

// Port 21 of 127.0.0.1 listening with its queue full, so that the handshake of every
// further connection never completes (the kernel drops its SYN) until the object goes.
class SilentPort {
public:
    SilentPort() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(21);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ready_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(listener_, 0) == 0;
        // One connection fills a queue of 0; it is never accepted.
        for (int& filler : fillers_) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
    ~SilentPort() {
        for (int filler : fillers_) ::close(filler);
        ::close(listener_);
    }
    bool ready() const { return ready_; }

private:
    int listener_ = -1;
    int fillers_[2] = {-1, -1};
    bool ready_ = false;
};

}  // namespace

// A peer may hold crash mode, and the lock with it, only for the client's time-out per
// file: a greeting that goes on one "220-" line at a time used to get a fresh wait per
// line, a port that never completes the handshake the kernel's minutes of retries.
TEST(CrashUpload, PeersThatNeverFinishHoldEachUploadOnlyForTheTimeOut) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    struct Case {
        const char* name;
        std::vector<std::string> greeting;  // parts 700 ms apart; empty: a silent port
    };
    const std::vector<std::string> dripping = {"220-a\r\n", "220-b\r\n", "220-c\r\n",
                                               "220-d\r\n", "220-e\r\n", "220 ready\r\n"};
    const Case cases[] = {
        {"a greeting of one line every 700 ms", dripping},
        {"a port that never completes the handshake", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        inPrivateNetwork([&c] {
            TempDir game;
            game.enter();
            game.write("crash/ra1.zip", "1");
            game.write("crash/ra2.zip", "2");
            freshDevSettings();
            CrashSettings bounds;
            bounds.timeoutSeconds = 1;

            std::unique_ptr<ScriptedFtpServer> server;
            std::unique_ptr<SilentPort> silent;
            if (c.greeting.empty()) {
                silent = std::make_unique<SilentPort>();
                ASSERT_TRUE(silent->ready());
            } else {
                server = std::make_unique<ScriptedFtpServer>(21);
                server->setGreetingParts(c.greeting, 700);
            }
            const auto started = std::chrono::steady_clock::now();
            runCrashUpload(crashTokens("crash"), bounds);
            const auto took = std::chrono::steady_clock::now() - started;
            // One time-out per file, and some room for a slow machine.
            EXPECT_LT(took, std::chrono::milliseconds(4500));
            if (server) {
                server->waitForSessions(2);
                EXPECT_EQ(server->sessions(), (std::vector<Strings>{{}, {}}));
                EXPECT_TRUE(server->transfers().empty());
            }
            EXPECT_FALSE(game.exists("crash"));
            EXPECT_NE(game.read("KilnDev.ini").find("NeedCheck = 1"), std::string::npos);
        });
    }
}

TEST(CrashUpload, OnlyRegularFilesWithSafeNamesAreUploadedAndLinksAreNeverFollowed) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    inPrivateNetwork([] {
        TempDir game;
        game.enter();
        game.write("secret.txt", "not for the server");
        game.write("outside/ra_out.zip", "outside the crash folder");
        game.write("crash/ra_ok.zip", "ok");
        game.write("crash/rabbit-zip.log", "the name only has to begin with ra");
        game.write("crash/zipra.txt", "does not begin with ra");
        game.write("crash/ra\r\nDELE secret.zip", "a name that carries a command");
        ASSERT_EQ(
            ::symlink(game.file("secret.txt").c_str(), game.file("crash/ra_link.zip").c_str()), 0);
        ASSERT_EQ(::symlink(game.file("outside").c_str(), game.file("crash/ra_dir").c_str()), 0);
        ASSERT_EQ(::mkfifo(game.file("crash/ra_fifo.zip").c_str(), 0600), 0);
        freshDevSettings();

        ScriptedFtpServer server(21);
        runCrashUpload(crashTokens("crash"));
        ASSERT_TRUE(server.waitForSessions(2));

        EXPECT_EQ(server.transferredNames(), (Strings{"ra_ok.zip", "rabbit-zip.log"}));
        for (const std::string& command : server.commands())
            EXPECT_EQ(command.find("DELE"), std::string::npos) << command;
        EXPECT_FALSE(game.exists("crash"));
        EXPECT_EQ(game.read("secret.txt"), "not for the server");
        EXPECT_EQ(game.read("outside/ra_out.zip"), "outside the crash folder");
    });
}

// 2,100 levels of "d/" are 4,200 bytes, deeper than any path the system takes: the walk
// still reaches the archive down there, depth first, and the tree goes afterwards.
TEST(CrashUpload, ArchiveDeeperThanThePathLimitIsUploaded) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    inPrivateNetwork([] {
        TempDir game;
        game.enter();
        {
            testsupport::FolderTreeBuilder tree(game.file("crash"));
            tree.file("ra_top.zip", "top");
            for (int level = 0; level < 2100; ++level) tree.down("d");
            tree.file("RA_DEEP.ZIP", "deep");
            ASSERT_TRUE(tree.ok());
        }
        freshDevSettings();

        ScriptedFtpServer server(21);
        runCrashUpload(crashTokens("crash"));
        ASSERT_TRUE(server.waitForSessions(2));

        EXPECT_EQ(server.transferredNames(), (Strings{"ra_deep.zip", "ra_top.zip"}));
        const auto transfers = server.transfers();
        ASSERT_EQ(transfers.size(), 2u);
        EXPECT_EQ(transfers[0].data, "deep");
        EXPECT_EQ(transfers[1].data, "top");
        EXPECT_EQ(testsupport::entriesLeft(game.file("crash")), 0);
    });
}

TEST(CrashUpload, ArgumentsThatCouldHarmDoNothingAtAll) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    struct Case {
        const char* name;
        Strings tokens;  // the crash folder "crash" lies in the game folder
        bool runs;
        bool marks;  // "KilnDev.ini" is written
    };
    const std::string longUser(300, 'u');
    const std::string credentials511 = longUser + ":" + std::string(511 - 301, 'p');
    const std::string credentials512 = credentials511 + "p";
    // clang-format off
    const std::vector<Case> cases = {
        {"no folder argument", {"launcher", "crash", "127.0.0.1", "user:pw"}, false, false},
        {"empty folder", crashTokens(""), false, false},
        {"the game folder as .", crashTokens("."), false, false},
        {"the game folder as ./", crashTokens("./"), false, false},
        {"the folder above the game", crashTokens(".."), false, false},
        {"two folders above", crashTokens("../.."), false, false},
        {"the game folder by a link", crashTokens("../gamelink"), false, false},
        {"the game folder by a link and a slash", crashTokens("../gamelink/"), false, false},
        {"the crash folder itself as a link", crashTokens("crashlink"), false, false},
        {"line feed in the host", crashTokens("crash", "user:pw", "127.0.0.1\nDELE x"), false, false},
        {"carriage return in the credentials", crashTokens("crash", "user:pw\rDELE x"), false, false},
        {"credentials of 512 characters", crashTokens("crash", credentials512), false, false},
        {"credentials of 511 characters", crashTokens("crash", credentials511), true, true},
        {"a sound folder", crashTokens("crash"), true, true},
        {"a folder that does not exist", crashTokens("nowhere"), false, true},
    };
    // clang-format on
    inPrivateNetwork([&] {
        ScriptedFtpServer server(21);
        size_t sessionsBefore = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            TempDir top;
            top.write("a/b/game/crash/ra1.zip", "archive");
            top.write("a/b/game/keep.txt", "game file");
            ASSERT_EQ(::symlink(top.file("a/b/game").c_str(), top.file("a/b/gamelink").c_str()), 0);
            ASSERT_EQ(::chdir(top.file("a/b/game").c_str()), 0);
            ASSERT_EQ(::symlink("crash", "crashlink"), 0);
            freshDevSettings();

            runCrashUpload(c.tokens);
            if (c.runs) {
                ASSERT_TRUE(server.waitForSessions(sessionsBefore + 1));
            }
            const size_t sessions = server.sessions().size();
            EXPECT_EQ(sessions - sessionsBefore, c.runs ? 1u : 0u);
            sessionsBefore = sessions;
            EXPECT_EQ(top.exists("a/b/game/crash/ra1.zip"), !c.runs);
            EXPECT_EQ(top.exists("a/b/game/KilnDev.ini"), c.marks);
            EXPECT_TRUE(top.exists("a/b/game/keep.txt"));
            if (c.runs) {
                const Strings last = server.sessions().back();
                EXPECT_EQ(last.at(1).size(), 5 + c.tokens[3].size() - c.tokens[3].find(':') - 1);
            }
            ASSERT_EQ(::chdir("/"), 0);
        }
    });
}

// "KilnDev.ini" that exists but cannot be read would otherwise be rewritten from an
// empty document, losing the developer's other settings; one of any size is marked.
TEST(CrashUpload, SettingsFileThatCannotBeReadIsLeftAlone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to stand for a second user";
    }
    struct Case {
        const char* name;
        mode_t mode;
        size_t padding;  // bytes of a further value, so the file can be large
        bool readable;
        // clang-format off
    } cases[] = {
        {"readable", 0666, 0, true},
        {"readable, 2 MiB", 0666, 2 << 20, true},
        {"write-only", 0222, 0, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string padding(c.padding, 'x');
        const std::string original = "[Crash]\r\nKeep=yes\r\nPad=" + padding + "\r\n";
        TempDir game;
        game.write("KilnDev.ini", original);
        game.write("crash/crash.dmp", "dump");
        ASSERT_EQ(::chmod(game.file("KilnDev.ini").c_str(), c.mode), 0);
        ASSERT_EQ(::chmod(game.path().c_str(), 0777), 0);
        ASSERT_EQ(::chmod(game.file("crash").c_str(), 0777), 0);
        int code = testsupport::runInChild([&] {
            if (::chdir(game.path().c_str()) != 0 || !testsupport::dropRootPrivileges()) return 2;
            freshDevSettings();
            runCrashUpload(crashTokens("crash", "user:pw", "127.0.0.1"));
            return 0;
        });
        ASSERT_EQ(code, 0);
        EXPECT_FALSE(game.exists("crash"));
        const std::string after = game.read("KilnDev.ini");
        if (c.readable) {
            EXPECT_NE(after.find("Keep = yes"), std::string::npos);
            EXPECT_NE(after.find("Pad = " + padding + "\n"), std::string::npos);
            EXPECT_NE(after.find("NeedCheck = 1"), std::string::npos);
        } else {
            EXPECT_EQ(after, original);
        }
    }
}

// On the players' systems names are in code page 950, where the second byte of a
// character may be a letter (處 B3 42, 記 B0 4F) or 0x5C (功 A5 5C). Each file is read
// under its own name and stored under its lower-case name, in which only single-byte
// letters changed; "zip" counts only where a character begins; a crash folder and a
// subfolder whose names end in 0x5C are walked and deleted.
TEST(CrashUpload, CodePage950NamesAreReadAsTheyAreAndStoredLowerCased) {
    SKIP_WITHOUT_PORT_21_SERVER(false);
    inPrivateNetwork([] {
        using namespace testsupport::cp950;
        testsupport::ScopedNameCodeset names("CP950");
        TempDir game;
        game.enter();
        const std::string crash = std::string("crash") + kWork;
        game.write(crash + "/RA" + kPlace + ".ZIP", "place");
        // The name a byte-wise lower-casing would have given the file above.
        game.write(crash + "/ra" + kPig + ".zip", "pig");
        game.write(crash + "/" + kWork + "/ra" + kRecord + "zip", "record");
        game.write(crash + "/ra\xA4\x7Aip.log", "no zip");  // 干 ends in 'z'
        freshDevSettings();

        ScriptedFtpServer server(21);
        runCrashUpload(crashTokens(crash));
        ASSERT_TRUE(server.waitForSessions(3));
        Strings stored;
        Strings data;
        for (const auto& t : server.transfers()) {
            stored.push_back(t.command);
            data.push_back(t.data);
        }
        EXPECT_EQ(stored, (Strings{std::string("STOR ra") + kPlace + ".zip",
                                   std::string("STOR ra") + kPig + ".zip",
                                   std::string("STOR ra") + kRecord + "zip"}));
        EXPECT_EQ(data, (Strings{"place", "pig", "record"}));
        EXPECT_FALSE(game.exists(crash));
    });
}
