#include "ftp/file_upload.h"

#include "ftp/blocking_socket.h"
#include "platform/system.h"

CFileUpload::CFileUpload() : client(new nsSocket::CBlockingSocket) {}

void CFileUpload::SplitCredentials(const std::string& text, std::string& user,
                                   std::string& password) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        user = password = text;
        return;
    }
    user = text.substr(0, colon);
    password = text.substr(colon + 1);
}

std::string CFileUpload::numberedName(const std::string& name, int number) {
    const size_t dot = name.rfind('.');
    const size_t at = dot == std::string::npos ? name.size() : dot;
    return name.substr(0, at) + "~" + std::to_string(number) + name.substr(at);
}

int CFileUpload::Upload() {
    // Cutting longer credentials would log on with another password; send none at all.
    if (credentials.size() > kMaxCredentials) return 1;
    SplitCredentials(credentials, logon.user, logon.password);
    logon.host = serverHost;
    logon.port = 21;
    logon.account.clear();

    // A refused logon does not stop the attempt: the store then fails at the server.
    client.LogOn(logon);
    const bool whole = static_cast<bool>(nameTaken);
    if (whole) {
        // Appending to the other file's copy would splice two files into one.
        const std::string wanted = remoteName;
        remoteName.clear();
        for (int number = 2; number <= kMaxNumberedNames && remoteName.empty(); ++number) {
            const std::string candidate = numberedName(wanted, number);
            long long size = 0;
            if (nameTaken(candidate) || client.RemoteFileSize(candidate, size) == nsFTP::ResultOk)
                continue;
            // A probe that lost the connection (its deadline passed) says nothing of
            // the name, and no later one can be sent: the file is not uploaded.
            if (!client.IsConnected()) break;
            remoteName = candidate;
        }
    }
    const nsFTP::CTransferType image{nsFTP::CTransferType::Image, nsFTP::CTransferType::NonPrint};
    // Without a name of its own the file is not uploaded.
    bool stored = false;
    if (!remoteName.empty()) {
        if (folder)
            stored = client.StoreFile(*folder, entryName, localPath, remoteName, image, whole);
        else
            stored = client.StoreFile(localPath, remoteName, image, whole);
    }
    // The folder is deleted all the same: whoever reads the debugger output learns which
    // reports never reached the server whole.
    if (!stored) platform::debugOutput("CFileUpload : " + localPath + " not uploaded");
    client.LogOff();
    return 1;
}
