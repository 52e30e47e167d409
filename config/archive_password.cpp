#include "config/archive_password.h"

#include <cstdint>

// This keeps casual eyes out of "update.inf"; it is an obfuscation, not a secret:
// anyone holding the program can rebuild the password.

namespace {

// The classic linear congruential generator in its unseeded state, implemented here
// so that the password is the same with every C library.
class ClassicRand {
public:
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_ = 1;
};

constexpr char kAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
constexpr size_t kAlphabetSize = sizeof kAlphabet - 1;

struct FixedCharacter {
    size_t position;
    char value;
};
constexpr FixedCharacter kFixed[] = {{2, 'V'}, {5, '#'}, {9, 'k'}, {13, '7'}};

}  // namespace

std::unique_ptr<char[]> makeArchivePassword() {
    std::unique_ptr<char[]> buffer(new char[kArchivePasswordBufferSize]);
    ClassicRand rand;
    for (size_t i = 0; i + 1 < kArchivePasswordBufferSize; ++i)
        buffer[i] = kAlphabet[static_cast<size_t>(rand.next()) % kAlphabetSize];
    buffer[kArchivePasswordBufferSize - 1] = '\0';
    for (const FixedCharacter& fixed : kFixed) buffer[fixed.position] = fixed.value;
    buffer[kArchivePasswordLength] = '\0';
    return buffer;
}
