#include "update/release_statement.h"

#include <sodium.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "config/ini_file.h"
#include "platform/files.h"

namespace {

// Large enough that reading costs little next to hashing, small enough to be nothing
// beside a package.
constexpr size_t kBlockBytes = 256 * 1024;
constexpr size_t kDigestBytes = crypto_hash_sha512_BYTES;
// Two keys: the one in use and the next one, while players move over.
constexpr size_t kMaxKeys = 2;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal without sign or leading zeros, at most `limit`.
bool parseNumber(std::string_view text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    value = 0;
    for (char c : text) {
        if (!isDigit(c)) return false;
        value = value * 10 + uint64_t(c - '0');
    }
    return value <= limit;
}

bool isLowerHex(std::string_view text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!isDigit(c) && !(c >= 'a' && c <= 'f')) return false;
    return true;
}

std::string hexOf(const unsigned char* data, size_t size) {
    std::string text(size * 2 + 1, '\0');
    sodium_bin2hex(text.data(), text.size(), data, size);
    text.pop_back();
    return text;
}

ReleaseVerdict refuse(ReleaseCheck check, std::string reason) { return {check, std::move(reason)}; }

std::string versionText(const FileVersion& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

}  // namespace

bool parsePublicKeys(std::string_view text, std::vector<PublicKey>& keys) {
    keys.clear();
    for (;;) {
        const size_t comma = text.find(',');
        std::string_view part = text.substr(0, comma);
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
            part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
        PublicKey key;
        if (keys.size() == kMaxKeys || !decodeBase64(part, key.data(), key.size())) return false;
        keys.push_back(key);
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

std::string canonicalStatement(const ReleaseStatement& statement) {
    return std::string(kStatementContext) + "\nUpdateFile=" + statement.updateFile +
           "\nSize=" + std::to_string(statement.size) + "\nSHA512=" + statement.sha512 +
           "\nExpires=" + formatUtc(statement.expires) +
           "\nDowngrade=" + (statement.downgrade ? "1" : "0") + "\n";
}

std::string versionFileText(const ReleaseStatement& statement, std::string_view signatureText) {
    return "[Current Version]\nUpdateFile=" + statement.updateFile +
           "\nSize=" + std::to_string(statement.size) + "\nSHA512=" + statement.sha512 +
           "\nExpires=" + formatUtc(statement.expires) +
           "\nDowngrade=" + (statement.downgrade ? "1" : "0") +
           "\nSignature=" + std::string(signatureText) + "\n";
}

bool signStatement(const ReleaseStatement& statement, const SecretKey& secretKey,
                   std::string& signatureText) {
    if (sodium_init() < 0) return false;
    const std::string message = canonicalStatement(statement);
    PackageSignature signature;
    if (crypto_sign_detached(signature.data(), nullptr,
                             reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                             secretKey.bytes.data()) != 0)
        return false;
    signatureText = encodeBase64(signature.data(), signature.size());
    return true;
}

bool digestFile(const std::string& path, uint64_t& size, std::string& sha512) {
    platform::File file;
    if (!file.open(path, platform::AccessRead, platform::Disposition::OpenExisting)) return false;
    return digestFile(file, size, sha512);
}

bool digestFile(platform::File& file, uint64_t& size, std::string& sha512) {
    if (sodium_init() < 0) return false;
    if (file.seek(0, platform::SeekFrom::Begin) != 0) return false;
    crypto_hash_sha512_state state;
    crypto_hash_sha512_init(&state);
    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlockBytes]);
    size = 0;
    for (;;) {
        const int64_t got = file.read(block.get(), kBlockBytes);
        if (got < 0) return false;
        if (got == 0) break;
        crypto_hash_sha512_update(&state, block.get(), static_cast<unsigned long long>(got));
        size += uint64_t(got);
    }
    unsigned char digest[kDigestBytes];
    crypto_hash_sha512_final(&state, digest);
    sha512 = hexOf(digest, sizeof digest);
    return true;
}

std::string formatUtc(int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss<std::chrono::seconds> clock(time - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                  int(clock.minutes().count()), int(clock.seconds().count()));
    return text;
}

bool parseUtc(std::string_view text, int64_t& seconds) {
    // YYYY-MM-DDTHH:MM:SSZ
    static constexpr char kShape[] = "0000-00-00T00:00:00Z";
    if (text.size() != sizeof kShape - 1) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == '0' ? !isDigit(text[i]) : text[i] != kShape[i]) return false;
    auto number = [&](size_t at, size_t length) {
        int value = 0;
        for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    using namespace std::chrono;
    const year_month_day date{year(number(0, 4)), month(unsigned(number(5, 2))),
                              day(unsigned(number(8, 2)))};
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (!date.ok() || date.year() < year(1970) || hour > 23 || minute > 59 || second > 59)
        return false;
    seconds = sys_days(date).time_since_epoch().count() * int64_t(86400) + hour * 3600 +
              minute * 60 + second;
    return true;
}

int64_t currentUtcSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool parseFileVersion(std::string_view text, FileVersion& version, bool zipSuffix) {
    if (zipSuffix) {
        if (text.size() < 4 || text.substr(text.size() - 4) != ".zip") return false;
        text.remove_suffix(4);
    }
    for (size_t i = 0; i < version.size(); ++i) {
        const size_t dot = i + 1 < version.size() ? text.find('.') : text.size();
        if (dot == std::string_view::npos) return false;
        uint64_t number = 0;
        if (!parseNumber(text.substr(0, dot), 65535, number)) return false;
        version[i] = unsigned(number);
        text.remove_prefix(dot == text.size() ? dot : dot + 1);
    }
    return true;
}

ReleaseVerdict checkReleaseStatement(std::string_view publicKeys, IniFile& versionInfo, int64_t now,
                                     std::string_view installedVersion,
                                     ReleaseStatement& statement) {
    std::vector<PublicKey> keys;
    if (!parsePublicKeys(publicKeys, keys))
        return refuse(ReleaseCheck::MalformedKey,
                      "PublicKey is not one key, or two separated by a comma, of 32 bytes in "
                      "standard base64 (44 characters with \"=\" padding)");
    versionInfo.section = "Current Version";
    const std::string signatureText = versionInfo.GetValue("Signature");
    if (signatureText.empty())
        return refuse(ReleaseCheck::NoSignature,
                      "\"version.txt\" has no Signature in [Current Version]");
    PackageSignature signature;
    if (!decodeBase64(signatureText, signature.data(), signature.size()))
        return refuse(ReleaseCheck::MalformedSignature,
                      "the Signature is not 64 bytes in standard base64 (88 characters with "
                      "\"==\" padding)");

    statement.updateFile = versionInfo.GetValue("UpdateFile");
    const std::string size = versionInfo.GetValue("Size");
    statement.sha512 = versionInfo.GetValue("SHA512");
    const std::string expires = versionInfo.GetValue("Expires");
    const std::string downgrade = versionInfo.GetValue("Downgrade");
    if (size.empty() && statement.sha512.empty() && expires.empty())
        return refuse(ReleaseCheck::OldForm,
                      "\"version.txt\" has a Signature of the older form, over the package "
                      "alone, and no signed release statement (Size, SHA512, Expires): publish "
                      "the release again with this launcher-admin");
    FileVersion release{};
    if (!parseFileVersion(statement.updateFile, release, true))
        return refuse(ReleaseCheck::MalformedStatement,
                      "UpdateFile \"" + statement.updateFile +
                          "\" is not four numbers and \".zip\", as a release is named");
    if (!parseNumber(size, INT64_MAX, statement.size))
        return refuse(ReleaseCheck::MalformedStatement,
                      "Size \"" + size + "\" is not a number of bytes");
    if (!isLowerHex(statement.sha512, kDigestBytes * 2))
        return refuse(ReleaseCheck::MalformedStatement,
                      "SHA512 is not 128 lower-case hexadecimal digits");
    if (!parseUtc(expires, statement.expires))
        return refuse(ReleaseCheck::MalformedStatement,
                      "Expires \"" + expires + "\" is not a UTC time like 2027-01-31T12:00:00Z");
    if (downgrade != "" && downgrade != "0" && downgrade != "1")
        return refuse(ReleaseCheck::MalformedStatement,
                      "Downgrade \"" + downgrade + "\" is neither 1 nor 0");
    statement.downgrade = downgrade == "1";

    if (sodium_init() < 0) return refuse(ReleaseCheck::Unavailable, "libsodium could not start");
    const std::string message = canonicalStatement(statement);
    bool signedByKey = false;
    for (const PublicKey& key : keys)
        signedByKey = signedByKey ||
                      crypto_sign_verify_detached(
                          signature.data(), reinterpret_cast<const unsigned char*>(message.data()),
                          message.size(), key.data()) == 0;
    if (!signedByKey)
        return refuse(ReleaseCheck::BadSignature,
                      "the Signature does not match the release statement: a value in "
                      "\"version.txt\" was changed (such as UpdateFile naming another release), "
                      "or it was signed with a key that PublicKey does not list");
    if (now >= statement.expires)
        return refuse(ReleaseCheck::Expired,
                      "the release statement expired at " + formatUtc(statement.expires) +
                          " (this computer's clock says " + formatUtc(now) +
                          "): the publisher has not refreshed it, or the clock is wrong");
    FileVersion installed{};
    if (!statement.downgrade && parseFileVersion(installedVersion, installed) &&
        release < installed)
        return refuse(ReleaseCheck::Rollback, "release " + versionText(release) +
                                                  " is older than the installed " +
                                                  versionText(installed) +
                                                  ", and its statement does not allow a downgrade");
    return {};
}

ReleaseVerdict checkPackageDigest(const ReleaseStatement& statement, const std::string& path) {
    platform::File file;
    if (!file.open(path, platform::AccessRead, platform::Disposition::OpenExisting))
        return refuse(ReleaseCheck::Unreadable, "the package cannot be read");
    return checkPackageDigest(statement, file);
}

ReleaseVerdict checkPackageDigest(const ReleaseStatement& statement, platform::File& file) {
    uint64_t size = 0;
    std::string sha512;
    if (!digestFile(file, size, sha512))
        return refuse(ReleaseCheck::Unreadable, "the package cannot be read");
    if (size != statement.size)
        return refuse(ReleaseCheck::SizeMismatch,
                      "the package is " + std::to_string(size) + " bytes, not the " +
                          std::to_string(statement.size) + " bytes of its statement");
    if (statement.sha512.size() != sha512.size() ||
        sodium_memcmp(sha512.data(), statement.sha512.data(), sha512.size()) != 0)
        return refuse(ReleaseCheck::DigestMismatch,
                      "the package's SHA-512 does not match its statement: its bytes were "
                      "changed");
    return {};
}
