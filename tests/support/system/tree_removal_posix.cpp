#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/system/tree_removal.h"

namespace testsupport {

namespace {

// Removes what lies below the open folder `folder` and closes it, without following
// links; folders get their write bit back first, since a test may have taken it away.
// Every step is relative to an open folder, so a tree deeper than the path limit goes too.
void removeBelow(int folder) {
    DIR* dir = fdopendir(folder);
    if (!dir) {
        close(folder);
        return;
    }
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    const int fd = dirfd(dir);
    for (const auto& name : names) {
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            fchmodat(fd, name.c_str(), (st.st_mode & 07777) | S_IRWXU, 0);
            const int below =
                openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (below >= 0) removeBelow(below);
        }
        unlinkat(fd, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0);
    }
    closedir(dir);
}

}  // namespace

void removeTree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (!S_ISDIR(st.st_mode)) {
        unlink(path.c_str());
        return;
    }
    chmod(path.c_str(), (st.st_mode & 07777) | S_IRWXU);
    const int folder = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) removeBelow(folder);
    rmdir(path.c_str());
}

}  // namespace testsupport
