#include "update/file_version.h"

#include "platform/file_version.h"

bool readFileVersion(const std::string& path, std::string& version) {
    return platform::fileVersionInfo(path, version);
}
