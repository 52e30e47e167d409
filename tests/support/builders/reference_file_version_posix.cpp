#include "support/builders/reference_file_version.h"
#include "support/system/subprocess.h"

namespace testsupport {

const char* referenceFileVersionReader() { return "exiftool"; }

std::string referenceFileVersion(const std::string& path) {
    std::string out = runProgram("exiftool", {"-s3", "-FileVersionNumber", path}).out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace testsupport
