#pragma once
// A private X server (Xvfb) with a window manager (openbox) for tests of real windows.
// Each session takes a free display number; both servers stop with the object.

#include <memory>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/spawned_program.h"

namespace testsupport {

class XDisplaySession {
public:
    // The first program the session needs that is not installed; empty when all are.
    static std::string missingProgram();

    // `logFolder` keeps the servers' own output.
    explicit XDisplaySession(const std::string& logFolder);
    ~XDisplaySession();

    // Empty on success, else why the session could not start.
    std::string start();
    // ":N"
    const std::string& display() const { return display_; }
    // Runs an X client (xdotool, xwininfo, import...) on this display.
    ProgramResult run(const std::string& program, const std::vector<std::string>& arguments);

private:
    std::string logFolder_;
    std::string display_;
    std::unique_ptr<SpawnedProgram> server_;
    std::unique_ptr<SpawnedProgram> windowManager_;
};

// The full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

}  // namespace testsupport
