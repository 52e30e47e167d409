#include "support/builders/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "support/sandbox/unprivileged.h"

namespace testsupport {

namespace {

constexpr uid_t kNobody = 65534;

long countBelow(int folder) {
    DIR* dir = ::fdopendir(folder);
    if (!dir) {
        ::close(folder);
        return 0;
    }
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    long count = 0;
    for (const std::string& name : names) {
        ++count;
        const int below =
            ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (below >= 0) count += countBelow(below);
    }
    ::closedir(dir);
    return count;
}

}  // namespace

FolderTreeBuilder::FolderTreeBuilder(const std::string& root, bool forNobody)
    : forNobody_(forNobody && runningAsRoot()) {
    ok_ = ::mkdir(root.c_str(), 0755) == 0;
    folder_ = ok_ ? ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    ok_ = folder_ >= 0 && (!forNobody_ || ::fchown(folder_, kNobody, kNobody) == 0);
}

FolderTreeBuilder::~FolderTreeBuilder() {
    if (folder_ >= 0) ::close(folder_);
}

void FolderTreeBuilder::own(const std::string& name) {
    if (forNobody_ && ::fchownat(folder_, name.c_str(), kNobody, kNobody, AT_SYMLINK_NOFOLLOW) != 0)
        ok_ = false;
}

void FolderTreeBuilder::down(const std::string& name) {
    if (!ok_) return;
    ok_ = ::mkdirat(folder_, name.c_str(), 0755) == 0;
    own(name);
    const int below =
        ok_ ? ::openat(folder_, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    ::close(folder_);
    folder_ = below;
    ok_ = ok_ && folder_ >= 0;
}

void FolderTreeBuilder::file(const std::string& name, const std::string& content, mode_t mode) {
    if (!ok_) return;
    const int fd = ::openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    ok_ = fd >= 0 && ::write(fd, content.data(), content.size()) == ssize_t(content.size()) &&
          ::fchmod(fd, mode) == 0;
    if (fd >= 0) ::close(fd);
    own(name);
}

void FolderTreeBuilder::link(const std::string& name, const std::string& target) {
    if (!ok_) return;
    ok_ = ::symlinkat(target.c_str(), folder_, name.c_str()) == 0;
    own(name);
}

void FolderTreeBuilder::fifo(const std::string& name) {
    if (!ok_) return;
    ok_ = ::mkfifoat(folder_, name.c_str(), 0600) == 0;
    own(name);
}

void FolderTreeBuilder::setMode(mode_t mode) {
    if (ok_) ok_ = ::fchmod(folder_, mode) == 0;
}

long entriesLeft(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return 0;
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return 1 + (folder >= 0 ? countBelow(folder) : 0);
}

}  // namespace testsupport
