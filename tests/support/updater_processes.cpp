#include "support/updater_processes.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace testsupport {

UpdaterProcessLock::UpdaterProcessLock() {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/launcher-tests-updater.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return;  // without the lock the tests still run, only not in turns
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

UpdaterProcessLock::~UpdaterProcessLock() {
    if (fd_ >= 0) ::close(fd_);
}

ArgumentRecords readArgumentRecords(const std::string& folder) {
    ArgumentRecords records;
    std::istringstream in(readFile(folder + "/args.txt"));
    std::vector<std::string> current;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) {
            records.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(line);
        }
    }
    return records;
}

ArgumentRecords waitForArgumentRecords(const std::string& folder, size_t count, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    ArgumentRecords records = readArgumentRecords(folder);
    while (records.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        records = readArgumentRecords(folder);
    }
    return records;
}

bool reapChild(int pid, int* signal, int seconds) {
    if (pid <= 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (true) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (signal) *signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            return true;
        }
        if (r < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

}  // namespace testsupport
