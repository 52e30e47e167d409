#include "launcher/launch_arguments.h"

LaunchArguments launchArguments;

void parseLaunchArguments(const std::vector<std::string>& tokens, LaunchArguments& arguments) {
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& token = tokens[i];
        const auto colon = token.find(':');
        if (colon != std::string::npos) {
            const std::string key = token.substr(0, colon);
            if (key == "PatchIP")
                arguments.patchIp = token.substr(colon + 1);
            else if (key == "PatchPort")
                arguments.patchPort = token.substr(colon + 1);
            continue;
        }
        if (arguments.forward1.empty())
            arguments.forward1 = token;
        else if (arguments.forward2.empty())
            arguments.forward2 = token;
    }
}
