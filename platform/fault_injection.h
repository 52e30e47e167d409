#pragma once
// Failures made on purpose, for tests: every platform service that can fail counts its
// calls by kind, and a plan makes call N of one kind (or every call from N on) fail
// with a chosen error, exactly as the system's own failure would look to callers.
//
// Only test builds have it (LAUNCHER_TEST_HOOKS, given to the platform layer's sources
// alone): there the backends ask PLATFORM_FAULT at the top of each service; in a
// release build the check is the constant false and the plan is never read. The
// functions below exist in every build so that tests link; without the hooks
// available() is false and nothing is counted.
//
// A program of a test build reads its plan from LAUNCHER_TEST_FAULT ("write:3:disk-full"
// fails the third write, "write:3+:io" every write from the third on) and, when
// LAUNCHER_TEST_FAULT_COUNTS names a file, writes there at its end how many calls of
// each kind it made and whether the planned failure happened.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::fault {

enum class Kind {
    Open,           // a file opened or created
    Read,           // a read of an open file
    Write,          // a write to an open file
    Flush,          // a file's data sent to the disk
    Replace,        // a file renamed over another
    Delete,         // a file or an empty folder removed
    CreateFolder,   // a folder made
    ListFolder,     // a folder opened or searched, one call per entry listed
    SetAttributes,  // attributes or times set
    Connect,        // a socket connected
    Send,           // a send on a socket
    Receive,        // a receive on a socket
    Accept,         // a connection accepted
    StartProcess,   // a program started
    EndProcess,     // a process ended
};
inline constexpr int kKinds = 15;

enum class Error {
    DiskFull,          // ERROR_DISK_FULL / ENOSPC
    Io,                // ERROR_IO_DEVICE / EIO
    AccessDenied,      // ERROR_ACCESS_DENIED / EACCES
    SharingViolation,  // ERROR_SHARING_VIOLATION / EBUSY
    ConnectionReset,   // WSAECONNRESET / ECONNRESET
    TimedOut,          // WSAETIMEDOUT / ETIMEDOUT
};
inline constexpr int kErrors = 6;

struct Plan {
    Kind kind = Kind::Open;
    uint64_t call = 1;    // the first call that fails, from 1
    bool onward = false;  // every call from `call` on, not that one alone
    Error error = Error::Io;
};

// The names the plan and the counts use ("write", "create-folder", "disk-full", ...).
const char* kindName(Kind kind);
const char* errorName(Error error);
// "KIND:N:ERROR" or "KIND:N+:ERROR"; nullopt for anything else.
std::optional<Plan> parsePlan(std::string_view text);
// The errors a call of that kind can give on the systems the launcher runs on.
bool canGive(Kind kind, Error error);

// Whether this build has the hooks.
bool available();
// Sets (or, with nullopt, clears) the plan and starts every count from 0. A plan given
// here replaces the one of the environment.
void setPlan(const std::optional<Plan>& plan);
// Calls of `kind` counted since the plan was last set (or the program started).
uint64_t calls(Kind kind);
// Whether the plan has failed a call yet.
bool fired();

// For the backends: counts a call of `kind` and, when the plan fails it, sets the
// system's own error for it (errno on Linux, the thread's last error on Windows) and
// returns true; the service then fails as it would with that error.
bool injected(Kind kind);

}  // namespace platform::fault

#ifdef LAUNCHER_TEST_HOOKS
#define PLATFORM_FAULT(kind) ::platform::fault::injected(::platform::fault::Kind::kind)
#else
#define PLATFORM_FAULT(kind) false
#endif
