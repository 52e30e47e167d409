#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

#include "support/system/subprocess.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// status_ of a process whose end nobody saw (no exit code is INT_MIN: -1 is 0xFFFFFFFF).
constexpr int kUnknownEnd = INT_MIN;

HANDLE handleOf(int value) { return value == -1 ? INVALID_HANDLE_VALUE : LongToHandle(value); }
int valueOf(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? -1 : HandleToLong(handle); }

void closeHandle(int& value) {
    if (value != -1) CloseHandle(handleOf(value));
    value = -1;
}

std::string lastErrorText(const std::string& what) {
    return what + " failed with Windows error " + std::to_string(GetLastError());
}

// One argument as the C runtime of the started program splits it back out of the
// command line: quoted when it holds blanks or quotes or is empty, with the
// backslashes before a quote (and before the closing quote) doubled.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') backslashes = backslashes * 2 + 1;
        quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [](unsigned char x, unsigned char y) { return std::toupper(x) < std::toupper(y); });
    }
};

// The environment block for the program: ours with the options' changes. Windows
// compares variable names without regard to case and wants them sorted.
std::string environmentFor(const SubprocessOptions& options) {
    std::map<std::string, std::string, NoCase> env;
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* e = block; *e; e += std::strlen(e) + 1) {
            const char* eq = std::strchr(e + 1, '=');  // "=C:=C:\x" names begin with '='
            if (eq) env[std::string(e, size_t(eq - e))] = eq + 1;
        }
        FreeEnvironmentStringsA(block);
    }
    for (const auto& name : options.unsetEnvironment) env.erase(name);
    for (const auto& [name, value] : options.environment) env[name] = value;
    std::string block;
    for (const auto& [name, value] : env) block += name + "=" + value + '\0';
    return block + '\0';
}

// One standard stream of the child: the handle it gets (inheritable) and, for a pipe,
// the end we keep (not inheritable).
struct StreamPlan {
    HANDLE child = INVALID_HANDLE_VALUE;
    HANDLE ours = INVALID_HANDLE_VALUE;
};

HANDLE inheritableCopy(HANDLE handle) {
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return INVALID_HANDLE_VALUE;
    return copy;
}

StreamPlan planStream(DWORD standard, const Redirect& redirect, std::string& why) {
    StreamPlan plan;
    const bool input = standard == STD_INPUT_HANDLE;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    switch (redirect.kind) {
        case Redirect::Kind::Inherit:
            plan.child = inheritableCopy(GetStdHandle(standard));
            break;
        case Redirect::Kind::Null:
            plan.child = CreateFileA("NUL", input ? GENERIC_READ : GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                     nullptr);
            break;
        case Redirect::Kind::File:
            // Appending, so that standard output and error can share one file.
            plan.child = input ? CreateFileA(redirect.path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                             OPEN_EXISTING, 0, nullptr)
                               : CreateFileA(redirect.path.c_str(), FILE_APPEND_DATA,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                             CREATE_ALWAYS, 0, nullptr);
            if (plan.child == INVALID_HANDLE_VALUE) why = lastErrorText("opening " + redirect.path);
            break;
        case Redirect::Kind::Descriptor:
            plan.child = inheritableCopy(reinterpret_cast<HANDLE>(_get_osfhandle(redirect.fd)));
            break;
        case Redirect::Kind::Pipe: {
            HANDLE read = INVALID_HANDLE_VALUE, write = INVALID_HANDLE_VALUE;
            if (!CreatePipe(&read, &write, &inherit, 0)) {
                why = lastErrorText("CreatePipe");
                break;
            }
            plan.child = input ? read : write;
            plan.ours = input ? write : read;
            SetHandleInformation(plan.ours, HANDLE_FLAG_INHERIT, 0);
            break;
        }
    }
    return plan;
}

// Inheritable handles go to every process started while they exist: starts take turns,
// so one start's streams never reach another's program.
std::mutex& startLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

Subprocess::Subprocess(const std::string& program, const std::vector<std::string>& arguments,
                       const SubprocessOptions& options) {
    start(program, &arguments, nullptr, options);
}

Subprocess Subprocess::adopt(int pid) {
    Subprocess child;
    child.pid_ = pid;
    HANDLE process = OpenProcess(
        SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    child.pidFd_ = process ? valueOf(process) : -1;
    return child;
}

void Subprocess::start(const std::string& program, const std::vector<std::string>* arguments,
                       const std::function<int()>* body, const SubprocessOptions& options) {
    if (body || !arguments) {
        startError_ = "Windows cannot fork";
        return;
    }
    std::lock_guard<std::mutex> lock(startLock());
    std::string why;
    StreamPlan plans[3] = {planStream(STD_INPUT_HANDLE, options.standardInput, why),
                           planStream(STD_OUTPUT_HANDLE, options.standardOutput, why),
                           planStream(STD_ERROR_HANDLE, options.standardError, why)};

    std::string commandLine =
        quoteArgument(options.argument0.empty() ? program : options.argument0);
    for (const auto& argument : *arguments) commandLine += " " + quoteArgument(argument);
    std::string environment = environmentFor(options);

    PROCESS_INFORMATION info{};
    if (why.empty()) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = plans[0].child;
        startup.hStdOutput = plans[1].child;
        startup.hStdError = plans[2].child;
        // With argument0 the program is named apart; otherwise CreateProcess finds it
        // from the command line's first word (beside us, in the current folder, on PATH).
        const char* application = options.argument0.empty() ? nullptr : program.c_str();
        if (CreateProcessA(
                application, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                environment.data(),
                options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
                &startup, &info)) {
            CloseHandle(info.hThread);
            pid_ = int(info.dwProcessId);
            pidFd_ = valueOf(info.hProcess);
        } else {
            why = lastErrorText("starting " + program);
        }
    }
    for (auto& plan : plans)
        if (plan.child != INVALID_HANDLE_VALUE) CloseHandle(plan.child);
    input_ = valueOf(plans[0].ours);
    outputFd_ = valueOf(plans[1].ours);
    errorFd_ = valueOf(plans[2].ours);
    if (pid_ <= 0) {
        pid_ = -1;
        startError_ = why;
        closeHandle(input_);
        closeHandle(outputFd_);
        closeHandle(errorFd_);
    }
}

void Subprocess::release() {
    closeHandle(input_);
    closeHandle(outputFd_);
    closeHandle(errorFd_);
    closeHandle(pidFd_);
}

bool Subprocess::write(const std::string& bytes) {
    size_t done = 0;
    while (input_ != -1 && done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handleOf(input_), bytes.data() + done, DWORD(bytes.size() - done), &written,
                       nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return input_ != -1;
}

void Subprocess::closeInput() { closeHandle(input_); }

// Anonymous pipes cannot be waited on together: look at both in short turns.
void Subprocess::collect(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    struct Pipe {
        int* handle;
        std::string* sink;
    } pipes[] = {{&outputFd_, &output_}, {&errorFd_, &errors_}};
    do {
        bool any = false;
        bool open = false;
        for (auto& pipe : pipes) {
            if (*pipe.handle == -1) continue;
            DWORD available = 0;
            if (!PeekNamedPipe(handleOf(*pipe.handle), nullptr, 0, nullptr, &available, nullptr)) {
                closeHandle(*pipe.handle);  // the writers have all gone
                any = true;
                continue;
            }
            open = true;
            if (available == 0) continue;
            char buffer[4096];
            DWORD got = 0;
            if (ReadFile(handleOf(*pipe.handle), buffer,
                         std::min<DWORD>(available, DWORD(sizeof buffer)), &got, nullptr) &&
                got > 0) {
                pipe.sink->append(buffer, got);
                any = true;
            }
        }
        if (any) return;
        if (!open) {
            // Nothing to read from: wait for the process instead.
            if (pidFd_ != -1 && !reaped_)
                WaitForSingleObject(handleOf(pidFd_), DWORD(millisecondsLeft(deadline)));
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(millisecondsLeft(deadline)));
            return;
        }
        if (pidFd_ != -1 && !reaped_ && WaitForSingleObject(handleOf(pidFd_), 0) == WAIT_OBJECT_0)
            return;
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min(5, millisecondsLeft(deadline))));
    } while (millisecondsLeft(deadline) > 0);
}

bool Subprocess::reap(bool block) {
    if (reaped_) return true;
    if (pid_ <= 0) return false;
    if (pidFd_ == -1) {
        // Adopted, but no longer there to open: how it ended is unknown.
        reaped_ = true;
        status_ = kUnknownEnd;
        return true;
    }
    if (WaitForSingleObject(handleOf(pidFd_), block ? INFINITE : 0) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(handleOf(pidFd_), &code);
    status_ = int(code);
    reaped_ = true;
    return true;
}

int Subprocess::exitCode() const { return reaped_ && status_ != kUnknownEnd ? status_ & 0xFF : -1; }

int Subprocess::signal() const { return 0; }

void Subprocess::stop(int) { kill(); }

void Subprocess::kill() {
    if (pid_ <= 0 || reap(false)) return;
    TerminateProcess(handleOf(pidFd_), 1);
    wait(-1);
}

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ';')) {
        if (folder.empty()) continue;
        for (const char* suffix : {"", ".exe"}) {
            const std::string candidate = folder + "\\" + name + suffix;
            const DWORD attributes = GetFileAttributesA(candidate.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return candidate;
        }
    }
    return {};
}

}  // namespace testsupport
