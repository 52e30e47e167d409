#include "platform/file_version.h"

namespace platform {

// No system service reads Windows executables here: our own reader does.
bool fileVersionInfo(std::string_view path, std::string& version) {
    return readPeFileVersion(path, version);
}

}  // namespace platform
