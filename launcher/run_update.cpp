#include "launcher/run_update.h"

#include <cstdio>
#include <string>

#include "config/catalogue.h"
#include "config/configuration.h"
#include "config/launch_arguments.h"
#include "config/update_context.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "update/patch_step.h"
#include "update/version_check.h"

int runUpdate(bool cannotWrite) {
    loadConfiguration(updateContext, launchArguments);

    if (cannotWrite) {
        const std::string caption = catalogueText("MSG_UAC_TITLE");
        const std::string text = catalogueText("MSG_UAC_CANTWRITE");
        platform::ui::messageBox(text, caption);
        return -1;
    }

    if (checkVersion(updateContext) == 0) {
        const std::string note = catalogueText("MSG_NET_ERROR");
        char text[1024];
        std::snprintf(text, sizeof text, "Can't download version.txt\n %s", note.c_str());
        platform::ui::messageBox(text, "Version");
        return -2;
    }

    // The client updater lies beside the launcher.
    std::string path = platform::executablePath();
    auto cut = platform::lastSeparator(path);
    if (cut != std::string::npos && cut >= 1) path.resize(cut);
    path = platform::joinPath(path, "ClientUpdate.exe");

    runPatchStep(updateContext, path);
    return 0;
}
