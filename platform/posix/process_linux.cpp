// Linux only: processes are listed and named through /proc, ended through a pidfd, and
// started with glibc's posix_spawn_file_actions_addclosefrom_np.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fault_injection.h"
#include "platform/paths.h"
#include "platform/posix/posix_detail.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

namespace {

std::string lastComponent(std::string_view path) {
    auto cut = lastSeparator(path);
    return std::string(cut == std::string::npos ? path : path.substr(cut + 1));
}

// argv[0] of a process: the bytes of /proc/PID/cmdline up to the first NUL. A first
// argument longer than this is not a program name we would look for.
constexpr size_t kMaxFirstArgument = 65536;

bool isAllDigits(const char* s) {
    if (*s == '\0') return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

long pidfdOpen(uint32_t pid) {
#ifdef SYS_pidfd_open
    return syscall(SYS_pidfd_open, pid_t(pid), 0u);
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

long pidfdSendSignal(int fd, int sig) {
#ifdef SYS_pidfd_send_signal
    return syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0u);
#else
    (void)fd;
    (void)sig;
    errno = ENOSYS;
    return -1;
#endif
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isPeImage(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[2] = {};
    ssize_t n = ::read(fd, magic, 2);
    ::close(fd);
    return n == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

std::vector<std::string> pathFolders() {
    std::vector<std::string> folders;
    const char* path = std::getenv("PATH");
    if (!path) return folders;
    std::string_view rest(path);
    while (true) {
        auto colon = rest.find(':');
        auto folder = rest.substr(0, colon);
        // An empty PATH entry means the current folder, which was searched first.
        if (!folder.empty()) folders.emplace_back(folder);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return folders;
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::string cwd = currentDirectory();
    if (cwd.empty()) return path;
    return cwd + "/" + path;
}

// The file to start: the current folder first (ignoring case), then the PATH folders.
// A name with a folder in it is not searched for.
std::string findProgram(std::string_view file) {
    std::string resolved;
    if (file.empty()) return {};
    if (lastSeparator(file) != std::string::npos) {
        if (resolvePath(file, resolved) && isRegularFile(resolved)) return absolute(resolved);
        return {};
    }
    if (resolvePath(file, resolved) && isRegularFile(resolved)) return absolute(resolved);
    for (const auto& folder : pathFolders()) {
        std::string candidate = folder + "/" + std::string(file);
        if (!resolvePath(candidate, resolved) || !isRegularFile(resolved)) continue;
        if (::access(resolved.c_str(), X_OK) == 0 || isPeImage(resolved)) return absolute(resolved);
    }
    return {};
}

std::string findOnPath(const std::string& name) {
    for (const auto& folder : pathFolders()) {
        std::string candidate = folder + "/" + name;
        if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::vector<std::string> splitParameters(std::string_view parameters) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < parameters.size()) {
        while (i < parameters.size() && parameters[i] == ' ') ++i;
        size_t start = i;
        while (i < parameters.size() && parameters[i] != ' ') ++i;
        if (i > start) words.emplace_back(parameters.substr(start, i - start));
    }
    return words;
}

}  // namespace

// One pass costs a readlink of each process's executable and, unless the process has no
// memory (a kernel thread, one that has ended) or belongs to another user, one read of
// its command line. The owner is looked at only where the executable could not be read
// (another user's process, as a rule) or the first argument matched.
struct ProcessList::State {
    int proc = -1;  // /proc, which every read is relative to
    std::vector<uint32_t> ids;
    size_t named = SIZE_MAX;  // the process whose names are below
    bool executableRead = false;
    bool executableReadable = false;
    bool hasMemory = false;
    int own = -1;  // whether it runs as our user; -1 not looked at yet
    std::string executable;
    bool firstArgumentRead = false;
    std::string firstArgument;

    // "PID/leaf", relative to /proc.
    const char* entry(size_t index, const char* leaf) {
        std::snprintf(path, sizeof path, "%u/%s", ids[index], leaf);
        return path;
    }
    void select(size_t index) {
        if (named == index) return;
        named = index;
        executableRead = firstArgumentRead = false;
        own = -1;
    }

    char path[48];
};

ProcessList::ProcessList() : state_(new State) {}

ProcessList::~ProcessList() {
    if (state_->proc >= 0) ::close(state_->proc);
    delete state_;
}

bool ProcessList::read() {
    state_->ids.clear();
    state_->named = SIZE_MAX;
    if (state_->proc < 0) state_->proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (state_->proc < 0) return false;
    const int listFd = ::openat(state_->proc, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) ::close(listFd);
        return false;
    }
    while (dirent* entry = ::readdir(dir)) {
        if (!isAllDigits(entry->d_name)) continue;
        unsigned long value = std::strtoul(entry->d_name, nullptr, 10);
        if (value == 0 || value > UINT32_MAX) continue;
        state_->ids.push_back(uint32_t(value));
    }
    ::closedir(dir);
    std::sort(state_->ids.begin(), state_->ids.end());
    return true;
}

size_t ProcessList::size() const { return state_->ids.size(); }

uint32_t ProcessList::id(size_t index) const { return state_->ids[index]; }

std::string_view ProcessList::executableName(size_t index) {
    State& s = *state_;
    s.select(index);
    if (s.executableRead) return s.executable;
    s.executableRead = true;
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(s.proc, s.entry(index, "exe"), target, sizeof target);
    // A kernel thread or a process that has ended has no executable (ENOENT), and no
    // command line either.
    s.hasMemory = n >= 0 || errno != ENOENT;
    s.executableReadable = n > 0 && size_t(n) < sizeof target;
    if (!s.executableReadable) {
        s.executable = "Unknown";
        return s.executable;
    }
    std::string_view path(target, size_t(n));
    // The kernel marks an executable whose file was replaced or removed.
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() > deleted.size() && path.ends_with(deleted)) path.remove_suffix(deleted.size());
    s.executable = lastComponent(path);
    return s.executable;
}

std::string_view ProcessList::firstArgumentName(size_t index) {
    State& s = *state_;
    executableName(index);
    if (s.firstArgumentRead) return s.firstArgument;
    s.firstArgumentRead = true;
    s.firstArgument.clear();
    if (!s.hasMemory || (!s.executableReadable && !isOwnProcess(index))) return s.firstArgument;
    const int fd = ::openat(s.proc, s.entry(index, "cmdline"), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return s.firstArgument;
    char buffer[4096];
    bool complete = false;
    while (!complete && s.firstArgument.size() <= kMaxFirstArgument) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            complete = true;
            break;
        }
        const auto* end = static_cast<const char*>(std::memchr(buffer, '\0', size_t(n)));
        s.firstArgument.append(buffer, end ? size_t(end - buffer) : size_t(n));
        if (end) complete = true;
    }
    ::close(fd);
    if (!complete || s.firstArgument.size() > kMaxFirstArgument)
        s.firstArgument.clear();
    else
        s.firstArgument = lastComponent(s.firstArgument);
    return s.firstArgument;
}

bool ProcessList::isOwnProcess(size_t index) {
    State& s = *state_;
    s.select(index);
    if (s.own < 0) {
        struct stat st {};
        s.own = ::fstatat(s.proc, s.entry(index, ""), &st, 0) == 0 && st.st_uid == ::geteuid();
    }
    return s.own == 1;
}

ProcessHandle::~ProcessHandle() { close(); }

bool ProcessHandle::open(uint32_t pid) {
    close();
    if (pid == 0 || pid > uint32_t(INT32_MAX)) return false;
    // A pidfd keeps naming the same process even if its id is reused meanwhile.
    long fd = pidfdOpen(pid);
    if (fd >= 0) {
        // Signal 0 checks the permission, as OpenProcess checks the access right.
        if (pidfdSendSignal(int(fd), 0) != 0) {
            ::close(int(fd));
            return false;
        }
        handle_ = handleOf(int(fd));
        pid_ = pid;
        return true;
    }
    if (errno != ENOSYS) return false;
    if (::kill(pid_t(pid), 0) != 0) return false;
    pid_ = pid;
    return true;
}

bool ProcessHandle::terminate() {
    if (pid_ == 0) return false;
    if (PLATFORM_FAULT(EndProcess)) return false;
    // Windows ends the process with exit code 0; a signal cannot impose an exit code,
    // so the process ends as killed by SIGKILL.
    if (handle_ != kNoHandle) return pidfdSendSignal(descriptorOf(handle_), SIGKILL) == 0;
    return ::kill(pid_t(pid_), SIGKILL) == 0;
}

void ProcessHandle::close() {
    if (handle_ != kNoHandle) ::close(descriptorOf(handle_));
    handle_ = kNoHandle;
    pid_ = 0;
}

bool shellOpen(std::string_view file, std::string_view parameters, uint32_t* processId) {
    if (PLATFORM_FAULT(StartProcess)) return false;
    std::string program = findProgram(file);
    if (program.empty()) return false;

    std::vector<std::string> args;
    if (isPeImage(program)) {
        // Without wine the image is started directly; binfmt_misc may still know it.
        std::string wine = findOnPath("wine");
        if (!wine.empty()) args.push_back(wine);
    }
    args.push_back(program);
    for (auto& word : splitParameters(parameters)) args.push_back(std::move(word));

    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
    if (posix_spawnattr_init(&attr) != 0) return false;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attr);
        return false;
    }
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    // Every descriptor is close-on-exec already; this also covers any that a library
    // opened without it, so the child cannot hold the single-instance lock.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    if (processId) *processId = uint32_t(pid);
    return true;
}

}  // namespace platform
