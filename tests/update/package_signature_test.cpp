// Package signatures: the standard's own test vector (so a package signed by any other
// Ed25519ph implementation verifies here), files across read-block boundaries, and the
// strictness of the base64 that keys and signatures travel in.

#include "update/package_signature.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <string>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

std::string fromHex(const std::string& hex) {
    std::string bytes(hex.size() / 2, '\0');
    sodium_hex2bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), hex.data(),
                   hex.size(), nullptr, nullptr, nullptr);
    return bytes;
}

std::string base64Of(const std::string& bytes) {
    return encodeBase64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

void keyFromSeed(const std::string& seed, SecretKey& secretKey, PublicKey& publicKey) {
    ASSERT_GE(sodium_init(), 0);
    ASSERT_EQ(crypto_sign_seed_keypair(publicKey.data(), secretKey.bytes.data(),
                                       reinterpret_cast<const unsigned char*>(seed.data())),
              0);
}

std::string text(const PackageSignature& signature) {
    return encodeBase64(signature.data(), signature.size());
}

}  // namespace

// RFC 8032, section 7.3: Ed25519ph of "abc".
TEST(PackageSignature, SignsAndVerifiesTheStandardTestVector) {
    TempDir dir;
    writeFile(dir.file("abc"), "abc");
    SecretKey secretKey;
    PublicKey publicKey;
    keyFromSeed(fromHex("833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42"),
                secretKey, publicKey);
    const std::string expectedKey =
        fromHex("ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf");
    const std::string expectedSignature = fromHex(
        "98a70222f0b8121aa9d30f813d683f809e462b469c7ff87639499bb94e6dae41"
        "31f85042463c2a355a2003d062adf5aaa10b8c61e636062aaad11c2a26083406");
    EXPECT_EQ(std::string(publicKey.begin(), publicKey.end()), expectedKey);

    PackageSignature signature;
    ASSERT_TRUE(signPackageFile(dir.file("abc"), secretKey, signature));
    EXPECT_EQ(text(signature), base64Of(expectedSignature));
    EXPECT_EQ(
        checkPackageSignature(base64Of(expectedKey), base64Of(expectedSignature), dir.file("abc")),
        PackageCheck::Verified);
    writeFile(dir.file("abd"), "abd");
    EXPECT_EQ(
        checkPackageSignature(base64Of(expectedKey), base64Of(expectedSignature), dir.file("abd")),
        PackageCheck::Mismatch);
}

// A file is read in blocks; every byte, the last partial block's too, counts.
TEST(PackageSignature, EveryByteOfFilesAroundBlockSizesCounts) {
    TempDir dir;
    PublicKey publicKey;
    SecretKey secretKey;
    ASSERT_TRUE(makeKeyPair(publicKey, secretKey));
    const std::string key = encodeBase64(publicKey.data(), publicKey.size());
    for (size_t size : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(262143),
                        size_t(262144), size_t(262145), size_t(1048576 + 7)}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = char(i * 131 + (i >> 9));
        writeFile(dir.file("package"), bytes);

        // The same signature as one update over all bytes at once.
        crypto_sign_state state;
        crypto_sign_init(&state);
        crypto_sign_update(&state, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size());
        PackageSignature whole;
        crypto_sign_final_create(&state, whole.data(), nullptr, secretKey.bytes.data());
        PackageSignature streamed;
        ASSERT_TRUE(signPackageFile(dir.file("package"), secretKey, streamed));
        EXPECT_EQ(text(streamed), text(whole));
        EXPECT_EQ(checkPackageSignature(key, text(streamed), dir.file("package")),
                  PackageCheck::Verified);

        if (size == 0) continue;
        bytes.back() ^= 0x01;  // the last byte of the last block
        writeFile(dir.file("package"), bytes);
        EXPECT_EQ(checkPackageSignature(key, text(streamed), dir.file("package")),
                  PackageCheck::Mismatch);
    }
    EXPECT_EQ(checkPackageSignature(key, text(PackageSignature{}), dir.file("missing")),
              PackageCheck::Unreadable);
    PackageSignature unused;
    EXPECT_FALSE(signPackageFile(dir.file("missing"), secretKey, unused));
}

// Keys and signatures come from files an attacker may have touched: only the one
// canonical spelling is taken.
TEST(PackageSignature, OnlyCanonicalBase64OfTheExactLengthIsTaken) {
    PublicKey publicKey;
    SecretKey secretKey;
    ASSERT_TRUE(makeKeyPair(publicKey, secretKey));
    const std::string key = encodeBase64(publicKey.data(), publicKey.size());
    ASSERT_EQ(key.size(), 44u);
    ASSERT_EQ(key.back(), '=');
    const std::string stem = key.substr(0, 43);
    // The 43rd character carries 4 data bits; its 2 lowest bits must be zero.
    std::string strayBits = key;
    strayBits[42] = char(strayBits[42] == 'A' ? 'B' : strayBits[42] + 1);
    const std::string withPlusAndSlash = "+/" + key.substr(2);

    struct Case {
        const char* label;
        std::string text;
        bool taken;
    };
    // clang-format off
    const Case cases[] = {
        {"canonical", key, true},
        {"'+' and '/' of the standard alphabet", withPlusAndSlash, true},
        {"no padding", stem, false},
        {"double padding", stem + "==", false},
        {"a line feed after it", key + "\n", false},
        {"a space in front", " " + key, false},
        {"a space inside", stem.substr(0, 20) + " " + stem.substr(20) + "=", false},
        {"trailing garbage", key + "A", false},
        {"padding in the middle", stem.substr(0, 20) + "=" + stem.substr(21) + "=", false},
        {"stray bits before the padding", strayBits, false},
        {"the URL-safe alphabet", "-_" + key.substr(2), false},
        {"4 bytes too many", encodeBase64(secretKey.bytes.data(), 36), false},
        {"1 byte too few", encodeBase64(publicKey.data(), 31), false},
        {"the secret key's 64 bytes", encodeBase64(secretKey.bytes.data(), 64), false},
        {"empty", "", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        PublicKey decoded{};
        EXPECT_EQ(decodeBase64(c.text, decoded.data(), decoded.size()), c.taken) << c.text;
        if (c.taken && c.text == key) {
            EXPECT_EQ(decoded, publicKey);
        }
    }
}
