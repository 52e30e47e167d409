#include <fcntl.h>
#include <io.h>

#include <cstring>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/file_stream.h"
#include "platform/win32/win32_detail.h"

namespace platform {

// The C library's own fopen gives an inheritable handle; this one opens the file with
// CreateFileA (not inherited, shared as fopen shares) and hands it to the C library.
std::FILE* openFileStream(std::string_view path, const char* mode) {
    if (PLATFORM_FAULT(Open)) return nullptr;
    std::string name;
    if (!systemPath(path, name)) return nullptr;
    if (mode == nullptr || std::strchr("rwa", mode[0]) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    DWORD access = 0;
    DWORD creation = 0;
    int flags = std::strchr(mode, 'b') ? _O_BINARY : _O_TEXT;
    switch (mode[0]) {
        case 'r':
            access = GENERIC_READ | (update ? GENERIC_WRITE : 0);
            creation = OPEN_EXISTING;
            flags |= update ? 0 : _O_RDONLY;
            break;
        case 'w':
            access = GENERIC_WRITE | (update ? GENERIC_READ : 0);
            creation = CREATE_ALWAYS;
            break;
        default:
            access = GENERIC_WRITE | (update ? GENERIC_READ : 0);
            creation = OPEN_ALWAYS;
            flags |= _O_APPEND;
            break;
    }
    HANDLE handle = CreateFileA(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        CloseHandle(handle);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, mode);
    if (stream == nullptr) {
        _close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return stream;
}

bool seekFileStream(std::FILE* stream, int64_t offset, SeekFrom from) {
    const int whence = from == SeekFrom::Begin     ? SEEK_SET
                       : from == SeekFrom::Current ? SEEK_CUR
                                                   : SEEK_END;
    return _fseeki64(stream, offset, whence) == 0;
}

int64_t tellFileStream(std::FILE* stream) { return _ftelli64(stream); }

}  // namespace platform
