#include "support/wine_session.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/file_bytes.h"

namespace testsupport {

namespace {

const char kWineRun[] = LAUNCHER_SOURCE_DIR "/scripts/wine-run.sh";

// Creating the prefix takes a while on a busy machine; starting it again, seconds.
const int kStartSeconds = 180;
const int kStopSeconds = 60;

}  // namespace

std::string windowsBuildFile(const std::string& name) {
    return std::string(LAUNCHER_WINDOWS_BUILD_DIR) + "/" + name;
}

std::string windowsTestBuildProblem() {
    const std::string hint = " (bash scripts/build-windows.sh programs, or test)";
    for (const char* program : {"launcher.exe", "record_args.exe", "progress_dialog_controls.exe"})
        if (!std::filesystem::exists(windowsBuildFile(program)))
            return windowsBuildFile(program) + " is missing: build the Windows test build" + hint;
    const std::string cache = readFile(windowsBuildFile("CMakeCache.txt"));
    if (cache.find("\nLAUNCHER_TEST_HOOKS:BOOL=ON\n") == std::string::npos)
        return std::string(LAUNCHER_WINDOWS_BUILD_DIR) +
               " is not a test build: its launcher.exe has no test hooks" + hint;
    return {};
}

std::string windowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

WineSession::WineSession() {
    ProgramOptions options;
    options.timeoutSeconds = kStopSeconds;
    runProgram("/bin/bash", command("stop"), options);
    options.timeoutSeconds = kStartSeconds;
    const ProgramResult started = runProgram("/bin/bash", command("start"), options);
    if (started.timedOut)
        failure_ = "wine-run.sh start did not end within " + std::to_string(kStartSeconds) + " s";
    else if (started.exitCode != 0)
        failure_ = "wine-run.sh start failed: " + started.err;
}

WineSession::~WineSession() {
    ProgramOptions options;
    options.timeoutSeconds = kStopSeconds;
    try {
        runProgram("/bin/bash", command("stop"), options);
    } catch (const std::exception&) {
        // Nothing more to do for a prefix that cannot be stopped here.
    }
}

std::string WineSession::display() const {
    std::ifstream file(std::string(LAUNCHER_WINE_PREFIX) + ".display");
    std::string pid, display;
    file >> pid >> display;
    return display;
}

ProgramResult WineSession::run(const std::string& program,
                               const std::vector<std::string>& arguments,
                               const ProgramOptions& options) const {
    return runProgram("/bin/bash", command(program, arguments), options);
}

Subprocess WineSession::start(const std::string& program, const std::vector<std::string>& arguments,
                              const SubprocessOptions& options) const {
    return Subprocess("/bin/bash", command(program, arguments), options);
}

std::vector<std::string> WineSession::command(const std::string& verb) const {
    return {kWineRun, "--prefix", LAUNCHER_WINE_PREFIX, verb};
}

std::vector<std::string> WineSession::command(const std::string& program,
                                              const std::vector<std::string>& arguments) const {
    std::vector<std::string> all = command(program);
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

}  // namespace testsupport
