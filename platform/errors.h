#pragma once
// Windows error codes (GetLastError values) as this layer reports them on every
// platform, so results such as the folder deletion's read the same everywhere.

#include <cstdint>
#include <string>

namespace platform {

namespace winerr {
constexpr uint32_t SUCCESS = 0;
constexpr uint32_t FILE_NOT_FOUND = 2;
constexpr uint32_t PATH_NOT_FOUND = 3;
constexpr uint32_t TOO_MANY_OPEN_FILES = 4;
constexpr uint32_t ACCESS_DENIED = 5;
constexpr uint32_t INVALID_HANDLE = 6;
constexpr uint32_t NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t NOT_SAME_DEVICE = 17;
constexpr uint32_t NO_MORE_FILES = 18;
constexpr uint32_t WRITE_PROTECT = 19;
constexpr uint32_t GEN_FAILURE = 31;
constexpr uint32_t SHARING_VIOLATION = 32;
constexpr uint32_t HANDLE_EOF = 38;
constexpr uint32_t HANDLE_DISK_FULL = 39;
constexpr uint32_t NOT_SUPPORTED = 50;
constexpr uint32_t FILE_EXISTS = 80;
constexpr uint32_t INVALID_PARAMETER = 87;
constexpr uint32_t DISK_FULL = 112;
constexpr uint32_t INVALID_NAME = 123;
constexpr uint32_t DIR_NOT_EMPTY = 145;
constexpr uint32_t BUSY = 170;
constexpr uint32_t ALREADY_EXISTS = 183;
constexpr uint32_t FILENAME_EXCED_RANGE = 206;
constexpr uint32_t FILE_TOO_LARGE = 223;
constexpr uint32_t DIRECTORY = 267;
constexpr uint32_t CANT_RESOLVE_FILENAME = 1921;
}  // namespace winerr

// The calling thread's last error, as GetLastError would report it.
uint32_t lastError();
void setLastError(uint32_t code);

// The system's text for a Windows error code (FormatMessageA); never empty.
std::string systemErrorText(uint32_t code);

}  // namespace platform
