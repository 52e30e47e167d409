// The NT procedure of the process-status functions (EnumProcesses, EnumProcessModules,
// GetModuleBaseNameA: psapi, in kernel32 since Windows 7; QueryFullProcessImageNameA
// where the module list cannot be read), OpenProcess and TerminateProcess, the owner
// of a process from its token, and ShellExecuteExA.

#include "platform/win32/win32_detail.h"
// After <windows.h>:
#include <psapi.h>
#include <shellapi.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace platform {

// The names of one process are read when first asked for and kept until another's are.
struct ProcessList::State {
    std::vector<uint32_t> ids;
    size_t named = SIZE_MAX;  // the process whose names are below
    bool executableRead = false;
    std::string executable;
    int own = -1;  // whether it runs as our user; -1 not looked at yet

    void select(size_t index) {
        if (named == index) return;
        named = index;
        executableRead = false;
        own = -1;
    }
};

namespace {

// The base name of a process's executable from its image path. A 32-bit process cannot
// read the module list of a 64-bit one (ERROR_PARTIAL_COPY; Wine tells 998), so a 64-bit
// "ClientUpdate.exe" would be "Unknown" to a 32-bit launcher and never ended; its image
// path needs only the limited query right. "Unknown" when that fails too.
std::string imageBaseName(uint32_t pid) {
    std::string name = "Unknown";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return name;
    std::vector<char> path(32768);
    DWORD size = DWORD(path.size());
    if (QueryFullProcessImageNameA(process, 0, path.data(), &size) && size > 0) {
        const std::string_view full(path.data(), size);
        const auto cut = lastSeparator(full);
        name.assign(cut == std::string_view::npos ? full : full.substr(cut + 1));
    }
    CloseHandle(process);
    return name;
}

}  // namespace

ProcessList::ProcessList() : state_(new State) {}

ProcessList::~ProcessList() { delete state_; }

bool ProcessList::read() {
    state_->ids.clear();
    state_->named = SIZE_MAX;
    // EnumProcesses cannot say how many there are: a full table may have been cut.
    std::vector<DWORD> table(1024);
    for (;;) {
        DWORD bytes = 0;
        if (!EnumProcesses(table.data(), DWORD(table.size() * sizeof(DWORD)), &bytes)) return false;
        const size_t count = bytes / sizeof(DWORD);
        if (count < table.size()) {
            state_->ids.assign(table.begin(), table.begin() + count);
            break;
        }
        table.resize(table.size() * 2);
    }
    // Kept in the order EnumProcesses gives: of two matching processes the terminator
    // ends the one listed first.
    return true;
}

size_t ProcessList::size() const { return state_->ids.size(); }

uint32_t ProcessList::id(size_t index) const { return state_->ids[index]; }

std::string_view ProcessList::executableName(size_t index) {
    State& s = *state_;
    s.select(index);
    if (s.executableRead) return s.executable;
    s.executableRead = true;
    s.executable = "Unknown";
    // Query and read rights, as the terminator's design opens a process to name it; one
    // that refuses them keeps the name "Unknown". A base name that cannot be read comes
    // back empty, which the terminator refuses as it refuses a name of the wrong length.
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, s.ids[index]);
    if (process == nullptr) return s.executable;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (EnumProcessModules(process, &first, sizeof first, &needed) && needed >= sizeof first) {
        char name[MAX_PATH + 1] = {};
        const DWORD n = GetModuleBaseNameA(process, first, name, MAX_PATH);
        s.executable.assign(name, n);
    } else {
        s.executable = imageBaseName(s.ids[index]);
    }
    CloseHandle(process);
    return s.executable;
}

// Windows keeps a process's command line in its own memory; the process list names a
// process by its executable alone.
std::string_view ProcessList::firstArgumentName(size_t) { return {}; }

namespace {

// The user a token belongs to, as a SID in `buffer`; null when it cannot be read.
PSID tokenUser(HANDLE token, std::vector<BYTE>& buffer) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return nullptr;
    buffer.resize(size);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return nullptr;
    return reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
}

bool runsAsUs(uint32_t pid) {
    bool same = false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) return false;
    HANDLE theirs = nullptr;
    HANDLE ours = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &theirs) &&
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &ours)) {
        std::vector<BYTE> theirBuffer, ourBuffer;
        PSID theirUser = tokenUser(theirs, theirBuffer);
        PSID ourUser = tokenUser(ours, ourBuffer);
        same = theirUser && ourUser && EqualSid(theirUser, ourUser);
    }
    if (theirs) CloseHandle(theirs);
    if (ours) CloseHandle(ours);
    CloseHandle(process);
    return same;
}

}  // namespace

bool ProcessList::isOwnProcess(size_t index) {
    State& s = *state_;
    s.select(index);
    if (s.own < 0) s.own = runsAsUs(s.ids[index]) ? 1 : 0;
    return s.own == 1;
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
    if (PLATFORM_FAULT(EndProcess)) return false;
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
    if (PLATFORM_FAULT(StartProcess)) return false;
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
