#pragma once
// The modes the entry point chooses between, each owned by its subsystem.

#include <string>
#include <vector>

// Update mode's run sequence: -1, -2 or 0 (the process exit code).
int runUpdate(bool cannotWrite);

// Unpacks "Update.rar" over the updater's files and starts "ClientUpdate.exe".
void handOverToClientUpdater();

// Crash mode with the whole token list (token 2 host, 3 credentials, 4 folder).
void runCrashUpload(const std::vector<std::string>& tokens);
