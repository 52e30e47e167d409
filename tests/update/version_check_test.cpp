#include "update/version_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "config/ini_file.h"
#include "config/update_context.h"
#include "support/peers/http_fault_server.h"
#include "support/peers/lighttpd_server.h"
#include "support/system/file_bytes.h"
#include "support/system/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const char kVersionText[] = "[Current Version]\nUpdateFile=2.0.13.5.zip\n";

TEST(VersionCheckTest, FetchesVersionTxtWholeIntoTheZipPathFolder) {
    struct Case {
        const char* name;
        const char* settings;
        const char* folder;   // where the copy lands, relative to the current folder
        const char* oldCopy;  // what lay there before ("" for nothing)
    };
    // clang-format off
    const Case cases[] = {
        {"ZipPath Patch", "[BOOT]\nZipPath=Patch\n", "Patch", ""},
        {"old copy longer", "[BOOT]\nZipPath=Patch\n", "Patch", "[x]\nold=1\n######################################################"},
        {"old copy shorter", "[BOOT]\nZipPath=Patch\n", "Patch", "[x]"},
        // No ZipPath: the current folder, never the file-system root.
        {"no ZipPath", "[BOOT]\n", ".", "old"},
        {"empty ZipPath", "[BOOT]\nZipPath=\n", ".", ""},
    };
    // clang-format on
    TempDir root;
    writeFile(root.file("version.txt"), kVersionText);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir game;
        game.enter();
        if (*c.oldCopy) {
            fs::create_directories(c.folder);
            writeFile(std::string(c.folder) + "/version.txt", c.oldCopy);
        }
        LighttpdServer server(root.path());
        ASSERT_TRUE(server.running()) << server.errorLog();
        UpdateContext context;
        context.updateSettings.LoadFromMemory(c.settings, strlen(c.settings));
        context.versionUrl = server.url();
        context.downloadPort = 0;
        context.handOver = 7;

        EXPECT_EQ(checkVersion(context), 1);
        EXPECT_EQ(context.handOver, 1);
        EXPECT_EQ(readFile(std::string(c.folder) + "/version.txt"), kVersionText);
        context.versionInfo.section = "Current Version";
        EXPECT_EQ(context.versionInfo.GetValue("UpdateFile"), "2.0.13.5.zip");

        auto log = server.stopAndReadLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].request, "GET /version.txt HTTP/1.1");
        EXPECT_EQ(log[0].range, "-");
    }
}

TEST(VersionCheckTest, FailedDownloadClearsHandOverAndKeepsVersionInfo) {
    TempDir game;
    game.enter();
    UpdateContext context;
    const char settings[] = "[BOOT]\nZipPath=Patch\n";
    context.updateSettings.LoadFromMemory(settings, strlen(settings));
    context.versionInfo.LoadFromMemory(kVersionText, strlen(kVersionText));
    context.versionUrl = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
    testing::internal::CaptureStderr();
    EXPECT_EQ(checkVersion(context), 0);
    std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(context.handOver, 0);
    EXPECT_NE(message.find("[Error] Download " + context.versionUrl + ":0 version.txt fail!!"),
              std::string::npos)
        << message;
    context.versionInfo.section = "Current Version";
    EXPECT_EQ(context.versionInfo.GetValue("UpdateFile"), "2.0.13.5.zip");
}

// "version.txt" is read whole into memory: one larger than the network's limit is a
// failed fetch, at once, and nothing of it stays on disk.
TEST(VersionCheckTest, VersionTxtLargerThanTheLimitIsAFailedFetch) {
    const std::string fits = std::string(kVersionText) + "; " +
                             std::string(kMaxDownloadedIniBytes - strlen(kVersionText) - 3, 'x') +
                             "\n";
    ASSERT_EQ(fits.size(), kMaxDownloadedIniBytes);
    const std::string tooLarge = fits + "x";
    struct Case {
        const char* name;
        std::string body;
        HttpFault fault;
        bool fetched;
    };
    // clang-format off
    const Case cases[] = {
        {"exactly the limit", fits, HttpFault::None, true},
        {"one byte more, announced", tooLarge, HttpFault::None, false},
        {"one byte more, without a length", tooLarge, HttpFault::NoLength, false},
        {"an endless body", "", HttpFault::Endless, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir game;
        game.enter();
        HttpFaultServer server(c.body, c.fault);
        UpdateContext context;
        const char settings[] = "[BOOT]\nZipPath=Patch\n";
        context.updateSettings.LoadFromMemory(settings, strlen(settings));
        context.versionUrl = server.url();
        testing::internal::CaptureStderr();
        EXPECT_EQ(checkVersion(context), c.fetched ? 1 : 0);
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(context.handOver, c.fetched ? 1 : 0);
        EXPECT_EQ(server.requests().size(), 1u);
        if (c.fetched) {
            context.versionInfo.section = "Current Version";
            EXPECT_EQ(context.versionInfo.GetValue("UpdateFile"), "2.0.13.5.zip");
        } else {
            EXPECT_NE(messages.find("[Error] Download " + server.url() + ":0 version.txt fail!!"),
                      std::string::npos)
                << messages;
            EXPECT_FALSE(fs::exists("Patch/version.txt"));
        }
    }
}

}  // namespace
