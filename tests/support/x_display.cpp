#include "support/x_display.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace testsupport {

namespace {

const char* const kNeeded[] = {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import"};

}  // namespace

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::string XDisplaySession::missingProgram() {
    for (const char* name : kNeeded)
        if (findProgram(name).empty()) return name;
    return {};
}

XDisplaySession::XDisplaySession(const std::string& logFolder) : logFolder_(logFolder) {}

XDisplaySession::~XDisplaySession() {
    windowManager_.reset();
    server_.reset();
}

std::string XDisplaySession::start() {
    // Xvfb picks a free display itself and writes its number to descriptor 3.
    int numberPipe[2];
    if (pipe2(numberPipe, O_CLOEXEC) != 0) return "pipe failed";
    SpawnOptions serverOptions;
    serverOptions.errorFile = logFolder_ + "/xvfb.log";
    serverOptions.extraFd = numberPipe[1];
    serverOptions.pipeOutput = false;
    server_ = std::make_unique<SpawnedProgram>(
        findProgram("Xvfb"),
        std::vector<std::string>{"-displayfd", "3", "-screen", "0", "800x600x24", "-nolisten",
                                 "tcp"},
        serverOptions);
    close(numberPipe[1]);
    std::string number;
    pollfd pfd{numberPipe[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&pfd, 1, 10000) == 1) {
        char buffer[16];
        ssize_t n = ::read(numberPipe[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    close(numberPipe[0]);
    if (!server_->started() || number.find('\n') == std::string::npos)
        return "Xvfb did not start (see " + serverOptions.errorFile + ")";
    display_ = ":" + number.substr(0, number.find('\n'));

    SpawnOptions managerOptions;
    managerOptions.errorFile = logFolder_ + "/openbox.log";
    managerOptions.pipeOutput = false;
    managerOptions.environment = {{"DISPLAY", display_}, {"XDG_CONFIG_HOME", logFolder_}};
    windowManager_ = std::make_unique<SpawnedProgram>(
        findProgram("openbox"), std::vector<std::string>{"--sm-disable"}, managerOptions);
    // The manager has taken over once it names itself on the root window.
    for (int tries = 0; tries < 100; ++tries) {
        ProgramResult check = run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
        if (check.out.find("window id") != std::string::npos) return {};
        windowManager_->waitForExit(50);
        if (windowManager_->exited())
            return "openbox ended (see " + managerOptions.errorFile + ")";
    }
    return "openbox did not take over the display";
}

ProgramResult XDisplaySession::run(const std::string& program,
                                   const std::vector<std::string>& arguments) {
    ProgramOptions options;
    options.environment = {{"DISPLAY", display_}};
    options.timeoutSeconds = 10;
    return runProgram(findProgram(program), arguments, options);
}

}  // namespace testsupport
