#include "update/package_verification.h"

#include "config/catalogue.h"
#include "config/ini_file.h"
#include "config/update_context.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "update/file_version.h"
#include "update/package_file.h"

namespace {

// Nothing of a refused release may reach the hand-over: the package and its side file
// go, and the installed updater starts as after a corrupt package.
void refuseRelease(UpdateContext& context, const std::string& path, const char* checked,
                   const ReleaseVerdict& verdict) {
    platform::debugOutput(std::string(checked) + ": " + verdict.reason);
    // A package that stays would be unpacked by the hand-over: then there is none.
    if (!platform::deleteFile(path) && platform::pathExists(path))
        context.handOver = 0;
    else
        platform::deleteFile(kPackageSideFile);
    platform::ui::messageBox(catalogueText(kVerifyFailKey), "update");
}

}  // namespace

bool acceptReleaseStatement(UpdateContext& context, const std::string& clientUpdatePath,
                            std::optional<ReleaseStatement>& statement) {
    statement.reset();
    context.updateSettings.section = "BOOT";
    const std::string publicKey = context.updateSettings.GetOptionalValue("PublicKey");
    if (publicKey.empty()) return true;

    // No state of our own: the installed updater's version is the floor.
    std::string installed;
    if (!readFileVersion(clientUpdatePath, installed)) installed.clear();
    ReleaseStatement read;
    const ReleaseVerdict verdict =
        checkReleaseStatement(publicKey, context.versionInfo, currentUtcSeconds(), installed, read);
    if (verdict.check != ReleaseCheck::Verified) {
        refuseRelease(context, kPackageFile, "version.txt", verdict);
        return false;
    }
    statement = read;
    return true;
}

bool acceptPatchPackage(UpdateContext& context, const ReleaseStatement& statement,
                        const std::string& path) {
    if (!platform::pathExists(path)) return true;
    const ReleaseVerdict verdict = checkPackageDigest(statement, path);
    if (verdict.check == ReleaseCheck::Verified) return true;
    refuseRelease(context, path, path.c_str(), verdict);
    return false;
}
