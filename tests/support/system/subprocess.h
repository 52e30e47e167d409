#pragma once
// The one way the tests start and watch another process: a program with its arguments,
// environment changes, a working folder and chosen standard streams, or (on Linux) a
// piece of the test run in a forked child. A test waits for it with a time-out, reads
// what it printed and how it ended; a process still running when the object goes is
// stopped (SIGTERM, then SIGKILL; TerminateProcess on Windows) and reaped.
// subprocess.cpp holds what every system shares, subprocess_<system>.cpp the rest.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Where a standard stream of the process goes, or for standard input where it comes from.
struct Redirect {
    enum class Kind { Pipe, Inherit, Null, File, Descriptor };
    Kind kind = Kind::Null;
    std::string path;  // File: an output file is created or emptied, then appended to
    int fd = -1;       // Descriptor: one of ours, passed on

    static Redirect pipe() { return {Kind::Pipe, {}, -1}; }
    static Redirect inherit() { return {Kind::Inherit, {}, -1}; }
    static Redirect null() { return {Kind::Null, {}, -1}; }
    static Redirect file(const std::string& path) { return {Kind::File, path, -1}; }
    static Redirect descriptor(int fd) { return {Kind::Descriptor, {}, fd}; }
};

struct SubprocessOptions {
    std::string argument0;                                         // empty: the program
    std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
    std::vector<std::string> unsetEnvironment;                     // removed
    std::string workingDirectory;                                  // empty: ours
    Redirect standardInput = Redirect::null();
    Redirect standardOutput = Redirect::pipe();  // captured
    Redirect standardError = Redirect::pipe();   // captured
};

class Subprocess {
public:
    Subprocess() = default;
    // Starts `program`; a name without a separator is looked up on PATH.
    Subprocess(const std::string& program, const std::vector<std::string>& arguments,
               const SubprocessOptions& options = {});
    // Forks; the child runs `body` and exits with its result. The program, its
    // arguments and argument0 do not apply. Linux only: Windows cannot fork.
    static Subprocess fork(const std::function<int()>& body, const SubprocessOptions& options = {});
    // Takes charge of a child of ours that the code under test started.
    static Subprocess adopt(int pid);

    ~Subprocess();
    Subprocess(Subprocess&& other) noexcept;
    Subprocess& operator=(Subprocess&& other) noexcept;
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    bool started() const { return pid_ > 0; }
    int pid() const { return pid_; }
    // Why the start failed; empty when it did not.
    const std::string& startError() const { return startError_; }

    // Standard input given as a pipe.
    bool write(const std::string& bytes);
    bool writeLine(const std::string& line) { return write(line + "\n"); }
    void closeInput();

    // The next line of the captured standard output (without its line feed); false on
    // time-out or at the end of the output.
    bool readLine(std::string& line, int timeoutMs);
    // Reads lines until one equals `wanted`; the lines before it go to `before`.
    bool waitForLine(const std::string& wanted, int timeoutMs,
                     std::vector<std::string>* before = nullptr);

    // Waits until the process has ended, at most `timeoutMs` (forever when negative),
    // collecting the captured output meanwhile; true once it has ended. Output that a
    // descendant still holding the pipes writes later is not waited for.
    bool wait(int timeoutMs);
    bool ended() { return wait(0); }
    // Once ended: the exit code (0..255, as a Linux shell sees it; a Windows program's
    // code modulo 256 too), or -1 when a signal ended it.
    int exitCode() const;
    // Once ended: the signal that ended it, or 0.
    int signal() const;
    // All captured so far; standard output includes the lines already read.
    const std::string& output() const { return output_; }
    const std::string& errors() const { return errors_; }

    // Sends `signal` while the process runs. Linux only.
    void sendSignal(int signal);
    // SIGTERM, SIGKILL after `graceMs`; reaps it. On Windows TerminateProcess at once.
    void stop(int graceMs = 2000);
    // Ends the process at once (SIGKILL, TerminateProcess) and reaps it.
    void kill();

private:
    void start(const std::string& program, const std::vector<std::string>* arguments,
               const std::function<int()>* body, const SubprocessOptions& options);
    // Reads what the pipes hold, waiting at most `timeoutMs` for something to arrive.
    void collect(int timeoutMs);
    bool reap(bool block);
    // Closes our ends of the pipes and the process handle (Windows) or pidfd.
    void release();

    // Descriptors on Linux; HANDLE values on Windows, which fit 32 bits (HandleToLong).
    int pid_ = -1;
    int pidFd_ = -1;  // Linux: a pidfd, or -1; Windows: the process handle
    bool reaped_ = false;
    int status_ = 0;  // Linux: the wait status; Windows: the exit code
    int input_ = -1;
    int outputFd_ = -1;
    int errorFd_ = -1;
    std::string output_;
    size_t linesRead_ = 0;  // bytes of output_ that readLine has returned
    std::string errors_;
    std::string startError_;
};

// Runs a program to its end.
struct ProgramOptions : SubprocessOptions {
    std::string input;        // written to standard input, which is then closed
    int timeoutSeconds = 20;  // then killed
};

struct ProgramResult {
    int exitCode = -1;  // as the shell sees it (0..255); -1 when killed by a signal
    int signal = 0;     // the signal that ended it, or 0
    bool timedOut = false;
    std::string out;
    std::string err;
};

// `arguments` excludes the program name. Throws when the program cannot be started.
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const ProgramOptions& options = {});

// A program built with the tests (the launcher, its tool, the test programs), with the
// system's suffix for programs (".exe" on Windows).
std::string binaryPath(const std::string& name);

// The full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name);

}  // namespace testsupport
