#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/errors.h"
#include "platform/fault_injection.h"
#include "platform/files.h"
#include "platform/posix/posix_detail.h"

namespace platform {

struct FolderSearch::State {
    int folderFd = -1;
    bool ownsFolder = false;  // opened by the search (from a path), closed with it
    std::vector<std::string> names;
    size_t position = 0;
};

namespace {

// Describes one entry with lstat relative to the open folder, so a link is reported as
// a link and a walk never enters the folder it points to.
void describe(int folderFd, const std::string& name, FindEntry& entry) {
    entry = FindEntry{};
    entry.name = name;
    struct stat st;
    if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.attributes = FILE_ATTR_NORMAL;  // vanished since the listing
        return;
    }
    entry.isLink = S_ISLNK(st.st_mode);
    entry.isRegularFile = S_ISREG(st.st_mode);
    if (S_ISDIR(st.st_mode)) entry.attributes |= FILE_ATTR_DIRECTORY;
    if (!entry.isLink && (st.st_mode & 0222) == 0) entry.attributes |= FILE_ATTR_READONLY;
    if (!entry.attributes) entry.attributes = FILE_ATTR_NORMAL;
    if (S_ISREG(st.st_mode)) entry.size = static_cast<uint64_t>(st.st_size);
}

}  // namespace

FolderSearch::~FolderSearch() { close(); }

void FolderSearch::close() {
    if (!state_) return;
    if (state_->ownsFolder && state_->folderFd >= 0) ::close(state_->folderFd);
    delete state_;
    state_ = nullptr;
}

bool FolderSearch::first(std::string_view folder, FindEntry& entry) {
    close();
    Folder opened;
    if (!opened.open(folder) || !first(opened, entry)) return false;
    // The search keeps the folder's descriptor for itself.
    state_->ownsFolder = true;
    opened.state_->fd = -1;
    return true;
}

bool FolderSearch::first(const Folder& folder, FindEntry& entry) {
    close();
    if (PLATFORM_FAULT(ListFolder)) {
        setLastError(windowsErrorFromErrno(errno));
        return false;
    }
    if (!folder.state_) {
        setLastError(winerr::INVALID_HANDLE);
        return false;
    }
    const int folderFd = folder.state_->fd;
    // The listing reads through a descriptor of its own, which closedir closes; it
    // shares the folder's position, so it starts from the beginning.
    int listFd = dup(folderFd);
    if (listFd < 0 && errno == EMFILE && raiseDescriptorLimit()) listFd = dup(folderFd);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        setLastError(windowsErrorFromErrno(errno));
        if (listFd >= 0) ::close(listFd);
        return false;
    }
    rewinddir(dir);
    auto* state = new State;
    state->folderFd = folderFd;
    state->names.push_back(".");
    state->names.push_back("..");
    while (dirent* d = readdir(dir)) {
        std::string entryName = d->d_name;
        if (entryName != "." && entryName != "..") state->names.push_back(std::move(entryName));
    }
    closedir(dir);
    std::sort(state->names.begin() + 2, state->names.end());
    state_ = state;
    return next(entry);
}

bool FolderSearch::next(FindEntry& entry) {
    if (!state_) {
        setLastError(winerr::INVALID_HANDLE);
        return false;
    }
    if (PLATFORM_FAULT(ListFolder)) {
        setLastError(windowsErrorFromErrno(errno));
        return false;
    }
    if (state_->position >= state_->names.size()) {
        setLastError(winerr::NO_MORE_FILES);
        return false;
    }
    describe(state_->folderFd, state_->names[state_->position++], entry);
    return true;
}

}  // namespace platform
