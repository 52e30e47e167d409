#pragma once

#include <functional>
#include <string>

#include "ftp/ftp_client.h"

// Uploads one file into the FTP server's root folder over a connection of its own:
// connect, log on, store (continuing a partial copy), QUIT.
class CFileUpload {
public:
    // Longest credentials text accepted (user, colon, password).
    static constexpr size_t kMaxCredentials = 511;

    CFileUpload();
    virtual ~CFileUpload() = default;

    void SetServer(const std::string& host) { serverHost = host; }
    void SetCredentials(const std::string& text) { credentials = text; }
    void SetFile(const std::string& path, const std::string& name) {
        folder = nullptr;
        localPath = path;
        remoteName = name;
        nameTaken = nullptr;
    }
    // The entry `entry` of an open folder, which stays open until the upload is done;
    // `path` names it to the client's observers.
    void SetFile(const platform::Folder& within, const std::string& entry, const std::string& path,
                 const std::string& name) {
        folder = &within;
        entryName = entry;
        localPath = path;
        remoteName = name;
        nameTaken = nullptr;
    }
    // For a file whose remote name another file of this run has already taken: it goes
    // up whole under the first name numberedName(name, 2, 3, ...) that neither `taken`
    // (this run) nor the server holds, so no remote file is ever made of two local ones.
    // Without such a name within kMaxNumberedNames it is not uploaded.
    void SetNameTaken(std::function<bool(const std::string&)> taken) {
        nameTaken = std::move(taken);
    }
    static constexpr int kMaxNumberedNames = 99;
    // "ra1.zip" numbered 2 is "ra1~2.zip": the number goes before the last dot (at the
    // end without one), so the name still begins with "ra" and holds "zip".
    static std::string numberedName(const std::string& name, int number);
    // The remote name of the last Upload.
    const std::string& RemoteName() const { return remoteName; }

    // Always 1: failures are seen only by the client's observers.
    int Upload();

    nsFTP::CFTPClient& Client() { return client; }

    // User and password from "user:password"; without a colon the whole text is both.
    static void SplitCredentials(const std::string& text, std::string& user, std::string& password);

private:
    nsFTP::CFTPClient client;
    nsFTP::CLogonData logon;
    std::string serverHost;
    std::string credentials;
    std::string localPath;
    std::string remoteName;
    const platform::Folder* folder = nullptr;  // set: the file is `entryName` in it
    std::string entryName;
    std::function<bool(const std::string&)> nameTaken;  // set: the name must be numbered
};
