#include "support/peers/pyftpdlib_server.h"

#include <unistd.h>

#include <cstdlib>

namespace testsupport {

namespace {

// Debian's interpreter, which has the python3-pyftpdlib package, whatever else is on PATH.
const char kPython[] = "/usr/bin/python3";

}  // namespace

std::string PyftpdlibServer::missing() {
    if (::access(kPython, X_OK) != 0) return kPython;
    ProgramResult probe = runProgram(kPython, {"-c", "import pyftpdlib"});
    return probe.exitCode == 0 ? "" : "pyftpdlib for /usr/bin/python3 (python3-pyftpdlib)";
}

PyftpdlibServer::PyftpdlibServer(const Options& options) {
    std::vector<std::string> arguments = {LAUNCHER_SOURCE_DIR "/tests/support/peers/ftp_server.py",
                                          "--port",
                                          std::to_string(options.port),
                                          "--root",
                                          options.root,
                                          "--user",
                                          options.user,
                                          "--password",
                                          options.password};
    if (!options.commandLog.empty())
        arguments.insert(arguments.end(), {"--log", options.commandLog});
    if (!options.watch.empty()) arguments.insert(arguments.end(), {"--watch", options.watch});
    if (options.sizeInAnyType) arguments.push_back("--size-any-type");
    SubprocessOptions start;
    start.standardError = Redirect::inherit();
    server_ = Subprocess(kPython, arguments, start);
    std::string line;
    if (server_.readLine(line, 10000) && line.rfind("ready ", 0) == 0)
        port_ = std::atoi(line.c_str() + 6);
}

}  // namespace testsupport
