#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <ctime>
#include <vector>

#include "platform/posix/posix_detail.h"
#include "platform/system.h"
#include "platform/text.h"

namespace platform {

namespace {

std::vector<std::string>& processArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

void initProcess(int argc, char** argv) {
    // A closed standard stream would otherwise be taken by the next file or socket we
    // open, and a stray message could land in it.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            ::close(null);
        }
    }
    auto& arguments = processArguments();
    arguments.assign(argv, argv + argc);
    // Only the character type follows the user's locale: number formats stay "C".
    std::setlocale(LC_CTYPE, "");
    ansiCodeset();
}

std::string commandLine() {
    std::string line;
    for (const auto& argument : processArguments()) {
        if (!line.empty()) line.push_back(' ');
        bool quote = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        if (quote) line.push_back('"');
        line += argument;
        if (quote) line.push_back('"');
    }
    return line;
}

bool startSockets() { return true; }

void debugOutput(std::string_view text) {
    std::string line(text);
    if (line.empty() || line.back() != '\n') line.push_back('\n');
    // One block, so lines from two threads do not interleave.
    writeToStandardError(line);
}

void writeToStandardError(std::string_view text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

void sleepMs(unsigned milliseconds) {
    struct timespec request;
    request.tv_sec = milliseconds / 1000;
    request.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

}  // namespace platform
