#pragma once
// The traditional PKWARE decryption of the zip application note.

#include <cstddef>
#include <cstdint>

class PkwareDecrypter {
public:
    // Keys from the password; no password counts as the empty one.
    explicit PkwareDecrypter(const char* password);
    void decrypt(unsigned char* data, size_t length);

private:
    unsigned long keys_[3];
};
