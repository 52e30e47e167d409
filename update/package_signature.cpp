#include "update/package_signature.h"

#include <sodium.h>

#include <cstring>
#include <memory>

#include "platform/files.h"

namespace {

constexpr int kVariant = sodium_base64_VARIANT_ORIGINAL;

// Large enough that reading costs little next to hashing, small enough to be nothing
// beside a package.
constexpr size_t kBlockBytes = 256 * 1024;

bool sodiumReady() { return sodium_init() >= 0; }

// Feeds the whole file to the signing state, one block at a time.
bool hashFile(const std::string& path, crypto_sign_state& state) {
    platform::File file;
    if (!file.open(path, platform::AccessRead, platform::Disposition::OpenExisting)) return false;
    std::unique_ptr<unsigned char[]> block(new unsigned char[kBlockBytes]);
    for (;;) {
        const int64_t got = file.read(block.get(), kBlockBytes);
        if (got < 0) return false;
        if (got == 0) return true;
        crypto_sign_update(&state, block.get(), static_cast<unsigned long long>(got));
    }
}

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

bool signPackageFile(const std::string& path, const SecretKey& secretKey,
                     PackageSignature& signature) {
    if (!sodiumReady()) return false;
    crypto_sign_state state;
    crypto_sign_init(&state);
    bool signedAll =
        hashFile(path, state) &&
        crypto_sign_final_create(&state, signature.data(), nullptr, secretKey.bytes.data()) == 0;
    sodium_memzero(&state, sizeof state);
    return signedAll;
}

PackageCheck checkPackageSignature(std::string_view publicKeyText, std::string_view signatureText,
                                   const std::string& path) {
    PublicKey publicKey;
    if (!decodeBase64(publicKeyText, publicKey.data(), publicKey.size()))
        return PackageCheck::MalformedKey;
    if (signatureText.empty()) return PackageCheck::NoSignature;
    PackageSignature signature;
    if (!decodeBase64(signatureText, signature.data(), signature.size()))
        return PackageCheck::MalformedSignature;
    if (!sodiumReady()) return PackageCheck::Unavailable;
    crypto_sign_state state;
    crypto_sign_init(&state);
    if (!hashFile(path, state)) return PackageCheck::Unreadable;
    return crypto_sign_final_verify(&state, signature.data(), publicKey.data()) == 0
               ? PackageCheck::Verified
               : PackageCheck::Mismatch;
}

const char* describePackageCheck(PackageCheck check) {
    switch (check) {
        case PackageCheck::Verified:
            return "the package matches its signature";
        case PackageCheck::MalformedKey:
            return "the public key is not 32 bytes in standard base64 (44 characters with \"=\" "
                   "padding)";
        case PackageCheck::NoSignature:
            return "\"version.txt\" has no Signature in [Current Version]";
        case PackageCheck::MalformedSignature:
            return "the Signature is not 64 bytes in standard base64 (88 characters with \"==\" "
                   "padding)";
        case PackageCheck::Unreadable:
            return "the package cannot be read";
        case PackageCheck::Mismatch:
            return "the package does not match the Signature: its bytes were changed, or it was "
                   "signed with another key";
        case PackageCheck::Unavailable:
            return "libsodium could not start";
    }
    return "unknown result";
}
