#pragma once
// The system's own FTP client (RFC 959, client side, active mode only: it never sends
// PASV). Socket failures never leave an operation: each is reported to the observers
// and ends the operation with false or ResultError.

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ftp/blocking_socket.h"
#include "ftp/ftp_observer.h"
#include "ftp/ftp_types.h"

namespace platform {
class Folder;
}

namespace nsFTP {

class CFile;

class CFTPClient {
public:
    // Longest reply accepted; a server that sends more has lost us and the read fails.
    static constexpr size_t kMaxReplyBytes = 1 << 20;
    // Bytes moved per step on a data connection. The server cannot tell the block size;
    // larger blocks mean fewer waits and sends (curl uses this size).
    static constexpr size_t kTransferBlockBytes = 64 * 1024;

    // Takes ownership of the control socket.
    explicit CFTPClient(nsSocket::IBlockingSocket* controlSocket);
    virtual ~CFTPClient();
    CFTPClient(const CFTPClient&) = delete;
    CFTPClient& operator=(const CFTPClient&) = delete;

    // Control connection and commands.
    bool LogOn(const CLogonData& logon);
    FtpResult LogOff();
    FtpResult AbortTransfer();
    FtpResult ChangeDirectory(const std::string& path);
    FtpResult RemoteFileSize(const std::string& path, long long& size);
    FtpResult SetTransferType(const CTransferType& type);
    FtpResult SendPort(const std::string& address, unsigned short port);
    bool WriteCommand(const std::string& command);
    bool ReadReply(CFtpReply& reply);
    bool ReadReplyLine(std::string& line);
    bool ConnectControl(const std::string& host, unsigned short port);
    void DisconnectControl();
    void NotifyError(const std::string& message, const std::string& source, int line);
    bool IsConnected() const { return control->Handle() != 0; }

    // Data transfers.
    // Continues a partial remote copy of the same name ("SIZE", then "APPE") unless
    // `whole`: then "STOR" sends the whole file, replacing any copy.
    bool StoreFile(const std::string& localPath, const std::string& remoteName,
                   const CTransferType& type, bool whole = false);
    // StoreFile of the entry `name` of an open folder, opened relative to it: it reaches
    // a file deeper than the path limit, and never one that is a link, FIFO or device.
    // `localPath` names the file to the observers.
    bool StoreFile(const platform::Folder& folder, const std::string& name,
                   const std::string& localPath, const std::string& remoteName,
                   const CTransferType& type, bool whole = false);
    bool RetrieveFile(const std::string& remoteName, const std::string& localPath,
                      const CTransferType& type);
    bool RunDataCommand(DataCommand command, const std::string& path, const CTransferType& type,
                        ITransferNotification& notification);
    bool OpenDataConnection(DataCommand command, const std::string& path,
                            nsSocket::IBlockingSocket& dataSocket);
    bool SendFileData(ITransferNotification& source, nsSocket::IBlockingSocket& dataSocket);
    bool ReceiveFileData(ITransferNotification& sink, nsSocket::IBlockingSocket& dataSocket);

    // Every wait on the control and data connections, in seconds (30 by default).
    void SetTimeout(unsigned seconds) { timeoutSeconds = seconds; }
    unsigned Timeout() const { return timeoutSeconds; }
    // A moment after which nothing more is waited for: each wait is cut short at it, and
    // a transfer still running then fails. None by default.
    void SetDeadline(std::chrono::steady_clock::time_point at) { deadline = at; }
    void ClearDeadline() { deadline.reset(); }

    void AttachObserver(IFtpObserver* observer);
    void DetachObserver(IFtpObserver* observer);

private:
    bool StoreOpenFile(CFile& file, const std::string& localPath, const std::string& remoteName,
                       const CTransferType& type, bool whole);
    FtpResult SimpleCommand(const std::string& command, CFtpReply* replyOut = nullptr);
    using Deadline = std::chrono::steady_clock::time_point;
    bool ReadReplyLine(std::string& line, Deadline deadline);
    bool FillPendingLines(Deadline deadline);
    void FailOversizedReply();
    template <class Call>
    void Notify(Call call) {
        for (IFtpObserver* observer : observers) call(*observer);
    }

    // The time-out, cut short at the deadline: whole seconds, 0 once it has passed.
    int WaitSeconds() const;
    Deadline WaitUntil() const;
    bool PastDeadline() const;

    unsigned timeoutSeconds = 30;
    std::optional<Deadline> deadline;
    std::vector<char> buffer;  // replies; data moves through a block of each transfer's own
    std::deque<std::string> pendingLines;
    std::string unfinishedLine;  // received text whose line feed has not arrived yet
    std::unique_ptr<CTransferType> currentType;
    std::unique_ptr<nsSocket::IBlockingSocket> control;
    bool transferring = false;
    bool abortRequested = false;
    std::set<IFtpObserver*> observers;
};

// The command text of a data command ("LIST", "STOR name", ...).
std::string dataCommandText(DataCommand command, const std::string& path);

}  // namespace nsFTP
