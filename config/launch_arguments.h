#pragma once

#include <string>

// The parsed arguments of update mode; a field is given when it is not empty.
struct LaunchArguments {
    std::string forward1;
    std::string forward2;
    std::string patchIp;
    std::string patchPort;
};

// The process-wide record, filled once by the entry point.
extern LaunchArguments launchArguments;
