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

// zlib's CRC-32 table in the form minizip's crypt.h routines take; the operator tool's
// encryption uses it too.
const unsigned long* pkwareCrcTable();
