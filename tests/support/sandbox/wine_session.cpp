#include "support/sandbox/wine_session.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/system/file_bytes.h"

namespace testsupport {

namespace {

const char kWineRun[] = LAUNCHER_SOURCE_DIR "/scripts/wine-run.sh";

// Creating the prefix takes a while on a busy machine; starting it again, seconds.
const int kStartSeconds = 180;
const int kStopSeconds = 60;

}  // namespace

WineSystem chineseWindows(const std::string& arch) { return {arch, "zh_TW.UTF-8", 950}; }

WineSystem englishWindows() { return {"win64", "en_US.UTF-8", 1252}; }

WineSystem wineSystemOfThisRun() {
    const char* arch = std::getenv("LAUNCHER_WINE_ARCH");
    return chineseWindows(arch && std::string(arch) == "win32" ? "win32" : "win64");
}

std::string windowsBuildFile(const std::string& name) {
    return std::string(LAUNCHER_WINDOWS_BUILD_DIR) + "/" + name;
}

std::string windowsTestBuildProblem() {
    const std::string hint = " (bash scripts/build-windows.sh programs, or test)";
    for (const char* program : {"launcher.exe", "record_args.exe", "record_args64.exe",
                                "progress_dialog_controls.exe", "code_page.exe"})
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

WineSession::WineSession(const WineSystem& system)
    : system_(system),
      prefix_(std::string(LAUNCHER_WINE_PREFIXES) + "/" + system.arch + "-" + system.locale) {
    ProgramOptions options;
    options.timeoutSeconds = kStopSeconds;
    runProgram("/bin/bash", command("stop"), options);
    options.timeoutSeconds = kStartSeconds;
    const ProgramResult started = runProgram("/bin/bash", command("start"), options);
    if (started.timedOut) {
        failure_ = "wine-run.sh start did not end within " + std::to_string(kStartSeconds) + " s";
        return;
    }
    if (started.exitCode != 0) {
        failure_ = "wine-run.sh start failed: " + started.err;
        return;
    }
    // The locale reaches Wine through the environment, and a locale it cannot load
    // leaves it at 1252 without a word: ask Windows itself.
    options.timeoutSeconds = 60;
    const ProgramResult asked = run(windowsBuildFile("code_page.exe"), {}, options);
    std::string said = asked.out;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (asked.exitCode != 0 || said != std::to_string(system_.codePage))
        failure_ = "the prefix should run at code page " + std::to_string(system_.codePage) +
                   ", GetACP() says: " + asked.out + asked.err;
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
    std::ifstream file(prefix_ + ".display");
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
    return {kWineRun,     "--prefix", prefix_,        "--arch",
            system_.arch, "--locale", system_.locale, verb};
}

std::vector<std::string> WineSession::command(const std::string& program,
                                              const std::vector<std::string>& arguments) const {
    std::vector<std::string> all = command(program);
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

}  // namespace testsupport
