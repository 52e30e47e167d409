#pragma once
// The signed release statement: what "version.txt" says about the package it names,
// bound together under one signature. Its values stand in [Current Version] beside
// "UpdateFile", and "Signature" is pure Ed25519 over these exact bytes:
//
//   "launcher release statement v1\n"
//   "UpdateFile=" name "\n"           the package's name, four numbers and ".zip"
//   "Size=" decimal "\n"              the package's length in bytes, no leading zeros
//   "SHA512=" 128 lower-case hex "\n" SHA-512 of the package's bytes
//   "Expires=" YYYY-MM-DDTHH:MM:SSZ "\n"  UTC
//   "Downgrade=" "0" or "1" "\n"      1 only when the operator allows a lower version
//
// The first line keeps these signatures apart from any other use of the key.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "update/package_signature.h"

class IniFile;

inline constexpr char kStatementContext[] = "launcher release statement v1";

struct ReleaseStatement {
    std::string updateFile;
    uint64_t size = 0;
    std::string sha512;   // lower-case hex
    int64_t expires = 0;  // seconds since 1970-01-01 UTC
    bool downgrade = false;
};

// The bytes that are signed.
std::string canonicalStatement(const ReleaseStatement& statement);

// The [Current Version] section of "version.txt" holding the statement and its
// signature, the values in the statement's order (a missing Downgrade reads as 0).
std::string versionFileText(const ReleaseStatement& statement, std::string_view signatureText);

// Signs the statement; the signature as "Signature" carries it (88 characters).
bool signStatement(const ReleaseStatement& statement, const SecretKey& secretKey,
                   std::string& signatureText);

// The file's length and SHA-512, read in blocks; false when it cannot be read to its end.
bool digestFile(const std::string& path, uint64_t& size, std::string& sha512);
// The same of an open file, read from its start.
bool digestFile(platform::File& file, uint64_t& size, std::string& sha512);

// "2027-01-31T12:00:00Z", and back: only that one spelling, years 1970 to 9999.
std::string formatUtc(int64_t seconds);
bool parseUtc(std::string_view text, int64_t& seconds);
// This computer's clock, in seconds since 1970-01-01 UTC.
int64_t currentUtcSeconds();

// Four numbers from 0 to 65535 joined by dots, without leading zeros, as a file version
// is written ("2.0.13.5"); with `zipSuffix`, followed by ".zip".
using FileVersion = std::array<unsigned, 4>;
bool parseFileVersion(std::string_view text, FileVersion& version, bool zipSuffix = false);

// "PublicKey" as the settings hold it: one key, or two separated by a comma (spaces
// around each are allowed). False for anything else, an empty text included.
bool parsePublicKeys(std::string_view text, std::vector<PublicKey>& keys);

enum class ReleaseCheck {
    Verified,
    MalformedKey,        // PublicKey is not one or two base64 keys
    NoSignature,         // "version.txt" carries none
    MalformedSignature,  // not base64 of 64 bytes
    OldForm,             // a signature over the package alone, without a statement
    MalformedStatement,  // a value missing or not in its form
    BadSignature,        // a value changed, or signed by a key not listed
    Expired,             // the statement's time has passed
    Rollback,            // a lower version than the installed one, not allowed
    Unreadable,          // the package cannot be read to its end
    SizeMismatch,        // the package is not as long as the statement says
    DigestMismatch,      // the package's bytes were changed
    Unavailable,         // libsodium could not start
};

struct ReleaseVerdict {
    ReleaseCheck check = ReleaseCheck::Verified;
    std::string reason;  // for operators and the debugger line; empty when verified
};

// Takes the statement's values from [Current Version] of `versionInfo` and checks it:
// its form, its signature by one of `publicKeys` (as "PublicKey" holds them), its expiry
// against `now`, and, when `installedVersion` is a version, that the release is not
// lower unless the statement allows a downgrade. `statement` holds the values read.
ReleaseVerdict checkReleaseStatement(std::string_view publicKeys, IniFile& versionInfo, int64_t now,
                                     std::string_view installedVersion,
                                     ReleaseStatement& statement);

// Checks the package's length and digest against an accepted statement.
ReleaseVerdict checkPackageDigest(const ReleaseStatement& statement, const std::string& path);
// The same of an open file, read from its start.
ReleaseVerdict checkPackageDigest(const ReleaseStatement& statement, platform::File& file);
