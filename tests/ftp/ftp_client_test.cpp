// The FTP client against a scripted loopback server whose transcript the tests assert.
#include "ftp/ftp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/peers/scripted_ftp_server.h"
#include "support/system/temp_dir.h"

using namespace nsFTP;
using testsupport::ScriptedFtpServer;
using testsupport::TempDir;
using Strings = std::vector<std::string>;

namespace {

struct Recorder : IFtpObserver {
    struct Error {
        std::string message;
        int line;
    };
    std::vector<Error> errors;
    std::string sent;  // what DataSent reported, in order
    std::vector<std::string> replies;
    void ErrorRaised(const std::string& message, const std::string& source, int line) override {
        EXPECT_EQ(source, "FTPClient");
        errors.push_back({message, line});
    }
    void DataSent(const std::vector<char>& buffer, long count) override {
        sent.append(buffer.data(), static_cast<size_t>(count));
    }
    void ReplyReceived(const CFtpReply& reply) override { replies.push_back(reply.text); }
    std::string errorText() const {
        std::string all;
        for (const auto& e : errors) all += std::to_string(e.line) + ": " + e.message + "\n";
        return all;
    }
};

// Writes a file into the folder and returns its full path.
std::string writeFile(const TempDir& folder, const std::string& name, const std::string& data) {
    folder.write(name, data);
    return folder.file(name);
}

const CTransferType kImage{CTransferType::Image, CTransferType::NonPrint};

std::string pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + (i * 31 + i / 97) % 26);
    return data;
}

class FtpClientTest : public ::testing::Test {
protected:
    FtpClientTest() : client(new nsSocket::CBlockingSocket) {
        client.AttachObserver(&recorder);
        client.SetTimeout(5);
    }
    ~FtpClientTest() override { client.DetachObserver(&recorder); }

    bool logOn() {
        CLogonData logon;
        logon.host = "127.0.0.1";
        logon.port = server.port();
        logon.user = "u";
        logon.password = "p";
        return client.LogOn(logon);
    }
    // Commands after the logon (USER, PASS, CWD).
    Strings commandsAfterLogOn() {
        Strings all = server.commands();
        return all.size() > 3 ? Strings(all.begin() + 3, all.end()) : Strings{};
    }

    TempDir folder;
    ScriptedFtpServer server;
    Recorder recorder;
    CFTPClient client;
};

}  // namespace

TEST_F(FtpClientTest, UploadTranscriptOfANewFile) {
    const std::string data = pattern(5000);
    const std::string local = writeFile(folder, "RA_1.ZIP", data);
    ASSERT_TRUE(logOn());
    EXPECT_TRUE(client.StoreFile(local, "ra_1.zip", kImage)) << recorder.errorText();
    client.LogOff();
    EXPECT_FALSE(client.IsConnected());

    Strings commands = server.commands();
    ASSERT_EQ(commands.size(), 8u);
    EXPECT_EQ(Strings(commands.begin(), commands.begin() + 5),
              (Strings{"USER u", "PASS p", "CWD /", "SIZE ra_1.zip", "TYPE I"}));
    EXPECT_EQ(commands[5].rfind("PORT 127,0,0,1,", 0), 0u) << commands[5];
    EXPECT_EQ(commands[6], "STOR ra_1.zip");
    EXPECT_EQ(commands[7], "QUIT");
    ASSERT_EQ(server.transfers().size(), 1u);
    EXPECT_TRUE(server.transfers()[0].data == data);
    // The block size is the client's own business; the bytes and their order are not.
    EXPECT_TRUE(recorder.sent == data) << recorder.sent.size() << " bytes reported sent";
    EXPECT_TRUE(recorder.errors.empty()) << recorder.errorText();
}

TEST_F(FtpClientTest, PortAnnouncesTheControlAddressAndListeningPort) {
    struct Case {
        const char* address;
        unsigned short port;
        const char* expected;
        // clang-format off
    } cases[] = {
        {"10.0.0.7", 4000, "PORT 10,0,0,7,15,160"},
        {"192.168.0.5", 5001, "PORT 192,168,0,5,19,137"},
        {"127.0.0.1", 255, "PORT 127,0,0,1,0,255"},
        {"127.0.0.1", 65535, "PORT 127,0,0,1,255,255"},
    };
    // clang-format on
    ASSERT_TRUE(logOn());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(client.SendPort(c.address, c.port), ResultOk);
        EXPECT_EQ(server.commands().back(), c.expected);
    }
}

TEST_F(FtpClientTest, PartialRemoteFileIsContinuedOrRestarted) {
    struct Case {
        const char* name;
        const char* sizeReply;
        const char* finalReply;
        const char* command;
        size_t sentFrom;
        bool result;
        // clang-format off
    } cases[] = {
        {"server holds 3000 bytes", "213 3000\r\n", "226 done\r\n", "APPE ", 3000, true},
        {"server holds all of it", "213 200000\r\n", "226 done\r\n", "APPE ", 200000, true},
        {"server holds more", "213 900000\r\n", "226 done\r\n", "APPE ", 200000, true},
        {"final reply refuses", "213 900000\r\n", "451 no\r\n", "APPE ", 200000, false},
        {"no such file", "550 not found\r\n", "226 done\r\n", "STOR ", 0, true},
        {"refusal with digits", "550 3000 is not a size\r\n", "226 done\r\n", "STOR ", 0, true},
        {"zero size", "213 0\r\n", "226 done\r\n", "STOR ", 0, true},
    };
    // clang-format on
    // Several transfer blocks, so that a continuation starts inside the first one.
    const std::string data = pattern(200000);
    const std::string local = writeFile(folder, "ra.zip", data);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer peer;
        peer.reply("SIZE", c.sizeReply);
        peer.setFinalReply(c.finalReply);
        CFTPClient fresh(new nsSocket::CBlockingSocket);
        fresh.SetTimeout(5);
        CLogonData logon;
        logon.host = "127.0.0.1";
        logon.port = peer.port();
        ASSERT_TRUE(fresh.LogOn(logon));
        EXPECT_EQ(fresh.StoreFile(local, "ra.zip", kImage), c.result);
        Strings commands = peer.commands();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.back(), std::string(c.command) + "ra.zip");
        ASSERT_EQ(peer.transfers().size(), 1u);
        EXPECT_TRUE(peer.transfers()[0].data == data.substr(c.sentFrom))
            << peer.transfers()[0].data.size() << " bytes arrived";
    }
}

TEST_F(FtpClientTest, RefusedStoreOpensNoDataConnection) {
    server.reply("STOR", "553 not allowed\r\n");
    const std::string local = writeFile(folder, "ra.zip", pattern(100));
    ASSERT_TRUE(logOn());
    EXPECT_FALSE(client.StoreFile(local, "ra.zip", kImage));
    EXPECT_TRUE(server.transfers().empty());
    EXPECT_EQ(commandsAfterLogOn().back(), "STOR ra.zip");
    // The control connection stays in step: the next command gets its own reply.
    EXPECT_EQ(client.ChangeDirectory("/"), ResultOk);
}

TEST_F(FtpClientTest, RefusedTypeSendsNoPort) {
    server.reply("TYPE I", "504 type not supported\r\n");
    const std::string local = writeFile(folder, "ra.zip", pattern(100));
    ASSERT_TRUE(logOn());
    EXPECT_FALSE(client.StoreFile(local, "ra.zip", kImage));
    EXPECT_EQ(commandsAfterLogOn(), (Strings{"SIZE ra.zip", "TYPE I"}));
}

TEST_F(FtpClientTest, TypeIsSentOncePerLogOn) {
    const std::string a = writeFile(folder, "ra_a.zip", pattern(10));
    const std::string b = writeFile(folder, "ra_b.zip", pattern(20));
    ASSERT_TRUE(logOn());
    EXPECT_TRUE(client.StoreFile(a, "ra_a.zip", kImage));
    EXPECT_TRUE(client.StoreFile(b, "ra_b.zip", kImage));
    ASSERT_TRUE(logOn());  // QUIT and a fresh connection forget the type
    EXPECT_TRUE(client.StoreFile(a, "ra_a.zip", kImage));
    int types = 0;
    for (const std::string& c : server.commands()) types += c == "TYPE I";
    EXPECT_EQ(types, 2);
    ASSERT_EQ(server.sessions().size(), 2u);
    EXPECT_EQ(server.sessions()[0].back(), "QUIT");
}

TEST_F(FtpClientTest, MissingLocalFileIsReportedBeforeAnyCommand) {
    ASSERT_TRUE(logOn());
    EXPECT_FALSE(client.StoreFile(folder.file("absent.zip"), "absent.zip", kImage));
    EXPECT_TRUE(commandsAfterLogOn().empty());
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0].line, 650);
    EXPECT_FALSE(recorder.errors[0].message.empty());
}

TEST_F(FtpClientTest, ServerThatNeverConnectsBackCannotHoldTheUpload) {
    server.setConnectBack(false);
    const std::string local = writeFile(folder, "ra.zip", pattern(100));
    ASSERT_TRUE(logOn());
    client.SetTimeout(1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.StoreFile(local, "ra.zip", kImage));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    ASSERT_FALSE(recorder.errors.empty());
    EXPECT_EQ(recorder.errors.back().line, 785);
    EXPECT_EQ(recorder.errors.back().message.rfind("Accept timeout error", 0), 0u);
}

TEST_F(FtpClientTest, ReceiveDirectionFetchesFilesAndListings) {
    server.setRetrieveData(pattern(7000));
    ASSERT_TRUE(logOn());
    const std::string local = folder.file("fetched.bin");
    EXPECT_TRUE(client.RetrieveFile("remote.bin", local, kImage));
    EXPECT_TRUE(testsupport::readFile(local) == pattern(7000));

    struct Memory : ITransferNotification {
        std::string text;
        void ConsumeReceived(const std::vector<char>& buffer, long count) override {
            text.append(buffer.data(), static_cast<size_t>(count));
        }
        void FillToSend(std::vector<char>&, size_t& count) override { count = 0; }
    } listing;
    server.setRetrieveData("a.zip\r\nb.zip\r\n");
    EXPECT_TRUE(client.RunDataCommand(NameList, "", CTransferType{}, listing));
    EXPECT_EQ(listing.text, "a.zip\r\nb.zip\r\n");
    Strings after = commandsAfterLogOn();
    EXPECT_EQ(after[0], "TYPE I");
    EXPECT_EQ(after[2], "RETR remote.bin");
    EXPECT_EQ(after[3], "TYPE A N");
    EXPECT_EQ(after[5], "NLST");
}

TEST_F(FtpClientTest, SimpleCommands) {
    struct Case {
        const char* name;
        const char* reply;
        FtpResult (*run)(CFTPClient&, long long&);
        const char* command;  // nullptr: nothing may be sent
        FtpResult result;
        long long size;
        // clang-format off
    } cases[] = {
        {"size found", "213 12345\r\n",
         [](CFTPClient& c, long long& s) { return c.RemoteFileSize("f", s); }, "SIZE f",
         ResultOk, 12345},
        {"size refused", "550 not found\r\n",
         [](CFTPClient& c, long long& s) { return c.RemoteFileSize("f", s); }, "SIZE f",
         ResultNegative, 0},
        {"size reply too short", "213\r\n",
         [](CFTPClient& c, long long& s) { return c.RemoteFileSize("f", s); }, "SIZE f",
         ResultOk, 0},
        {"abort", "226 aborted\r\n", [](CFTPClient& c, long long&) { return c.AbortTransfer(); },
         "ABOR", ResultOk, 0},
        {"cwd refused", "550 no\r\n",
         [](CFTPClient& c, long long&) { return c.ChangeDirectory("/x"); }, "CWD /x",
         ResultNegative, 0},
        {"preliminary reply", "150 what\r\n",
         [](CFTPClient& c, long long&) { return c.ChangeDirectory("/x"); }, "CWD /x",
         ResultError, 0},
        {"image type", "200 ok\r\n",
         [](CFTPClient& c, long long&) { return c.SetTransferType(kImage); }, "TYPE I",
         ResultOk, 0},
        {"ascii telnet", "200 ok\r\n",
         [](CFTPClient& c, long long&) {
             return c.SetTransferType({CTransferType::Ascii, CTransferType::Telnet});
         },
         "TYPE A T", ResultOk, 0},
        {"ebcdic carriage control", "200 ok\r\n",
         [](CFTPClient& c, long long&) {
             return c.SetTransferType({CTransferType::Ebcdic, CTransferType::CarriageControl});
         },
         "TYPE E C", ResultOk, 0},
        {"local byte", "200 ok\r\n",
         [](CFTPClient& c, long long&) {
             return c.SetTransferType({CTransferType::LocalByte, 0});
         },
         "TYPE L 0", ResultOk, 0},
        {"unknown type", "200 ok\r\n",
         [](CFTPClient& c, long long&) { return c.SetTransferType({7, 0}); }, nullptr,
         ResultError, 0},
        {"line break in a command", "200 ok\r\n",
         [](CFTPClient& c, long long&) { return c.ChangeDirectory("a\r\nDELE x"); }, nullptr,
         ResultError, 0},
    };
    // clang-format on
    ASSERT_TRUE(logOn());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t before = server.commands().size();
        server.queueReplies({c.reply});
        long long size = 0;
        EXPECT_EQ(c.run(client, size), c.result);
        EXPECT_EQ(size, c.size);
        Strings commands = server.commands();
        if (c.command) {
            ASSERT_EQ(commands.size(), before + 1);
            EXPECT_EQ(commands.back(), c.command);
        } else {
            EXPECT_EQ(commands.size(), before);
            // The queued reply was not consumed; take it out of the way.
            EXPECT_EQ(client.ChangeDirectory("/"), ResultOk);
        }
    }
}

TEST_F(FtpClientTest, LogOffClosesTheConnectionWhateverTheCode) {
    server.reply("QUIT", "500 whatever\r\n");
    ASSERT_TRUE(logOn());
    EXPECT_EQ(client.LogOff(), ResultNegative);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.ChangeDirectory("/"), ResultError);
}

TEST(FtpClientConnect, RefusedConnectionIsReportedAtLine301) {
    uint16_t freePort;
    {
        ScriptedFtpServer probe;
        freePort = probe.port();
    }
    Recorder recorder;
    CFTPClient client(new nsSocket::CBlockingSocket);
    client.AttachObserver(&recorder);
    CLogonData logon;
    logon.host = "127.0.0.1";
    logon.port = freePort;
    EXPECT_FALSE(client.LogOn(logon));
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0].line, 301);
    EXPECT_EQ(recorder.errors[0].message, "Connect error 0x0000274d");
    client.DetachObserver(&recorder);
}
