#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/win32_detail.h"

namespace platform {

struct FolderSearch::State {
    HANDLE search = INVALID_HANDLE_VALUE;
};

namespace {

void describe(const WIN32_FIND_DATAA& data, FindEntry& entry) {
    entry = FindEntry{};
    entry.name = data.cFileName;
    entry.isLink = isLinkAttributes(data.dwFileAttributes, data.dwReserved0);
    entry.attributes = entryAttributes(data.dwFileAttributes, data.dwReserved0);
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
// FindFirstFileA gives them.
bool FolderSearch::first(std::string_view folder, FindEntry& entry) {
    close();
    std::string name;
    if (!systemPath(folder, name)) return false;
    // A search started on a link does not list the folder behind it.
    DWORD attributes = 0;
    DWORD tag = 0;
    if (!name.empty() && readEntry(name, attributes, tag) && isLinkAttributes(attributes, tag)) {
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    std::string pattern = name;
    if (!pattern.empty() && !isSeparator(pattern.back())) pattern.push_back('\\');
    pattern += "*.*";
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
