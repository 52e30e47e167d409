#include <cstdio>
#include <string>
#include <string_view>

#include "config/ini_file.h"
#include "tools/admin_commands.h"
#include "update/package_signature.h"

namespace {

void printVerifyHelp() {
    std::printf(
        "launcher-admin verify PUBLIC_KEY VERSION_TXT PACKAGE\n"
        "\n"
        "  Checks a published release as the launcher will: the Signature in section\n"
        "  [Current Version] of VERSION_TXT must be a valid signature of PACKAGE's bytes\n"
        "  by the key PUBLIC_KEY. PUBLIC_KEY is the base64 text that keygen printed,\n"
        "  with or without its \"PublicKey=\" in front. Run it on the files as the web\n"
        "  server serves them, for example after copying them there:\n"
        "\n"
        "    launcher-admin verify \"PublicKey=...\" www/version.txt www/2.0.13.5.zip\n"
        "\n"
        "  It says why a check fails: a malformed key, no or a malformed Signature, an\n"
        "  unreadable package, or a package whose bytes do not match the signature\n"
        "  (changed, or signed with another key).\n"
        "\n"
        "  Exit status: 0 when the package verifies, 1 when not, 2 for wrong usage.\n");
}

int runVerify(const std::vector<std::string>& arguments) {
    if (arguments.size() != 3) {
        std::fprintf(stderr, "Usage: launcher-admin verify PUBLIC_KEY VERSION_TXT PACKAGE\n");
        return 2;
    }
    std::string_view publicKey = arguments[0];
    if (publicKey.starts_with("PublicKey=")) publicKey.remove_prefix(10);
    const std::string& versionTxt = arguments[1];
    const std::string& package = arguments[2];

    // Read with the launcher's own INI reader, so both see the same Signature.
    IniFile versionInfo;
    if (!versionInfo.Load(versionTxt)) {
        std::fprintf(stderr, "launcher-admin verify: cannot read %s\n", versionTxt.c_str());
        return 1;
    }
    versionInfo.section = "Current Version";
    const PackageCheck check =
        checkPackageSignature(publicKey, versionInfo.GetValue("Signature"), package);
    if (check != PackageCheck::Verified) {
        std::fprintf(stderr, "launcher-admin verify: %s: %s\n", package.c_str(),
                     describePackageCheck(check));
        return 1;
    }
    std::printf("%s: verified against the Signature in %s\n", package.c_str(), versionTxt.c_str());
    return 0;
}

}  // namespace

const AdminCommand verifyCommand = {"verify", "check a signed package against \"version.txt\"",
                                    runVerify, printVerifyHelp};
