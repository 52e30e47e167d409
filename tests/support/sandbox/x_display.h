#pragma once
// A private X server (Xvfb, 800 x 600) for tests of real windows, with a window manager
// (openbox) when the test needs one. Each session takes a free display number; the
// servers stop with the object.

#include <string>
#include <vector>

#include "support/system/subprocess.h"

namespace testsupport {

class XDisplaySession {
public:
    // The first program a session with a window manager needs that is not installed;
    // empty when all are.
    static std::string missingProgram();

    // `logFolder` keeps the servers' own output.
    explicit XDisplaySession(const std::string& logFolder);
    ~XDisplaySession();

    // Empty on success, else why the session could not start.
    std::string start(bool withWindowManager = true);
    // ":N"
    const std::string& display() const { return display_; }
    // Runs an X client (xdotool, xwininfo, import...) on this display.
    ProgramResult run(const std::string& program, const std::vector<std::string>& arguments);

private:
    std::string logFolder_;
    std::string display_;
    Subprocess server_;
    Subprocess windowManager_;
};

}  // namespace testsupport
