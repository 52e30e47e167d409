#include "tools/secret_key_file.h"

#include <sodium.h>

#include <fstream>

#include "platform/errors.h"
#include "platform/private_file.h"

namespace {

// A key line is 89 bytes; anything much longer is not a key file.
constexpr std::streamsize kMaxKeyFile = 256;

// Holds key material; wiped when it goes.
struct WipedText {
    std::string text;
    ~WipedText() { sodium_memzero(text.data(), text.size()); }
};

}  // namespace

bool writeSecretKeyFile(const std::string& path, const SecretKey& key, std::string& why) {
    WipedText line{encodeBase64(key.bytes.data(), key.bytes.size()) + "\n"};
    if (platform::createPrivateFile(path, line.text)) return true;
    const uint32_t error = platform::lastError();
    why = error == platform::winerr::FILE_EXISTS
              ? path + " exists; a key is never written over another one"
              : "cannot create " + path + ": " + platform::systemErrorText(error);
    return false;
}

bool readSecretKeyFile(const std::string& path, SecretKey& key, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot read " + path;
        return false;
    }
    WipedText contents;
    contents.text.resize(size_t(kMaxKeyFile));
    in.read(contents.text.data(), kMaxKeyFile);
    contents.text.resize(size_t(in.gcount()));
    std::string_view line = contents.text;
    if (line.ends_with("\n")) line.remove_suffix(1);
    if (line.ends_with("\r")) line.remove_suffix(1);
    PublicKey publicKey;
    if (!decodeBase64(line, key.bytes.data(), key.bytes.size())) {
        why = path + " is not a secret key file (one line, 64 bytes in base64)";
        return false;
    }
    if (!publicKeyOf(key, publicKey)) {
        why = path + " is damaged: its public half does not belong to its seed";
        return false;
    }
    return true;
}
