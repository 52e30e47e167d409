// Open folders on Windows: a handle of the folder and its path (see Folder::State in
// win32_detail.h). Every entry is opened with FILE_FLAG_OPEN_REPARSE_POINT and looked at
// through that handle, so a link or junction is never followed, also not one swapped in
// after a search described the entry; deleting and removing never follow one anyway.

#include <fcntl.h>
#include <io.h>

#include <utility>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The entry itself, never what a link points to; folders too (backup semantics).
HANDLE openEntry(const std::string& path, DWORD access, DWORD share = kShareAll) {
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

struct EntryInfo {
    DWORD attributes = 0;
    bool isLink = false;     // a symbolic link or junction
    bool isReparse = false;  // any reparse point
};

bool describe(HANDLE entry, EntryInfo& info) {
    BY_HANDLE_FILE_INFORMATION data;
    if (!GetFileInformationByHandle(entry, &data)) return false;
    info.attributes = data.dwFileAttributes;
    info.isReparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (info.isReparse) {
        // One whose tag cannot be read counts as a link: nothing unknown is entered.
        FILE_ATTRIBUTE_TAG_INFO tag;
        info.isLink =
            !GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof tag) ||
            isLinkAttributes(tag.FileAttributes, tag.ReparseTag);
    }
    return true;
}

bool fail(DWORD error) {
    SetLastError(error);
    return false;
}

bool noFolder() { return fail(ERROR_INVALID_HANDLE); }

// An entry of a folder is one name: a separator would reach elsewhere, a colon a
// stream of another file. The second byte of a double-byte character is neither.
bool isEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." ||
        firstSeparator(name) != std::string_view::npos ||
        name.find_first_of(std::string_view(":\0", 2)) != std::string_view::npos)
        return fail(ERROR_INVALID_NAME);
    return true;
}

// The path of the entry `name` of `folder`; false when the name is no entry name or the
// path is past the limit.
bool entryPath(const std::string& folder, std::string_view name, std::string& path) {
    if (!isEntryName(name)) return false;
    const std::string joined = joinPath(folder, name);
    return systemPath(joined, path);
}

// The folder at `path` (already checked by systemPath): its handle and the path kept
// with it, or INVALID_HANDLE_VALUE.
HANDLE openFolder(const std::string& path, std::string& kept) {
    // "link\" would open the folder behind the link; a drive's root keeps its separator.
    const bool drive = path.size() >= 3 && path[1] == ':' && isSeparator(path[2]);
    std::string name(withoutTrailingSeparators(path, drive ? 3 : 1));
    HANDLE handle = openEntry(name.empty() ? std::string(".") : name, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE) {
        // A missing folder is a missing path, as for the "folder\*.*" search.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    EntryInfo info;
    if (!describe(handle, info) || info.isReparse ||
        !(info.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const DWORD error = info.attributes ? DWORD(ERROR_DIRECTORY) : GetLastError();
        CloseHandle(handle);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    kept = name.empty() ? std::string(".") : name;
    return handle;
}

// setAttributes through a handle of the entry itself; a link is left alone, as
// setAttributes does.
bool changeAttributes(const std::string& path, uint32_t attributes) {
    HANDLE entry = openEntry(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (entry == INVALID_HANDLE_VALUE) return false;
    EntryInfo info;
    bool ok = describe(entry, info);
    if (ok && !info.isLink) {
        FILE_BASIC_INFO basic;
        ZeroMemory(&basic, sizeof basic);  // times of 0 stay as they are
        basic.FileAttributes = attributesToSet(attributes);
        ok = SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof basic) != 0;
    }
    const DWORD error = ok ? DWORD(ERROR_SUCCESS) : GetLastError();
    CloseHandle(entry);
    SetLastError(error);
    return ok;
}

}  // namespace

void Folder::close() {
    if (!state_) return;
    if (state_->handle != INVALID_HANDLE_VALUE) CloseHandle(state_->handle);
    delete state_;
    state_ = nullptr;
}

bool Folder::open(std::string_view path) {
    close();
    if (PLATFORM_FAULT(ListFolder)) return false;
    std::string name;
    if (!systemPath(path, name)) return false;
    std::string kept;
    HANDLE handle = openFolder(name, kept);
    if (handle == INVALID_HANDLE_VALUE) return false;
    state_ = new State{handle, std::move(kept)};
    return true;
}

bool Folder::open(const Folder& parent, std::string_view name) {
    close();
    if (PLATFORM_FAULT(ListFolder)) return false;
    if (!parent.state_) return noFolder();
    std::string path;
    if (!entryPath(parent.state_->path, name, path)) return false;
    std::string kept;
    HANDLE handle = openFolder(path, kept);
    if (handle == INVALID_HANDLE_VALUE) return false;
    state_ = new State{handle, std::move(kept)};
    return true;
}

bool Folder::setOwnAttributes(uint32_t attributes) const {
    if (PLATFORM_FAULT(SetAttributes)) return false;
    if (!state_) return noFolder();
    return changeAttributes(state_->path, attributes);
}

bool Folder::setAttributes(std::string_view name, uint32_t attributes) const {
    if (PLATFORM_FAULT(SetAttributes)) return false;
    if (!state_) return noFolder();
    std::string path;
    return entryPath(state_->path, name, path) && changeAttributes(path, attributes);
}

// DeleteFileA and RemoveDirectoryA remove a link itself, never what it points to.
bool Folder::deleteFile(std::string_view name) const {
    if (PLATFORM_FAULT(Delete)) return false;
    if (!state_) return noFolder();
    std::string path;
    return entryPath(state_->path, name, path) && platform::deleteFile(path);
}

bool Folder::removeDirectory(std::string_view name) const {
    if (PLATFORM_FAULT(Delete)) return false;
    if (!state_) return noFolder();
    std::string path;
    if (!entryPath(state_->path, name, path)) return false;
    // Only a real folder goes here; a file is refused as Windows refuses it.
    const std::optional<uint32_t> attributes = getAttributes(path);
    if (!attributes) return false;
    if (!(*attributes & FILE_ATTR_DIRECTORY)) return fail(ERROR_DIRECTORY);
    return platform::removeDirectory(path);
}

std::FILE* Folder::openFileStream(std::string_view name) const {
    if (PLATFORM_FAULT(Open)) return nullptr;
    if (!state_) {
        noFolder();
        return nullptr;
    }
    std::string path;
    if (!entryPath(state_->path, name, path)) return nullptr;
    // Shared as fopen shares the file.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = openEntry(path, GENERIC_READ, share);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    EntryInfo info;
    bool regular = describe(file, info) && !info.isLink &&
                   !(info.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                   GetFileType(file) == FILE_TYPE_DISK;
    if (regular && info.isReparse) {
        // A reparse point that is no link (a placeholder, a deduplicated file) is read
        // through the file system's filter, as any program reads it.
        CloseHandle(file);
        file = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return nullptr;
    }
    if (!regular) {
        CloseHandle(file);
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        SetLastError(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "rb");
    if (stream == nullptr) {
        _close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return stream;
}

}  // namespace platform
