#include "launcher/win_main.h"

#include "config/dev_settings.h"
#include "config/launch_arguments.h"
#include "config/update_context.h"
#include "ftp/crash_upload.h"
#include "launcher/command_line.h"
#include "launcher/hand_over.h"
#include "launcher/run_update.h"
#include "launcher/write_access.h"
#include "platform/system.h"

bool isCrashMode(const std::vector<std::string>& tokens) {
    return tokens.size() >= 4 && tokens[1].starts_with("crash");
}

int launcher::WinMain() {
    devSettings.Load(kDevSettingsFile);
    devSettings.section = "Crash";

    const bool cannotWrite = testWriteAccess();

    if (!platform::startSockets()) return -1;

    // A lock that cannot be created at all does not stop the program, as on Windows.
    if (platform::acquireSingleInstance("Lancher.exe") == platform::InstanceLock::AlreadyRunning)
        return -1;

    const std::vector<std::string> tokens = splitCommandLine();

    if (isCrashMode(tokens)) {
        // Crash mode itself does nothing without its folder (token 4); the code stays 1.
        runCrashUpload(tokens);
        return 1;
    }

    parseLaunchArguments(tokens, launchArguments);

    const int result = runUpdate(cannotWrite);
    if (result == 0 && updateContext.handOver) handOverToClientUpdater();
    return result;
}
