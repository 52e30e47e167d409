#include <utility>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

struct FolderSearch::State {
    HANDLE search = INVALID_HANDLE_VALUE;
    Folder owned;  // the folder of a search started from a path
};

namespace {

void describe(const WIN32_FIND_DATAA& data, FindEntry& entry) {
    entry = FindEntry{};
    entry.name = data.cFileName;
    entry.isLink = isLinkAttributes(data.dwFileAttributes, data.dwReserved0);
    entry.attributes = entryAttributes(data.dwFileAttributes, data.dwReserved0);
    entry.isRegularFile = !entry.isLink && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
    if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY))
        entry.size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

FolderSearch::~FolderSearch() { close(); }

void FolderSearch::close() {
    if (!state_) return;
    if (state_->search != INVALID_HANDLE_VALUE) FindClose(state_->search);
    delete state_;
    state_ = nullptr;
}

// The entries come in the file system's order (NTFS: by name, ignoring case), as
// FindFirstFileA gives them. A search started on a link does not list the folder
// behind it: the folder is opened first, which refuses links.
bool FolderSearch::first(std::string_view folder, FindEntry& entry) {
    close();
    Folder opened;
    if (!opened.open(folder) || !first(opened, entry)) return false;
    state_->owned = std::move(opened);
    return true;
}

bool FolderSearch::first(const Folder& folder, FindEntry& entry) {
    close();
    if (PLATFORM_FAULT(ListFolder)) return false;
    if (!folder.state_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    const std::string pattern = joinPath(folder.state_->path, "*.*");
    if (pattern.size() > maxPathLength()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    state_ = new State;
    state_->search = search;
    describe(data, entry);
    return true;
}

bool FolderSearch::next(FindEntry& entry) {
    if (PLATFORM_FAULT(ListFolder)) return false;
    if (!state_) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    WIN32_FIND_DATAA data;
    // At the end the last error is ERROR_NO_MORE_FILES, from the system itself.
    if (!FindNextFileA(state_->search, &data)) return false;
    describe(data, entry);
    return true;
}

}  // namespace platform
