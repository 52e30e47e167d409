#include <winsock2.h>

#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32/test_hooks.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

// Never closed: the mutex ends with the process, also after a crash.
HANDLE heldInstanceMutex = nullptr;

}  // namespace

// Windows keeps the command line itself, and a closed standard handle is never reused
// by a file or socket, so only the ANSI code page is read here.
void initProcess(int, char**) { ansiCodeset(); }

std::string commandLine() { return GetCommandLineA(); }

bool startSockets() {
    // Started once for the whole process and never cleaned up.
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

InstanceLock acquireSingleInstance(std::string_view name) {
    const std::string mutexName(name);
    // No security attributes: programs we start do not inherit it.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, mutexName.c_str());
    if (mutex == nullptr) return InstanceLock::Unavailable;
    if (GetLastError() == ERROR_ALREADY_EXISTS) return InstanceLock::AlreadyRunning;
    heldInstanceMutex = mutex;
    return InstanceLock::Acquired;
}

// A test build also writes the line where the test asks (LAUNCHER_TEST_DEBUG_LOG), with
// a line feed, as the Linux backend writes it to standard error.
void debugOutput(std::string_view text) {
    const std::string line(text);
    OutputDebugStringA(line.c_str());
    detail::testRecord(detail::TestRecord::DebugLine,
                       line.empty() || line.back() != '\n' ? line + "\n" : line);
}

void sleepMs(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace platform
