#include "transfer/file_download.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/peers/http_fault_server.h"
#include "support/peers/lighttpd_server.h"
#include "support/system/file_bytes.h"
#include "support/system/temp_dir.h"
#include "support/system/this_system.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::string patterned(size_t size) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = char('a' + (i * 7 + i / 251) % 26);
    return s;
}

struct RecordingSink : Iprogress {
    void SetProgress(float percent) override { values.push_back(percent); }
    std::vector<float> values;
};

// A download object of the test's own, with short limits so failures come quickly.
class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override { folder.enter(); }

    void aim(CFileDownLoad& download, const std::string& url, const std::string& remote,
             int port = -1) {
        setField(download.url, url);
        setField(download.remotePath, remote);
        setField(download.localDir, folder.path() + "/");
        setField(download.localName, "target.bin");
        download.port = port;
    }

    std::string target() const { return folder.file("target.bin"); }

    TempDir folder;
};

TEST_F(DownloadTest, FetchesWholeOrContinuesFromTheFilesSize) {
    struct Case {
        const char* name;
        size_t already;  // bytes of the right file already in the target
        const char* range;
    };
    // clang-format off
    const Case cases[] = {
        {"new target", 0, "-"},
        {"partial target", 70000, "bytes=70000-"},
        {"one byte missing", 199999, "bytes=199999-"},
    };
    // clang-format on
    TempDir root;
    const std::string body = patterned(200000);
    writeFile(root.file("package.zip"), body);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LighttpdServer server(root.path());
        ASSERT_TRUE(server.running()) << server.errorLog();
        fs::remove(target());
        if (c.already) writeFile(target(), body.substr(0, c.already));

        CFileDownLoad download;
        RecordingSink sink;
        download.progressSink = &sink;
        aim(download, server.url(), "package.zip");
        EXPECT_EQ(download.Download(), 1);
        EXPECT_TRUE(readFile(target()) == body);
        ASSERT_FALSE(sink.values.empty());
        EXPECT_FLOAT_EQ(sink.values.back(), 100.0f);

        auto log = server.stopAndReadLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].request, "GET /package.zip HTTP/1.1");
        EXPECT_EQ(log[0].range, c.range);
        EXPECT_EQ(log[0].status, c.already ? 206 : 200);
    }
}

TEST_F(DownloadTest, PortOverridesTheUrlOnlyWhenPositive) {
    TempDir root;
    writeFile(root.file("version.txt"), "[Current Version]\nUpdateFile=2.0.13.5.zip\n");
    LighttpdServer server(root.path());
    ASSERT_TRUE(server.running()) << server.errorLog();
    const std::string right = server.url();
    const std::string wrong = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
    struct Case {
        const char* name;
        std::string url;
        int port;
        int result;
    };
    // clang-format off
    const Case cases[] = {
        {"-1 keeps the URL's port", right, -1, 1},
        {"0 keeps the URL's port", right, 0, 1},
        {"positive port wins over the URL", wrong, server.port(), 1},
        {"positive port wins even when wrong", right, freeLoopbackPort(), 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(target());
        CFileDownLoad download;
        aim(download, c.url, "version.txt", c.port);
        testing::internal::CaptureStderr();
        EXPECT_EQ(download.Download(), c.result);
        testing::internal::GetCapturedStderr();
        if (c.result) {
            EXPECT_EQ(readFile(target()), readFile(root.file("version.txt")));
        }
    }
}

TEST_F(DownloadTest, CutTransfersAreRetriedForTheRestThenReported) {
    const std::string body = patterned(30000);
    HttpFaultServer server(body, HttpFault::CutAfter, 4000);
    CFileDownLoad download;
    aim(download, server.url(), "package.zip");
    testing::internal::CaptureStderr();
    EXPECT_EQ(download.Download(), 0);
    std::string message = testing::internal::GetCapturedStderr();

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].range, "");
    EXPECT_EQ(requests[1].range, "bytes=4000-");
    EXPECT_EQ(requests[2].range, "bytes=8000-");
    // The bytes received so far stay, for the next run to continue.
    EXPECT_TRUE(readFile(target()) == body.substr(0, 12000));
    EXPECT_NE(message.find("[Error] Download " + server.url() + ":-1 package.zip fail!!\n"),
              std::string::npos)
        << message;

    // A later run continues from there and completes.
    HttpFaultServer whole(body, HttpFault::None);
    aim(download, whole.url(), "package.zip");
    EXPECT_EQ(download.Download(), 1);
    ASSERT_EQ(whole.requests().size(), 1u);
    EXPECT_EQ(whole.requests()[0].range, "bytes=12000-");
    EXPECT_TRUE(readFile(target()) == body);
}

TEST_F(DownloadTest, ErrorPageOfANewTargetIsStoredAsTheFile) {
    HttpFaultServer server("unused", HttpFault::NotFound);
    CFileDownLoad download;
    aim(download, server.url(), "missing.zip");
    EXPECT_EQ(download.Download(), 1);
    EXPECT_EQ(readFile(target()), HttpFaultServer::kNotFoundPage);
}

TEST_F(DownloadTest, UnannouncedSizeReportsZeroPercentThroughout) {
    const std::string body = patterned(300000);
    HttpFaultServer server(body, HttpFault::NoLength);
    CFileDownLoad download;
    RecordingSink sink;
    download.progressSink = &sink;
    aim(download, server.url(), "package.zip");
    EXPECT_EQ(download.Download(), 1);
    EXPECT_TRUE(readFile(target()) == body);
    ASSERT_FALSE(sink.values.empty());
    for (float v : sink.values) EXPECT_EQ(v, 0.0f);
}

TEST_F(DownloadTest, PartialFileTheServerWillNotContinueIsFetchedAgainWhole) {
    const std::string body = patterned(50000);
    HttpFaultServer server(body, HttpFault::IgnoreRange);
    writeFile(target(), "stale bytes of some other file");
    CFileDownLoad download;
    aim(download, server.url(), "package.zip");
    EXPECT_EQ(download.Download(), 1);
    EXPECT_TRUE(readFile(target()) == body);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].range, "bytes=30-");
    EXPECT_EQ(requests[1].range, "");
}

TEST_F(DownloadTest, StalledServerFailsEachAttemptWithinTheStallLimit) {
    // One byte, then silence: libcurl averages the speed over a few seconds, so a
    // bigger first burst would hide the stall for that long.
    const std::string body = patterned(100000);
    HttpFaultServer server(body, HttpFault::Stall, 1);
    CFileDownLoad download(TransferLimits{5, 1});
    aim(download, server.url(), "package.zip");
    auto started = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_EQ(download.Download(), 0);
    std::string message = testing::internal::GetCapturedStderr();
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, std::chrono::seconds(10));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].range, "bytes=2-");
    EXPECT_NE(message.find("fail!!"), std::string::npos);
    EXPECT_EQ(readFile(target()), body.substr(0, 3));
}

// A server that sends a little now and then would otherwise hold the player's dialog for
// hours: below 1 KiB a second for the stall time, an attempt fails.
TEST_F(DownloadTest, TricklingServerFailsEachAttemptBelowOneKibibyteASecond) {
    struct Case {
        const char* name;
        size_t bytesPerSecond;
        size_t size;
        int result;
    };
    // clang-format off
    const Case cases[] = {
        {"500 bytes a second", 500, 100000, 0},
        {"8 KiB a second", 8192, 24576, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(target());
        const std::string body = patterned(c.size);
        HttpFaultServer server(body, HttpFault::Trickle, c.bytesPerSecond);
        CFileDownLoad download(TransferLimits{.connectTimeoutSeconds = 5, .stallSeconds = 2});
        aim(download, server.url(), "package.zip");
        const auto started = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        EXPECT_EQ(download.Download(), c.result);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
        if (c.result == 0) {
            EXPECT_EQ(server.requests().size(), 3u);
            EXPECT_NE(message.find("fail!!"), std::string::npos);
        } else {
            EXPECT_TRUE(readFile(target()) == body);
        }
    }
}

// A server just above the rate floor, or one announcing a huge file, cannot hold the
// player: the download as a whole ends by its deadline, and a file larger than the cap
// fails at once, announced or arrived, and leaves nothing behind.
TEST_F(DownloadTest, WholeDownloadEndsByItsDeadlineAndAFileAboveTheCapAtOnce) {
    struct Case {
        const char* name;
        HttpFault fault;
        size_t size;
        size_t faultBytes;
        std::string part;  // already in the target
        long long cap;
        long maxSeconds;
        size_t requests;
        bool targetLeft;
    };
    // clang-format off
    const Case cases[] = {
        {"trickling above the floor", HttpFault::Trickle, 100000, 2048, "", 0, 3, 1, true},
        {"a huge size announced", HttpFault::HugeLength, 100000, 10, "", 1 << 20, 0, 1, false},
        {"a huge size announced for the rest", HttpFault::HugeLength, 100000, 10, std::string(1000, 'a'), 1 << 20, 0, 1, false},
        {"an endless body", HttpFault::Endless, 0, 0, "", 1 << 20, 0, 1, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(target());
        if (!c.part.empty()) writeFile(target(), c.part);
        HttpFaultServer server(patterned(c.size), c.fault, c.faultBytes);
        CFileDownLoad download(TransferLimits{.connectTimeoutSeconds = 5, .stallSeconds = 20});
        aim(download, server.url(), "package.zip");
        download.maxFileSize = c.cap;
        download.maxSeconds = c.maxSeconds;
        const auto started = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        EXPECT_EQ(download.Download(), 0);
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_LT(std::chrono::steady_clock::now() - started,
                  std::chrono::seconds(c.maxSeconds + 3));
        EXPECT_NE(message.find("fail!!"), std::string::npos);
        EXPECT_EQ(server.requests().size(), c.requests);
        EXPECT_EQ(fs::exists(target()), c.targetLeft);
    }
}

// The server's validator of its file travels with a continued request (If-Range): while
// the file is the same the rest is appended, once it has changed the server sends it
// whole and the partial target starts over, in the same run.
TEST_F(DownloadTest, PartialTargetIsContinuedOnlyWhileTheServersFileIsUnchanged) {
    TempDir root;
    const std::string first = patterned(60000);
    writeFile(root.file("package.zip"), first);
    std::vector<std::string> validators;
    auto download = std::make_unique<CFileDownLoad>();
    download->onResponse = [&](const std::string& validator) { validators.push_back(validator); };
    {
        LighttpdServer server(root.path());
        ASSERT_TRUE(server.running());
        aim(*download, server.url(), "package.zip");
        EXPECT_EQ(download->Download(), 1);
    }
    ASSERT_EQ(validators.size(), 1u);
    const std::string validator = validators[0];
    EXPECT_FALSE(validator.empty()) << "lighttpd names an ETag";
    EXPECT_EQ(download->resumeValidator, validator);

    const std::string second = patterned(70000).substr(3);
    struct Case {
        const char* name;
        const std::string* served;
        std::vector<std::string> answers;  // status and range of each request
    };
    // clang-format off
    const Case cases[] = {
        {"the same file", &first, {"206 bytes=30000-"}},
        {"republished under the same name", &second, {"200 bytes=30000-", "200 -"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Rewritten only when it changes: writing it gives it a new validator.
        if (c.served != &first) writeFile(root.file("package.zip"), *c.served);
        writeFile(target(), first.substr(0, 30000));
        validators.clear();
        download->resumeValidator = validator;
        LighttpdServer server(root.path());
        ASSERT_TRUE(server.running());
        aim(*download, server.url(), "package.zip");
        EXPECT_EQ(download->Download(), 1);
        EXPECT_TRUE(readFile(target()) == *c.served);
        std::vector<std::string> answers;
        for (const auto& line : server.stopAndReadLog())
            answers.push_back(std::to_string(line.status) + " " + line.range);
        EXPECT_EQ(answers, c.answers);
        ASSERT_EQ(validators.size(), 1u);
        EXPECT_EQ(validators[0] == validator, c.served == &first);
    }
}

TEST_F(DownloadTest, TargetThatCannotBeCreatedFailsWithoutAnyRequest) {
    HttpFaultServer server(patterned(1000), HttpFault::None);
    CFileDownLoad download;
    aim(download, server.url(), "package.zip");
    setField(download.localDir, folder.file("no such folder") + "/");
    testing::internal::CaptureStderr();
    EXPECT_EQ(download.Download(), 0);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("[Error] Download "), std::string::npos);
    EXPECT_TRUE(server.requests().empty());
}

// What a complete or stale "update.rar" meets on the next run: a server that answers
// the range with 416. A complete file is kept; a longer one is a stale partial of
// another package and is fetched again whole, so no broken package is handed on.
TEST_F(DownloadTest, RangePastTheEndKeepsOnlyACompleteTarget) {
    TempDir root;
    const std::string body = patterned(20000);
    writeFile(root.file("package.zip"), body);
    struct Case {
        const char* name;
        std::string already;
        std::vector<std::string> answers;  // method and status of each request
    };
    // clang-format off
    const Case cases[] = {
        {"complete", body, {"GET 416", "HEAD 200"}},
        {"stale and longer", patterned(25000).substr(1), {"GET 416", "HEAD 200", "GET 200"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LighttpdServer server(root.path());
        ASSERT_TRUE(server.running()) << server.errorLog();
        writeFile(target(), c.already);
        CFileDownLoad download;
        aim(download, server.url(), "package.zip");
        EXPECT_EQ(download.Download(), 1);
        EXPECT_TRUE(readFile(target()) == body);
        auto log = server.stopAndReadLog();
        std::vector<std::string> answers;
        for (const auto& line : log)
            answers.push_back(line.request.substr(0, line.request.find(' ')) + " " +
                              std::to_string(line.status));
        EXPECT_EQ(answers, c.answers);
    }
}

// Players' machines behind antivirus TLS inspection or a captive network cannot reach
// revocation lists; Schannel would then fail every HTTPS transfer. Wine checks no
// revocation, so the option itself is what can be tested.
TEST(FileDownload, AsksForBestEffortRevocationChecksWhereTheSystemWouldFailHard) {
    const PerSystem<long> expected{0, CURLSSLOPT_REVOKE_BEST_EFFORT,
                                   "Schannel fails a handshake whose revocation check cannot "
                                   "be made; OpenSSL makes none"};
    EXPECT_EQ(transferSslOptions(), expected.here());
}

}  // namespace
