#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/launch_arguments.h"

// The process's command line split into tokens; token 0 is the program path.
std::vector<std::string> splitCommandLine();

// The same split of a given command line. Separators are space and tab; a token that
// starts with a double quote ends at the next quote followed by a separator or the end.
// There is no escape character.
std::vector<std::string> splitCommandLine(std::string_view commandLine);

// Fills `arguments` from the tokens after token 0: "PatchIP:" and "PatchPort:" (exactly
// that case) set their fields, other tokens with a colon are ignored, and the first two
// tokens without a colon are forwarded.
void parseLaunchArguments(const std::vector<std::string>& tokens, LaunchArguments& arguments);
