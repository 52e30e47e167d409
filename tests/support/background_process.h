#pragma once
// A peer program (a real server) running beside a test, ended when the object goes.

#include <string>
#include <vector>

namespace testsupport {

class BackgroundProcess {
public:
    // Starts `program` with `arguments` (argv[0] is the program); its standard output
    // is read by waitForLine, its standard error goes to ours.
    BackgroundProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits until the program prints a line holding `text`; false on time-out or exit.
    bool waitForLine(const std::string& text, int timeoutMs = 10000);

private:
    int pid_ = -1;
    int outFd_ = -1;
    std::string output_;
};

}  // namespace testsupport
