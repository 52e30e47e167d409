// The launcher's check of a patch package, where the end-to-end tests cannot reach:
// a refused package that cannot be removed must not reach the hand-over either.

#include "update/package_verification.h"

#include <gtest/gtest.h>

#include <string>

#include "config/update_context.h"
#include "support/temp_dir.h"

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
