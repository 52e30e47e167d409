// The launcher's check of a patch package, where the end-to-end tests cannot reach:
// a refused package that cannot be removed must not reach the hand-over either.

#include "update/package_verification.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "config/update_context.h"
#include "platform/files.h"
#include "support/builders/zip_builder.h"
#include "support/system/temp_dir.h"
#include "unzip/zip_reader.h"
#include "update/package_file.h"

using namespace testsupport;

TEST(PackageVerification, RefusedPackageThatCannotBeDeletedStopsTheHandOver) {
    TempDir game;
    game.enter();
    game.makeFolder("update.rar");  // nothing deletes a folder as a file
    UpdateContext context;
    ReleaseStatement statement;
    statement.updateFile = "2.0.13.6.zip";
    statement.sha512 = std::string(128, '0');

    testing::internal::CaptureStderr();
    EXPECT_FALSE(acceptPatchPackage(context, statement, "update.rar"));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(context.handOver, 0);
    EXPECT_NE(messages.find("[update] Can't verify ClientUpdate.zip\n"), std::string::npos)
        << messages;
    EXPECT_TRUE(game.exists("update.rar"));
}

namespace {

ZipEntryPlan updaterEntry(const std::string& data) {
    ZipEntryPlan entry;
    entry.name = "ClientUpdate.exe";
    entry.data = data;
    return entry;
}

}  // namespace

// The verified package stays open for the hand-over, which reads it through that handle:
// a file put at the name meanwhile (refused on Windows, where the held file shares
// reading only) changes nothing read, and the name can be deleted once it is closed.
TEST(PackageVerification, VerifiedPackageIsReadThroughTheHandleThatWasChecked) {
    TempDir game;
    game.enter();
    game.write("update.rar", buildZip({updaterEntry("signed updater")}));
    ReleaseStatement statement;
    statement.updateFile = "2.0.13.6.zip";
    ASSERT_TRUE(digestFile(game.file("update.rar"), statement.size, statement.sha512));
    UpdateContext context;
    ASSERT_TRUE(acceptPatchPackage(context, statement, "update.rar"));
    ASSERT_TRUE(context.verifiedPackage.isOpen());

    game.write("swap.zip", buildZip({updaterEntry("unsigned updater")}));
    platform::replaceFile("swap.zip", "update.rar");

    {
        const ZipReaderHandle reader = openZipReader(std::move(context.verifiedPackage), nullptr);
        ASSERT_TRUE(reader);
        char bytes[64] = {};
        ASSERT_EQ(UnzipToMemory(reader.get(), 0, bytes, sizeof bytes - 1), ZIPRES_OK);
        EXPECT_STREQ(bytes, "signed updater");
    }
    EXPECT_TRUE(deletePackage());
    EXPECT_FALSE(game.exists("update.rar"));
}
