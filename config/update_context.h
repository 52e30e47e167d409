#pragma once

#include <functional>
#include <memory>
#include <string>

#include "config/ini_file.h"
#include "platform/files.h"

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
    // With a "PublicKey" the hand-over unpacks only the package the patch step verified,
    // read through the very handle its digest was read from (on Windows held without
    // write or delete sharing): a file put at "update.rar" in between is never unpacked.
    bool releaseSigned = false;
    platform::File verifiedPackage;  // open only once the package matched its statement

    // The patch step's work, run on the worker thread; the patch step installs it.
    std::function<void()> patchStepBody;
};

// The process-wide instance.
extern UpdateContext updateContext;
