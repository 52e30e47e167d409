#include "update/package_verification.h"

#include <utility>

#include "config/catalogue.h"
#include "config/ini_file.h"
#include "config/update_context.h"
#include "platform/file_version.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/ui.h"
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
    context.verifiedPackage.close();
    context.releaseSigned = !publicKey.empty();
    if (publicKey.empty()) return true;

    // No state of our own: the installed updater's version is the floor.
    std::string installed;
    if (!platform::fileVersionInfo(clientUpdatePath, installed)) installed.clear();
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
    context.releaseSigned = true;
    context.verifiedPackage.close();
    if (!platform::pathExists(path)) return true;
    // Opened once: the hand-over unpacks through this handle, so the bytes checked are
    // the bytes unpacked, whatever is put at the name in between.
    platform::CreateOptions shareReading;
    shareReading.share = platform::ShareRead;
    platform::File package;
    const ReleaseVerdict verdict =
        package.open(path, platform::AccessRead, platform::Disposition::OpenExisting, shareReading)
            ? checkPackageDigest(statement, package)
            : ReleaseVerdict{ReleaseCheck::Unreadable, "the package cannot be read"};
    if (verdict.check == ReleaseCheck::Verified) {
        context.verifiedPackage = std::move(package);
        return true;
    }
    package.close();  // Windows deletes no file that is open
    refuseRelease(context, path, path.c_str(), verdict);
    return false;
}
