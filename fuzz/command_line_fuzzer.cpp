// The command line: any text through the split and the argument parsing; and any
// argument list through the process's own command line and back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/launch_arguments.h"
#include "launcher/command_line.h"
#include "platform/system.h"

namespace {

bool fromTokens(const std::string& field, const std::vector<std::string>& tokens) {
    if (field.empty()) return true;
    for (size_t i = 1; i < tokens.size(); ++i)
        if (tokens[i].find(field) != std::string::npos) return true;
    return false;
}

void splitAndParse(std::string_view line) {
    const std::vector<std::string> tokens = splitCommandLine(line);
    size_t total = 0;
    for (const std::string& token : tokens) total += token.size();
    if (total > line.size()) __builtin_trap();
    LaunchArguments arguments;
    parseLaunchArguments(tokens, arguments);
    if (!fromTokens(arguments.forward1, tokens) || !fromTokens(arguments.forward2, tokens) ||
        !fromTokens(arguments.patchIp, tokens) || !fromTokens(arguments.patchPort, tokens))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    splitAndParse(text);

    // The input's lines as the arguments a process was started with. Without a quote
    // in any of them (there is no escape for one), the split gives them back.
    std::vector<std::string> arguments{"launcher.exe"};
    size_t start = 0;
    while (start <= text.size() && arguments.size() < 64) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        arguments.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    platform::initProcess(static_cast<int>(arguments.size()), argv.data());
    const std::vector<std::string> tokens = splitCommandLine();
    if (text.find('"') == std::string_view::npos && text.find('\0') == std::string_view::npos &&
        tokens != arguments)
        __builtin_trap();
    return 0;
}
