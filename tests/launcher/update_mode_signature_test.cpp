// Signed releases end to end: the built launcher in a temporary game folder fetches a
// package from lighttpd and installs it only when the operator's key verifies it, when
// its settings hold a PublicKey. A refused package leaves the installed updater as it
// was, byte for byte, and that updater starts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/argument_records.h"
#include "support/game_folder.h"
#include "support/http_fault_server.h"
#include "support/lighttpd_server.h"
#include "support/pe_image.h"
#include "support/pid_namespace.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"
#include "update/package_signature.h"

using namespace testsupport;

namespace {

const char kRefusal[] = "[update] Can't verify ClientUpdate.zip\n";
// A region's own text for it, in its "string_en.ini".
const char kTranslation[] =
    "\xe7\x84\xa1\xe6\xb3\x95\xe9\xa9\x97\xe8\xad\x89\xe6\x9b\xb4\xe6\x96\xb0";

std::string recorder() { return readFile(binaryPath("record_args")); }

struct KeyPair {
    KeyPair() { makeKeyPair(publicKey, secretKey); }
    std::string publicText() const { return encodeBase64(publicKey.data(), publicKey.size()); }
    std::string sign(const std::string& path) const {
        PackageSignature signature{};
        EXPECT_TRUE(signPackageFile(path, secretKey, signature));
        return encodeBase64(signature.data(), signature.size());
    }
    PublicKey publicKey;
    SecretKey secretKey;
};

std::string settingsText(const std::string& versionUrl, const std::string& downloadUrl,
                         const std::string& publicKeyLine) {
    return "[BOOT]\nVersionURL=" + versionUrl + "\nDownloadURL=" + downloadUrl +
           "\nZipPath=Patch\n" + publicKeyLine;
}

// The settings packed into "update.inf" as "update_en.ini", as operators ship them, with
// the region's messages when given.
void packSettings(const GameFolder& game, const std::string& text,
                  const std::string& messages = "") {
    TempDir inis;
    inis.write("update_en.ini", text);
    if (!messages.empty()) inis.write("string_en.ini", messages);
    ProgramOptions o;
    o.workingDirectory = game.path();
    const ProgramResult packed =
        runProgram(binaryPath("launcher-admin"), {"pack", inis.path(), "update.inf"}, o);
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
}

// The hand-over ends every "ClientUpdate.exe" running, so each test has a PID namespace
// of its own.
class SignedUpdateTest : public ::testing::Test {};

TEST_F(SignedUpdateTest, PackageIsInstalledOnlyWhenTheConfiguredKeyVerifiesIt) {
    if (rerunInOwnPidNamespace()) return;
    enum class Key { None, InUpdateIni, InUpdateInf, Malformed };
    enum class Signature { None, ByTheKey, ByAnotherKey, Malformed };
    struct Case {
        const char* label;
        Key key;
        Signature signature;
        bool flipped;  // one byte of the served package changed after signing
        bool installed;
        bool translated = false;  // the region's catalogue has its own refusal text
    };
    // clang-format off
    const Case cases[] = {
        {"signed by the key", Key::InUpdateIni, Signature::ByTheKey, false, true},
        {"signed, key in update.inf", Key::InUpdateInf, Signature::ByTheKey, false, true},
        {"one byte flipped", Key::InUpdateIni, Signature::ByTheKey, true, false},
        {"one byte flipped, key in update.inf", Key::InUpdateInf, Signature::ByTheKey, true, false,
         true},
        {"signed by another key", Key::InUpdateIni, Signature::ByAnotherKey, false, false},
        {"key set, no Signature", Key::InUpdateIni, Signature::None, false, false},
        {"malformed base64 in the key", Key::Malformed, Signature::ByTheKey, false, false},
        {"malformed base64 in the signature", Key::InUpdateIni, Signature::Malformed, false, false},
        // Nothing is checked without a key, not even a signature that would fail.
        {"Signature but no key", Key::None, Signature::ByTheKey, true, true},
    };
    // clang-format on
    const KeyPair key, otherKey;
    const std::string newUpdater = recorder() + "release 2";
    const std::string package = buildZip({unixEntry("ClientUpdate.exe", newUpdater, 0100755),
                                          unixEntry("Readme.txt", "new notes", 0100644)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GameFolder game;
        game.dir().copyIn(binaryPath("record_args"), "ClientUpdate.exe");
        game.dir().write("Readme.txt", "old notes");

        TempDir packages;
        packages.write("2.0.13.6.zip", package);
        std::string signatureLine;
        const std::string packagePath = packages.file("2.0.13.6.zip");
        if (c.signature == Signature::ByTheKey)
            signatureLine = "Signature=" + key.sign(packagePath) + "\n";
        if (c.signature == Signature::ByAnotherKey)
            signatureLine = "Signature=" + otherKey.sign(packagePath) + "\n";
        if (c.signature == Signature::Malformed)
            signatureLine =
                "Signature=" + key.sign(packagePath).substr(0, 86) + "\n";  // no padding
        if (c.flipped) {
            // The entry's time in its local header: the archive still unpacks as before.
            std::string changed = package;
            changed[10] ^= 0x01;
            packages.write("2.0.13.6.zip", changed);
        }
        packages.write("version.txt",
                       "[Current Version]\nUpdateFile=2.0.13.6.zip\n" + signatureLine);
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running());

        std::string keyLine;
        if (c.key != Key::None) keyLine = "PublicKey=" + key.publicText() + "\n";
        if (c.key == Key::Malformed) keyLine[20] = '!';
        const std::string settings = settingsText(server.url(), server.url(), keyLine);
        if (c.key == Key::InUpdateInf) {
            packSettings(
                game, settings,
                c.translated ? std::string("[BOOT]\nMSG_VERIFY_FAIL=") + kTranslation + "\n" : "");
            game.dir().write("update.ini",
                             settingsText(server.url(), server.url(), ""));  // must lose
        } else {
            game.dir().write("update.ini", settings);
        }

        const ProgramResult result = game.run();
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_FALSE(game.dir().exists("update.rar"));
        EXPECT_EQ(result.err.find("Can't download"), std::string::npos) << result.err;
        const std::string refusal =
            c.translated ? std::string("[update] ") + kTranslation + "\n" : kRefusal;
        if (c.installed) {
            EXPECT_EQ(result.err.find(refusal), std::string::npos) << result.err;
            EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == newUpdater);
            EXPECT_EQ(game.dir().read("Readme.txt"), "new notes");
        } else {
            EXPECT_NE(result.err.find(refusal), std::string::npos) << result.err;
            EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == recorder())
                << "the installed updater, intact";
            EXPECT_EQ(game.dir().read("Readme.txt"), "old notes");
        }
        EXPECT_EQ(waitForArgumentRecords(game.path(), 1), ArgumentRecords{{"4718"}});
        std::vector<std::string> requests;
        for (const auto& line : server.stopAndReadLog())
            requests.push_back(line.request + " " + std::to_string(line.status));
        EXPECT_EQ(requests, (std::vector<std::string>{"GET /version.txt HTTP/1.1 200",
                                                      "GET /2.0.13.6.zip HTTP/1.1 200"}));
    }
}

// An "update.rar" left from an earlier run while the installed updater is current: the
// hand-over would unpack it, so with a key it must verify too.
TEST_F(SignedUpdateTest, PackageLeftFromAnEarlierRunIsVerifiedToo) {
    if (rerunInOwnPidNamespace()) return;
    struct Case {
        const char* label;
        bool withKey;
        bool unpacked;
    };
    // clang-format off
    const Case cases[] = {
        {"with a key: refused and deleted", true, false},
        {"without a key: unpacked as always", false, true},
    };
    // clang-format on
    const KeyPair key;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GameFolder game;
        const std::string updater = peImageOfVersion(2, 0, 13, 5);
        game.dir().write("ClientUpdate.exe", updater);
        game.dir().write("vcfile.res", "");
        game.dir().write("update.rar", buildZip({unixEntry("Readme.txt", "left over", 0100644)}));
        TempDir bin;
        bin.copyIn(binaryPath("record_args"), "wine");

        TempDir packages;
        packages.write("2.0.13.5.zip", "the current release, not fetched");
        packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.5.zip\nSignature=" +
                                          key.sign(packages.file("2.0.13.5.zip")) + "\n");
        LighttpdServer server(packages.path());
        ASSERT_TRUE(server.running());
        game.dir().write("update.ini",
                         settingsText(server.url(), server.url(),
                                      c.withKey ? "PublicKey=" + key.publicText() + "\n" : ""));

        game.prependToPath(bin.path());
        const ProgramResult result = game.run();
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_FALSE(game.dir().exists("update.rar"));
        EXPECT_EQ(game.dir().exists("Readme.txt"), c.unpacked);
        EXPECT_EQ(result.err.find(kRefusal) != std::string::npos, !c.unpacked) << result.err;
        // An opt-in that is not used leaves no trace, not even a debugger line.
        if (!c.withKey) {
            EXPECT_EQ(result.err.find("PublicKey"), std::string::npos) << result.err;
        }
        EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == updater);
        EXPECT_EQ(waitForArgumentRecords(bin.path(), 1).size(), 1u) << "the updater starts";
    }
}

// A download that breaks off is neither verified nor unpacked: no hand-over, and the
// part stays to be continued next time.
TEST_F(SignedUpdateTest, PartialDownloadIsNeitherVerifiedNorUnpacked) {
    if (rerunInOwnPidNamespace()) return;
    GameFolder game;
    game.dir().copyIn(binaryPath("record_args"), "ClientUpdate.exe");
    const KeyPair key;
    const std::string package =
        buildZip({unixEntry("ClientUpdate.exe", recorder() + "release 2", 0100755)});
    TempDir packages;
    packages.write("2.0.13.6.zip", package);
    packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.6.zip\nSignature=" +
                                      key.sign(packages.file("2.0.13.6.zip")) + "\n");
    LighttpdServer versions(packages.path());
    ASSERT_TRUE(versions.running());
    HttpFaultServer downloads(package, HttpFault::CutAfter, 1000);
    game.dir().write("update.ini", settingsText(versions.url(), downloads.url(),
                                                "PublicKey=" + key.publicText() + "\n"));

    const ProgramResult result = game.run();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("[update] Can't download ClientUpdate.zip\n"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find(kRefusal), std::string::npos) << result.err;
    const std::string part = game.dir().read("update.rar");
    EXPECT_EQ(part.size(), 3000u) << "three attempts of 1000 bytes each";
    EXPECT_TRUE(package.compare(0, part.size(), part) == 0);
    EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == recorder());
    EXPECT_TRUE(waitForArgumentRecords(game.path(), 1, 1).empty()) << "no hand-over";
}

}  // namespace
