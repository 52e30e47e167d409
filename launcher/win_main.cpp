#include "launcher/win_main.h"

#include <cstdio>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "launcher/entry_points.h"
#include "platform/files.h"
#include "platform/system.h"

IniFile devSettings;

namespace {

// The command line in tokens: runs of blanks separate, a leading quote opens a token
// that a quote followed by a blank (or the end) closes; no escapes.
std::vector<std::string> splitCommandLine() {
    const std::string line = platform::commandLine();
    std::vector<std::string> tokens;
    size_t i = 0;
    auto blank = [&](size_t at) { return line[at] == ' ' || line[at] == '\t'; };
    while (i < line.size()) {
        while (i < line.size() && blank(i)) ++i;
        if (i == line.size()) break;
        std::string token;
        if (line[i] == '"') {
            ++i;
            while (i < line.size() && !(line[i] == '"' && (i + 1 == line.size() || blank(i + 1))))
                token += line[i++];
            if (i < line.size()) i += 2;  // the closing quote and the one blank after it
        } else {
            while (i < line.size() && !blank(i)) token += line[i++];
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

// True when the current folder cannot be written.
bool testWriteAccess() {
    const char probe[] = "YouCantPass.tmp";
    platform::File file;
    if (!file.open(probe, platform::AccessWrite, platform::Disposition::CreateAlways)) return true;
    file.close();
    return !platform::deleteFile(probe);
}

}  // namespace

int WinMain() {
    devSettings.Load("KilnDev.ini");
    devSettings.section = "Crash";
    const bool cannotWrite = testWriteAccess();
    if (!platform::startSockets()) return -1;
    if (platform::acquireSingleInstance("Lancher.exe") == platform::InstanceLock::AlreadyRunning)
        return -1;

    const std::vector<std::string> tokens = splitCommandLine();
    if (tokens.size() >= 4 && tokens[1].starts_with("crash")) {
        runCrashUpload(tokens);
        return 1;
    }
    (void)cannotWrite;
    std::fputs("launcher: update mode is not part of this build yet\n", stderr);
    return 0;
}
