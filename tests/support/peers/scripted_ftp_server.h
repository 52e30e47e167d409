#pragma once
// A loopback FTP server of our own whose dialogue a test scripts and whose transcript
// it asserts: every command received, every data connection it made and what came
// over it. It serves control connections one after the other on its own thread,
// for at most a bounded time.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/peers/loopback_socket.h"

namespace testsupport {

class ScriptedFtpServer {
public:
    struct Transfer {
        std::string command;             // "STOR name", "RETR name", ...
        std::string data;                // bytes received on the data connection
        std::vector<size_t> chunkSizes;  // size of each receive, in order
    };

    // Listens on 127.0.0.1 at `port` (0: a free port) and starts serving.
    explicit ScriptedFtpServer(uint16_t port = 0);
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    uint16_t port() const { return port_; }

    // Raw text sent on connect (line ends included). Default "220 ready\r\n".
    void setGreeting(const std::string& raw);
    // A greeting sent in parts, with a pause between them, so that the client sees
    // each part in a receive of its own.
    void setGreetingParts(const std::vector<std::string>& parts, int pauseMs = 150);
    // The reply to commands that begin with `prefix` (the longest matching prefix wins).
    void reply(const std::string& prefix, const std::string& raw);
    // Replies to the next commands in order, whatever they are; rules serve afterwards.
    void queueReplies(const std::vector<std::string>& raws);
    // Whether a 1xx reply to a data command is followed by connecting back (default yes).
    void setConnectBack(bool connect);
    // What a RETR, LIST or NLST sends over the data connection.
    void setRetrieveData(const std::string& data);
    // The reply after a data transfer (default "226 done\r\n").
    void setFinalReply(const std::string& raw);
    // A slow peer: the data of commands that begin with `prefix` is read at most
    // `bytes` at a time, `pauseMs` apart, until the client speaks or leaves on the
    // control connection.
    void setSlowReceive(const std::string& prefix, size_t bytes, int pauseMs);

    // Called on the server's thread with each command as it arrives, before the reply.
    void onCommand(std::function<void(const std::string&)> hook);

    // Waits until `count` control connections have ended (or the time runs out).
    bool waitForSessions(size_t count, int timeoutMs = 10000);

    // Commands received, one list per control connection, without line ends.
    std::vector<std::vector<std::string>> sessions();
    // Every command of every connection, in order.
    std::vector<std::string> commands();
    std::vector<Transfer> transfers();
    // The names the data transfers were for, in order ("STOR a.zip" gives "a.zip").
    std::vector<std::string> transferredNames();

private:
    void serve();
    void serveConnection(loopback::Socket fd);
    std::string replyFor(const std::string& command);
    bool runDataTransfer(const std::string& command, const std::string& portArgs,
                         loopback::Socket control);

    loopback::Socket listener_ = loopback::kNoSocket;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    size_t endedSessions_ = 0;

    std::vector<std::string> greeting_{"220 ready\r\n"};
    int greetingPauseMs_ = 0;
    std::map<std::string, std::string> rules_;
    std::vector<std::string> queued_;
    bool connectBack_ = true;
    std::string retrieveData_;
    std::string finalReply_ = "226 done\r\n";
    std::string slowPrefix_;
    size_t slowBytes_ = 0;
    int slowPauseMs_ = 0;
    std::function<void(const std::string&)> commandHook_;

    std::vector<std::vector<std::string>> sessions_;
    std::vector<Transfer> transfers_;
};

}  // namespace testsupport
