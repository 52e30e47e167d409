#pragma once
// Processes: listing, the names a process is known by, ending one, and starting a
// program the way the shell's "open" verb does.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/native_handle.h"

namespace platform {

// The running processes, listed at once without a fixed cap, in the system's order
// (EnumProcesses' on Windows, ascending id on Linux). Their
// names are read only when asked for, each at most once, so a search reads no more of
// a process than it takes to tell it apart. Names read stay valid until the names of
// another process are read.
class ProcessList {
public:
    ProcessList();
    ~ProcessList();
    ProcessList(const ProcessList&) = delete;
    ProcessList& operator=(const ProcessList&) = delete;

    // False when the process list cannot be read at all.
    bool read();
    size_t size() const;
    uint32_t id(size_t index) const;

    // Base name of the process's executable; "Unknown" when it cannot be read (a
    // process of another user, one that has ended), as when Windows cannot open a
    // process for querying.
    std::string_view executableName(size_t index);
    // The last component (after '/' or '\') of the process's first argument, which the
    // process sets itself; empty when it cannot be read, and it may be left unread for
    // a process of another user. A Windows program under Wine shows the Wine loader as
    // its executable but its own path here. Always empty on Windows.
    std::string_view firstArgumentName(size_t index);
    // The process runs as the user we run as.
    bool isOwnProcess(size_t index);

private:
    struct State;  // the backend's
    State* state_;
};

// A process opened for termination (OpenProcess with PROCESS_TERMINATE).
class ProcessHandle {
public:
    ProcessHandle() = default;
    ~ProcessHandle();
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    // False when the process is gone or may not be signalled by us.
    bool open(uint32_t pid);
    // Requests the end of the process and returns at once (TerminateProcess).
    bool terminate();
    void close();

private:
    NativeHandle handle_ = kNoHandle;
    uint32_t pid_ = 0;
};

// ShellExecuteExA with the verb "open", no folder and no wait: `file` is looked up in
// the current folder (ignoring case), then in the search path; it is not waited for and
// inherits no handle of ours. False when nothing was started. `processId`, when given,
// receives the child's id (the process handle that SEE_MASK_NOCLOSEPROCESS returns).
// On Windows the shell does all of this itself (SW_SHOWNORMAL) and the child reads
// `parameters` as its command line. On Linux `parameters` is split at runs of spaces
// into arguments, a Windows PE image runs through "wine" when that is on the PATH, and
// the child runs in a session of its own with default signal handling and only the
// standard streams.
bool shellOpen(std::string_view file, std::string_view parameters, uint32_t* processId = nullptr);

}  // namespace platform
