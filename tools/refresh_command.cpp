#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "config/ini_file.h"
#include "tools/admin_commands.h"
#include "tools/release_signing.h"
#include "tools/secret_key_file.h"
#include "update/release_statement.h"

namespace fs = std::filesystem;

namespace {

void printRefreshHelp() {
    std::printf(
        "launcher-admin refresh --sign SECRET_KEY_FILE [--expires DAYS] OUTPUT\n"
        "\n"
        "  Signs the release statement in OUTPUT/version.txt again with a new expiry,\n"
        "  DAYS days from now (default 30, at most 3650), and changes nothing else: the\n"
        "  package and the statement's other values stay as they are. OUTPUT is a folder\n"
        "  that publish --sign wrote, holding \"version.txt\" and the package it names.\n"
        "  Launchers with a PublicKey refuse an expired statement, so a hostile mirror\n"
        "  cannot keep serving an old release for ever; run refresh before the expiry,\n"
        "  from cron for example, and copy \"version.txt\" to the web server:\n"
        "\n"
        "    0 3 1 * *  launcher-admin refresh --sign ~/keys/release.key --expires 60 \\\n"
        "               /srv/publish && cp /srv/publish/version.txt /var/www/updater/\n"
        "\n"
        "  Before it signs, it checks that the statement was signed by this very key\n"
        "  (expired or not) and that the package still has the size and SHA-512 the\n"
        "  statement names, so it never vouches for a value someone else wrote. A\n"
        "  statement signed with another key is refused: publish the release again to\n"
        "  sign it with this one.\n"
        "\n"
        "  Exit status: 0 when \"version.txt\" was written, 1 when not, 2 for wrong usage.\n");
}

int runRefresh(const std::vector<std::string>& given) {
    SigningOptions options;
    const bool usable = parseSigningOptions(given, false, options);
    const std::vector<std::string>& arguments = options.arguments;
    if (!usable || !options.sign || arguments.size() != 1) {
        std::fprintf(stderr,
                     "Usage: launcher-admin refresh --sign SECRET_KEY_FILE [--expires DAYS] "
                     "OUTPUT\n");
        return 2;
    }
    if (!readExpiryDays("refresh", options)) return 2;
    const std::string& keyFile = options.keyFile;
    const int64_t expiryDays = options.expiryDays;
    const auto secretKey = std::make_unique<SecretKey>();
    std::string why;
    PublicKey publicKey;
    if (!readSecretKeyFile(keyFile, *secretKey, why) || !publicKeyOf(*secretKey, publicKey)) {
        std::fprintf(stderr, "launcher-admin refresh: %s\n",
                     why.empty() ? "libsodium could not start" : why.c_str());
        return 1;
    }
    const fs::path output = arguments[0];
    const fs::path versionFile = output / "version.txt";
    IniFile versionInfo;
    if (!versionInfo.Load(versionFile.string())) {
        std::fprintf(stderr, "launcher-admin refresh: cannot read %s\n",
                     versionFile.string().c_str());
        return 1;
    }
    // Only what this key signed is signed again, expired or not.
    ReleaseStatement statement;
    const ReleaseVerdict verdict =
        checkReleaseStatement(encodeBase64(publicKey.data(), publicKey.size()), versionInfo,
                              currentUtcSeconds(), "", statement);
    if (verdict.check != ReleaseCheck::Verified && verdict.check != ReleaseCheck::Expired) {
        std::fprintf(stderr, "launcher-admin refresh: %s: %s\n", versionFile.string().c_str(),
                     verdict.reason.c_str());
        return 1;
    }
    const fs::path package = output / statement.updateFile;
    const ReleaseVerdict packageVerdict = checkPackageDigest(statement, package.string());
    if (packageVerdict.check != ReleaseCheck::Verified) {
        std::fprintf(stderr, "launcher-admin refresh: %s: %s\n", package.string().c_str(),
                     packageVerdict.reason.c_str());
        return 1;
    }
    statement.expires = expiryAfterDays(expiryDays);
    std::string signature;
    if (!signStatement(statement, *secretKey, signature) ||
        !writeFileAtomically(versionFile, versionFileText(statement, signature))) {
        std::fprintf(stderr, "launcher-admin refresh: cannot write %s\n",
                     versionFile.string().c_str());
        return 1;
    }
    std::printf("refreshed %s: %s, expires %s\n", versionFile.string().c_str(),
                statement.updateFile.c_str(), formatUtc(statement.expires).c_str());
    return 0;
}

}  // namespace

const AdminCommand refreshCommand = {
    "refresh", "sign the release statement in \"version.txt\" again with a new expiry", runRefresh,
    printRefreshHelp};
