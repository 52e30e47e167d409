// Reply reading and the logon sequences, against a scripted loopback server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "support/peers/scripted_ftp_server.h"

using namespace nsFTP;
using testsupport::ScriptedFtpServer;
using Strings = std::vector<std::string>;

namespace {

struct Errors : IFtpObserver {
    std::vector<std::pair<std::string, int>> seen;
    void ErrorRaised(const std::string& message, const std::string&, int line) override {
        seen.emplace_back(message, line);
    }
};

}  // namespace

TEST(FtpReply, MultiLineSplitAndInvalidReplies) {
    struct Reply {
        bool valid;
        const char* code;
        const char* text;
    };
    struct Case {
        const char* name;
        Strings parts;  // each arrives in a receive of its own
        std::vector<Reply> replies;
        // clang-format off
    } cases[] = {
        {"three-line greeting in one receive",
         {"220-Welcome\r\n220-more\r\n220 ready\r\n"},
         {{true, "220", "220-Welcome\r\n220-more\r\n220 ready"}}},
        {"another number inside a multi-line reply",
         {"220-a\r\n230 b\r\n220 c\r\n"},
         {{true, "220", "220-a\r\n230 b\r\n220 c"}}},
        {"first digit out of range", {"99 x\r\n"}, {{false, "", "99 x"}}},
        {"second digit out of range", {"260 x\r\n"}, {{false, "", "260 x"}}},
        {"too short", {"22\r\n"}, {{false, "", "22"}}},
        {"third character is not tested", {"21x y\r\n"}, {{true, "21x", "21x y"}}},
        {"two replies in one receive",
         {"220 hi\r\n331 pw\r\n"},
         {{true, "220", "220 hi"}, {true, "331", "331 pw"}}},
        {"one line over three receives", {"22", "0 rea", "dy\r\n"}, {{true, "220", "220 ready"}}},
        {"multi-line reply cut inside a line",
         {"220-first\r\n220-sec", "ond\r\n220 end\r\n"},
         {{true, "220", "220-first\r\n220-second\r\n220 end"}}},
        {"line end cut between CR and LF",
         {"220 ok\r", "\n331 next\r\n"},
         {{true, "220", "220 ok"}, {true, "331", "331 next"}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.setGreetingParts(c.parts);
        CFTPClient client(new nsSocket::CBlockingSocket);
        client.SetTimeout(5);
        ASSERT_TRUE(client.ConnectControl("127.0.0.1", server.port()));
        for (const Reply& expected : c.replies) {
            CFtpReply reply;
            EXPECT_EQ(client.ReadReply(reply), expected.valid);
            EXPECT_EQ(reply.text, expected.text);
            char code[4] = {};
            std::strncpy(code, expected.code, 3);
            EXPECT_EQ(std::memcmp(reply.code, code, 4), 0) << "code " << std::string(reply.code, 3);
        }
        client.DisconnectControl();
    }
}

TEST(FtpReply, EndlessReplyIsCutOffInsteadOfFillingMemory) {
    struct Case {
        const char* name;
        std::string greeting;
        // clang-format off
    } cases[] = {
        {"endless multi-line reply", [] {
             std::string text;
             while (text.size() < 3 * CFTPClient::kMaxReplyBytes / 2) text += "220-more text\r\n";
             return text;
         }()},
        {"endless line", std::string(3 * CFTPClient::kMaxReplyBytes / 2, 'x')},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.setGreeting(c.greeting);
        Errors errors;
        CFTPClient client(new nsSocket::CBlockingSocket);
        client.AttachObserver(&errors);
        client.SetTimeout(5);
        ASSERT_TRUE(client.ConnectControl("127.0.0.1", server.port()));
        CFtpReply reply;
        EXPECT_FALSE(client.ReadReply(reply));
        EXPECT_FALSE(client.IsConnected());
        ASSERT_EQ(errors.seen.size(), 1u);
        EXPECT_EQ(errors.seen[0].second, 1096);
        client.DetachObserver(&errors);
    }
}

TEST(FtpReply, SilentServerTimesOutAndClosedServerEndsQuietly) {
    ScriptedFtpServer server;
    server.setGreeting("");
    Errors errors;
    CFTPClient client(new nsSocket::CBlockingSocket);
    client.AttachObserver(&errors);
    client.SetTimeout(1);
    ASSERT_TRUE(client.ConnectControl("127.0.0.1", server.port()));
    CFtpReply reply;
    EXPECT_FALSE(client.ReadReply(reply));
    ASSERT_EQ(errors.seen.size(), 1u);
    EXPECT_EQ(errors.seen[0].second, 1096);
    EXPECT_EQ(errors.seen[0].first.rfind("Receive timeout error", 0), 0u);
    EXPECT_FALSE(client.IsConnected());

    // A server that answers QUIT and hangs up: the next read ends without a notification.
    errors.seen.clear();
    ASSERT_TRUE(client.ConnectControl("127.0.0.1", server.port()));
    ASSERT_TRUE(client.WriteCommand("QUIT"));
    EXPECT_TRUE(client.ReadReply(reply));
    EXPECT_FALSE(client.ReadReply(reply));
    EXPECT_TRUE(errors.seen.empty());
    client.DetachObserver(&errors);
}

TEST(FtpLogOn, SequencesOfTheNineFirewallModes) {
    struct Case {
        const char* name;
        int mode;
        unsigned short port;
        Strings replies;  // to the commands after the greeting, in order
        Strings commands;
        bool loggedOn;
        bool logonFailed;  // "Logon failed." reported
        // clang-format off
    } cases[] = {
        {"0: user, password, account", 0, 21,
         {"331 pw\r\n", "332 acct\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER u", "PASS p", "ACCT a", "CWD /"}, true, false},
        {"0: user alone", 0, 21, {"230 ok\r\n", "250 cwd\r\n"}, {"USER u", "CWD /"}, true, false},
        {"0: account asked twice", 0, 21, {"331 pw\r\n", "332 acct\r\n", "332 again\r\n"},
         {"USER u", "PASS p", "ACCT a"}, false, true},
        {"0: password refused", 0, 21, {"331 pw\r\n", "530 no\r\n"}, {"USER u", "PASS p"}, false,
         false},
        {"0: root folder refused", 0, 21, {"230 ok\r\n", "550 no\r\n"}, {"USER u", "CWD /"}, false,
         false},
        {"1: SITE after firewall logon", 1, 21,
         {"331 pw\r\n", "230 fw\r\n", "331 site\r\n", "331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER fu", "PASS fp", "SITE ftp.example", "USER u", "PASS p", "CWD /"}, true, false},
        {"1: SITE answered 2xx", 1, 21, {"331 pw\r\n", "230 fw\r\n", "200 site\r\n"},
         {"USER fu", "PASS fp", "SITE ftp.example"}, false, true},
        {"2: user at host after firewall logon", 2, 21,
         {"331 pw\r\n", "230 fw\r\n", "331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER fu", "PASS fp", "USER u@ftp.example", "PASS p", "CWD /"}, true, false},
        {"3: proxy OPEN", 3, 21, {"220 open\r\n", "331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"OPEN ftp.example", "USER u", "PASS p", "CWD /"}, true, false},
        {"4: transparent", 4, 21,
         {"331 pw\r\n", "230 fw\r\n", "331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER fu", "PASS fp", "USER u", "PASS p", "CWD /"}, true, false},
        {"4: firewall lets the user in at once", 4, 21,
         {"230 fw\r\n", "331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER fu", "USER u", "PASS p", "CWD /"}, true, false},
        {"5: user at host, port 21", 5, 21, {"331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER u@ftp.example", "PASS p", "CWD /"}, true, false},
        {"5: user at host, port 2121", 5, 2121, {"331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER u@ftp.example:2121", "PASS p", "CWD /"}, true, false},
        {"6: firewall user at host", 6, 21,
         {"331 pw\r\n", "230 fw\r\n", "331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER fu@ftp.example", "PASS fp", "USER u", "PASS p", "CWD /"}, true, false},
        {"7: user at host, then firewall user", 7, 21, {"331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER u@ftp.example fu", "PASS p", "CWD /"}, true, false},
        {"7: first USER answered 2xx", 7, 21, {"230 ok\r\n"}, {"USER u@ftp.example fu"}, false,
         true},
        {"8: user at firewall user at host", 8, 21, {"331 pw\r\n", "230 ok\r\n", "250 cwd\r\n"},
         {"USER u@fu@ftp.example", "PASS p@fp", "CWD /"}, true, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.queueReplies(c.replies);
        Errors errors;
        CFTPClient client(new nsSocket::CBlockingSocket);
        client.AttachObserver(&errors);
        client.SetTimeout(5);
        CLogonData logon;
        logon.user = "u";
        logon.password = "p";
        logon.account = "a";
        logon.firewallUser = "fu";
        logon.firewallPassword = "fp";
        logon.firewallMode = c.mode;
        logon.port = c.port;
        if (c.mode == 0) {
            logon.host = "127.0.0.1";
            logon.port = server.port();
        } else {
            logon.host = "ftp.example";  // only named in commands; the firewall is dialled
            logon.firewallHost = "127.0.0.1";
            logon.firewallPort = server.port();
        }
        EXPECT_EQ(client.LogOn(logon), c.loggedOn);
        EXPECT_EQ(server.commands(), c.commands);
        bool reported = false;
        for (const auto& [message, line] : errors.seen)
            reported |= message == "Logon failed." && line == 473;
        EXPECT_EQ(reported, c.logonFailed);
        client.DetachObserver(&errors);
    }
}

TEST(FtpLogOn, GreetingMustBePositive) {
    ScriptedFtpServer server;
    server.setGreeting("120 ready in a minute\r\n");
    CFTPClient client(new nsSocket::CBlockingSocket);
    client.SetTimeout(5);
    CLogonData logon;
    logon.host = "127.0.0.1";
    logon.port = server.port();
    EXPECT_FALSE(client.LogOn(logon));
    EXPECT_TRUE(server.commands().empty());
}
