#include "support/system/subprocess.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

Subprocess::~Subprocess() {
    stop();
    release();
}

Subprocess::Subprocess(Subprocess&& other) noexcept { *this = std::move(other); }

Subprocess& Subprocess::operator=(Subprocess&& other) noexcept {
    if (this == &other) return *this;
    stop();
    release();
    pid_ = std::exchange(other.pid_, -1);
    pidFd_ = std::exchange(other.pidFd_, -1);
    reaped_ = std::exchange(other.reaped_, false);
    status_ = other.status_;
    input_ = std::exchange(other.input_, -1);
    outputFd_ = std::exchange(other.outputFd_, -1);
    errorFd_ = std::exchange(other.errorFd_, -1);
    output_ = std::move(other.output_);
    linesRead_ = std::exchange(other.linesRead_, 0);
    errors_ = std::move(other.errors_);
    startError_ = std::move(other.startError_);
    return *this;
}

bool Subprocess::wait(int timeoutMs) {
    if (pid_ <= 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    while (!reap(false)) {
        const int left = millisecondsLeft(deadline);
        if (timeoutMs >= 0 && left == 0) return false;
        // Without a pidfd (Linux) the end of the process shows only through waitpid:
        // short slices. A Windows process handle is always there to wait on.
        const int slice = pidFd_ != -1 ? 1000 : 10;
        collect(timeoutMs < 0 ? slice : std::min(left, slice));
    }
    // What the process wrote before it ended is in the pipes by now.
    const auto drainEnd = Clock::now() + std::chrono::milliseconds(200);
    size_t before;
    do {
        before = output_.size() + errors_.size();
        collect(0);
    } while (before != output_.size() + errors_.size() && Clock::now() < drainEnd);
    return true;
}

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
