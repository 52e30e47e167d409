#include "update/package_verification.h"

#include "config/catalogue.h"
#include "config/ini_file.h"
#include "config/update_context.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "update/package_signature.h"

bool acceptPatchPackage(UpdateContext& context, const std::string& path) {
    context.updateSettings.section = "BOOT";
    const std::string publicKey = context.updateSettings.GetOptionalValue("PublicKey");
    if (publicKey.empty() || !platform::pathExists(path)) return true;

    context.versionInfo.section = "Current Version";
    const std::string signature = context.versionInfo.GetValue("Signature");
    const PackageCheck check = checkPackageSignature(publicKey, signature, path);
    if (check == PackageCheck::Verified) return true;

    platform::debugOutput(path + ": " + describePackageCheck(check));
    // A package that stays would be unpacked by the hand-over: then there is none.
    if (!platform::deleteFile(path) && platform::pathExists(path)) context.handOver = 0;
    platform::ui::messageBox(catalogueText(kVerifyFailKey), "update");
    return false;
}
