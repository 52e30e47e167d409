// A stand-in client updater for the tests. It appends its arguments, one per line and
// then an empty line, to "args.txt" in its own folder, in one write so that copies
// running side by side do not mix their records. While a file "wait" lies in that
// folder it stays running (at most 20 seconds), so a test can find it among the
// processes. It links nothing of the launcher's.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    std::string self(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", self.data(), self.size());
    if (n <= 0 || size_t(n) >= self.size()) return 2;
    self.resize(size_t(n));
    std::string folder = self.substr(0, self.rfind('/') + 1);

    std::string record;
    for (int i = 1; i < argc; ++i) record += std::string(argv[i]) + "\n";
    record += "\n";
    int fd = open((folder + "args.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return 3;
    bool written = write(fd, record.data(), record.size()) == ssize_t(record.size());
    close(fd);
    if (!written) return 4;

    const std::string waitFile = folder + "wait";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (access(waitFile.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
