#include "ftp/file_upload.h"

#include "ftp/blocking_socket.h"

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

int CFileUpload::Upload() {
    // Cutting longer credentials would log on with another password; send none at all.
    if (credentials.size() > kMaxCredentials) return 1;
    SplitCredentials(credentials, logon.user, logon.password);
    logon.host = serverHost;
    logon.port = 21;
    logon.account.clear();

    // A refused logon does not stop the attempt: the store then fails at the server.
    client.LogOn(logon);
    const nsFTP::CTransferType image{nsFTP::CTransferType::Image, nsFTP::CTransferType::NonPrint};
    if (folder)
        client.StoreFile(*folder, entryName, localPath, remoteName, image);
    else
        client.StoreFile(localPath, remoteName, image);
    client.LogOff();
    return 1;
}
