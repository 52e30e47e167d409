#pragma once
// Crash mode: upload the crash archives of a folder tree, mark the developer
// settings, delete the tree.

#include <cstdint>
#include <string>
#include <vector>

// Crash mode with the whole token list (token 2 host, 3 credentials, 4 folder).
void runCrashUpload(const std::vector<std::string>& tokens);

// The FTP server and the "user:password" text of the current crash-mode run.
extern std::string crashServerHost;
extern std::string crashCredentials;

// Uploads every "ra*zip*" file of the folder and its subfolders (depth first), each
// over its own connection, and sets "NeedCheck" after each folder.
void uploadCrashFolder(const std::string& folder);

// Deletes the folder's files and, with `recurse`, its subfolders, then the folder
// itself. Names beginning with a dot are kept. A link is removed as a link, never
// followed. Returns a Windows error code, 0 on success.
uint32_t deleteFolderTree(const std::string& folder, bool recurse);

// Whether crash mode may read and delete this folder: not empty, not a link, not the
// file-system root, and not the current folder, the program's folder or one above them.
bool isDeletableCrashFolder(const std::string& folder);

// An archive crash mode uploads: the lower-case name begins with "ra" and holds "zip".
bool isCrashArchiveName(const std::string& lowerName);
