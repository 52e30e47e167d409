// Signed releases end to end: the built launcher in a temporary game folder, with a
// PublicKey in its settings, installs a release from lighttpd only when the release
// statement in "version.txt" verifies (key, expiry, no rollback) and the package matches
// it. A refused release leaves the installed updater as it was, byte for byte, and that
// updater starts.

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/builders/argument_records.h"
#include "support/builders/game_folder.h"
#include "support/builders/pe_image.h"
#include "support/builders/zip_builder.h"
#include "support/peers/http_fault_server.h"
#include "support/peers/lighttpd_server.h"
#include "support/sandbox/pid_namespace.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
#include "update/package_signature.h"
#include "update/release_statement.h"

using namespace testsupport;

namespace {

const char kRefusal[] = "[update] Can't verify ClientUpdate.zip\n";
// A region's own text for it, in its "string_en.ini".
const char kTranslation[] =
    "\xe7\x84\xa1\xe6\xb3\x95\xe9\xa9\x97\xe8\xad\x89\xe6\x9b\xb4\xe6\x96\xb0";

std::string recorder() { return readFile(binaryPath("record_args")); }

// A key pair of the test's own, for statements the operator's tool would not write.
struct KeyPair {
    KeyPair() { makeKeyPair(publicKey, secretKey); }
    std::string publicText() const { return encodeBase64(publicKey.data(), publicKey.size()); }
    // "version.txt" vouching for the package at `path` under the name `name`.
    std::string versionTxt(const std::string& path, const std::string& name) const {
        ReleaseStatement statement;
        statement.updateFile = name;
        EXPECT_TRUE(digestFile(path, statement.size, statement.sha512));
        statement.expires = currentUtcSeconds() + 86400;
        std::string signature;
        EXPECT_TRUE(signStatement(statement, secretKey, signature));
        return versionFileText(statement, signature);
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

// Runs a program ten days ahead of this computer's clock, as on a player's machine whose
// clock is wrong or after a mirror has served the same "version.txt" for ten days.
void runTenDaysAhead(std::string& program, std::vector<std::string>& arguments,
                     ProgramOptions& options) {
    const std::string faketime = findProgram("faketime");
    ASSERT_FALSE(faketime.empty()) << "faketime is missing; scripts/setup.sh installs it";
    arguments.insert(arguments.begin(), {"-f", "+10d", program});
    program = faketime;
    // libfaketime is preloaded before the sanitizers' runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.environment.push_back(
        {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"});
}

// The hand-over ends every "ClientUpdate.exe" running, so each test has a PID namespace
// of its own.
class SignedUpdateTest : public ::testing::Test {};

// The installed updater is 2.0.13.5; the operator publishes with launcher-admin and the
// server (or whoever stands in its place) serves what each row says.
TEST_F(SignedUpdateTest, ReleaseIsInstalledOnlyWhenItsSignedStatementHolds) {
    if (rerunInOwnPidNamespace()) return;
    enum class Keys { None, First, Both };
    enum class Served { AsPublished, UnderAnotherName, OldSignature, ByteFlipped };
    struct Case {
        const char* label;
        int release;  // the revision of the published ClientUpdate.exe, 2.0.13.x
        std::vector<std::string> publishOptions;
        const char* signer;  // key file; empty: published unsigned
        bool refreshed;      // refresh run after publish
        Served served;
        Keys keys;
        bool tenDaysAhead;   // the launcher's (and verify's) clock
        const char* reason;  // the refusal's, as verify and the launcher say it; none: installed
        bool fetched;
        bool inUpdateInf = false;  // key and the region's own refusal text in "update.inf"
    };
    const char* const kOlder = "release 2.0.13.4 is older than the installed 2.0.13.5";
    const char* const kChanged = "the Signature does not match the release statement";
    // clang-format off
    const Case cases[] = {
        {"a newer release", 6, {}, "first.key", false, Served::AsPublished, Keys::First, false,
         nullptr, true},
        {"an older release", 4, {}, "first.key", false, Served::AsPublished, Keys::First, false,
         kOlder, false},
        {"an older release, key and message in update.inf", 4, {}, "first.key", false,
         Served::AsPublished, Keys::First, false, kOlder, false, true},
        {"an older release with --allow-downgrade", 4, {"--allow-downgrade"}, "first.key", false,
         Served::AsPublished, Keys::First, false, nullptr, true},
        {"an expired statement", 6, {"--expires", "1"}, "first.key", false, Served::AsPublished,
         Keys::First, true, "the release statement expired at", false},
        {"an expired statement after refresh", 6, {"--expires", "1"}, "first.key", true,
         Served::AsPublished, Keys::First, true, nullptr, true},
        {"UpdateFile changed to another release's name", 4, {}, "first.key", false,
         Served::UnderAnotherName, Keys::First, false, kChanged, false},
        {"signed by the second of two listed keys", 6, {}, "second.key", false,
         Served::AsPublished, Keys::Both, false, nullptr, true},
        {"signed by an unlisted key", 6, {}, "unlisted.key", false, Served::AsPublished,
         Keys::Both, false, kChanged, false},
        {"the old signature form", 6, {}, "first.key", false, Served::OldSignature, Keys::First,
         false, "a Signature of the older form", false},
        {"one byte of the package changed", 6, {}, "first.key", false, Served::ByteFlipped,
         Keys::First, false, "SHA-512 does not match its statement", true},
        // Without a key nothing is checked, as before signed releases.
        {"no key: an older release", 4, {}, "first.key", false, Served::AsPublished, Keys::None,
         false, nullptr, true},
        {"no key: an expired statement", 6, {"--expires", "1"}, "first.key", false,
         Served::AsPublished, Keys::None, true, nullptr, true},
        {"no key: the old signature form", 6, {}, "first.key", false, Served::OldSignature,
         Keys::None, false, nullptr, true},
        {"no key: unsigned", 6, {}, "", false, Served::AsPublished, Keys::None, false, nullptr,
         true},
    };
    // clang-format on
    TempDir publisher;
    auto admin = [&](std::vector<std::string> arguments, bool tenDaysAhead = false) {
        ProgramOptions options;
        options.workingDirectory = publisher.path();
        std::string program = binaryPath("launcher-admin");
        if (tenDaysAhead) runTenDaysAhead(program, arguments, options);
        return runProgram(program, arguments, options);
    };
    std::string publicKey[3];
    const char* const keyFiles[] = {"first.key", "second.key", "unlisted.key"};
    for (int i = 0; i < 3; ++i) {
        const ProgramResult made = admin({"keygen", keyFiles[i]});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        publicKey[i] = made.out.substr(10, 44);
    }
    for (int release : {4, 6}) {
        const std::string folder = "release" + std::to_string(release) + "/";
        publisher.write(folder + "ClientUpdate.exe", peImageOfVersion(2, 0, 13, uint16_t(release)));
        publisher.write(folder + "Readme.txt", "notes " + std::to_string(release));
    }
    const std::string installed = peImageOfVersion(2, 0, 13, 5);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir www;
        std::vector<std::string> publish = {"publish"};
        if (*c.signer) publish.insert(publish.end(), {"--sign", c.signer});
        publish.insert(publish.end(), c.publishOptions.begin(), c.publishOptions.end());
        publish.insert(publish.end(), {"release" + std::to_string(c.release), www.path()});
        const ProgramResult published = admin(publish);
        ASSERT_EQ(published.exitCode, 0) << published.err;
        if (c.refreshed) {
            const ProgramResult refreshed = admin({"refresh", "--sign", c.signer, www.path()});
            ASSERT_EQ(refreshed.exitCode, 0) << refreshed.err;
        }
        std::string package = "2.0.13." + std::to_string(c.release) + ".zip";
        if (c.served == Served::UnderAnotherName) {
            // An older release made to pass for a newer one.
            www.write("2.0.13.7.zip", www.read(package));
            std::string text = www.read("version.txt");
            text.replace(text.find(package), package.size(), "2.0.13.7.zip");
            www.write("version.txt", text);
            package = "2.0.13.7.zip";
        }
        if (c.served == Served::OldSignature) {
            // Ed25519ph over the package's bytes, as launcher-admin signed before statements.
            SecretKey secret;
            ASSERT_TRUE(decodeBase64(publisher.read(c.signer).substr(0, 88), secret.bytes.data(),
                                     secret.bytes.size()));
            const std::string bytes = www.read(package);
            crypto_sign_state state;
            crypto_sign_init(&state);
            crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(bytes.data()),
                               bytes.size());
            PackageSignature signature;
            crypto_sign_final_create(&state, signature.data(), nullptr, secret.bytes.data());
            www.write("version.txt", "[Current Version]\nUpdateFile=" + package + "\nSignature=" +
                                         encodeBase64(signature.data(), signature.size()) + "\n");
        }
        if (c.served == Served::ByteFlipped) {
            // The entry's time in its local header: the archive still unpacks as before.
            std::string changed = www.read(package);
            changed[10] ^= 0x01;
            www.write(package, changed);
        }
        LighttpdServer server(www.path());
        ASSERT_TRUE(server.running());

        GameFolder game;
        game.dir().write("ClientUpdate.exe", installed);
        game.dir().write("Readme.txt", "notes 5");
        game.dir().write("vcfile.res", "");
        TempDir bin;
        bin.copyIn(binaryPath("record_args"), "wine");
        game.prependToPath(bin.path());
        std::string keys;
        if (c.keys == Keys::First) keys = publicKey[0];
        if (c.keys == Keys::Both) keys = publicKey[0] + "," + publicKey[1];
        const std::string settings = settingsText(server.url(), server.url(),
                                                  keys.empty() ? "" : "PublicKey=" + keys + "\n");
        if (c.inUpdateInf)
            packSettings(game, settings,
                         std::string("[BOOT]\nMSG_VERIFY_FAIL=") + kTranslation + "\n");
        else
            game.dir().write("update.ini", settings);

        std::string program = game.program();
        std::vector<std::string> arguments;
        ProgramOptions options = game.options();
        if (c.tenDaysAhead) runTenDaysAhead(program, arguments, options);
        const ProgramResult result = runProgram(program, arguments, options);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_FALSE(game.dir().exists("update.rar"));
        EXPECT_FALSE(game.dir().exists("update.rar.part"));
        EXPECT_EQ(result.err.find("Can't download"), std::string::npos) << result.err;
        const std::string refusal =
            c.inUpdateInf ? std::string("[update] ") + kTranslation + "\n" : kRefusal;
        if (!c.reason) {
            EXPECT_EQ(result.err.find(refusal), std::string::npos) << result.err;
            EXPECT_TRUE(game.dir().read("ClientUpdate.exe") ==
                        peImageOfVersion(2, 0, 13, uint16_t(c.release)));
            EXPECT_EQ(game.dir().read("Readme.txt"), "notes " + std::to_string(c.release));
        } else {
            EXPECT_NE(result.err.find(refusal), std::string::npos) << result.err;
            EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
            EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == installed) << "left intact";
            EXPECT_EQ(game.dir().read("Readme.txt"), "notes 5");
        }
        EXPECT_EQ(waitForArgumentRecords(bin.path(), 1).size(), 1u) << "an updater starts";
        std::vector<std::string> requests;
        for (const auto& line : server.stopAndReadLog())
            requests.push_back(line.request + " " + std::to_string(line.status));
        std::vector<std::string> expected = {"GET /version.txt HTTP/1.1 200"};
        if (c.fetched) expected.push_back("GET /" + package + " HTTP/1.1 200");
        EXPECT_EQ(requests, expected) << "a statement is checked before the download";

        // The operator's check of what the server holds says the same.
        if (c.keys == Keys::None) continue;
        const ProgramResult verified =
            admin({"verify", "--installed", "2.0.13.5", "PublicKey=" + keys,
                   www.file("version.txt"), www.file(package)},
                  c.tenDaysAhead);
        EXPECT_EQ(verified.exitCode, c.reason ? 1 : 0) << verified.err;
        if (c.reason) {
            EXPECT_NE(verified.err.find(c.reason), std::string::npos) << verified.err;
        }
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
        packages.write("version.txt",
                       key.versionTxt(packages.file("2.0.13.5.zip"), "2.0.13.5.zip"));
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
    packages.write("version.txt", key.versionTxt(packages.file("2.0.13.6.zip"), "2.0.13.6.zip"));
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
