#include "support/subprocess.h"

#include <chrono>
#include <stdexcept>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool Subprocess::readLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const size_t lf = output_.find('\n', linesRead_);
        if (lf != std::string::npos) {
            line = output_.substr(linesRead_, lf - linesRead_);
            linesRead_ = lf + 1;
            return true;
        }
        if (outputFd_ < 0) return false;
        const int left = millisecondsLeft(deadline);
        if (left == 0) return false;
        collect(left);
    }
}

bool Subprocess::waitForLine(const std::string& wanted, int timeoutMs,
                             std::vector<std::string>* before) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (readLine(line, millisecondsLeft(deadline))) {
        if (line == wanted) return true;
        if (before) before->push_back(line);
    }
    return false;
}

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options) {
    SubprocessOptions start = options;
    if (!options.input.empty()) start.standardInput = Redirect::pipe();
    Subprocess process(program, arguments, start);
    if (!process.started()) throw std::runtime_error(process.startError());
    // Input is small in every test; a program that does not read it gets EPIPE.
    process.write(options.input);
    process.closeInput();

    ProgramResult result;
    if (!process.wait(options.timeoutSeconds * 1000)) {
        result.timedOut = true;
        process.kill();
    }
    result.exitCode = process.exitCode();
    result.signal = process.signal();
    result.out = process.output();
    result.err = process.errors();
    return result;
}

std::string binaryPath(const std::string& name) {
    return std::string(LAUNCHER_BINARY_DIR) + "/" + name + LAUNCHER_EXECUTABLE_SUFFIX;
}

}  // namespace testsupport
