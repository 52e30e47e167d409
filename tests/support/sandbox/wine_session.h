#pragma once
// The Windows build's programs run under Wine from the Linux side. The test run has one
// Wine prefix per kind of system under this build folder (scripts/wine-run.sh); a test
// starts its
// wineserver, wine's services and a private Xvfb around itself, in the namespaces the
// test runs in, and stops them when it ends. Ending Windows processes by name goes
// through the wineserver, which signals them by their Linux ids: it must live in the
// test's own PID namespace, so it is never shared between tests (they take turns).

#include <string>
#include <vector>

#include "support/system/subprocess.h"

namespace testsupport {

// The Windows a prefix plays: its architecture and the locale Wine takes its ANSI code
// page from. Each kind has a prefix of its own.
struct WineSystem {
    std::string arch;    // "win64" (a 32-bit program runs under WoW64) or "win32"
    std::string locale;  // the Linux locale given to Wine
    unsigned codePage;   // what GetACP() must say in it

    bool is64Bit() const { return arch == "win64"; }
    std::string name() const { return arch + " at code page " + std::to_string(codePage); }
};
// The players' system, Traditional Chinese at code page 950, 64-bit or 32-bit.
WineSystem chineseWindows(const std::string& arch = "win64");
// An English system, code page 1252.
WineSystem englishWindows();
// The system of this run: ctest runs the suite once per architecture and names it in
// LAUNCHER_WINE_ARCH; by default 64-bit, always at code page 950.
WineSystem wineSystemOfThisRun();

// A file of the Windows build (LAUNCHER_WINDOWS_BUILD_DIR), such as "launcher.exe".
std::string windowsBuildFile(const std::string& name);

// Empty when the Windows build is a test build with the programs the tests run
// (launcher.exe with its test hooks, record_args.exe, progress_dialog_controls.exe),
// else what is wrong: a release launcher.exe would wait for a click on its messages.
std::string windowsTestBuildProblem();

// How a Windows program names a file of this machine: drive Z: is "/".
std::string windowsPath(const std::string& linuxPath);

class WineSession {
public:
    // Stops what an earlier run may have left for the system's prefix, then starts it
    // and checks that it runs at the code page asked for (GetACP(), not the environment).
    explicit WineSession(const WineSystem& system = wineSystemOfThisRun());
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    // Empty when the session runs, else why it does not.
    const std::string& failure() const { return failure_; }
    const WineSystem& system() const { return system_; }
    // The prefix's private X server (":N"); empty when it has none.
    std::string display() const;

    // Runs a Windows program (a Linux path to the .exe) to its end.
    ProgramResult run(const std::string& program, const std::vector<std::string>& arguments,
                      const ProgramOptions& options) const;
    // Starts one; the Subprocess is the Windows process (its Linux id is the program's).
    Subprocess start(const std::string& program, const std::vector<std::string>& arguments,
                     const SubprocessOptions& options) const;

private:
    std::vector<std::string> command(const std::string& verb) const;
    std::vector<std::string> command(const std::string& program,
                                     const std::vector<std::string>& arguments) const;

    WineSystem system_;
    std::string prefix_;
    std::string failure_;
};

}  // namespace testsupport
