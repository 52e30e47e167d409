// lighttpd for a Windows test under Wine: the Linux side's peer broker runs it for as
// long as this object holds its connection to the broker (see peer_broker.py).
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "support/peers/lighttpd_access_log.h"
#include "support/peers/lighttpd_server.h"
#include "support/system/host_paths.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// ctest's fixture starts the broker with this state folder.
std::string brokerPortFile() {
    return std::string(LAUNCHER_BINARY_DIR) + "/test-peers/broker.port";
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "x";
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string unhex(const std::string& text) {
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); i += 2)
        out += char(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16));
    return out;
}

// Reads from the broker until `done` holds for what has arrived, at most `timeoutMs`.
template <typename Done>
bool receiveUntil(loopback::Socket socket, std::string& received, int timeoutMs, Done done) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(received)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || !loopback::readableWithin(socket, int(left))) return false;
        char buffer[4096];
        const long n = loopback::receiveSome(socket, buffer, sizeof buffer);
        if (n <= 0) return false;
        received.append(buffer, size_t(n));
    }
    return true;
}

bool receiveLine(loopback::Socket socket, std::string& line, int timeoutMs) {
    std::string received;
    if (!receiveUntil(socket, received, timeoutMs,
                      [](const std::string& r) { return r.find('\n') != std::string::npos; }))
        return false;
    line = received.substr(0, received.find('\n'));
    return true;
}

// "LENGTH\n" and that many bytes.
std::string askForBlob(loopback::Socket socket, const std::string& command) {
    const std::string line = command + "\n";
    if (!loopback::sendAll(socket, line.data(), line.size())) return {};
    std::string received;
    receiveUntil(socket, received, 15000, [](const std::string& r) {
        const size_t lf = r.find('\n');
        return lf != std::string::npos &&
               r.size() - lf - 1 >= size_t(std::strtoull(r.c_str(), nullptr, 10));
    });
    const size_t lf = received.find('\n');
    return lf == std::string::npos ? std::string() : received.substr(lf + 1);
}

}  // namespace

LighttpdServer::LighttpdServer(const std::string& documentRoot, const std::string& extraConfig) {
    std::ifstream portFile(brokerPortFile());
    int brokerPort = 0;
    if (!(portFile >> brokerPort)) {
        failure_ = "no peer broker (" + brokerPortFile() + "): run the tests through ctest";
        return;
    }
    const std::string root = linuxPathOf(documentRoot);
    broker_ = loopback::connectTo(0x7F000001, uint16_t(brokerPort));
    const std::string request = "lighttpd " + hex(root) + " " + hex(extraConfig) + "\n";
    std::string reply;
    if (root.empty() || broker_ == loopback::kNoSocket ||
        !loopback::sendAll(broker_, request.data(), request.size()) ||
        !receiveLine(broker_, reply, 20000)) {
        failure_ = "the peer broker did not answer";
        return;
    }
    if (reply.rfind("ready ", 0) == 0) {
        port_ = std::atoi(reply.c_str() + 6);
        running_ = port_ > 0;
    } else if (reply.rfind("failed ", 0) == 0) {
        failure_ = unhex(reply.substr(7));
    }
}

LighttpdServer::~LighttpdServer() { stop(); }

// Closing the connection ends the server.
void LighttpdServer::stop() {
    loopback::closeSocket(broker_);
    broker_ = loopback::kNoSocket;
    running_ = false;
}

// Without a server, why there is none.
std::string LighttpdServer::errorLog() const {
    return broker_ == loopback::kNoSocket ? failure_ : askForBlob(broker_, "errors");
}

std::vector<AccessLogLine> LighttpdServer::stopAndReadLog() {
    const std::string log =
        broker_ == loopback::kNoSocket ? std::string() : askForBlob(broker_, "stop");
    stop();
    return parseAccessLog(log);
}

}  // namespace testsupport
