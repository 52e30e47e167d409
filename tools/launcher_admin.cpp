// launcher-admin: the operator's tool for the files the launcher reads.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "launcher_version.h"
#include "tools/admin_commands.h"

namespace {

// One row per subcommand.
const AdminCommand* const kCommands[] = {
    &packCommand,   &passwordCommand, &publishCommand, &refreshCommand,
    &keygenCommand, &verifyCommand,   &checkCommand,
};

void printOverview() {
    std::printf(
        "Usage: launcher-admin COMMAND [ARGUMENTS]\n"
        "\n"
        "The operator's tool for the files the launcher reads. The launcher takes its\n"
        "server addresses, region and messages from \"update.inf\", a password-protected\n"
        "zip archive of INI files in the game folder; these commands make that archive\n"
        "and tell its password, publish client-updater releases and sign them.\n"
        "\n"
        "Commands:\n");
    for (const AdminCommand* command : kCommands)
        std::printf("  %-10s %s\n", command->name, command->summary);
    std::printf(
        "\n"
        "Run 'launcher-admin COMMAND --help' for the details of one command, and\n"
        "'launcher-admin --version' for the release it belongs to.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printOverview();
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--version") {
        std::printf("launcher-admin %s\n", LAUNCHER_VERSION);
        return 0;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        if (argc >= 3) {
            for (const AdminCommand* command : kCommands)
                if (argv[2] == std::string(command->name)) {
                    command->printHelp();
                    return 0;
                }
        }
        printOverview();
        for (const AdminCommand* command : kCommands) {
            std::printf("\n");
            command->printHelp();
        }
        return 0;
    }
    for (const AdminCommand* command : kCommands) {
        if (name != command->name) continue;
        std::vector<std::string> arguments(argv + 2, argv + argc);
        for (const std::string& argument : arguments)
            if (argument == "--help" || argument == "-h") {
                command->printHelp();
                return 0;
            }
        return command->run(arguments);
    }
    std::fprintf(stderr, "launcher-admin: unknown command '%s'\n\n", name.c_str());
    printOverview();
    return 2;
}
