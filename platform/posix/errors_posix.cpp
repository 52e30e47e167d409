#include "platform/errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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
    {winerr::INVALID_NAME,
     "The filename, directory name, or volume label syntax is incorrect."},
    {winerr::BUSY, "The requested resource is in use."},
    {winerr::DIRECTORY, "The directory name is invalid."},
    {11001, "No such host is known."},
    {11002, "This is usually a temporary error during hostname resolution."},
    {11003, "A non-recoverable error occurred during a database lookup."},
    {11004, "The requested name is valid, but no data of the requested type was found."},
};

// Windows socket codes (WSAE*) and the errno each stands for.
constexpr ErrnoCode kSocketTable[] = {
    {EINTR, 10004},          {EBADF, 10009},        {EACCES, 10013},
    {EFAULT, 10014},         {EINVAL, 10022},       {EMFILE, 10024},
    {EWOULDBLOCK, 10035},    {EINPROGRESS, 10036},  {EALREADY, 10037},
    {ENOTSOCK, 10038},       {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},     {ENOPROTOOPT, 10042},  {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},  {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},   {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},       {ENETUNREACH, 10051},  {ENETRESET, 10052},
    {ECONNABORTED, 10053},   {ECONNRESET, 10054},   {ENOBUFS, 10055},
    {EISCONN, 10056},        {ENOTCONN, 10057},     {ESHUTDOWN, 10058},
    {ETIMEDOUT, 10060},      {ECONNREFUSED, 10061}, {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
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
    const ErrnoCode* match = nullptr;
    for (const auto& row : kErrnoTable)
        if (row.code == code) {
            match = &row;
            break;
        }
    if (!match)
        for (const auto& row : kSocketTable)
            if (row.code == code) {
                match = &row;
                break;
            }
    if (code == winerr::SUCCESS) return "The operation completed successfully.";
    if (match) {
        char buffer[256];
        // The GNU strerror_r returns the text, which may not be in buffer.
        const char* text = strerror_r(match->err, buffer, sizeof buffer);
        if (text && *text) return text;
    }
    char fallback[48];
    std::snprintf(fallback, sizeof fallback, "Unknown error %u", static_cast<unsigned>(code));
    return fallback;
}

}  // namespace platform
