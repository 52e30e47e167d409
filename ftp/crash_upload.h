#pragma once
// Crash mode: upload the crash archives of a folder tree, mark the developer
// settings, delete the tree.

#include <cstdint>
#include <string>
#include <vector>

// What a crash-mode run uploads to, and its bounds.
struct CrashSettings {
    // The FTP server and the "user:password" text.
    std::string host;
    std::string credentials;
    // The FTP client's time-out of every upload, in seconds: the bound of a connect, of
    // a whole reply and of every wait for data. Tests shorten it.
    unsigned timeoutSeconds = 30;
    // The lock keeps the game from starting while crash mode runs, so each file has a
    // deadline, a few time-outs plus its size at kCrashUploadFloorBytesPerSecond, and
    // the uploads of a run as a whole end after runSeconds (tests shorten it): files not
    // yet sent by then are not uploaded, but marked and deleted as always.
    unsigned runSeconds = 600;
};
inline constexpr unsigned kCrashFileTimeouts = 4;
inline constexpr uint64_t kCrashUploadFloorBytesPerSecond = 256 * 1024;

// Crash mode with the whole token list (token 2 host, 3 credentials, 4 folder); the
// tokens' host and credentials replace those of `bounds`, which gives the time-outs.
void runCrashUpload(const std::vector<std::string>& tokens, CrashSettings bounds = {});

// Uploads every "ra*zip*" file of the folder and its subfolders (depth first), each
// over its own connection, and sets "NeedCheck" after each folder. Every file lands in
// the server's root under its lower-case name; a later file whose name is taken
// already (RA1.ZIP and ra1.zip, or one name in two folders) goes up whole under a
// numbered name, "ra1~2.zip".
void uploadCrashFolder(const std::string& folder, const CrashSettings& settings);

// Deletes the folder's files and, with `recurse`, its subfolders, then the folder
// itself. Names beginning with a dot are kept. A link is removed as a link, never
// followed. Returns a Windows error code, 0 on success.
uint32_t deleteFolderTree(const std::string& folder, bool recurse);

// Whether crash mode may read and delete this folder: not empty, not a link, not the
// file-system root, and not the current folder, the program's folder or one above them.
bool isDeletableCrashFolder(const std::string& folder);

// An archive crash mode uploads: the lower-case name begins with "ra" and holds "zip",
// both where characters of the names' code page begin.
bool isCrashArchiveName(const std::string& lowerName);
