// launcher-admin check against a real web server: each row breaks one thing of a good
// deployment, and the check must name it and end with 1, without installing anything.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/builders/pe_image.h"
#include "support/peers/lighttpd_server.h"
#include "support/peers/loopback_socket.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
#include "update/package_signature.h"
#include "update/release_statement.h"

using namespace testsupport;

namespace {

ProgramResult admin(const TempDir& dir, const std::vector<std::string>& arguments) {
    ProgramOptions options;
    options.workingDirectory = dir.path();
    return runProgram(binaryPath("launcher-admin"), arguments, options);
}

// A statement for the published package that expired an hour ago, signed with the key.
void publishExpiredStatement(const TempDir& dir, const std::string& keyFile,
                             const std::string& package) {
    SecretKey secret;
    ASSERT_TRUE(
        decodeBase64(dir.read(keyFile).substr(0, 88), secret.bytes.data(), secret.bytes.size()));
    ReleaseStatement statement;
    statement.updateFile = package;
    ASSERT_TRUE(digestFile(dir.file("www/" + package), statement.size, statement.sha512));
    statement.expires = currentUtcSeconds() - 3600;
    std::string signature;
    ASSERT_TRUE(signStatement(statement, secret, signature));
    dir.write("www/version.txt", versionFileText(statement, signature));
}

enum class Break {
    Nothing,
    VersionTxtMissing,
    PackageMissing,
    WrongUpdaterVersion,
    Tampered,
    Expired,
    Silent,  // a server that takes the connection and never answers
};

}  // namespace

TEST(Check, NamesWhatIsWrongWithADeploymentAsThePlayersLauncherMeetsIt) {
    struct Case {
        const char* label;
        Break broken;
        bool withKey;
        bool plainSettings;  // update.ini beside the launcher instead of update.inf
        std::vector<std::string> extra;
        int exitCode;
        std::vector<std::string> expected;  // in the report
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"good signed deployment", Break::Nothing, true, false, {"--installed", "2.0.13.5"}, 0,
         {"settings: update.inf, region TW chosen in install.ini in update.inf, country tw",
          "server settings: update_tw.ini in update.inf",
          "messages: string_tw.ini in update.inf",
          "package: 2.0.13.6.zip\n", "release statement: signed, expires ",
          "digest: matches the release statement", "  Patch/readme.txt (7 bytes)",
          "ClientUpdate.exe: version 2.0.13.6", "a player at 2.0.13.5 would update to 2.0.13.6.zip",
          "no problems"}},
        {"good unsigned deployment from update.ini", Break::Nothing, false, true,
         {"--installed", "2.0.13.6"}, 0,
         {"settings: no readable update.inf; the plain update.ini only",
          "server settings: update.ini", "release statement: not checked",
          "a player at 2.0.13.6 has nothing to do", "no problems"}},
        {"a player above the release is refused", Break::Nothing, true, false,
         {"--installed", "2.0.14.0"}, 1,
         {"a player at 2.0.14.0 would be refused: release 2.0.13.6 is older than the installed"}},
        {"version.txt answers 404", Break::VersionTxtMissing, false, false, {}, 1,
         {"version.txt: the server answered HTTP 404, which the launcher keeps as version.txt",
          "package: 1.1.1.1.zip, the default",
          "no UpdateFile in [Current Version], so the launcher fetches the default 1.1.1.1.zip",
          "1.1.1.1.zip: the server answered HTTP 404"}},
        {"package missing", Break::PackageMissing, false, false, {}, 1,
         {"2.0.13.6.zip: the server answered HTTP 404"}},
        {"ClientUpdate.exe of another version", Break::WrongUpdaterVersion, false, false, {}, 1,
         {"2.0.13.7.zip: its ClientUpdate.exe is version 2.0.13.6, not the 2.0.13.7 its name "
          "promises"}},
        {"tampered package with a key", Break::Tampered, true, false, {"--installed", "2.0.13.5"}, 1,
         {"2.0.13.6.zip: the package's SHA-512 does not match its statement",
          "a player at 2.0.13.5 would be refused: the package's SHA-512"}},
        {"tampered package without a key goes unnoticed", Break::Tampered, false, false, {}, 0,
         {"no problems"}},
        {"expired statement", Break::Expired, true, false, {}, 1,
         {"version.txt: the release statement expired at "}},
        {"a server that does not answer", Break::Silent, false, false, {"--timeout", "2"}, 1,
         {"version.txt: "}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const ProgramResult made = admin(dir, {"keygen", "release.key"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        const std::string publicKey = made.out.substr(0, made.out.size() - 1);
        dir.write("release/ClientUpdate.exe", peImageOfVersion(2, 0, 13, 6));
        dir.write("release/Patch/readme.txt", "read me");
        const ProgramResult published =
            admin(dir, {"publish", "--sign", "release.key", "release", "www"});
        ASSERT_EQ(published.exitCode, 0) << published.err;
        std::string package = "2.0.13.6.zip";
        switch (c.broken) {
            case Break::VersionTxtMissing:
                std::filesystem::remove(dir.file("www/version.txt"));
                break;
            case Break::PackageMissing:
                std::filesystem::remove(dir.file("www/" + package));
                break;
            case Break::WrongUpdaterVersion:
                dir.write("www/2.0.13.7.zip", dir.read("www/" + package));
                dir.write("www/version.txt", "[Current Version]\nUpdateFile=2.0.13.7.zip\n");
                break;
            case Break::Tampered: {
                std::string bytes = dir.read("www/" + package);
                bytes[10] ^= 0x01;  // an entry's time: the archive still opens
                dir.write("www/" + package, bytes);
                break;
            }
            case Break::Expired:
                publishExpiredStatement(dir, "release.key", package);
                break;
            case Break::Nothing:
            case Break::Silent:
                break;
        }
        LighttpdServer server(dir.file("www"));
        ASSERT_TRUE(server.running()) << server.errorLog();
        uint16_t silentPort = 0;
        const loopback::Socket silent =
            c.broken == Break::Silent ? loopback::listenOn(0, silentPort) : loopback::kNoSocket;
        const std::string url = c.broken == Break::Silent
                                    ? "http://127.0.0.1:" + std::to_string(silentPort) + "/"
                                    : server.url();
        const std::string settings = "[BOOT]\nVersionURL=" + url + "\nDownloadURL=" + url + "\n" +
                                     (c.withKey ? publicKey + "\n" : "");
        dir.makeFolder("game");
        if (c.plainSettings) {
            dir.write("game/update.ini", settings);
        } else {
            dir.write("settings/install.ini", "[BOOT]\nselect=TW\n");
            dir.write("settings/localization.ini", "[TW]\ncountry=tw\n");
            dir.write("settings/update_tw.ini", settings);
            dir.write("settings/string_tw.ini", "[BOOT]\nMSG_NET_ERROR=net\n");
            const ProgramResult packed = admin(dir, {"pack", "settings", "game/update.inf"});
            ASSERT_EQ(packed.exitCode, 0) << packed.err;
        }
        dir.write("game/ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));

        std::vector<std::string> arguments = {"check", "game"};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        const auto started = std::chrono::steady_clock::now();
        ProgramResult checked = admin(dir, arguments);
        const auto took = std::chrono::steady_clock::now() - started;
        // Windows' console ends lines with a carriage return.
        std::erase(checked.out, '\r');
        if (silent != loopback::kNoSocket) loopback::closeSocket(silent);
        EXPECT_EQ(checked.exitCode, c.exitCode) << checked.out << checked.err;
        for (const std::string& line : c.expected)
            EXPECT_NE(checked.out.find(line), std::string::npos) << line << "\n" << checked.out;
        EXPECT_LT(took, std::chrono::seconds(30)) << "every wait is bounded";
        // Nothing is installed or left behind in the game folder.
        EXPECT_EQ(dir.read("game/ClientUpdate.exe"), peImageOfVersion(2, 0, 13, 5));
        for (const char* name : {"version.txt", "update.rar", "Patch"})
            EXPECT_FALSE(dir.exists("game/" + std::string(name))) << name;
    }
}

TEST(Check, RefusesWrongUsage) {
    TempDir dir;
    dir.makeFolder("game");
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"check"},
             {"check", "game", "extra"},
             {"check", "game", "--installed", "2.0"},
             {"check", "game", "--timeout", "0"},
             {"check", "game", "--region"},
             {"check", "game/settings.zip"},
         }) {
        const ProgramResult result = admin(dir, arguments);
        EXPECT_EQ(result.exitCode, 2) << arguments.back() << result.err;
    }
    const ProgramResult empty = admin(dir, {"check", "game"});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_NE(empty.out.find("update.ini: missing, so the launcher has no server address"),
              std::string::npos)
        << empty.out;
}
