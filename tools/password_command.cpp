#include <cstdio>

#include "config/archive_password.h"
#include "tools/admin_commands.h"

namespace {

void printPasswordHelp() {
    std::printf(
        "launcher-admin password\n"
        "\n"
        "  Prints the password of \"update.inf\", the one the launcher uses, followed by\n"
        "  a line feed. With it, an operator can build or inspect \"update.inf\" with\n"
        "  any zip tool that writes the traditional PKWARE encryption, for example\n"
        "  zip -P \"$(launcher-admin password)\" update.inf install.ini ...\n");
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
