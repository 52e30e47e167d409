#pragma once
// The operator's secret signing key on disk: one line, the 64-byte Ed25519 secret key
// (seed, then public key, as libsodium keeps it) in standard base64 with padding
// (88 characters), ended by a line feed. keygen creates it with mode 0600.

#include <string>

#include "update/package_signature.h"

// Creates the file, never over an existing one; false with the reason in `why`.
bool writeSecretKeyFile(const std::string& path, const SecretKey& key, std::string& why);

// Reads and checks a key file: exactly one base64 line (a final line feed or CR LF is
// allowed) whose public half belongs to its seed. False with the reason in `why`.
bool readSecretKeyFile(const std::string& path, SecretKey& key, std::string& why);
