// The NT procedure of the process-status functions (EnumProcesses, EnumProcessModules,
// GetModuleBaseNameA: psapi, in kernel32 since Windows 7), OpenProcess and
// TerminateProcess, and ShellExecuteExA.

#include "platform/win32/win32_detail.h"
// After <windows.h>:
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>

#include "platform/process.h"

namespace platform {

bool listProcessIds(std::vector<uint32_t>& ids) {
    ids.clear();
    // EnumProcesses cannot say how many there are: a full table may have been cut.
    std::vector<DWORD> table(1024);
    for (;;) {
        DWORD bytes = 0;
        if (!EnumProcesses(table.data(), DWORD(table.size() * sizeof(DWORD)), &bytes)) return false;
        const size_t count = bytes / sizeof(DWORD);
        if (count < table.size()) {
            ids.assign(table.begin(), table.begin() + count);
            break;
        }
        table.resize(table.size() * 2);
    }
    std::sort(ids.begin(), ids.end());
    return true;
}

ProcessNames processNames(uint32_t pid) {
    ProcessNames names;
    names.executable = "Unknown";
    // Query and read rights, as the terminator's design opens a process to name it; one
    // that refuses them keeps the name "Unknown".
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) return names;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &first, sizeof first, &needed) && needed >= sizeof first) {
        char name[MAX_PATH + 1] = {};
        const DWORD n = GetModuleBaseNameA(process, first, name, MAX_PATH);
        names.executable.assign(name, n);
    }
    CloseHandle(process);
    return names;
}

ProcessHandle::~ProcessHandle() { close(); }

bool ProcessHandle::open(uint32_t pid) {
    close();
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process == nullptr) return false;
    handle_ = nativeOf(process);
    pid_ = pid;
    return true;
}

bool ProcessHandle::terminate() {
    if (handle_ == kNoHandle) return false;
    // Exit code 0; the call returns without waiting for the process to end.
    return TerminateProcess(handleOf(handle_), 0) != 0;
}

void ProcessHandle::close() {
    if (handle_ != kNoHandle) CloseHandle(handleOf(handle_));
    handle_ = kNoHandle;
    pid_ = 0;
}

bool shellOpen(std::string_view file, std::string_view parameters, uint32_t* processId) {
    const std::string fileText(file);
    const std::string parameterText(parameters);
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = nullptr;
    info.lpVerb = "open";
    info.lpFile = fileText.c_str();
    info.lpParameters = parameterText.c_str();
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) return false;
    // The process handle stays open until the launcher ends, right after.
    if (processId) *processId = info.hProcess ? GetProcessId(info.hProcess) : 0;
    return true;
}

}  // namespace platform
