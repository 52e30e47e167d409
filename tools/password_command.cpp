#include <cstdio>

#include "config/archive_password.h"
#include "tools/admin_commands.h"

namespace {

void printPasswordHelp() {
    std::printf(
        "launcher-admin password\n"
        "\n"
        "  Prints the password of \"update.inf\" followed by a line feed. It is the same\n"
        "  on every system and in every build of the launcher. It keeps casual eyes out\n"
        "  of the settings but is no secret: anyone holding the launcher can rebuild it.\n"
        "\n"
        "  With it an operator can build or inspect \"update.inf\" with other zip tools,\n"
        "  as long as they write the traditional PKWARE encryption (not AES):\n"
        "    zip -P \"$(launcher-admin password)\" update.inf install.ini localization.ini ...\n"
        "    7z a -tzip -mem=ZipCrypto -p\"$(launcher-admin password)\" update.inf *.ini\n"
        "    unzip -l update.inf; unzip -P \"$(launcher-admin password)\" update.inf\n");
}

int runPassword(const std::vector<std::string>& arguments) {
    if (!arguments.empty()) {
        std::fprintf(stderr, "launcher-admin password: takes no arguments\n");
        return 2;
    }
    std::printf("%s\n", makeArchivePassword().get());
    return 0;
}

}  // namespace

const AdminCommand passwordCommand = {"password", "print the password of \"update.inf\"",
                                      runPassword, printPasswordHelp};
