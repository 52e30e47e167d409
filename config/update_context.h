#pragma once

#include <memory>
#include <string>

#include "config/ini_file.h"

class DownloadThreadFile;

// The one record of update mode.
struct UpdateContext {
    IniFile versionInfo;
    IniFile updateSettings;
    IniFile messages;
    std::string versionUrl;
    std::string downloadUrl;
    int downloadPort = 0;
    int handOver = 1;
    std::string clientUpdatePath;
    std::unique_ptr<char[]> archivePassword;  // exists only while loadConfiguration runs
    DownloadThreadFile* downloadThread = nullptr;

    // The patch step's work, run on the worker thread.
    void patchStepBody();
};

// The process-wide instance.
extern UpdateContext updateContext;
