#pragma once

#include <string>
#include <vector>

#include "ftp/ftp_types.h"

namespace nsFTP {

// Where the client raised an error: the `line` an observer's ErrorRaised receives. The
// numbers are the ones the client has always reported, so that logs stay comparable.
enum ErrorSite : int {
    SiteConnect = 301,        // opening the control connection
    SiteLogon = 473,          // the logon sequence reached its error state
    SiteOpenLocalFile = 650,  // opening the local file of a transfer
    SiteListen = 785,         // listening for, or accepting, a data connection
    SiteSendData = 901,       // sending on a data connection
    SiteReceiveData = 947,    // receiving on a data connection
    SiteSendCommand = 989,    // sending a command
    SiteReadReply = 1096,     // reading a reply line, or a reply too long
};

// Watches a client; every notification runs on the client's thread, in order.
class IFtpObserver {
public:
    virtual ~IFtpObserver() = default;
    virtual void ErrorRaised(const std::string& message, const std::string& source, int line) {
        (void)message, (void)source, (void)line;
    }
    virtual void ReceiveStarted() {}
    virtual void ReceiveFinished(long totalBytes) { (void)totalBytes; }
    virtual void DataReceived(const std::vector<char>& buffer, long count) {
        (void)buffer, (void)count;
    }
    virtual void DataSent(const std::vector<char>& buffer, long count) {
        (void)buffer, (void)count;
    }
    virtual void UploadStarting(const std::string& localPath, const std::string& remoteName,
                                long long localSize) {
        (void)localPath, (void)remoteName, (void)localSize;
    }
    virtual void UploadFinished(const std::string& localPath, const std::string& remoteName,
                                long long localSize) {
        (void)localPath, (void)remoteName, (void)localSize;
    }
    virtual void CommandSent(const std::string& command) { (void)command; }
    virtual void ReplyReceived(const CFtpReply& reply) { (void)reply; }
};

// The source or sink of one transfer.
class ITransferNotification {
public:
    virtual ~ITransferNotification() = default;
    // Takes the first `count` bytes of what a receive delivered.
    virtual void ConsumeReceived(const std::vector<char>& buffer, long count) = 0;
    // Fills the buffer (up to its size) with the next bytes to send; 0 when none are left.
    virtual void FillToSend(std::vector<char>& buffer, size_t& count) = 0;
};

}  // namespace nsFTP
