#include "update/patch_step.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "config/update_context.h"
#include "platform/file_version.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "transfer/file_download.h"
#include "transfer/progress_bar_dlg.h"
#include "transfer/thread.h"
#include "update/package_file.h"
#include "update/package_verification.h"

namespace {

const char kMarker[] = "vcfile.res";
const char kDefaultPackage[] = "1.1.1.1.zip";

// The worker object lives until the next step replaces it, after it has been joined.
std::unique_ptr<DownloadThreadFile> worker;

}  // namespace

int updateClientUpdater(UpdateContext& context, const std::string& clientUpdatePath) {
    context.versionInfo.section = "Current Version";
    const std::string package = context.versionInfo.GetString("UpdateFile", kDefaultPackage);

    // With a key, "version.txt" must vouch for the release before anything is fetched.
    std::optional<ReleaseStatement> statement;
    context.handOver = 1;
    if (!acceptReleaseStatement(context, clientUpdatePath, statement)) return 1;

    bool upToDate = false;
    // OpenFile(OF_READ): the marker counts only when it can be opened for reading.
    const std::string marker = platform::searchFile(kMarker);
    platform::File readable;
    if (!marker.empty() &&
        readable.open(marker, platform::AccessRead, platform::Disposition::OpenExisting)) {
        readable.close();
        std::string installed;
        // Any difference, older or newer, fetches the package.
        if (platform::fileVersionInfo(clientUpdatePath, installed))
            upToDate = installed + ".zip" == package;
    }

    int result = 1;
    if (upToDate) dropPackageOfAnotherRelease(package);
    if (!upToDate) {
        setField(fileDownLoad.localName, kPackageFile);
        setField(fileDownLoad.remotePath, package);
        setField(fileDownLoad.localDir, "");
        setField(fileDownLoad.url, context.downloadUrl);
        fileDownLoad.port = context.downloadPort;
        // With a key the signed size is the cap: not one byte more than was published.
        fileDownLoad.maxFileSize =
            statement ? static_cast<long long>(std::clamp<uint64_t>(statement->size, 1, INT64_MAX))
                      : kMaxPackageBytes;
        fileDownLoad.maxSeconds = kPackageDownloadSeconds;
        preparePackageDownload(fileDownLoad, package);
        result = fileDownLoad.Download();
        // A part dropped for a full disk or its size leaves no side file either.
        if (result == 0 && !platform::pathExists(kPackageFile))
            platform::deleteFile(kPackageSideFile);
    }
    context.handOver = result;
    // Also a package left from an earlier run: the hand-over unpacks whatever is there.
    if (result == 1 && statement) acceptPatchPackage(context, *statement, kPackageFile);
    return result;
}

namespace {

// The work the worker runs: the step, then the dialog's end.
void patchStepBody(UpdateContext& context) {
    int result = updateClientUpdater(context, context.clientUpdatePath);
    if (result == 0) {
        platform::ui::messageBox("Can't download ClientUpdate.zip", "update");
        progressDialog.SetProgress(0);
        progressDialog.EndDialog(1);
    } else {
        platform::sleepMs(1000);
        progressDialog.SetProgress(100);
        progressDialog.EndDialog(0);
    }
}

}  // namespace

int runWorkerUnderDialog(UpdateContext& context, base::Thread& thread) {
    std::atomic<bool> done{false};
    std::atomic<bool> threw{false};
    thread.onEnded([&context, &done, &threw](bool completed) {
        if (!completed) {
            // Nobody else would clear the flag.
            threw = true;
            context.handOver = 0;
        }
        // The dialog must never outlive its worker; ending it again changes nothing.
        progressDialog.EndDialog(1);
        done = true;
        platform::ui::wakeMainThread();
    });
    thread.Start();
    if (!thread.Started()) {
        thread.onEnded(nullptr);
        context.handOver = 0;
        return 1;
    }
    int result = progressDialog.DoModal();
    // The worker may still show a message or end a dialog that was never shown; its
    // calls need the main thread until it is done.
    platform::ui::serviceCallsUntil([&] { return done.load(); });
    thread.Join();
    thread.onEnded(nullptr);
    progressDialog.ForgetPendingEnd();
    return threw ? 1 : result;
}

int runPatchStep(UpdateContext& context, const std::string& clientUpdatePath) {
    context.clientUpdatePath = clientUpdatePath;
    context.patchStepBody = [&context] { patchStepBody(context); };
    worker = std::make_unique<DownloadThreadFile>(&context);
    // Set before the worker starts, so the worker never reads it while it changes.
    fileDownLoad.progressSink = &progressDialog;
    return runWorkerUnderDialog(context, *worker);
}
