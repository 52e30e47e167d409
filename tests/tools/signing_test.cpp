// launcher-admin keygen, publish --sign and verify, run as the operator runs them.

#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/builders/pe_image.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
#include "update/release_statement.h"

using namespace testsupport;

namespace {

ProgramResult admin(const TempDir& dir, const std::vector<std::string>& arguments) {
    ProgramOptions options;
    options.workingDirectory = dir.path();
    return runProgram(binaryPath("launcher-admin"), arguments, options);
}

// keygen's printed line, "PublicKey=..." without its line feed.
std::string keygen(const TempDir& dir, const std::string& keyFile) {
    const ProgramResult made = admin(dir, {"keygen", keyFile});
    EXPECT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out.size(), 10u + 44u + 1u) << made.out;
    return made.out.substr(0, made.out.size() - 1);
}

void writeRelease(const TempDir& dir) {
    dir.write("release/ClientUpdate.exe", peImageOfVersion(2, 0, 13, 5));
    dir.write("release/Patch/readme.txt", "read me");
}

std::string sha512Hex(const std::string& bytes) {
    unsigned char digest[crypto_hash_sha512_BYTES];
    crypto_hash_sha512(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return hex;
}

// The "Expires=" value of a version.txt text, in seconds.
int64_t expiresOf(const std::string& versionTxt) {
    const size_t at = versionTxt.find("\nExpires=");
    int64_t seconds = 0;
    if (at == std::string::npos || !parseUtc(versionTxt.substr(at + 9, 20), seconds)) return -1;
    return seconds;
}

ProgramResult run(const TempDir& dir, const std::string& program,
                  const std::vector<std::string>& arguments) {
    ProgramOptions options;
    options.workingDirectory = dir.path();
    return runProgram(program, arguments, options);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 0777;
}

}  // namespace

TEST(Signing, KeygenPublishAndVerifyRoundTripAndVerifySaysWhyItFails) {
    TempDir dir;
    const std::string publicKey = keygen(dir, "release.key");
    ASSERT_EQ(publicKey.rfind("PublicKey=", 0), 0u);
    EXPECT_EQ(modeOf(dir.file("release.key")), 0600u);
    const std::string keyLine = dir.read("release.key");
    EXPECT_EQ(keyLine.size(), 89u);
    EXPECT_EQ(keyLine.find('\n'), 88u);

    writeRelease(dir);
    const ProgramResult published =
        admin(dir, {"publish", "--sign", "release.key", "release", "www"});
    ASSERT_EQ(published.exitCode, 0) << published.err;
    const std::string versionTxt = dir.read("www/version.txt");
    const std::string package = dir.read("www/2.0.13.5.zip");
    const size_t at = versionTxt.find("\nExpires=");
    ASSERT_NE(at, std::string::npos) << versionTxt;
    EXPECT_EQ(versionTxt.substr(0, at),
              "[Current Version]\nUpdateFile=2.0.13.5.zip\nSize=" + std::to_string(package.size()) +
                  "\nSHA512=" + sha512Hex(package))
        << versionTxt;
    // Thirty days from now unless told otherwise.
    int64_t expires = 0;
    ASSERT_TRUE(parseUtc(versionTxt.substr(at + 9, 20), expires)) << versionTxt;
    EXPECT_NEAR(double(expires - currentUtcSeconds()), 30.0 * 86400, 60.0);
    const size_t signature = versionTxt.find("\nDowngrade=0\nSignature=", at);
    ASSERT_EQ(signature, at + 9 + 20) << versionTxt;
    EXPECT_EQ(versionTxt.size(), signature + 23 + 88 + 1) << versionTxt;

    // The key as printed, or only its base64.
    for (const std::string& key : {publicKey, publicKey.substr(10)}) {
        const ProgramResult verified =
            admin(dir, {"verify", key, "www/version.txt", "www/2.0.13.5.zip"});
        EXPECT_EQ(verified.exitCode, 0) << verified.err;
        EXPECT_NE(verified.out.find("verified"), std::string::npos) << verified.out;
    }

    // The failures an operator's release check meets, each with its reason.
    std::string changed = dir.read("www/2.0.13.5.zip");
    changed[changed.size() / 2] ^= 0x20;
    dir.write("changed.zip", changed);
    const std::string otherKey = keygen(dir, "other.key");
    ASSERT_EQ(admin(dir, {"publish", "release", "unsigned"}).exitCode, 0);
    std::string malformedKey = publicKey.substr(10);
    malformedKey[5] = '*';
    struct Case {
        const char* label;
        std::string key, versionTxt, package;
        const char* reason;
    };
    // clang-format off
    const Case cases[] = {
        {"one byte of the package changed", publicKey, "www/version.txt", "changed.zip",
         "SHA-512 does not match its statement"},
        {"another key", otherKey, "www/version.txt", "www/2.0.13.5.zip",
         "does not match the release statement"},
        {"an unsigned release", publicKey, "unsigned/version.txt", "unsigned/2.0.13.5.zip",
         "no Signature"},
        {"a malformed key", malformedKey, "www/version.txt", "www/2.0.13.5.zip",
         "PublicKey is not"},
        {"no package", publicKey, "www/version.txt", "www/2.0.13.6.zip", "cannot be read"},
        {"no version.txt", publicKey, "www/none.txt", "www/2.0.13.5.zip",
         "cannot read www/none.txt"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ProgramResult result = admin(dir, {"verify", c.key, c.versionTxt, c.package});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    // The installed version a player has sets the floor.
    const std::vector<std::string> release = {publicKey, "www/version.txt", "www/2.0.13.5.zip"};
    auto verifyOver = [&](const std::string& installed) {
        std::vector<std::string> arguments = {"verify", "--installed", installed};
        arguments.insert(arguments.end(), release.begin(), release.end());
        return admin(dir, arguments);
    };
    EXPECT_EQ(verifyOver("2.0.13.5").exitCode, 0);
    EXPECT_NE(verifyOver("2.0.13.6").err.find("is older than the installed 2.0.13.6"),
              std::string::npos);
    EXPECT_EQ(verifyOver("2.0.13").exitCode, 2);
    EXPECT_EQ(admin(dir, {"verify", publicKey, "www/version.txt"}).exitCode, 2);
}

TEST(Signing, KeygenNeverWritesOverAFileOrThroughALink) {
    TempDir dir;
    dir.write("taken.key", "an older key");
    ASSERT_EQ(::symlink(dir.file("elsewhere.key").c_str(), dir.file("link.key").c_str()), 0);
    for (const char* name : {"taken.key", "link.key", "missing/new.key"}) {
        SCOPED_TRACE(name);
        const ProgramResult result = admin(dir, {"keygen", name});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.out, "") << "no public key for a secret key that was not kept";
        EXPECT_NE(result.err, "");
    }
    EXPECT_NE(admin(dir, {"keygen", "taken.key"}).err.find("exists"), std::string::npos);
    EXPECT_EQ(dir.read("taken.key"), "an older key");
    EXPECT_FALSE(dir.exists("elsewhere.key"));
    EXPECT_EQ(admin(dir, {"keygen"}).exitCode, 2);
    EXPECT_EQ(admin(dir, {"keygen", "a", "b"}).exitCode, 2);
}

TEST(Signing, PublishRefusesAKeyThatCannotSignAndWritesNothing) {
    TempDir dir;
    writeRelease(dir);
    keygen(dir, "good.key");
    std::string damaged = dir.read("good.key");
    damaged[60] = damaged[60] == 'A' ? 'B' : 'A';  // in the public half
    dir.write("damaged.key", damaged);
    dir.write("short.key", dir.read("good.key").substr(0, 44) + "\n");
    dir.write("two-lines.key", dir.read("good.key") + dir.read("good.key"));
    // A FIFO that nobody writes would block a plain open for good.
    ASSERT_EQ(::mkfifo(dir.file("fifo.key").c_str(), 0600), 0);
    struct Case {
        const char* label;
        std::vector<std::string> arguments;
        int exitCode;
        const char* reason;
    };
    // clang-format off
    const Case cases[] = {
        {"no key file", {"--sign", "none.key", "release", "www"}, 1, "cannot read none.key"},
        {"public half changed", {"--sign", "damaged.key", "release", "www"}, 1, "damaged"},
        {"too short", {"--sign", "short.key", "release", "www"}, 1, "not a secret key file"},
        {"two keys", {"--sign", "two-lines.key", "release", "www"}, 1, "not a secret key file"},
        {"a FIFO", {"--sign", "fifo.key", "release", "www"}, 1, "cannot read fifo.key"},
        {"--sign without a file", {"release", "www", "--sign"}, 2, "Usage"},
        {"--sign twice",
         {"--sign", "good.key", "--sign", "good.key", "release", "www"},
         2,
         "Usage"},
        {"--expires without --sign", {"--expires", "5", "release", "www"}, 2, "Usage"},
        {"--allow-downgrade without --sign", {"--allow-downgrade", "release", "www"}, 2, "Usage"},
        {"--expires 0", {"--sign", "good.key", "--expires", "0", "release", "www"}, 2,
         "whole days from 1 to 3650"},
        {"--expires of eleven years",
         {"--sign", "good.key", "--expires", "4015", "release", "www"},
         2,
         "whole days"},
        {"--expires in hours", {"--sign", "good.key", "--expires", "12h", "release", "www"}, 2,
         "whole days"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> arguments = {"publish"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ProgramResult result = admin(dir, arguments);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_FALSE(dir.exists("www"));
    }
    // The option may also follow the folders.
    EXPECT_EQ(admin(dir, {"publish", "release", "www", "--sign", "good.key"}).exitCode, 0);
    EXPECT_NE(dir.read("www/version.txt").find("Signature="), std::string::npos);
}

TEST(Signing, HelpExplainsKeysSigningAndVerifying) {
    TempDir dir;
    const ProgramResult overview = admin(dir, {"--help"});
    EXPECT_EQ(overview.exitCode, 0);
    for (const char* phrase :
         {"launcher-admin keygen SECRET_KEY_FILE",
          "launcher-admin publish --sign SECRET_KEY_FILE [--expires DAYS] [--allow-downgrade]",
          "launcher-admin refresh --sign SECRET_KEY_FILE [--expires DAYS] OUTPUT",
          "launcher-admin verify [--installed VERSION] PUBLIC_KEY VERSION_TXT PACKAGE",
          "PublicKey=", "Signature=", "Expires=", "0600", "[BOOT]"})
        EXPECT_NE(overview.out.find(phrase), std::string::npos) << phrase;
    EXPECT_EQ(admin(dir, {"keygen", "--help"}).exitCode, 0);
    EXPECT_EQ(admin(dir, {"verify", "--help"}).exitCode, 0);
    EXPECT_EQ(admin(dir, {"refresh", "--help"}).exitCode, 0);
    EXPECT_FALSE(dir.exists("--help"));
}

// refresh signs the same statement again with a new expiry, and only one this key
// signed over a package that still matches it.
TEST(Signing, RefreshRenewsTheExpiryOfWhatThisKeySignedAndNothingElse) {
    TempDir dir;
    const std::string publicKey = keygen(dir, "release.key");
    keygen(dir, "other.key");
    writeRelease(dir);
    ASSERT_EQ(admin(dir, {"publish", "--sign", "release.key", "--expires", "1", "--allow-downgrade",
                          "release", "www"})
                  .exitCode,
              0);
    const std::string published = dir.read("www/version.txt");
    const std::string package = dir.read("www/2.0.13.5.zip");
    EXPECT_NEAR(double(expiresOf(published) - currentUtcSeconds()), 86400.0, 60.0);

    const ProgramResult refreshed =
        admin(dir, {"refresh", "--sign", "release.key", "--expires", "60", "www"});
    ASSERT_EQ(refreshed.exitCode, 0) << refreshed.err;
    const std::string renewed = dir.read("www/version.txt");
    EXPECT_NEAR(double(expiresOf(renewed) - currentUtcSeconds()), 60.0 * 86400, 60.0);
    const size_t until = published.find("\nExpires=");
    EXPECT_EQ(renewed.substr(0, until), published.substr(0, until)) << "name, size and digest";
    EXPECT_NE(renewed.find("\nDowngrade=1\n"), std::string::npos) << renewed;
    EXPECT_TRUE(dir.read("www/2.0.13.5.zip") == package);
    EXPECT_EQ(admin(dir, {"verify", publicKey, "www/version.txt", "www/2.0.13.5.zip"}).exitCode, 0);

    // What refresh must not sign again; each leaves "version.txt" as it was.
    std::string changedPackage = package;
    changedPackage[changedPackage.size() / 2] ^= 0x20;
    std::string changedSize = renewed;
    const size_t size = changedSize.find("\nSize=") + 6;
    changedSize.replace(size, changedSize.find('\n', size) - size,
                        std::to_string(package.size() + 1));
    struct Case {
        const char* label;
        const char* key;
        std::string versionTxt;  // empty: none
        std::string package;
        const char* reason;
    };
    // clang-format off
    const Case cases[] = {
        {"signed by another key", "other.key", renewed, package,
         "does not match the release statement"},
        {"a value changed on the server", "release.key", changedSize, package,
         "does not match the release statement"},
        {"the package changed", "release.key", renewed, changedPackage,
         "SHA-512 does not match its statement"},
        {"an unsigned release", "release.key", "[Current Version]\nUpdateFile=2.0.13.5.zip\n",
         package, "no Signature"},
        {"no version.txt", "release.key", "", package, "cannot read"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir www;
        if (!c.versionTxt.empty()) www.write("version.txt", c.versionTxt);
        www.write("2.0.13.5.zip", c.package);
        const ProgramResult result = run(dir, binaryPath("launcher-admin"),
                                         {"refresh", "--sign", dir.file(c.key), www.path()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        if (!c.versionTxt.empty()) {
            EXPECT_EQ(www.read("version.txt"), c.versionTxt);
        }
    }
    EXPECT_EQ(admin(dir, {"refresh", "www"}).exitCode, 2) << "no key";
    EXPECT_EQ(admin(dir, {"refresh", "--sign", "release.key", "--expires", "0", "www"}).exitCode,
              2);
    EXPECT_EQ(admin(dir, {"refresh", "--sign", "release.key"}).exitCode, 2);
}

// Another tool makes a statement from the documented bytes alone: OpenSSL signs it with
// an Ed25519 key of its own, sha512sum gives the digest, and the launcher's check takes
// it.
TEST(Signing, AStatementMadeByOtherToolsFromTheDocumentedBytesVerifies) {
    TempDir dir;
    writeRelease(dir);
    ASSERT_EQ(admin(dir, {"publish", "release", "www"}).exitCode, 0);
    const std::string package = dir.read("www/2.0.13.5.zip");
    const ProgramResult digest = run(dir, "/usr/bin/sha512sum", {"www/2.0.13.5.zip"});
    ASSERT_EQ(digest.exitCode, 0) << digest.err;
    const std::string values = "UpdateFile=2.0.13.5.zip\nSize=" + std::to_string(package.size()) +
                               "\nSHA512=" + digest.out.substr(0, 128) +
                               "\nExpires=2099-12-31T23:59:59Z\nDowngrade=0\n";
    dir.write("statement", "launcher release statement v1\n" + values);
    const std::string openssl = "/usr/bin/openssl";
    ASSERT_EQ(run(dir, openssl, {"genpkey", "-algorithm", "ed25519", "-out", "key.pem"}).exitCode,
              0);
    ASSERT_EQ(run(dir, openssl,
                  {"pkeyutl", "-sign", "-rawin", "-inkey", "key.pem", "-in", "statement", "-out",
                   "signature"})
                  .exitCode,
              0);
    ASSERT_EQ(
        run(dir, openssl, {"pkey", "-in", "key.pem", "-pubout", "-outform", "DER", "-out", "pub"})
            .exitCode,
        0);
    const std::string der = dir.read("pub"), signature = dir.read("signature");
    ASSERT_EQ(signature.size(), 64u);
    const std::string key = der.substr(der.size() - 32);  // the raw key ends the DER
    auto base64 = [](const std::string& bytes) {
        return encodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    };
    dir.write("www/version.txt",
              "[Current Version]\n" + values + "Signature=" + base64(signature) + "\n");
    const ProgramResult verified =
        admin(dir, {"verify", "PublicKey=" + base64(key), "www/version.txt", "www/2.0.13.5.zip"});
    EXPECT_EQ(verified.exitCode, 0) << verified.err;
}
