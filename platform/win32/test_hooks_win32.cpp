#include <cstdio>

#include "platform/win32/test_hooks.h"
#include "platform/win32/win32_detail.h"

namespace platform::detail {

#ifdef LAUNCHER_TEST_HOOKS
bool testRecord(TestRecord kind, const std::string& record) {
    const char* variable =
        kind == TestRecord::ShownMessage ? "LAUNCHER_TEST_MESSAGE_LOG" : "LAUNCHER_TEST_DEBUG_LOG";
    char target[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA(variable, target, sizeof target);
    if (n == 0 || n >= sizeof target) return false;
    if (std::string(target) == "-") {
        std::fwrite(record.data(), 1, record.size(), stderr);
        std::fflush(stderr);
        return true;
    }
    HANDLE file = CreateFileA(target, FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, record.data(), DWORD(record.size()), &written, nullptr);
        CloseHandle(file);
    }
    return true;
}
#else
bool testRecord(TestRecord, const std::string&) { return false; }
#endif

}  // namespace platform::detail
