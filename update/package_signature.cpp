#include "update/package_signature.h"

#include <sodium.h>

namespace {

constexpr int kVariant = sodium_base64_VARIANT_ORIGINAL;

bool sodiumReady() { return sodium_init() >= 0; }

}  // namespace

static_assert(kPublicKeyBytes == crypto_sign_PUBLICKEYBYTES);
static_assert(kSecretKeyBytes == crypto_sign_SECRETKEYBYTES);
static_assert(kSignatureBytes == crypto_sign_BYTES);

SecretKey::~SecretKey() { sodium_memzero(bytes.data(), bytes.size()); }

std::string encodeBase64(const unsigned char* data, size_t size) {
    std::string text(sodium_base64_ENCODED_LEN(size, kVariant), '\0');
    sodium_bin2base64(text.data(), text.size(), data, size, kVariant);
    text.resize(text.size() - 1);  // the terminator
    return text;
}

bool decodeBase64(std::string_view text, unsigned char* out, size_t size) {
    // Only the one canonical length; libsodium then refuses every character outside the
    // alphabet, wrong padding and stray bits in the last character.
    if (text.size() != sodium_base64_ENCODED_LEN(size, kVariant) - 1) return false;
    size_t decoded = 0;
    return sodium_base642bin(out, size, text.data(), text.size(), nullptr, &decoded, nullptr,
                             kVariant) == 0 &&
           decoded == size;
}

bool makeKeyPair(PublicKey& publicKey, SecretKey& secretKey) {
    return sodiumReady() && crypto_sign_keypair(publicKey.data(), secretKey.bytes.data()) == 0;
}

bool publicKeyOf(const SecretKey& secretKey, PublicKey& publicKey) {
    if (!sodiumReady()) return false;
    SecretKey rebuilt;
    PublicKey derived;
    // The seed alone makes the key; the stored public half must be the one it makes.
    if (crypto_sign_seed_keypair(derived.data(), rebuilt.bytes.data(), secretKey.bytes.data()) != 0)
        return false;
    if (sodium_memcmp(rebuilt.bytes.data(), secretKey.bytes.data(), kSecretKeyBytes) != 0)
        return false;
    publicKey = derived;
    return true;
}
