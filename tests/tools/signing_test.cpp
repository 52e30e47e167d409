// launcher-admin keygen, publish --sign and verify, run as the operator runs them.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/pe_image.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

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
    const size_t at = versionTxt.find("\nSignature=");
    ASSERT_NE(at, std::string::npos) << versionTxt;
    EXPECT_EQ(versionTxt.substr(0, at), "[Current Version]\nUpdateFile=2.0.13.5.zip");
    EXPECT_EQ(versionTxt.size(), at + 11 + 88 + 1) << versionTxt;

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
         "does not match"},
        {"another key", otherKey, "www/version.txt", "www/2.0.13.5.zip", "does not match"},
        {"an unsigned release", publicKey, "unsigned/version.txt", "unsigned/2.0.13.5.zip",
         "no Signature"},
        {"a malformed key", malformedKey, "www/version.txt", "www/2.0.13.5.zip",
         "public key is not"},
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
    for (const char* phrase : {"launcher-admin keygen SECRET_KEY_FILE",
                               "launcher-admin publish --sign SECRET_KEY_FILE RELEASE OUTPUT",
                               "launcher-admin verify PUBLIC_KEY VERSION_TXT PACKAGE",
                               "PublicKey=", "Signature=", "0600", "[BOOT]"})
        EXPECT_NE(overview.out.find(phrase), std::string::npos) << phrase;
    EXPECT_EQ(admin(dir, {"keygen", "--help"}).exitCode, 0);
    EXPECT_EQ(admin(dir, {"verify", "--help"}).exitCode, 0);
    EXPECT_FALSE(dir.exists("--help"));
}
