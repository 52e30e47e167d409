#pragma once
// A program running beside the test: lines to its standard input, lines from its
// standard output with time-outs, its standard error kept in a file. Stopped and
// reaped at the latest when the object goes.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct SpawnOptions {
    std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
    std::string errorFile;  // standard error goes here; empty: /dev/null
    int extraFd = -1;       // passed on as descriptor 3 when set
    bool pipeOutput = true; // else standard output goes with standard error
};

class SpawnedProgram {
public:
    SpawnedProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const SpawnOptions& options = {});
    ~SpawnedProgram();
    SpawnedProgram(const SpawnedProgram&) = delete;
    SpawnedProgram& operator=(const SpawnedProgram&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    bool writeLine(const std::string& line);
    // The next line (without its line feed); false on time-out or end of output.
    bool readLine(std::string& line, int timeoutMs);
    // Reads until a line equal to `wanted`; the lines before it go to `before`.
    bool waitForLine(const std::string& wanted, int timeoutMs,
                     std::vector<std::string>* before = nullptr);
    // The exit code once the program has ended by itself, -1 on time-out or a signal.
    int waitForExit(int timeoutMs);
    bool exited() const { return reaped_; }
    // SIGTERM, then SIGKILL after a grace period; reaps it.
    void stop();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string pending_;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace testsupport
