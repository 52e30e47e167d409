#include "support/lighttpd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace testsupport {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool waitForExit(pid_t pid, int milliseconds) {
    for (int waited = 0; waited <= milliseconds; waited += 10) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace

int freeLoopbackPort() {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(s);
    return port;
}

bool loopbackPortOpen(int port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port);
    bool open = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return open;
}

LighttpdServer::LighttpdServer(const std::string& documentRoot, const std::string& extraConfig) {
    char pattern[] = "/tmp/lighttpd-test-XXXXXX";
    if (!mkdtemp(pattern)) return;
    workDir_ = pattern;
    // A port taken between the probe and the start makes lighttpd exit; try again.
    for (int tries = 0; tries < 5 && pid_ < 0; ++tries) {
        port_ = freeLoopbackPort();
        std::ostringstream config;
        config << "server.document-root = \"" << documentRoot << "\"\n"
               << "server.bind = \"127.0.0.1\"\n"
               << "server.port = " << port_ << "\n"
               << "server.errorlog = \"" << workDir_ << "/error.log\"\n"
               << "server.modules = (\"mod_accesslog\")\n"
               << "accesslog.filename = \"" << workDir_ << "/access.log\"\n"
               << "accesslog.format = \"%r|%>s|%{Range}i|%b\"\n"
               << extraConfig;
        int input[2];
        if (pipe2(input, O_CLOEXEC) != 0) return;
        pid_t pid = fork();
        if (pid == 0) {
            dup2(input[0], STDIN_FILENO);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execlp("lighttpd", "lighttpd", "-D", "-f", "-", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(input[0]);
        std::string text = config.str();
        if (write(input[1], text.data(), text.size()) != ssize_t(text.size())) {}
        close(input[1]);
        for (int waited = 0; waited < 5000; waited += 10) {
            if (loopbackPortOpen(port_)) {
                pid_ = pid;
                break;
            }
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (pid_ < 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
}

LighttpdServer::~LighttpdServer() {
    stop();
    if (!workDir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(workDir_, ignored);
    }
}

std::string LighttpdServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void LighttpdServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!waitForExit(pid_, 5000)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
}

std::string LighttpdServer::errorLog() const {
    std::ifstream log(workDir_ + "/error.log");
    return std::string(std::istreambuf_iterator<char>(log), {});
}

std::vector<AccessLogLine> LighttpdServer::stopAndReadLog() {
    stop();
    std::vector<AccessLogLine> lines;
    std::ifstream log(workDir_ + "/access.log");
    std::string line;
    while (std::getline(log, line)) {
        AccessLogLine entry;
        std::istringstream fields(line);
        std::string status;
        std::getline(fields, entry.request, '|');
        std::getline(fields, status, '|');
        std::getline(fields, entry.range, '|');
        entry.status = std::atoi(status.c_str());
        lines.push_back(entry);
    }
    return lines;
}

}  // namespace testsupport
