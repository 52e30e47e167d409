// The signed release statement: its exact bytes, every reason a statement is refused
// (form, signature, keys, expiry, rollback) and the package's size and digest. Portable,
// so the Windows build checks the same.

#include "update/release_statement.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <functional>
#include <string>

#include "config/ini_file.h"
#include "support/system/file_bytes.h"
#include "support/system/temp_dir.h"

using namespace testsupport;

namespace {

const int64_t kExpires = 1800000000;  // 2027-01-15T08:00:00Z

struct KeyPair {
    KeyPair() { makeKeyPair(publicKey, secretKey); }
    std::string text() const { return encodeBase64(publicKey.data(), publicKey.size()); }
    PublicKey publicKey;
    SecretKey secretKey;
};

ReleaseStatement sampleStatement() {
    ReleaseStatement statement;
    statement.updateFile = "2.0.13.6.zip";
    statement.size = 1234;
    statement.sha512 = std::string(128, 'a');
    statement.expires = kExpires;
    return statement;
}

// Replaces the whole line "KEY=..." of a version.txt text.
std::string withLine(std::string text, const std::string& key, const std::string& line) {
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos) return text + line + (line.empty() ? "" : "\n");
    const size_t end = text.find('\n', at + 1);
    return text.substr(0, at + 1) + line + (line.empty() ? "" : "\n") + text.substr(end + 1);
}

}  // namespace

// Another tool produces the same statement from the README: these are its bytes.
TEST(ReleaseStatement, SignedBytesAndVersionFileAreTheDocumentedOnes) {
    ReleaseStatement statement = sampleStatement();
    EXPECT_EQ(formatUtc(kExpires), "2027-01-15T08:00:00Z");
    const std::string lines =
        "UpdateFile=2.0.13.6.zip\nSize=1234\nSHA512=" + std::string(128, 'a') +
        "\nExpires=2027-01-15T08:00:00Z\n";
    EXPECT_EQ(canonicalStatement(statement),
              "launcher release statement v1\n" + lines + "Downgrade=0\n");
    statement.downgrade = true;
    EXPECT_EQ(canonicalStatement(statement),
              "launcher release statement v1\n" + lines + "Downgrade=1\n");
    EXPECT_EQ(versionFileText(statement, "SIG"),
              "[Current Version]\n" + lines + "Downgrade=1\nSignature=SIG\n");
}

TEST(ReleaseStatement, RefusesEachFaultWithItsReason) {
    const KeyPair key, second, unlisted;
    struct Case {
        const char* label;
        std::function<void(ReleaseStatement&)> beforeSigning;  // what the operator signed
        const KeyPair* signer;
        std::function<std::string(std::string)> afterSigning;  // what the server changed
        std::string publicKeys;
        int64_t now;
        std::string installed;
        ReleaseCheck expected;
    };
    const auto asSigned = [](ReleaseStatement&) {};
    const auto unchanged = [](std::string text) { return text; };
    const auto line = [](const char* key, const char* value) {
        return [key, value](std::string text) {
            return withLine(text, key, value ? std::string(key) + "=" + value : "");
        };
    };
    const std::string one = key.text(), both = key.text() + "," + second.text();
    const int64_t before = kExpires - 1;
    // clang-format off
    const Case cases[] = {
        {"signed by the key", asSigned, &key, unchanged, one, before, "2.0.13.5",
         ReleaseCheck::Verified},
        {"signed by the second of two keys", asSigned, &second, unchanged, both, before, "",
         ReleaseCheck::Verified},
        {"two keys with a space after the comma", asSigned, &second, unchanged,
         key.text() + ", " + second.text(), before, "", ReleaseCheck::Verified},
        {"signed by an unlisted key", asSigned, &unlisted, unchanged, both, before, "",
         ReleaseCheck::BadSignature},
        {"three keys", asSigned, &key, unchanged, both + "," + unlisted.text(), before, "",
         ReleaseCheck::MalformedKey},
        {"a comma with no second key", asSigned, &key, unchanged, one + ",", before, "",
         ReleaseCheck::MalformedKey},
        {"no Signature", asSigned, &key, line("Signature", nullptr), one, before, "",
         ReleaseCheck::NoSignature},
        {"a Signature without padding", asSigned, &key,
         [](std::string text) { return text.erase(text.size() - 3, 2); }, one, before, "",
         ReleaseCheck::MalformedSignature},
        {"the older form: UpdateFile and Signature alone", asSigned, &key,
         [&](std::string text) {
             for (const char* k : {"Size", "SHA512", "Expires", "Downgrade"})
                 text = withLine(text, k, "");
             return text;
         }, one, before, "", ReleaseCheck::OldForm},
        {"UpdateFile named another release", asSigned, &key,
         line("UpdateFile", "2.0.13.7.zip"), one, before, "", ReleaseCheck::BadSignature},
        {"Size changed", asSigned, &key, line("Size", "1235"), one, before, "",
         ReleaseCheck::BadSignature},
        {"SHA512 changed", asSigned, &key,
         [&](std::string text) { return withLine(text, "SHA512", "SHA512=" + std::string(128, 'b')); },
         one, before, "", ReleaseCheck::BadSignature},
        {"Expires moved later", asSigned, &key, line("Expires", "2030-01-01T00:00:00Z"), one,
         before, "", ReleaseCheck::BadSignature},
        {"Downgrade=1 added", asSigned, &key, line("Downgrade", "1"), one, before, "",
         ReleaseCheck::BadSignature},
        {"Downgrade left out reads as 0", asSigned, &key, line("Downgrade", nullptr), one, before,
         "", ReleaseCheck::Verified},
        {"UpdateFile in capitals", [](ReleaseStatement& s) { s.updateFile = "2.0.13.6.ZIP"; },
         &key, unchanged, one, before, "", ReleaseCheck::MalformedStatement},
        {"UpdateFile with a leading zero",
         [](ReleaseStatement& s) { s.updateFile = "2.0.013.6.zip"; }, &key, unchanged, one,
         before, "", ReleaseCheck::MalformedStatement},
        {"UpdateFile above 65535", [](ReleaseStatement& s) { s.updateFile = "2.0.13.65536.zip"; },
         &key, unchanged, one, before, "", ReleaseCheck::MalformedStatement},
        {"no UpdateFile", asSigned, &key, line("UpdateFile", nullptr), one, before, "",
         ReleaseCheck::MalformedStatement},
        {"Size with a sign", asSigned, &key, line("Size", "+1234"), one, before, "",
         ReleaseCheck::MalformedStatement},
        {"SHA512 in capitals", [](ReleaseStatement& s) { s.sha512 = std::string(128, 'A'); },
         &key, unchanged, one, before, "", ReleaseCheck::MalformedStatement},
        {"Expires without its Z", asSigned, &key, line("Expires", "2027-01-15T08:00:00"), one,
         before, "", ReleaseCheck::MalformedStatement},
        {"Downgrade=yes", asSigned, &key, line("Downgrade", "yes"), one, before, "",
         ReleaseCheck::MalformedStatement},
        {"a second before the expiry", asSigned, &key, unchanged, one, kExpires - 1, "",
         ReleaseCheck::Verified},
        {"at the expiry", asSigned, &key, unchanged, one, kExpires, "", ReleaseCheck::Expired},
        {"a forged later expiry on an expired statement", asSigned, &key,
         line("Expires", "2030-01-01T00:00:00Z"), one, kExpires + 1, "",
         ReleaseCheck::BadSignature},
        {"older than the installed updater", asSigned, &key, unchanged, one, before, "2.0.13.7",
         ReleaseCheck::Rollback},
        {"older, downgrade allowed", [](ReleaseStatement& s) { s.downgrade = true; }, &key,
         unchanged, one, before, "2.0.13.7", ReleaseCheck::Verified},
        {"the installed version: not lower", asSigned, &key, unchanged, one, before, "2.0.13.6",
         ReleaseCheck::Verified},
        {"numbers compare as numbers, not text",
         [](ReleaseStatement& s) { s.updateFile = "2.0.13.10.zip"; }, &key, unchanged, one,
         before, "2.0.13.9", ReleaseCheck::Verified},
        {"an updater without a version sets no floor", asSigned, &key, unchanged, one, before, "",
         ReleaseCheck::Verified},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ReleaseStatement statement = sampleStatement();
        c.beforeSigning(statement);
        std::string signature;
        ASSERT_TRUE(signStatement(statement, c.signer->secretKey, signature));
        const std::string text = c.afterSigning(versionFileText(statement, signature));
        IniFile versionInfo;
        versionInfo.LoadFromMemory(text.data(), text.size());
        ReleaseStatement read;
        const ReleaseVerdict verdict =
            checkReleaseStatement(c.publicKeys, versionInfo, c.now, c.installed, read);
        EXPECT_EQ(verdict.check, c.expected) << verdict.reason << "\n" << text;
        EXPECT_EQ(verdict.reason.empty(), c.expected == ReleaseCheck::Verified) << verdict.reason;
        if (c.expected == ReleaseCheck::Verified) {
            EXPECT_EQ(read.updateFile, statement.updateFile);
            EXPECT_EQ(read.size, statement.size);
            EXPECT_EQ(read.sha512, statement.sha512);
            EXPECT_EQ(read.expires, statement.expires);
        }
    }
}

// The reasons name what an operator must know: the versions, the times.
TEST(ReleaseStatement, ReasonsNameTheVersionsAndTimes) {
    const KeyPair key;
    const ReleaseStatement statement = sampleStatement();
    std::string signature;
    ASSERT_TRUE(signStatement(statement, key.secretKey, signature));
    const std::string text = versionFileText(statement, signature);
    IniFile versionInfo;
    versionInfo.LoadFromMemory(text.data(), text.size());
    ReleaseStatement read;
    EXPECT_EQ(checkReleaseStatement(key.text(), versionInfo, kExpires - 1, "2.0.13.7", read).reason,
              "release 2.0.13.6 is older than the installed 2.0.13.7, and its statement does not "
              "allow a downgrade");
    EXPECT_EQ(checkReleaseStatement(key.text(), versionInfo, kExpires + 86400, "", read).reason,
              "the release statement expired at 2027-01-15T08:00:00Z (this computer's clock says "
              "2027-01-16T08:00:00Z): the publisher has not refreshed it, or the clock is wrong");
}

TEST(ReleaseStatement, UtcTimesHaveOneSpelling) {
    struct Case {
        const char* text;
        bool taken;
        int64_t seconds;
    };
    // clang-format off
    const Case cases[] = {
        {"1970-01-01T00:00:00Z", true, 0},
        {"2000-02-29T23:59:59Z", true, 951868799},
        {"2038-01-19T03:14:08Z", true, 2147483648},
        {"9999-12-31T23:59:59Z", true, 253402300799},
        {"2001-02-29T00:00:00Z", false, 0},
        {"2027-01-15T24:00:00Z", false, 0},
        {"2027-01-15T08:00:60Z", false, 0},
        {"2027-01-15t08:00:00z", false, 0},
        {"2027-01-15T08:00:00+00:00", false, 0},
        {"1969-12-31T23:59:59Z", false, 0},
        {" 2027-01-15T08:00:00Z", false, 0},
        {"", false, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int64_t seconds = -1;
        EXPECT_EQ(parseUtc(c.text, seconds), c.taken);
        if (!c.taken) continue;
        EXPECT_EQ(seconds, c.seconds);
        EXPECT_EQ(formatUtc(seconds), c.text);
    }
}

// The package is read in blocks; every byte, the last partial block's too, counts.
TEST(ReleaseStatement, PackageMustHaveTheSignedSizeAndDigest) {
    TempDir dir;
    ASSERT_GE(sodium_init(), 0);
    for (size_t size : {size_t(0), size_t(1), size_t(262143), size_t(262144), size_t(262145),
                        size_t(1048576 + 7)}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = char(i * 131 + (i >> 9));
        writeFile(dir.file("package"), bytes);
        unsigned char digest[crypto_hash_sha512_BYTES];
        crypto_hash_sha512(digest, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size());
        char hex[sizeof digest * 2 + 1];
        sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
        ReleaseStatement statement = sampleStatement();
        statement.size = size;
        statement.sha512 = hex;
        EXPECT_EQ(checkPackageDigest(statement, dir.file("package")).check, ReleaseCheck::Verified);

        writeFile(dir.file("package"), bytes + "x");
        EXPECT_EQ(checkPackageDigest(statement, dir.file("package")).check,
                  ReleaseCheck::SizeMismatch);
        if (size == 0) continue;
        bytes.back() ^= 0x01;  // the last byte of the last block
        writeFile(dir.file("package"), bytes);
        EXPECT_EQ(checkPackageDigest(statement, dir.file("package")).check,
                  ReleaseCheck::DigestMismatch);
    }
    EXPECT_EQ(checkPackageDigest(sampleStatement(), dir.file("missing")).check,
              ReleaseCheck::Unreadable);
}
