#include <shlwapi.h>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/file_system_flush.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

// The attributes SetFileAttributesA takes; NORMAL only alone.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE;

// The attributes CreateFileA gives a new file.
constexpr DWORD kCreationAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

bool isLinkedFolder(DWORD attributes, DWORD reparseTag) {
    return isLinkAttributes(attributes, reparseTag) && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

DWORD attributesToSet(uint32_t attributes) {
    DWORD wanted = attributes & kSettableAttributes;
    if (wanted & ~DWORD(FILE_ATTRIBUTE_NORMAL)) wanted &= ~DWORD(FILE_ATTRIBUTE_NORMAL);
    return wanted ? wanted : FILE_ATTRIBUTE_NORMAL;
}

bool systemPath(std::string_view path, std::string& out) {
    out.clear();
    if (path.size() > maxPathLength()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    // A NUL would cut the name short at the system call and name another file.
    if (path.find('\0') != std::string_view::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    out.assign(path);
    return true;
}

bool isLinkAttributes(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(reparseTag);
}

DWORD entryAttributes(DWORD attributes, DWORD reparseTag) {
    if (isLinkAttributes(attributes, reparseTag)) attributes &= ~DWORD(FILE_ATTRIBUTE_DIRECTORY);
    return attributes;
}

bool readEntry(const std::string& path, DWORD& attributes, DWORD& reparseTag) {
    reparseTag = 0;
    attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Only a search tells the reparse tag. One that cannot be read counts as a link,
        // so a walk never enters what it cannot tell apart.
        const std::string name(withoutTrailingSeparators(path));
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(name.c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            reparseTag = data.dwReserved0;
            FindClose(search);
        } else {
            reparseTag = IO_REPARSE_TAG_SYMLINK;
        }
        SetLastError(ERROR_SUCCESS);
    }
    return true;
}

bool pathExists(std::string_view path) {
    std::string name;
    return systemPath(path, name) && PathFileExistsA(name.c_str());
}

std::optional<uint32_t> getAttributes(std::string_view path) {
    std::string name;
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!systemPath(path, name) || !readEntry(name, attributes, tag)) return std::nullopt;
    return entryAttributes(attributes, tag);
}

bool setAttributes(std::string_view path, uint32_t attributes) {
    if (PLATFORM_FAULT(SetAttributes)) return false;
    std::string name;
    DWORD current = 0;
    DWORD tag = 0;
    if (!systemPath(path, name) || !readEntry(name, current, tag)) return false;
    // A link's own attributes do not matter here, and a change must never reach what it
    // points to: accepted and ignored, as on Linux.
    if (isLinkAttributes(current, tag)) {
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    return SetFileAttributesA(name.c_str(), attributesToSet(attributes)) != 0;
}

bool deleteFile(std::string_view path) {
    if (PLATFORM_FAULT(Delete)) return false;
    std::string name;
    if (!systemPath(path, name)) return false;
    DWORD attributes = 0;
    DWORD tag = 0;
    // A link to a folder goes as a folder entry; what it points to stays.
    if (readEntry(name, attributes, tag) && isLinkedFolder(attributes, tag))
        return RemoveDirectoryA(name.c_str()) != 0;
    return DeleteFileA(name.c_str()) != 0;
}

bool replaceFile(std::string_view from, std::string_view to) {
    if (PLATFORM_FAULT(Replace)) return false;
    std::string source, target;
    if (!systemPath(from, source) || !systemPath(to, target)) return false;
    // Windows refuses a folder or a read-only file as `to`; Wine replaces a read-only
    // file, so the attributes are checked here.
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // A target held open without delete sharing fails with ACCESS_DENIED (so Wine tells
    // it); asking for the right to delete it tells that apart from a denial.
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) {
        HANDLE probe = CreateFileA(target.c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        const DWORD probed = probe == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        if (probed == ERROR_SHARING_VIOLATION) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return false;
        }
    }
    SetLastError(error);
    return false;
}

bool flushFolderOf(std::string_view) {
    if (PLATFORM_FAULT(Flush)) return false;
    return true;
}

bool flushFileSystemOf(std::string_view) {
    if (PLATFORM_FAULT(Flush)) return false;
    return true;
}

bool createDirectory(std::string_view path) {
    if (PLATFORM_FAULT(CreateFolder)) return false;
    std::string name;
    return systemPath(path, name) && CreateDirectoryA(name.c_str(), nullptr) != 0;
}

bool removeDirectory(std::string_view path) {
    if (PLATFORM_FAULT(Delete)) return false;
    std::string name;
    if (!systemPath(path, name)) return false;
    DWORD attributes = 0;
    DWORD tag = 0;
    // RemoveDirectoryA would take a link to a folder too; only a real, empty folder goes.
    if (readEntry(name, attributes, tag) && isLinkAttributes(attributes, tag)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    return RemoveDirectoryA(name.c_str()) != 0;
}

bool File::open(std::string_view path, unsigned access, Disposition disposition,
                const CreateOptions& options) {
    close();
    if (PLATFORM_FAULT(Open)) return false;
    std::string name;
    if (!systemPath(path, name)) return false;
    DWORD desired = 0;
    if (access & AccessRead) desired |= GENERIC_READ;
    if (access & AccessWrite) desired |= GENERIC_WRITE;
    if (access & AccessExecute) desired |= GENERIC_EXECUTE;
    DWORD share = 0;
    if (options.share & ShareRead) share |= FILE_SHARE_READ;
    if (options.share & ShareWrite) share |= FILE_SHARE_WRITE;
    if (options.share & ShareDelete) share |= FILE_SHARE_DELETE;
    DWORD creation = OPEN_EXISTING;
    switch (disposition) {
        case Disposition::OpenExisting:
            creation = OPEN_EXISTING;
            break;
        case Disposition::CreateAlways:
            creation = CREATE_ALWAYS;
            break;
        case Disposition::CreateNew:
            creation = CREATE_NEW;
            break;
        case Disposition::OpenAlways:
            creation = OPEN_ALWAYS;
            break;
    }
    DWORD attributes = options.attributes & kCreationAttributes;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    // No security attributes: the handle is not inherited by programs we start.
    // `options.replaces` is not needed here: a new file gets its attributes from the
    // options, as one that CreateAlways overwrites does.
    HANDLE handle =
        CreateFileA(name.c_str(), desired, share, nullptr, creation, attributes, nullptr);
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (handle == INVALID_HANDLE_VALUE) return false;
    // Only a file on a disk: a pipe, console or other device under the name counts as
    // no file, as a FIFO or device does on Linux.
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(handle);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // CreateFileA tells ALREADY_EXISTS for an existing file; the checks must not hide it.
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    handle_ = nativeOf(handle);
    return true;
}

void File::close() {
    if (handle_ != kNoHandle) {
        CloseHandle(handleOf(handle_));
        handle_ = kNoHandle;
    }
}

int64_t File::size() const {
    LARGE_INTEGER size;
    if (handle_ == kNoHandle) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    if (!GetFileSizeEx(handleOf(handle_), &size)) return -1;
    return size.QuadPart;
}

int64_t File::seek(int64_t offset, SeekFrom from) {
    const DWORD method = from == SeekFrom::Begin     ? FILE_BEGIN
                         : from == SeekFrom::Current ? FILE_CURRENT
                                                     : FILE_END;
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(handleOf(handle_), distance, &position, method)) return -1;
    return position.QuadPart;
}

int64_t File::tell() const {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(handleOf(handle_), zero, &position, FILE_CURRENT)) return -1;
    return position.QuadPart;
}

int64_t File::read(void* buffer, size_t count) {
    if (PLATFORM_FAULT(Read)) return -1;
    // ReadFile counts in 32 bits.
    const DWORD wanted = count > (1u << 30) ? DWORD(1u << 30) : DWORD(count);
    DWORD got = 0;
    if (!ReadFile(handleOf(handle_), buffer, wanted, &got, nullptr)) return -1;
    return got;
}

int64_t File::write(const void* data, size_t count) {
    if (PLATFORM_FAULT(Write)) return -1;
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < count) {
        const size_t left = count - done;
        const DWORD piece = left > (1u << 30) ? DWORD(1u << 30) : DWORD(left);
        DWORD written = 0;
        if (!WriteFile(handleOf(handle_), p + done, piece, &written, nullptr) || written == 0) {
            if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_DISK_FULL);
            return done ? static_cast<int64_t>(done) : -1;
        }
        done += written;
    }
    return static_cast<int64_t>(done);
}

bool File::flush() {
    if (PLATFORM_FAULT(Flush)) return false;
    return FlushFileBuffers(handleOf(handle_)) != 0;
}

bool File::isSameFile(std::string_view path) const {
    std::string name;
    if (handle_ == kNoHandle || !systemPath(path, name)) return false;
    // The entry itself (a link is not followed), opened with no access right and every
    // sharing, so a file held open by anyone still answers.
    HANDLE other = CreateFileA(
        name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION mine, theirs;
    const bool same = GetFileInformationByHandle(handleOf(handle_), &mine) &&
                      GetFileInformationByHandle(other, &theirs) &&
                      mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
                      mine.nFileIndexHigh == theirs.nFileIndexHigh &&
                      mine.nFileIndexLow == theirs.nFileIndexLow;
    CloseHandle(other);
    return same;
}

bool File::setTimes(const FileTime* creation, const FileTime* access, const FileTime* write) {
    if (PLATFORM_FAULT(SetAttributes)) return false;
    auto toFiletime = [](const FileTime* time, FILETIME& out) -> const FILETIME* {
        if (!time) return nullptr;
        out.dwLowDateTime = DWORD(*time & 0xFFFFFFFFu);
        out.dwHighDateTime = DWORD(*time >> 32);
        return &out;
    };
    FILETIME c, a, w;
    return SetFileTime(handleOf(handle_), toFiletime(creation, c), toFiletime(access, a),
                       toFiletime(write, w)) != 0;
}

}  // namespace platform
