// The control-connection half of the FTP client: connection, replies, logon, simple
// commands, notifications.
#include "ftp/ftp_client.h"

#include <algorithm>
#include <chrono>

#include "ftp/logon_table.h"
#include "platform/strings.h"

namespace nsFTP {

using nsSocket::CBlockingSocketException;

namespace {

const char kSource[] = "FTPClient";

FtpResult resultOf(const CFtpReply& reply) {
    switch (reply.code[0]) {
        case '2':
            return ResultOk;
        case '4':
        case '5':
            return ResultNegative;
        default:
            return ResultError;
    }
}

}  // namespace

CFTPClient::CFTPClient(nsSocket::IBlockingSocket* controlSocket)
    : buffer(2048, 0), control(controlSocket) {}

CFTPClient::~CFTPClient() {
    if (transferring) AbortTransfer();
    if (IsConnected()) LogOff();
    // A QUIT that went unanswered leaves the connection open; it must not outlive us.
    control->Discard();
    observers.clear();
}

void CFTPClient::AttachObserver(IFtpObserver* observer) {
    if (observer != nullptr) observers.insert(observer);
}

void CFTPClient::DetachObserver(IFtpObserver* observer) { observers.erase(observer); }

void CFTPClient::NotifyError(const std::string& message, const std::string& source, int line) {
    Notify([&](IFtpObserver& o) { o.ErrorRaised(message, source, line); });
}

CFTPClient::Deadline CFTPClient::WaitUntil() const {
    const Deadline byTimeout =
        std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    return deadline && *deadline < byTimeout ? *deadline : byTimeout;
}

int CFTPClient::WaitSeconds() const {
    if (!deadline) return static_cast<int>(timeoutSeconds);
    const auto left = *deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    // Rounded up, so a wait never ends before the deadline.
    const long long seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
    return static_cast<int>(std::min<long long>(seconds, timeoutSeconds));
}

bool CFTPClient::PastDeadline() const {
    return deadline && std::chrono::steady_clock::now() >= *deadline;
}

bool CFTPClient::ConnectControl(const std::string& host, unsigned short port) {
    DisconnectControl();
    // Text from an earlier connection can never answer a command on this one.
    pendingLines.clear();
    unfinishedLine.clear();
    try {
        control->Create(nsSocket::kSockStream);
        nsSocket::SocketAddress address = control->GetHostByName(host, port);
        // A port that never completes the handshake would hold crash mode for minutes.
        control->Connect(address, WaitSeconds());
    } catch (const CBlockingSocketException& e) {
        NotifyError(e.Describe(), kSource, SiteConnect);
        control->Discard();
        return false;
    }
    return true;
}

void CFTPClient::DisconnectControl() {
    try {
        control->Close();
        currentType.reset();
    } catch (const CBlockingSocketException&) {
        control->Discard();
    }
}

bool CFTPClient::WriteCommand(const std::string& command) {
    if (!IsConnected()) return false;
    // A line break inside a command would smuggle a second command to the server.
    if (command.find_first_of("\r\n") != std::string::npos) return false;
    Notify([&](IFtpObserver& o) { o.CommandSent(command); });
    std::string line = command + "\r\n";
    try {
        control->SendAll(line.data(), static_cast<int>(line.size()), WaitSeconds());
    } catch (const CBlockingSocketException& e) {
        NotifyError(e.Describe(), kSource, SiteSendCommand);
        control->Discard();
        return false;
    }
    return true;
}

void CFTPClient::FailOversizedReply() {
    NotifyError("Reply too long", kSource, SiteReadReply);
    control->Discard();
    pendingLines.clear();
    unfinishedLine.clear();
}

// Receives until at least one whole line is there or the server has closed, by the
// deadline. A line split across receives waits for its line feed. Receiving
// stops at the first whole line, so a server that streams text holds at most one
// buffer of lines and one capped unfinished line here.
bool CFTPClient::FillPendingLines(Deadline deadline) {
    using Clock = std::chrono::steady_clock;
    const int chunk = static_cast<int>(buffer.size()) - 1;
    for (;;) {
        // Past the deadline not even waiting text is taken: a peer that keeps sending
        // would otherwise never run out of time.
        if (Clock::now() >= deadline) throw CBlockingSocketException("Receive timeout");
        auto left = std::chrono::ceil<std::chrono::seconds>(deadline - Clock::now()).count();
        int count = control->Receive(buffer.data(), chunk, static_cast<int>(left));
        if (count == 0) {
            // The server closed: what it sent last is a line of its own.
            if (!unfinishedLine.empty()) pendingLines.push_back(std::move(unfinishedLine));
            unfinishedLine.clear();
            break;
        }
        unfinishedLine.append(buffer.data(), static_cast<size_t>(count));
        size_t start = 0;
        for (size_t lf; (lf = unfinishedLine.find('\n', start)) != std::string::npos;
             start = lf + 1)
            pendingLines.push_back(unfinishedLine.substr(start, lf + 1 - start));
        unfinishedLine.erase(0, start);
        if (unfinishedLine.size() > kMaxReplyBytes) {
            FailOversizedReply();
            return false;
        }
        if (!pendingLines.empty()) break;
    }
    return !pendingLines.empty();
}

bool CFTPClient::ReadReplyLine(std::string& line) { return ReadReplyLine(line, WaitUntil()); }

bool CFTPClient::ReadReplyLine(std::string& line, Deadline deadline) {
    if (!IsConnected()) return false;
    try {
        if (pendingLines.empty() && !FillPendingLines(deadline)) return false;
    } catch (const CBlockingSocketException& e) {
        NotifyError(e.Describe(), kSource, SiteReadReply);
        control->Discard();
        return false;
    }
    line = std::move(pendingLines.front());
    pendingLines.pop_front();
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.resize(line.size() - 2);
    return true;
}

bool CFTPClient::ReadReply(CFtpReply& reply) {
    // One time-out for the whole reply, however many lines: a greeting that goes on one
    // "220-" line at a time would otherwise get a fresh wait for every line.
    const Deadline replyDeadline = WaitUntil();
    std::string line;
    if (!ReadReplyLine(line, replyDeadline)) return false;
    std::string text = line;
    if (line.size() > 3 && line[3] == '-') {
        const int64_t number = platform::leadingNumber(line);
        for (;;) {
            if (!ReadReplyLine(line, replyDeadline)) return false;
            text += "\r\n";
            text += line;
            if (text.size() > kMaxReplyBytes) {
                FailOversizedReply();
                return false;
            }
            if (line.size() > 3 && line[3] == ' ' && platform::leadingNumber(line) == number) break;
        }
    }
    reply = CFtpReply{};
    reply.text = std::move(text);
    const std::string& t = reply.text;
    bool valid = t.size() >= 3 && t[0] >= '1' && t[0] <= '5' && t[1] >= '0' && t[1] <= '5';
    if (valid) {
        reply.code[0] = t[0];
        reply.code[1] = t[1];
        reply.code[2] = t[2];
    }
    Notify([&](IFtpObserver& o) { o.ReplyReceived(reply); });
    return valid;
}

FtpResult CFTPClient::SimpleCommand(const std::string& command, CFtpReply* replyOut) {
    CFtpReply reply;
    if (!WriteCommand(command) || !ReadReply(reply)) return ResultError;
    if (replyOut != nullptr) *replyOut = reply;
    return resultOf(reply);
}

FtpResult CFTPClient::LogOff() {
    CFtpReply reply;
    if (!WriteCommand("QUIT") || !ReadReply(reply)) return ResultError;
    DisconnectControl();
    return resultOf(reply);
}

FtpResult CFTPClient::AbortTransfer() {
    if (transferring) {
        abortRequested = true;
        return ResultOk;
    }
    abortRequested = false;
    return SimpleCommand("ABOR");
}

FtpResult CFTPClient::ChangeDirectory(const std::string& path) {
    return SimpleCommand("CWD " + path);
}

FtpResult CFTPClient::RemoteFileSize(const std::string& path, long long& size) {
    CFtpReply reply;
    if (!WriteCommand("SIZE " + path) || !ReadReply(reply)) return ResultError;
    const std::string_view text = reply.text;
    size = text.size() > 4 ? platform::leadingNumber(text.substr(4)) : 0;
    return resultOf(reply);
}

FtpResult CFTPClient::SetTransferType(const CTransferType& type) {
    static const char* const kinds[] = {"TYPE A", "TYPE E", "TYPE I", "TYPE L 0"};
    static const char* const formats[] = {" N", " T", " C"};
    if (type.kind < CTransferType::Ascii || type.kind > CTransferType::LocalByte)
        return ResultError;
    std::string command = kinds[type.kind];
    if (type.kind == CTransferType::Ascii || type.kind == CTransferType::Ebcdic) {
        if (type.format < CTransferType::NonPrint || type.format > CTransferType::CarriageControl)
            return ResultError;
        command += formats[type.format];
    }
    return SimpleCommand(command);
}

FtpResult CFTPClient::SendPort(const std::string& address, unsigned short port) {
    std::string command =
        "PORT " + address + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff);
    for (char& c : command)
        if (c == '.') c = ',';
    return SimpleCommand(command);
}

bool CFTPClient::LogOn(const CLogonData& logon) {
    if (logon.firewallMode < 0 || logon.firewallMode >= kLogonModes) return false;
    const bool viaFirewall = logon.firewallMode != 0;
    const std::string& targetHost = viaFirewall ? logon.firewallHost : logon.host;
    const unsigned short targetPort = viaFirewall ? logon.firewallPort : logon.port;
    std::string hostText = logon.host;
    if (logon.port != 21) {
        hostText += ':';
        hostText += std::to_string(logon.port);
    }

    if (IsConnected()) LogOff();
    if (!ConnectControl(targetHost, targetPort)) return false;
    CFtpReply reply;
    if (!ReadReply(reply) || reply.code[0] != '2') return false;

    const int* row = logonTable[logon.firewallMode];
    int index = 0;
    for (;;) {
        std::string command;
        switch (row[index]) {
            case LogonUser:
                command = "USER " + logon.user;
                break;
            case LogonPass:
                command = "PASS " + logon.password;
                break;
            case LogonAcct:
                command = "ACCT " + logon.account;
                break;
            case LogonFirewallUser:
                command = "USER " + logon.firewallUser;
                break;
            case LogonFirewallPass:
                command = "PASS " + logon.firewallPassword;
                break;
            case LogonSiteHost:
                command = "SITE " + hostText;
                break;
            case LogonUserAtHost:
                command = "USER " + logon.user + "@" + hostText;
                break;
            case LogonOpenHost:
                command = "OPEN " + hostText;
                break;
            case LogonFirewallUserAtHost:
                command = "USER " + logon.firewallUser + "@" + hostText;
                break;
            case LogonUserAtHostFwUser:
                command = "USER " + logon.user + "@" + hostText + " " + logon.firewallUser;
                break;
            case LogonUserAtFwUserAtHost:
                command = "USER " + logon.user + "@" + logon.firewallUser + "@" + hostText;
                break;
            case LogonPassAtFwPass:
                command = "PASS " + logon.password + "@" + logon.firewallPassword;
                break;
            default:
                return false;
        }
        if (!WriteCommand(command) || !ReadReply(reply)) return false;
        if (reply.code[0] != '2' && reply.code[0] != '3') return false;
        const int next = reply.code[0] == '2' ? row[index + 1] : row[index + 2];
        if (next == kLogonDone) return ChangeDirectory("/") == ResultOk;
        if (next == kLogonFailed) {
            NotifyError("Logon failed.", kSource, SiteLogon);
            return false;
        }
        // The table only moves forward; anything else is a broken row.
        if (next <= index || next >= kLogonRowLength || next % 3 != 0) return false;
        index = next;
    }
}

}  // namespace nsFTP
