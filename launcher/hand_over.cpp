#include "launcher/hand_over.h"

#include "launcher/process_terminator.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "unzip/zip_reader.h"

namespace {

// A damaged item (ZIPRES_INFLATE_FAILED) counts as done: retrying cannot mend it, and
// the reader has removed its partly written file, so the next run fetches the package
// again. Anything else, such as a target held by a running process, is retried.
bool countsAsDone(ZipResult result) {
    return result == ZIPRES_OK || result == ZIPRES_MORE_DATA || result == ZIPRES_INFLATE_FAILED;
}

bool unpackEntry(CZipReader* reader, int index, unsigned retryPauseMs) {
    ZipItem item;
    GetItem(reader, index, &item);
    for (int attempt = 0; attempt < kUnpackAttempts; ++attempt) {
        if (attempt > 0) platform::sleepMs(retryPauseMs);
        // Ended again on every attempt: an updater started in between goes too. One
        // reading of the process list serves the three names.
        terminateProcessesByName(kUpdaterProcesses);
        // So that a read-only file can be replaced.
        if (item.name[0] != '\0') platform::setAttributes(item.name, platform::FILE_ATTR_NORMAL);
        if (countsAsDone(UnzipToFile(reader, index, item.name))) return true;
    }
    return false;
}

}  // namespace

void installPatchArchive(unsigned retryPauseMs) {
    if (!platform::pathExists(kPatchArchive)) return;
    {
        const ZipReaderHandle reader = openZipReader(kPatchArchive, nullptr);
        int count = 0;
        ZipItem counted;
        if (reader && GetItem(reader.get(), -1, &counted) == ZIPRES_OK) count = counted.index;
        for (int index = 0; index < count; ++index) {
            if (!unpackEntry(reader.get(), index, retryPauseMs))
                platform::ui::messageBox("Please reboot computer ", "Reboot");
        }
    }
    // Deleted also when it could not be opened or some entries failed, once it is
    // closed; its side file with it.
    deletePackage();
}

std::string clientUpdaterParameters(const LaunchArguments& arguments) {
    std::string parameters = kLaunchCode;
    if (!arguments.forward1.empty()) parameters += " " + arguments.forward1;
    if (!arguments.forward2.empty()) parameters += " " + arguments.forward2;
    if (!arguments.patchIp.empty()) parameters += " PatchIP:" + arguments.patchIp;
    if (!arguments.patchPort.empty()) parameters += " PatchPort:" + arguments.patchPort;
    return parameters;
}

bool handOverToClientUpdater(const LaunchArguments& arguments, uint32_t* processId,
                             unsigned retryPauseMs) {
    installPatchArchive(retryPauseMs);
    // A relative name: the current folder, then the PATH, decide which file starts.
    // A failure is not reported; the launcher ends right after.
    return platform::shellOpen(kClientUpdater, clientUpdaterParameters(arguments), processId);
}
