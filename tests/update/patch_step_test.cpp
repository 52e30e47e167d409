#include "update/patch_step.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/update_context.h"
#include "platform/ui.h"
#include "support/builders/pe_image.h"
#include "support/peers/http_fault_server.h"
#include "support/peers/lighttpd_server.h"
#include "support/system/environment.h"
#include "support/system/file_bytes.h"
#include "support/system/temp_dir.h"
#include "support/system/unreadable_file.h"
#include "transfer/file_download.h"
#include "transfer/progress_bar_dlg.h"
#include "transfer/thread.h"
#include "update/package_signature.h"
#include "update/release_statement.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// Bytes that differ from those of another seed all along.
std::string patternedBytes(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 251 + size_t(seed) * 13) % 251);
    return bytes;
}

void loadVersionInfo(UpdateContext& context, const std::string& text) {
    context.versionInfo.LoadFromMemory(text.data(), text.size());
}

// A "version.txt" whose signed statement names `updateFile` of `size` bytes, and the
// key that signed it in the update settings.
void loadSignedRelease(UpdateContext& context, const std::string& updateFile, uint64_t size) {
    PublicKey publicKey;
    SecretKey secretKey;
    ASSERT_TRUE(makeKeyPair(publicKey, secretKey));
    ReleaseStatement statement;
    statement.updateFile = updateFile;
    statement.size = size;
    statement.sha512 = std::string(128, 'a');
    statement.expires = currentUtcSeconds() + 86400;
    std::string signature;
    ASSERT_TRUE(signStatement(statement, secretKey, signature));
    loadVersionInfo(context, versionFileText(statement, signature));
    const std::string settings =
        "[BOOT]\nPublicKey=" + encodeBase64(publicKey.data(), publicKey.size()) + "\n";
    context.updateSettings.LoadFromMemory(settings.data(), settings.size());
}

class PatchStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name :
             {"1.1.1.1.zip", "2.0.13.4.zip", "2.0.13.5.zip", "2.0.13.6.zip", ".zip"})
            writeFile(packages.file(name), std::string("package ") + name);
        game.enter();
        platform::ui::refuseProgressDialog(false);
    }

    TempDir packages;
    TempDir game;
};

TEST_F(PatchStepTest, DownloadsUnlessTheMarkedUpdaterIsCurrent) {
    enum class Marker { None, Current, CurrentOtherCase, OnPath, Unreadable };
    struct Case {
        const char* name;
        Marker marker;
        std::string installed;  // content of clientupdate.exe; "" for no file
        const char* versionTxt;
        const char* fetched;  // "" when nothing is downloaded
    };
    const std::string current = peImageOfVersion(2, 0, 13, 5);
    PeImageOptions noFixed;
    noFixed.withFixedInfo = false;
    PeImageOptions noTranslation;
    noTranslation.withTranslation = false;
    // clang-format off
    const Case cases[] = {
        {"marker, same version", Marker::Current, current,
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", ""},
        {"marker, newer package", Marker::Current, current,
         "[Current Version]\nUpdateFile=2.0.13.6.zip\n", "2.0.13.6.zip"},
        {"marker, older package", Marker::Current, current,
         "[Current Version]\nUpdateFile=2.0.13.4.zip\n", "2.0.13.4.zip"},
        {"marker, upper-case .ZIP", Marker::Current, current,
         "[Current Version]\nUpdateFile=2.0.13.5.ZIP\n", "2.0.13.5.ZIP"},
        {"marker, no version information", Marker::Current,
         buildPeImage(noTranslation).bytes, "[Current Version]\nUpdateFile=2.0.13.5.zip\n",
         "2.0.13.5.zip"},
        {"marker, not an executable", Marker::Current, "just text",
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", "2.0.13.5.zip"},
        {"marker, no updater", Marker::Current, "",
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", "2.0.13.5.zip"},
        {"marker, fixed info missing meets a bare .zip", Marker::Current,
         buildPeImage(noFixed).bytes, "[Current Version]\nUpdateFile=.zip\n", ""},
        {"marker, no UpdateFile, updater 1.1.1.1", Marker::Current,
         peImageOfVersion(1, 1, 1, 1), "[Current Version]\n", ""},
        {"marker, no UpdateFile, other updater", Marker::Current, current, "[Other]\nx=1\n",
         "1.1.1.1.zip"},
        {"marker in other case", Marker::CurrentOtherCase, current,
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", ""},
        {"marker on PATH", Marker::OnPath, current,
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", ""},
        {"a marker that cannot be opened for reading", Marker::Unreadable, current,
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", "2.0.13.5.zip"},
        {"no marker, same version", Marker::None, current,
         "[Current Version]\nUpdateFile=2.0.13.5.zip\n", "2.0.13.5.zip"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        folder.enter();
        TempDir pathFolder;
        PathPrefix path(pathFolder.path());
        if (c.marker == Marker::Current) writeFile("vcfile.res", "");
        if (c.marker == Marker::CurrentOtherCase) writeFile("VCFile.RES", "");
        if (c.marker == Marker::OnPath) writeFile(pathFolder.file("vcfile.res"), "");
        std::unique_ptr<testsupport::UnreadableFile> unreadable;
        if (c.marker == Marker::Unreadable) {
            unreadable = std::make_unique<testsupport::UnreadableFile>(folder.file("vcfile.res"));
            ASSERT_TRUE(unreadable->ready());
        }
        // Stored in another case than the path asks for, as on a Windows disk.
        if (!c.installed.empty()) writeFile("clientupdate.exe", c.installed);

        // Only the package the case expects: a Windows folder cannot hold "2.0.13.5.zip"
        // beside "2.0.13.5.ZIP", and any other request meets 404.
        TempDir served;
        if (*c.fetched) writeFile(served.file(c.fetched), std::string("package ") + c.fetched);
        LighttpdServer server(served.path());
        ASSERT_TRUE(server.running()) << server.errorLog();
        UpdateContext context;
        loadVersionInfo(context, c.versionTxt);
        context.downloadUrl = server.url();
        context.handOver = 7;

        EXPECT_EQ(updateClientUpdater(context, folder.path() + "\\ClientUpdate.exe"), 1);
        EXPECT_EQ(context.handOver, 1);
        auto log = server.stopAndReadLog();
        if (*c.fetched) {
            ASSERT_EQ(log.size(), 1u);
            EXPECT_EQ(log[0].request, std::string("GET /") + c.fetched + " HTTP/1.1");
            EXPECT_EQ(readFile("update.rar"), std::string("package ") + c.fetched);
        } else {
            EXPECT_TRUE(log.empty());
            EXPECT_FALSE(fs::exists("update.rar"));
        }
    }
}

// A partial "update.rar" is continued only with the bytes of the file it began with:
// the side file names the package and the server's validator of it.
TEST_F(PatchStepTest, PartialPackageIsContinuedOnlyWithItsOwnBytes) {
    const std::string older = patternedBytes(60000, 2);
    const std::string newer = patternedBytes(70000, 3);
    const std::string other = patternedBytes(70000, 4);
    writeFile(packages.file("2.0.0.2.zip"), older);
    writeFile(packages.file("2.0.0.3.zip"), newer);
    const char versionTxt[] = "[Current Version]\nUpdateFile=2.0.0.3.zip\n";

    // The validator lighttpd gives the current package, as a first download records it.
    std::string validator;
    {
        TempDir first;
        first.enter();
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running());
        UpdateContext context;
        loadVersionInfo(context, versionTxt);
        context.downloadUrl = server.url();
        ASSERT_EQ(updateClientUpdater(context, first.file("ClientUpdate.exe")), 1);
        const std::string record = readFile("update.rar.part");
        const std::string head = "UpdateFile=2.0.0.3.zip\nValidator=";
        ASSERT_EQ(record.substr(0, head.size()), head) << record;
        validator = record.substr(head.size(), record.size() - head.size() - 1);
        ASSERT_FALSE(validator.empty());
    }
    const std::string record = "UpdateFile=2.0.0.3.zip\nValidator=" + validator + "\n";
    struct Case {
        const char* name;
        std::string partial;  // "update.rar" before; empty: none
        std::string side;     // "update.rar.part" before; empty: none
        std::vector<std::string> answers;
    };
    // clang-format off
    const Case cases[] = {
        {"a part of another package", older.substr(0, 30000),
         "UpdateFile=2.0.0.2.zip\nValidator=" + validator + "\n", {"200 -"}},
        {"a part of this package", newer.substr(0, 30000), record, {"206 bytes=30000-"}},
        {"a part of this package as it was before it was republished", other.substr(0, 30000),
         "UpdateFile=2.0.0.3.zip\nValidator=\"gone\"\n", {"200 bytes=30000-", "200 -"}},
        {"a part left by a launcher that wrote no side file", newer.substr(0, 30000), "",
         {"206 bytes=30000-"}},
        {"a damaged side file starts the package over", newer.substr(0, 30000),
         "UpdateFile=2.0.0.3.zip\n", {"200 -"}},
        {"a record without a validator (the server gave a weak ETag only)",
         other.substr(0, 30000), "UpdateFile=2.0.0.3.zip\nValidator=\n", {"200 -"}},
        {"a side file without a package", "", "UpdateFile=2.0.0.2.zip\nValidator=\n", {"200 -"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        folder.enter();
        if (!c.partial.empty()) writeFile("update.rar", c.partial);
        if (!c.side.empty()) writeFile("update.rar.part", c.side);
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running());
        UpdateContext context;
        loadVersionInfo(context, versionTxt);
        context.downloadUrl = server.url();

        EXPECT_EQ(updateClientUpdater(context, folder.file("ClientUpdate.exe")), 1);
        EXPECT_TRUE(readFile("update.rar") == newer);
        EXPECT_EQ(readFile("update.rar.part"), record);
        std::vector<std::string> answers;
        for (const auto& line : server.stopAndReadLog())
            answers.push_back(std::to_string(line.status) + " " + line.range);
        EXPECT_EQ(answers, c.answers);
    }
}

TEST_F(PatchStepTest, CurrentUpdaterEndsTheDialogWithSuccessAfterAPause) {
    writeFile("vcfile.res", "");
    writeFile("ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));
    UpdateContext context;
    loadVersionInfo(context, "[Current Version]\nUpdateFile=2.0.13.5.zip\n");
    context.downloadUrl = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(runPatchStep(context, game.path() + "/ClientUpdate.exe"), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_EQ(context.handOver, 1);
    EXPECT_EQ(context.clientUpdatePath, game.path() + "/ClientUpdate.exe");
    EXPECT_EQ(fileDownLoad.progressSink, &progressDialog);
}

TEST_F(PatchStepTest, FailedDownloadTellsTheUserTwiceAndClearsHandOver) {
    UpdateContext context;
    loadVersionInfo(context, "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
    context.downloadUrl = "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/";
    testing::internal::CaptureStderr();
    EXPECT_EQ(runPatchStep(context, game.path() + "/ClientUpdate.exe"), 1);
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(context.handOver, 0);
    auto first =
        messages.find("[Error] Download " + context.downloadUrl + ":0 2.0.13.6.zip fail!!\n");
    auto second = messages.find("[update] Can't download ClientUpdate.zip\n");
    ASSERT_NE(first, std::string::npos) << messages;
    ASSERT_NE(second, std::string::npos) << messages;
    EXPECT_LT(first, second);
}

// While the installed updater is current, a leftover "update.rar" that its side file
// names as another package (or whose side file is damaged) is no release to install: it
// goes unchecked, without a false "Can't verify" for the player.
TEST_F(PatchStepTest, LeftoverOfAnotherReleaseIsRemovedNotVerified) {
    struct Case {
        const char* name;
        std::string side;  // "update.rar.part"; empty: none
        bool kept;
    };
    // clang-format off
    const Case cases[] = {
        {"named as another package", "UpdateFile=2.0.13.6.zip\nValidator=\"x\"\n", false},
        {"a damaged side file", "UpdateFile=2.0.13.5.zip\n", false},
        {"named as this package", "UpdateFile=2.0.13.5.zip\nValidator=\"x\"\n", true},
        {"no side file", "", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        folder.enter();
        writeFile("vcfile.res", "");
        writeFile("ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));
        writeFile("update.rar", "a leftover part");
        if (!c.side.empty()) writeFile("update.rar.part", c.side);
        UpdateContext context;
        loadVersionInfo(context, "[Current Version]\nUpdateFile=2.0.13.5.zip\n");
        // A key only where the leftover must go unchecked; a kept one would be refused.
        // The statement itself holds: it names the installed release.
        if (!c.kept) loadSignedRelease(context, "2.0.13.5.zip", 1234);
        testing::internal::CaptureStderr();
        EXPECT_EQ(updateClientUpdater(context, folder.file("ClientUpdate.exe")), 1);
        const std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(messages.find("Can't verify"), std::string::npos) << messages;
        EXPECT_EQ(fs::exists("update.rar"), c.kept);
        if (!c.kept) {
            EXPECT_FALSE(fs::exists("update.rar.part"));
        }
    }
}

// The package is capped at 1 GiB: a server that announces more fails the download at
// once, and neither the part nor its side file stays.
TEST_F(PatchStepTest, PackageAboveTheCapFailsAtOnceAndLeavesNothing) {
    HttpFaultServer server(patternedBytes(100000, 1), HttpFault::HugeLength, 10);
    UpdateContext context;
    loadVersionInfo(context, "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
    context.downloadUrl = server.url();
    const auto started = std::chrono::steady_clock::now();
    testing::internal::CaptureStderr();
    EXPECT_EQ(updateClientUpdater(context, game.path() + "/ClientUpdate.exe"), 0);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_NE(messages.find("fail!!"), std::string::npos) << messages;
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(game.exists("update.rar"));
    EXPECT_FALSE(game.exists("update.rar.part"));
}

// With a key the signed size is the cap: a package announced larger than its statement
// fails at once, before a byte beyond it is kept (without the cap it would be fetched
// whole and only then refused by its digest).
TEST_F(PatchStepTest, WithAKeyTheSignedSizeCapsTheDownload) {
    const std::string body = patternedBytes(100000, 2);
    HttpFaultServer server(body, HttpFault::None);
    UpdateContext context;
    loadSignedRelease(context, "2.0.13.6.zip", 50000);
    context.downloadUrl = server.url();
    testing::internal::CaptureStderr();
    EXPECT_EQ(updateClientUpdater(context, game.path() + "/ClientUpdate.exe"), 0);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("fail!!"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("Can't verify"), std::string::npos) << messages;
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(game.exists("update.rar"));
    EXPECT_FALSE(game.exists("update.rar.part"));
}

TEST_F(PatchStepTest, DialogThatCannotBeShownStillWaitsForTheWorker) {
    LighttpdServer server(packages.path());
    ASSERT_TRUE(server.running()) << server.errorLog();
    UpdateContext context;
    loadVersionInfo(context, "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
    context.downloadUrl = server.url();
    context.handOver = 7;
    platform::ui::refuseProgressDialog(true);
    EXPECT_EQ(runPatchStep(context, game.path() + "/ClientUpdate.exe"), -1);
    platform::ui::refuseProgressDialog(false);
    // The worker had finished: its result is there and the package is whole.
    EXPECT_EQ(context.handOver, 1);
    EXPECT_EQ(readFile("update.rar"), "package 2.0.13.6.zip");
}

struct ThrowingWorker : base::Thread {
    void Run() override {
        progressDialog.SetProgress(40);
        throw std::runtime_error("lost");
    }
};

struct SilentWorker : base::Thread {
    void Run() override {}
};

TEST_F(PatchStepTest, WorkerThatEndsWithoutEndingTheDialogIsAFailure) {
    struct Case {
        const char* name;
        bool throws;
        bool refuseDialog;
        int result;
        int handOver;
    };
    // clang-format off
    const Case cases[] = {
        {"throws under the dialog", true, false, 1, 0},
        {"throws without a dialog", true, true, 1, 0},
        {"returns without ending the dialog", false, false, 1, 7},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateContext context;
        context.handOver = 7;
        ThrowingWorker throwing;
        SilentWorker silent;
        base::Thread& worker = c.throws ? static_cast<base::Thread&>(throwing) : silent;
        platform::ui::refuseProgressDialog(c.refuseDialog);
        EXPECT_EQ(runWorkerUnderDialog(context, worker), c.result);
        platform::ui::refuseProgressDialog(false);
        EXPECT_EQ(context.handOver, c.handOver);
        EXPECT_FALSE(worker.Started());
    }
}

}  // namespace
