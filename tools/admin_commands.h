#pragma once
// The subcommands of launcher-admin. Each lives in its own file and is listed once
// in the command table of launcher_admin.cpp.

#include <string>
#include <vector>

struct AdminCommand {
    const char* name;
    const char* summary;  // one line for the overview of --help
    // Runs with the arguments after the subcommand's name; the process exit code.
    int (*run)(const std::vector<std::string>& arguments);
    void (*printHelp)();
};

extern const AdminCommand packCommand;      // pack_command.cpp
extern const AdminCommand passwordCommand;  // password_command.cpp
extern const AdminCommand publishCommand;   // publish_command.cpp
extern const AdminCommand keygenCommand;    // keygen_command.cpp
extern const AdminCommand verifyCommand;    // verify_command.cpp
extern const AdminCommand refreshCommand;   // refresh_command.cpp
extern const AdminCommand checkCommand;     // check_command.cpp
