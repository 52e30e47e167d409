#include "support/builders/password_zip.h"
#include "support/system/subprocess.h"

namespace testsupport {

const char* passwordZipWriter() { return "Info-ZIP"; }

bool zipWithPassword(const std::string& folder, const std::vector<std::string>& names,
                     const std::string& password, const std::string& archive) {
    ProgramOptions options;
    options.workingDirectory = folder;
    std::vector<std::string> arguments = {"-q", "-P", password, archive};
    arguments.insert(arguments.end(), names.begin(), names.end());
    return runProgram("/usr/bin/zip", arguments, options).exitCode == 0;
}

}  // namespace testsupport
