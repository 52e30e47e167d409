#pragma once

#include <string>
#include <vector>

// The parsed arguments of update mode; a field is given when it is not empty.
struct LaunchArguments {
    std::string forward1;
    std::string forward2;
    std::string patchIp;
    std::string patchPort;
};

// The process-wide record, filled once by the entry point.
extern LaunchArguments launchArguments;

// Fills `arguments` from the tokens after token 0: "PatchIP:" and "PatchPort:" (exactly
// that case) set their fields, other tokens with a colon are ignored, and the first two
// tokens without a colon are forwarded.
void parseLaunchArguments(const std::vector<std::string>& tokens, LaunchArguments& arguments);
