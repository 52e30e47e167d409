#pragma once
// Signatures of patch packages: Ed25519ph (libsodium's multi-part signing) over the
// package file's bytes, read in blocks, so neither the signer nor the launcher ever
// holds a whole package in memory. Keys and signatures travel as standard base64 with
// padding: 44 characters for a public key, 88 for a signature.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr size_t kPublicKeyBytes = 32;
inline constexpr size_t kSecretKeyBytes = 64;
inline constexpr size_t kSignatureBytes = 64;

using PublicKey = std::array<unsigned char, kPublicKeyBytes>;
using PackageSignature = std::array<unsigned char, kSignatureBytes>;

// libsodium's secret key: the 32-byte seed, then the public key. Wiped when it goes.
struct SecretKey {
    SecretKey() = default;
    ~SecretKey();
    SecretKey(const SecretKey&) = delete;
    SecretKey& operator=(const SecretKey&) = delete;

    std::array<unsigned char, kSecretKeyBytes> bytes{};
};

std::string encodeBase64(const unsigned char* data, size_t size);

// Strict: the whole text must be standard base64 with its padding, without white space
// or anything after it, and decode to exactly `size` bytes.
bool decodeBase64(std::string_view text, unsigned char* out, size_t size);

// A new key pair from the system's random source; false when libsodium cannot start.
bool makeKeyPair(PublicKey& publicKey, SecretKey& secretKey);

// The public half; false when it does not belong to the seed (a damaged key).
bool publicKeyOf(const SecretKey& secretKey, PublicKey& publicKey);

// Signs the file's bytes; false when it cannot be read to its end.
bool signPackageFile(const std::string& path, const SecretKey& secretKey,
                     PackageSignature& signature);

enum class PackageCheck {
    Verified,
    MalformedKey,        // the public key is not base64 of 32 bytes
    NoSignature,         // "version.txt" carries none
    MalformedSignature,  // not base64 of 64 bytes
    Unreadable,          // the package cannot be read to its end
    Mismatch,            // changed bytes, or signed with another key
    Unavailable,         // libsodium could not start
};

// The one check of a package against the key and signature texts as they stand in the
// settings and in "version.txt" (an empty signature counts as none).
PackageCheck checkPackageSignature(std::string_view publicKeyText, std::string_view signatureText,
                                   const std::string& path);

// Why a check failed, as a sentence part for operators ("the package ...").
const char* describePackageCheck(PackageCheck check);
