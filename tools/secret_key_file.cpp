#include "tools/secret_key_file.h"

#include <sodium.h>

#include <cstdint>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/private_file.h"

namespace {

// A key line is 89 bytes; anything much longer is not a key file.
constexpr size_t kMaxKeyFile = 256;

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
    // Opened as a regular file only: a FIFO or a device under the name would block the
    // tool or feed it endless bytes.
    platform::File in;
    if (!in.open(path, platform::AccessRead, platform::Disposition::OpenExisting)) {
        why = "cannot read " + path + ": " + platform::systemErrorText(platform::lastError());
        return false;
    }
    WipedText contents;
    contents.text.resize(size_t(kMaxKeyFile));
    size_t have = 0;
    for (;;) {
        const int64_t n = in.read(contents.text.data() + have, contents.text.size() - have);
        if (n < 0) {
            why = "cannot read " + path + ": " + platform::systemErrorText(platform::lastError());
            return false;
        }
        if (n == 0 || (have += size_t(n)) == contents.text.size()) break;
    }
    contents.text.resize(have);
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
