#include <windows.h>

#include "support/system/file_times.h"

namespace testsupport {

namespace {

uint64_t valueOf(const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

}  // namespace

bool readFileTimes(const std::string& path, FileTimes& times) {
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME creation, access, write;
    const bool ok = GetFileTime(file, &creation, &access, &write);
    CloseHandle(file);
    if (!ok) return false;
    times.creation = valueOf(creation);
    times.access = valueOf(access);
    times.write = valueOf(write);
    return true;
}

}  // namespace testsupport
