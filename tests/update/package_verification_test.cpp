// The launcher's check of a patch package, where the end-to-end tests cannot reach:
// a refused package that cannot be removed must not reach the hand-over either.

#include "update/package_verification.h"

#include <gtest/gtest.h>

#include <string>

#include "config/update_context.h"
#include "support/temp_dir.h"
#include "update/package_signature.h"

using namespace testsupport;

TEST(PackageVerification, RefusedPackageThatCannotBeDeletedStopsTheHandOver) {
    TempDir game;
    game.enter();
    game.makeFolder("update.rar");  // nothing deletes a folder as a file
    PublicKey publicKey;
    SecretKey secretKey;
    ASSERT_TRUE(makeKeyPair(publicKey, secretKey));
    UpdateContext context;
    const std::string settings =
        "[BOOT]\nPublicKey=" + encodeBase64(publicKey.data(), publicKey.size()) + "\n";
    context.updateSettings.LoadFromMemory(settings.data(), settings.size());
    const std::string versionTxt = "[Current Version]\nSignature=" + std::string(86, 'A') + "==\n";
    context.versionInfo.LoadFromMemory(versionTxt.data(), versionTxt.size());

    testing::internal::CaptureStderr();
    EXPECT_FALSE(acceptPatchPackage(context, "update.rar"));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(context.handOver, 0);
    EXPECT_NE(messages.find("[update] Can't verify ClientUpdate.zip\n"), std::string::npos)
        << messages;
    EXPECT_TRUE(game.exists("update.rar"));
}
