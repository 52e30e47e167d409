#include "support/sandbox/x_display.h"

namespace testsupport {

namespace {

const char* const kNeeded[] = {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "import"};

}  // namespace

std::string XDisplaySession::missingProgram() {
    for (const char* name : kNeeded)
        if (findProgram(name).empty()) return name;
    return {};
}

XDisplaySession::XDisplaySession(const std::string& logFolder) : logFolder_(logFolder) {}

XDisplaySession::~XDisplaySession() {
    windowManager_.stop();
    server_.stop();
}

std::string XDisplaySession::start(bool withWindowManager) {
    // Xvfb picks a free display itself and prints its number once it is ready.
    SubprocessOptions serverOptions;
    serverOptions.standardError = Redirect::file(logFolder_ + "/xvfb.log");
    server_ =
        Subprocess("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                   serverOptions);
    std::string number;
    if (!server_.started()) return server_.startError();
    if (!server_.readLine(number, 10000) || number.empty())
        return "Xvfb did not start (see " + logFolder_ + "/xvfb.log)";
    display_ = ":" + number;
    if (!withWindowManager) return {};

    SubprocessOptions managerOptions;
    managerOptions.standardOutput = Redirect::file(logFolder_ + "/openbox.log");
    managerOptions.standardError = managerOptions.standardOutput;
    managerOptions.environment = {{"DISPLAY", display_}, {"XDG_CONFIG_HOME", logFolder_}};
    windowManager_ = Subprocess("openbox", {"--sm-disable"}, managerOptions);
    if (!windowManager_.started()) return windowManager_.startError();
    // The manager has taken over once it names itself on the root window.
    for (int tries = 0; tries < 100; ++tries) {
        ProgramResult check = run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
        if (check.out.find("window id") != std::string::npos) return {};
        if (windowManager_.wait(50)) return "openbox ended (see " + logFolder_ + "/openbox.log)";
    }
    return "openbox did not take over the display";
}

ProgramResult XDisplaySession::run(const std::string& program,
                                   const std::vector<std::string>& arguments) {
    ProgramOptions options;
    options.environment = {{"DISPLAY", display_}};
    options.timeoutSeconds = 10;
    return runProgram(program, arguments, options);
}

}  // namespace testsupport
