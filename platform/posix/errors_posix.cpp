// glibc: the GNU strerror_r gives the texts.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/errors.h"
#include "platform/net.h"
#include "platform/posix/posix_detail.h"

namespace platform {

namespace {

thread_local uint32_t tlsLastError = winerr::SUCCESS;

struct ErrnoCode {
    int err;
    uint32_t code;
};

// Shared by both directions: errno to a Windows code, and a Windows code back to an
// errno whose strerror text describes it. The first row of a code is its text.
constexpr ErrnoCode kErrnoTable[] = {
    {0, winerr::SUCCESS},
    {ENOENT, winerr::FILE_NOT_FOUND},
    {ENOTDIR, winerr::PATH_NOT_FOUND},
    {EMFILE, winerr::TOO_MANY_OPEN_FILES},
    {ENFILE, winerr::TOO_MANY_OPEN_FILES},
    {EACCES, winerr::ACCESS_DENIED},
    {EPERM, winerr::ACCESS_DENIED},
    {EISDIR, winerr::ACCESS_DENIED},
    {EBADF, winerr::INVALID_HANDLE},
    {ENOMEM, winerr::NOT_ENOUGH_MEMORY},
    {EXDEV, winerr::NOT_SAME_DEVICE},
    {EROFS, winerr::WRITE_PROTECT},
    {EIO, winerr::GEN_FAILURE},
    {ETXTBSY, winerr::SHARING_VIOLATION},
    {EBUSY, winerr::SHARING_VIOLATION},
    {ENOTSUP, winerr::NOT_SUPPORTED},
    {EINVAL, winerr::INVALID_PARAMETER},
    {ENOSPC, winerr::DISK_FULL},
    {EDQUOT, winerr::DISK_FULL},
    {EFBIG, winerr::DISK_FULL},
    {EILSEQ, winerr::INVALID_NAME},
    {ENOTEMPTY, winerr::DIR_NOT_EMPTY},
    {EEXIST, winerr::ALREADY_EXISTS},
    {ENAMETOOLONG, winerr::FILENAME_EXCED_RANGE},
    {ELOOP, winerr::CANT_RESOLVE_FILENAME},
};

struct CodeText {
    uint32_t code;
    const char* text;
};

// Codes whose meaning no errno text carries well.
constexpr CodeText kFixedTexts[] = {
    {winerr::NO_MORE_FILES, "There are no more files."},
    {winerr::HANDLE_EOF, "Reached the end of the file."},
    {winerr::FILE_EXISTS, "The file exists."},
    {winerr::INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {winerr::BUSY, "The requested resource is in use."},
    {winerr::DIRECTORY, "The directory name is invalid."},
    {net::wsa::kHostNotFound, "No such host is known."},
    {net::wsa::kTryAgain, "This is usually a temporary error during hostname resolution."},
    {net::wsa::kNoRecovery, "A non-recoverable error occurred during a database lookup."},
    {net::wsa::kNoData,
     "The requested name is valid, but no data of the requested type was found."},
};

}  // namespace

uint32_t lastError() { return tlsLastError; }

void setLastError(uint32_t code) { tlsLastError = code; }

uint32_t windowsErrorFromErrno(int err) {
    for (const auto& row : kErrnoTable)
        if (row.err == err) return row.code;
    return winerr::GEN_FAILURE;
}

std::string systemErrorText(uint32_t code) {
    for (const auto& row : kFixedTexts)
        if (row.code == code) return row.text;
    if (code == winerr::SUCCESS) return "The operation completed successfully.";
    int err = 0;
    for (const auto& row : kErrnoTable)
        if (row.code == code) {
            err = row.err;
            break;
        }
    if (err == 0 && code <= uint32_t(INT32_MAX)) err = net::errnoFromSocketError(int(code));
    if (err != 0) {
        char buffer[256];
        // The GNU strerror_r returns the text, which may not be in buffer.
        const char* text = strerror_r(err, buffer, sizeof buffer);
        if (text && *text) return text;
    }
    char fallback[48];
    std::snprintf(fallback, sizeof fallback, "Unknown error %u", static_cast<unsigned>(code));
    return fallback;
}

}  // namespace platform
