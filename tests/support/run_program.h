#pragma once
// Runs a program to its end (bounded in time) and captures what it leaves behind.

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ProgramOptions {
    std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
    std::vector<std::string> unsetEnvironment;                      // removed
    std::string workingDirectory;                                   // empty: ours
    std::string input;                                              // standard input
    int timeoutSeconds = 20;                                        // then killed
};

struct ProgramResult {
    int exitCode = -1;  // as the shell sees it (0..255); -1 when killed by a signal
    int signal = 0;     // the signal that ended it, or 0
    bool timedOut = false;
    std::string out;
    std::string err;
};

// `arguments` excludes the program name; argv[0] is `program` itself.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options = {});

// The built program and test programs.
std::string binaryPath(const std::string& name);

}  // namespace testsupport
