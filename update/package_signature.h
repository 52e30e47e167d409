#pragma once
// Ed25519 keys and signatures of releases (update/release_statement.h says what is
// signed). Keys and signatures travel as standard base64 with padding: 44 characters
// for a public key, 88 for a signature.

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
