#include <cstdio>
#include <string>
#include <string_view>

#include "config/ini_file.h"
#include "tools/admin_commands.h"
#include "update/release_statement.h"

namespace {

void printVerifyHelp() {
    std::printf(
        "launcher-admin verify [--installed VERSION] PUBLIC_KEY VERSION_TXT PACKAGE\n"
        "\n"
        "  Checks a published release as the launcher will: the release statement in\n"
        "  section [Current Version] of VERSION_TXT must be signed by PUBLIC_KEY and not\n"
        "  expired by this computer's clock, and PACKAGE must have the size and SHA-512\n"
        "  it names. PUBLIC_KEY is the text of the launcher's PublicKey setting (one key,\n"
        "  or two separated by a comma), with or without its \"PublicKey=\" in front.\n"
        "  With --installed, a release lower than that version of ClientUpdate.exe\n"
        "  (\"2.0.13.5\") is refused unless its statement allows a downgrade. Run it on\n"
        "  the files as the web server serves them, for example after copying them there:\n"
        "\n"
        "    launcher-admin verify \"PublicKey=...\" www/version.txt www/2.0.13.5.zip\n"
        "\n"
        "  It says why a check fails, in the words of the launcher's debugger line: a\n"
        "  malformed key, no or a malformed Signature, a signature of the older form, a\n"
        "  value missing or malformed, a statement changed or signed with an unlisted\n"
        "  key, an expired statement, a release older than the installed one, or a\n"
        "  package that is unreadable or does not match (changed bytes).\n"
        "\n"
        "  Exit status: 0 when the release verifies, 1 when not, 2 for wrong usage.\n");
}

int runVerify(const std::vector<std::string>& given) {
    std::vector<std::string> arguments;
    std::string installed;
    bool usable = true;
    for (size_t i = 0; i < given.size(); ++i) {
        if (given[i] != "--installed") {
            arguments.push_back(given[i]);
        } else if (installed.empty() && i + 1 < given.size()) {
            installed = given[++i];
            FileVersion version;
            usable = usable && parseFileVersion(installed, version);
        } else {
            usable = false;
        }
    }
    if (!usable || arguments.size() != 3) {
        std::fprintf(stderr,
                     "Usage: launcher-admin verify [--installed VERSION] PUBLIC_KEY VERSION_TXT "
                     "PACKAGE\n");
        return 2;
    }
    std::string_view publicKey = arguments[0];
    if (publicKey.starts_with("PublicKey=")) publicKey.remove_prefix(10);
    const std::string& versionTxt = arguments[1];
    const std::string& package = arguments[2];

    // Read with the launcher's own INI reader, so both see the same values.
    IniFile versionInfo;
    if (!versionInfo.Load(versionTxt)) {
        std::fprintf(stderr, "launcher-admin verify: cannot read %s\n", versionTxt.c_str());
        return 1;
    }
    ReleaseStatement statement;
    ReleaseVerdict verdict =
        checkReleaseStatement(publicKey, versionInfo, currentUtcSeconds(), installed, statement);
    if (verdict.check == ReleaseCheck::Verified) verdict = checkPackageDigest(statement, package);
    if (verdict.check != ReleaseCheck::Verified) {
        std::fprintf(stderr, "launcher-admin verify: %s: %s\n", package.c_str(),
                     verdict.reason.c_str());
        return 1;
    }
    std::printf("%s: verified against the release statement in %s (%s, expires %s%s)\n",
                package.c_str(), versionTxt.c_str(), statement.updateFile.c_str(),
                formatUtc(statement.expires).c_str(),
                statement.downgrade ? ", downgrade allowed" : "");
    return 0;
}

}  // namespace

const AdminCommand verifyCommand = {
    "verify", "check a signed release (\"version.txt\" and its package) as the launcher will",
    runVerify, printVerifyHelp};
