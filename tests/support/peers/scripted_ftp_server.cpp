#include "support/peers/scripted_ftp_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/peers/loopback_socket.h"

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;
using namespace loopback;

// The server never runs longer than this, whatever a test does.
constexpr auto kLifetime = std::chrono::seconds(60);

bool sendAllRaw(Socket socket, const std::string& data) {
    return sendAll(socket, data.data(), data.size());
}

bool isDataCommand(const std::string& verb) {
    return verb == "STOR" || verb == "APPE" || verb == "STOU" || verb == "RETR" || verb == "LIST" ||
           verb == "NLST";
}

bool serverReceives(const std::string& verb) {
    return verb == "STOR" || verb == "APPE" || verb == "STOU";
}

}  // namespace

ScriptedFtpServer::ScriptedFtpServer(uint16_t port) {
    rules_ = {
        {"USER", "331 password please\r\n"}, {"PASS", "230 logged on\r\n"},
        {"ACCT", "230 account ok\r\n"},      {"CWD", "250 folder changed\r\n"},
        {"TYPE", "200 type set\r\n"},        {"PORT", "200 port ok\r\n"},
        {"SIZE", "550 no such file\r\n"},    {"STOR", "150 opening\r\n"},
        {"APPE", "150 opening\r\n"},         {"STOU", "150 opening\r\n"},
        {"RETR", "150 opening\r\n"},         {"LIST", "150 opening\r\n"},
        {"NLST", "150 opening\r\n"},         {"QUIT", "221 bye\r\n"},
        {"ABOR", "226 aborted\r\n"},
    };
    listener_ = listenOn(port, port_);
    if (listener_ == kNoSocket) throw std::runtime_error("scripted FTP server cannot listen");
    thread_ = std::thread([this] { serve(); });
}

ScriptedFtpServer::~ScriptedFtpServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    thread_.join();
    closeSocket(listener_);
}

void ScriptedFtpServer::setGreeting(const std::string& raw) {
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = {raw};
    greetingPauseMs_ = 0;
}

void ScriptedFtpServer::setGreetingParts(const std::vector<std::string>& parts, int pauseMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = parts;
    greetingPauseMs_ = pauseMs;
}

void ScriptedFtpServer::reply(const std::string& prefix, const std::string& raw) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_[prefix] = raw;
}

void ScriptedFtpServer::queueReplies(const std::vector<std::string>& raws) {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.insert(queued_.end(), raws.begin(), raws.end());
}

void ScriptedFtpServer::setConnectBack(bool connect) {
    std::lock_guard<std::mutex> lock(mutex_);
    connectBack_ = connect;
}

void ScriptedFtpServer::setRetrieveData(const std::string& data) {
    std::lock_guard<std::mutex> lock(mutex_);
    retrieveData_ = data;
}

void ScriptedFtpServer::setFinalReply(const std::string& raw) {
    std::lock_guard<std::mutex> lock(mutex_);
    finalReply_ = raw;
}

void ScriptedFtpServer::setSlowReceive(const std::string& prefix, size_t bytes, int pauseMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    slowPrefix_ = prefix;
    slowBytes_ = bytes;
    slowPauseMs_ = pauseMs;
}

bool ScriptedFtpServer::waitForSessions(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return endedSessions_ >= count; });
}

std::vector<std::vector<std::string>> ScriptedFtpServer::sessions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_;
}

std::vector<std::string> ScriptedFtpServer::commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> all;
    for (const auto& s : sessions_) all.insert(all.end(), s.begin(), s.end());
    return all;
}

std::vector<ScriptedFtpServer::Transfer> ScriptedFtpServer::transfers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return transfers_;
}

std::vector<std::string> ScriptedFtpServer::transferredNames() {
    std::vector<std::string> names;
    for (const Transfer& t : transfers()) names.push_back(t.command.substr(5));
    return names;
}

void ScriptedFtpServer::onCommand(std::function<void(const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    commandHook_ = std::move(hook);
}

std::string ScriptedFtpServer::replyFor(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queued_.empty()) {
        std::string raw = queued_.front();
        queued_.erase(queued_.begin());
        return raw;
    }
    const std::string* best = nullptr;
    size_t bestLength = 0;
    for (const auto& [prefix, raw] : rules_) {
        if (command.compare(0, prefix.size(), prefix) == 0 && prefix.size() >= bestLength) {
            best = &raw;
            bestLength = prefix.size();
        }
    }
    return best ? *best : "502 not implemented\r\n";
}

void ScriptedFtpServer::serve() {
    const auto end = Clock::now() + kLifetime;
    while (Clock::now() < end) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        const Socket connection = acceptWithin(listener_, 50);
        if (connection == kNoSocket) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sessions_.emplace_back();
        }
        serveConnection(connection);
        closeSocket(connection);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++endedSessions_;
        }
        changed_.notify_all();
    }
}

void ScriptedFtpServer::serveConnection(Socket fd) {
    std::vector<std::string> greeting;
    int pauseMs;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        greeting = greeting_;
        pauseMs = greetingPauseMs_;
    }
    for (size_t i = 0; i < greeting.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        if (!greeting[i].empty() && !sendAllRaw(fd, greeting[i])) return;
    }
    std::string pending;
    std::string portArgs;
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < end) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        auto lf = pending.find('\n');
        if (lf == std::string::npos) {
            if (!readableWithin(fd, 50)) continue;
            char chunk[4096];
            const long n = receiveSome(fd, chunk, sizeof chunk);
            if (n <= 0) return;
            pending.append(chunk, static_cast<size_t>(n));
            continue;
        }
        std::string command = pending.substr(0, lf);
        pending.erase(0, lf + 1);
        if (!command.empty() && command.back() == '\r') command.pop_back();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sessions_.back().push_back(command);
        }
        const std::string verb = command.substr(0, command.find(' '));
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hook = commandHook_;
        }
        if (hook) hook(command);
        const std::string raw = replyFor(command);
        if (!sendAllRaw(fd, raw)) return;
        if (verb == "PORT") portArgs = command.size() > 5 ? command.substr(5) : "";
        if (verb == "QUIT") return;
        if (isDataCommand(verb) && !raw.empty() && raw[0] == '1') {
            bool connect;
            std::string finalReply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                connect = connectBack_;
                finalReply = finalReply_;
            }
            if (connect && runDataTransfer(command, portArgs, fd) && !sendAllRaw(fd, finalReply))
                return;
        }
    }
}

bool ScriptedFtpServer::runDataTransfer(const std::string& command, const std::string& portArgs,
                                        Socket control) {
    unsigned h1, h2, h3, h4, p1, p2;
    if (std::sscanf(portArgs.c_str(), "%u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
        return false;
    const Socket fd =
        connectTo((h1 << 24) | (h2 << 16) | (h3 << 8) | h4, static_cast<uint16_t>(p1 * 256 + p2));
    if (fd == kNoSocket) return false;
    Transfer transfer;
    transfer.command = command;
    const std::string verb = command.substr(0, command.find(' '));
    if (serverReceives(verb)) {
        size_t readSize = 65536;
        int pauseMs = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (slowBytes_ > 0 && command.compare(0, slowPrefix_.size(), slowPrefix_) == 0) {
                readSize = std::min(readSize, slowBytes_);
                pauseMs = slowPauseMs_;
            }
        }
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < end) {
            if (pauseMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                // The client gave up (a command, or its end, on the control connection):
                // the rest of what it sent is not read, so the next session is not kept
                // waiting behind it.
                if (readableWithin(control, 0)) break;
            }
            if (!readableWithin(fd, 100)) continue;
            char chunk[65536];
            const long n = receiveSome(fd, chunk, readSize);
            if (n <= 0) break;
            transfer.data.append(chunk, static_cast<size_t>(n));
            transfer.chunkSizes.push_back(static_cast<size_t>(n));
        }
    } else {
        std::string data;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            data = retrieveData_;
        }
        sendAllRaw(fd, data);
    }
    closeSocket(fd);
    std::lock_guard<std::mutex> lock(mutex_);
    transfers_.push_back(std::move(transfer));
    return true;
}

}  // namespace testsupport
