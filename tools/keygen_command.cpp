#include <cstdio>

#include "tools/admin_commands.h"
#include "tools/secret_key_file.h"
#include "update/package_signature.h"

namespace {

void printKeygenHelp() {
    std::printf(
        "launcher-admin keygen SECRET_KEY_FILE\n"
        "\n"
        "  Makes a new Ed25519 key pair for signed releases. The secret key goes into\n"
        "  SECRET_KEY_FILE, created readable by its owner alone (mode 0600) and never\n"
        "  over an existing file: one line, the 64-byte secret key in base64. The public\n"
        "  key is printed as the line to put into section [BOOT] of the launcher's update\n"
        "  settings (\"update_CC.ini\" packed into \"update.inf\", or \"update.ini\"):\n"
        "\n"
        "    PublicKey=<44 characters of base64>\n"
        "\n"
        "  A launcher with that line installs only packages that \"publish --sign\" signed\n"
        "  with the secret key. Keep SECRET_KEY_FILE off the web server and out of the\n"
        "  game folder, and keep a copy in a safe place: whoever holds it can sign\n"
        "  programs that every such launcher runs, and without it no launcher that has\n"
        "  the public key accepts another release.\n"
        "\n"
        "  Exit status: 0 when the key was made, 1 when not, 2 for wrong usage.\n");
}

int runKeygen(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) {
        std::fprintf(stderr, "Usage: launcher-admin keygen SECRET_KEY_FILE\n");
        return 2;
    }
    PublicKey publicKey;
    SecretKey secretKey;
    if (!makeKeyPair(publicKey, secretKey)) {
        std::fprintf(stderr, "launcher-admin keygen: libsodium could not start\n");
        return 1;
    }
    std::string why;
    if (!writeSecretKeyFile(arguments[0], secretKey, why)) {
        std::fprintf(stderr, "launcher-admin keygen: %s\n", why.c_str());
        return 1;
    }
    std::printf("PublicKey=%s\n", encodeBase64(publicKey.data(), publicKey.size()).c_str());
    std::fprintf(stderr,
                 "launcher-admin keygen: secret key written to %s; put the line above into "
                 "[BOOT] of the update settings\n",
                 arguments[0].c_str());
    return 0;
}

}  // namespace

const AdminCommand keygenCommand = {"keygen", "make a key pair for signed releases", runKeygen,
                                    printKeygenHelp};
