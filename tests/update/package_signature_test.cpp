// The strictness of the base64 that keys and signatures travel in.

#include "update/package_signature.h"

#include <gtest/gtest.h>

#include <string>

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
