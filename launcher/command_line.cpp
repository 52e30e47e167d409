#include "launcher/command_line.h"

#include "platform/system.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> splitCommandLine() { return splitCommandLine(platform::commandLine()); }

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && isBlank(line[i])) ++i;
        if (i >= n) break;
        if (line[i] == '"') {
            const size_t start = i + 1;
            size_t end = start;
            // Only a quote followed by a separator or the end closes the token.
            while (end < n && !(line[end] == '"' && (end + 1 == n || isBlank(line[end + 1]))))
                ++end;
            tokens.emplace_back(line.substr(start, end - start));
            i = end < n ? end + 2 : n;  // the quote and the one separator after it
        } else {
            size_t end = i;
            while (end < n && !isBlank(line[end])) ++end;
            tokens.emplace_back(line.substr(i, end - i));
            i = end + 1;
        }
    }
    return tokens;
}

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
