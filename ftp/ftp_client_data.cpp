// The data-connection half of the FTP client: active-mode data connections and the
// send and receive loops.
#include <memory>

#include "ftp/ftp_client.h"
#include "ftp/ftp_file.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace nsFTP {

using nsSocket::CBlockingSocketException;
using nsSocket::IBlockingSocket;

namespace {

const char kSource[] = "FTPClient";

bool isReceiveCommand(DataCommand command) {
    return command == List || command == NameList || command == Retrieve;
}

}  // namespace

std::string dataCommandText(DataCommand command, const std::string& path) {
    switch (command) {
        case List:
            return path.empty() ? "LIST" : "LIST " + path;
        case NameList:
            return path.empty() ? "NLST" : "NLST " + path;
        case Retrieve:
            return "RETR " + path;
        case Store:
            return "STOR " + path;
        case StoreUnique:
            return "STOU " + path;
        case Append:
            return "APPE " + path;
    }
    return {};
}

bool CFTPClient::StoreFile(const std::string& localPath, const std::string& remoteName,
                           const CTransferType& type, bool whole) {
    CFile file;
    if (!file.Open(localPath, "rb")) {
        NotifyError(platform::systemErrorText(platform::lastError()), kSource, SiteOpenLocalFile);
        return false;
    }
    return StoreOpenFile(file, localPath, remoteName, type, whole);
}

bool CFTPClient::StoreFile(const platform::Folder& folder, const std::string& name,
                           const std::string& localPath, const std::string& remoteName,
                           const CTransferType& type, bool whole) {
    CFile file;
    if (!file.Open(folder, name)) {
        NotifyError(platform::systemErrorText(platform::lastError()), kSource, SiteOpenLocalFile);
        return false;
    }
    return StoreOpenFile(file, localPath, remoteName, type, whole);
}

bool CFTPClient::StoreOpenFile(CFile& file, const std::string& localPath,
                               const std::string& remoteName, const CTransferType& type,
                               bool whole) {
    long long remoteSize = 0;
    long long offset = 0;
    if (!whole && RemoteFileSize(remoteName, remoteSize) == ResultOk) offset = remoteSize;
    const DataCommand command = offset > 0 ? Append : Store;

    const long long localSize = file.Size();
    file.Seek(offset);

    Notify([&](IFtpObserver& o) { o.UploadStarting(localPath, remoteName, localSize); });
    const bool ok = RunDataCommand(command, remoteName, type, file);
    Notify([&](IFtpObserver& o) { o.UploadFinished(localPath, remoteName, localSize); });
    return ok;
}

bool CFTPClient::RetrieveFile(const std::string& remoteName, const std::string& localPath,
                              const CTransferType& type) {
    CFile file;
    if (!file.Open(localPath, "wb")) {
        NotifyError(platform::systemErrorText(platform::lastError()), kSource, SiteOpenLocalFile);
        return false;
    }
    return RunDataCommand(Retrieve, remoteName, type, file);
}

bool CFTPClient::RunDataCommand(DataCommand command, const std::string& path,
                                const CTransferType& type, ITransferNotification& notification) {
    if (transferring || !IsConnected()) return false;
    if (!currentType) currentType = std::make_unique<CTransferType>();
    if (!(type == *currentType)) {
        if (SetTransferType(type) != ResultOk) return false;
        *currentType = type;
    }

    std::unique_ptr<IBlockingSocket> dataSocket(control->NewSocket());
    if (!OpenDataConnection(command, path, *dataSocket)) {
        dataSocket->Discard();
        return false;
    }
    bool ok = isReceiveCommand(command) ? ReceiveFileData(notification, *dataSocket)
                                        : SendFileData(notification, *dataSocket);
    // Closing the data connection is what tells the server that an upload is complete,
    // so a close that fails is a failed transfer.
    try {
        dataSocket->Close();
    } catch (const CBlockingSocketException&) {
        dataSocket->Discard();
        ok = false;
    }
    if (!ok) return false;
    CFtpReply reply;
    return ReadReply(reply) && reply.code[0] == '2';
}

bool CFTPClient::OpenDataConnection(DataCommand command, const std::string& path,
                                    IBlockingSocket& dataSocket) {
    std::unique_ptr<IBlockingSocket> listener(control->NewSocket());
    unsigned short port = 0;
    try {
        listener->Create(nsSocket::kSockStream);
        listener->Bind(nsSocket::SocketAddress{});
        nsSocket::SocketAddress bound;
        listener->GetSockName(bound);
        port = bound.port;
        listener->Listen();
    } catch (const CBlockingSocketException& e) {
        NotifyError(e.Describe(), kSource, SiteListen);
        listener->Discard();
        return false;
    }

    bool ok = false;
    try {
        nsSocket::SocketAddress local;
        control->GetSockName(local);
        // PORT means we are now waiting for the server to connect to us.
        CFtpReply reply;
        if (SendPort(platform::net::dottedText(local.address), port) == ResultOk &&
            WriteCommand(dataCommandText(command, path)) && ReadReply(reply) &&
            reply.code[0] == '1') {
            nsSocket::SocketAddress peer;
            ok = listener->Accept(dataSocket, peer, WaitSeconds());
        }
    } catch (const CBlockingSocketException& e) {
        NotifyError(e.Describe(), kSource, SiteListen);
        ok = false;
    }
    listener->Discard();
    return ok;
}

bool CFTPClient::SendFileData(ITransferNotification& source, IBlockingSocket& dataSocket) {
    // Each block is read from the source just before it is sent, so memory stays flat
    // whatever the file's size; the block lives only as long as the transfer.
    std::vector<char> block(kTransferBlockBytes);
    transferring = true;
    try {
        size_t count = 0;
        source.FillToSend(block, count);
        while (!abortRequested && count != 0) {
            // A peer that reads just fast enough to beat each time-out ends at the
            // deadline.
            if (PastDeadline()) throw CBlockingSocketException("Send");
            int sent = dataSocket.SendAll(block.data(), static_cast<int>(count), WaitSeconds());
            Notify([&](IFtpObserver& o) { o.DataSent(block, sent); });
            source.FillToSend(block, count);
        }
    } catch (const CBlockingSocketException& e) {
        transferring = false;
        NotifyError(e.Describe(), kSource, SiteSendData);
        dataSocket.Discard();
        return false;
    }
    transferring = false;
    if (abortRequested) {
        AbortTransfer();
        return false;
    }
    return true;
}

bool CFTPClient::ReceiveFileData(ITransferNotification& sink, IBlockingSocket& dataSocket) {
    std::vector<char> block(kTransferBlockBytes);
    transferring = true;
    Notify([](IFtpObserver& o) { o.ReceiveStarted(); });
    long total = 0;
    try {
        const int size = static_cast<int>(block.size());
        long count = dataSocket.Receive(block.data(), size, WaitSeconds());
        total = count;
        while (!abortRequested && count != 0) {
            Notify([&](IFtpObserver& o) { o.DataReceived(block, count); });
            sink.ConsumeReceived(block, count);
            if (PastDeadline()) throw CBlockingSocketException("Receive");
            count = dataSocket.Receive(block.data(), size, WaitSeconds());
            total += count;
        }
    } catch (const CBlockingSocketException& e) {
        transferring = false;
        NotifyError(e.Describe(), kSource, SiteReceiveData);
        dataSocket.Discard();
        return false;
    }
    Notify([&](IFtpObserver& o) { o.ReceiveFinished(total); });
    transferring = false;
    if (abortRequested) {
        AbortTransfer();
        return false;
    }
    return true;
}

}  // namespace nsFTP
