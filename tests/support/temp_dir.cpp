#include "support/temp_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

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

void makeParents(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') mkdir(path.substr(0, i).c_str(), 0777);
}

}  // namespace

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/launcher-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buffer.data();
}

TempDir::~TempDir() {
    if (!previousDirectory_.empty()) (void)!chdir(previousDirectory_.c_str());
    removeTree(path_);
}

std::string TempDir::file(std::string_view name) const { return path_ + "/" + std::string(name); }

void TempDir::enter() {
    if (previousDirectory_.empty()) {
        char buffer[4096];
        if (!getcwd(buffer, sizeof buffer)) throw std::runtime_error("getcwd failed");
        previousDirectory_ = buffer;
    }
    if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir failed");
}

void TempDir::write(std::string_view name, std::string_view content) const {
    std::string full = file(name);
    makeParents(full);
    if (!writeFile(full, std::string(content))) throw std::runtime_error("cannot write " + full);
}

std::string TempDir::read(std::string_view name) const { return readFile(file(name)); }

bool TempDir::exists(std::string_view name) const {
    struct stat st;
    return lstat(file(name).c_str(), &st) == 0;
}

void TempDir::copyIn(const std::string& source, std::string_view name) const {
    std::string full = file(name);
    makeParents(full);
    std::string bytes = readFile(source);
    struct stat st;
    if (stat(source.c_str(), &st) != 0) throw std::runtime_error("cannot read " + source);
    write(name, bytes);
    chmod(full.c_str(), st.st_mode & 07777);
}

void TempDir::makeFolder(std::string_view name) const {
    std::string full = file(name);
    makeParents(full + "/");
}

}  // namespace testsupport
