// Crash mode's walk (uploadCrashFolder) and deletion (deleteFolderTree) of folder trees
// of growing depth: each level holds a file "crash.dmp" and the next folder "d". Prints
// the time of each and whether the deletion removed the tree completely; a tree deeper
// than the path limit (2,100 levels of "d/" are 4,200 bytes) must be removed too.
// The trees are made and checked relative to open folders, so that this program itself
// never meets the path limit. Nothing is uploaded (no file is named "ra*zip*"); the
// walk rewrites "KilnDev.ini" in a folder of its own after each folder, as crash mode
// does.
// Usage: bench_deep_folder [--no-walk] [LEVELS...]   (default 250 500 1000 2100)

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_support.h"
#include "config/dev_settings.h"
#include "ftp/crash_upload.h"

namespace fs = std::filesystem;

namespace {

// Makes `levels` nested folders "d" below `root`, each holding "crash.dmp".
bool makeTree(const fs::path& root, int levels) {
    if (::mkdir(root.c_str(), 0755) != 0) return false;
    int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = folder >= 0;
    for (int level = 0; ok && level < levels; ++level) {
        int file = ::openat(folder, "crash.dmp", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ok = file >= 0 && ::write(file, "dump\n", 5) == 5;
        if (file >= 0) ::close(file);
        ok = ok && ::mkdirat(folder, "d", 0755) == 0;
        const int next = ok ? ::openat(folder, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(folder);
        folder = next;
        ok = ok && folder >= 0;
    }
    if (folder >= 0) ::close(folder);
    return ok;
}

// Counts the entries below the open folder `folder` and, with `remove`, deletes them;
// the descriptor is closed. Works at any depth: every step is relative to a folder.
long walkBelow(int folder, bool remove) {
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
        struct stat st;
        if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            const int below = ::openat(::dirfd(dir), name.c_str(),
                                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (below >= 0) count += walkBelow(below, remove);
        }
        if (remove) ::unlinkat(::dirfd(dir), name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0);
    }
    ::closedir(dir);
    return count;
}

// Entries left at and below `path`: 0 when it is gone.
long entriesLeft(const fs::path& path, bool remove) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return 0;
    const int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const long count = 1 + (folder >= 0 ? walkBelow(folder, remove) : 0);
    if (remove) ::rmdir(path.c_str());
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    bool walk = true;
    std::vector<int> depths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-walk") == 0)
            walk = false;
        else
            depths.push_back(std::atoi(argv[i]));
    }
    if (depths.empty()) depths = {250, 500, 1000, 2100};
    for (int levels : depths) {
        if (levels < 1) {
            std::fprintf(stderr, "Usage: %s [--no-walk] [LEVELS...]\n", argv[0]);
            return 2;
        }
    }
    const fs::path work =
        fs::temp_directory_path() /
        ("deep_folder_bench_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(work);
    const fs::path previous = fs::current_path();
    fs::current_path(work);  // "KilnDev.ini" lands here
    devSettings.section = "Crash";
    CrashSettings settings;
    settings.host = "127.0.0.1";
    settings.credentials = "bench:bench";

    int status = 0;
    std::printf("%8s %10s %10s %8s %14s  %s\n", "levels", "walk s", "delete s", "result",
                "entries left", bench::loadAverage().c_str());
    for (int levels : depths) {
        const fs::path root = work / "crash";
        if (!makeTree(root, levels)) {
            std::fprintf(stderr, "cannot make a tree of %d levels\n", levels);
            status = 1;
            break;
        }
        double walkSeconds = -1;
        if (walk) {
            const auto start = std::chrono::steady_clock::now();
            uploadCrashFolder(root.string(), settings);
            walkSeconds = bench::secondsSince(start);
        }
        const auto start = std::chrono::steady_clock::now();
        const uint32_t result = deleteFolderTree(root.string(), true);
        const double deleteSeconds = bench::secondsSince(start);
        const long left = entriesLeft(root, true);
        if (walk)
            std::printf("%8d %10.3f %10.3f %8u %14ld\n", levels, walkSeconds, deleteSeconds, result,
                        left);
        else
            std::printf("%8d %10s %10.3f %8u %14ld\n", levels, "-", deleteSeconds, result, left);
        std::fflush(stdout);
        if (result != 0 || left != 0) status = 1;
    }
    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}
