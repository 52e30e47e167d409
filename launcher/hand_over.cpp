#include "launcher/hand_over.h"

#include <utility>
#include <vector>

#include "config/launch_arguments.h"
#include "config/update_context.h"
#include "launcher/process_terminator.h"
#include "platform/file_system_flush.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "unzip/zip_reader.h"

namespace {

enum class Unpacked { Installed, Damaged, NotWritten };

// A damaged item (ZIPRES_INFLATE_FAILED) counts as done: retrying cannot mend it, and
// the reader has removed its partly written file, so the next run fetches the package
// again. Anything else, such as a target held by a running process, is retried.
Unpacked unpackEntry(CZipReader* reader, int index, unsigned retryPauseMs, unsigned& waitsLeft) {
    ZipItem item;
    GetItem(reader, index, &item);
    for (int attempt = 0; attempt < kUnpackAttempts; ++attempt) {
        if (attempt > 0) {
            if (waitsLeft == 0) break;
            --waitsLeft;
            platform::sleepMs(retryPauseMs);
        }
        // Ended again on every attempt: an updater started in between goes too. One
        // reading of the process list serves the three names.
        terminateProcessesByName(kUpdaterProcesses);
        // So that a read-only file can be replaced.
        if (item.name[0] != '\0') platform::setAttributes(item.name, platform::FILE_ATTR_NORMAL);
        const ZipResult result = UnzipToFile(reader, index, item.name);
        if (result == ZIPRES_OK || result == ZIPRES_MORE_DATA) return Unpacked::Installed;
        if (result == ZIPRES_INFLATE_FAILED) return Unpacked::Damaged;
    }
    return Unpacked::NotWritten;
}

// The client updater's own file: its version tells the next start whether to fetch the
// package again.
bool isClientUpdater(CZipReader* reader, int index) {
    ZipItem item;
    return GetItem(reader, index, &item) == ZIPRES_OK &&
           platform::equalsIgnoreCase(item.name, kClientUpdater);
}

}  // namespace

void installPatchArchive(unsigned retryPauseMs, unsigned waits) {
    // With a key, only the package the patch step verified, read through the handle its
    // digest was read from: whatever now stands at the name is not the checked file.
    const bool signedRelease = updateContext.releaseSigned;
    if (!signedRelease && !platform::pathExists(kPatchArchive)) return;
    {
        const ZipReaderHandle reader =
            signedRelease ? openZipReader(std::move(updateContext.verifiedPackage), nullptr)
                          : openZipReader(kPatchArchive, nullptr);
        int count = 0;
        ZipItem counted;
        if (reader && GetItem(reader.get(), -1, &counted) == ZIPRES_OK) count = counted.index;
        // The updater goes last, and only when every other entry is in place: any failure
        // leaves it outdated, so the next start fetches the package again.
        std::vector<int> updaters;
        bool allInstalled = true;
        for (int index = 0; index < count; ++index) {
            if (isClientUpdater(reader.get(), index)) {
                updaters.push_back(index);
                continue;
            }
            const Unpacked unpacked = unpackEntry(reader.get(), index, retryPauseMs, waits);
            if (unpacked == Unpacked::NotWritten)
                platform::ui::messageBox("Please reboot computer ", "Reboot");
            allInstalled = allInstalled && unpacked == Unpacked::Installed;
        }
        // The other entries' data and names on the disk before the updater takes its name:
        // after a power cut a new updater means a whole new release.
        if (!updaters.empty() && allInstalled && !platform::flushFileSystemOf("."))
            allInstalled = false;
        for (const int index : updaters) {
            if (!allInstalled) break;
            if (unpackEntry(reader.get(), index, retryPauseMs, waits) == Unpacked::NotWritten)
                platform::ui::messageBox("Please reboot computer ", "Reboot");
        }
    }
    // Deleted also when it could not be opened or some entries failed, once it is
    // closed (Windows deletes no open file); its side file with it.
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

void handOverToClientUpdater() { handOverToClientUpdater(launchArguments); }

bool handOverToClientUpdater(const LaunchArguments& arguments, uint32_t* processId,
                             unsigned retryPauseMs) {
    installPatchArchive(retryPauseMs);
    // A relative name: the current folder, then the PATH, decide which file starts.
    // A failure is not reported; the launcher ends right after.
    return platform::shellOpen(kClientUpdater, clientUpdaterParameters(arguments), processId);
}
