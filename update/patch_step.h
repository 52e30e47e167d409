#pragma once
// The patch step: compare the installed client updater with the server's package and
// download the package as "update.rar" on a worker under the progress dialog.

#include <string>

struct UpdateContext;
namespace base {
class Thread;
}

// Runs the step and returns when the dialog has ended and the worker is done: the
// dialog's result (0 success, 1 failure, -1 when it could not be shown).
int runPatchStep(UpdateContext& context, const std::string& clientUpdatePath);

// What runPatchStep does once the worker exists: starts it, shows the dialog, keeps
// servicing the worker's calls until it is done, and joins it. A worker that throws
// or cannot start ends the step as a failure: result 1, handOver 0.
int runWorkerUnderDialog(UpdateContext& context, base::Thread& worker);

// The largest package accepted: a larger size announced, or as many bytes arrived,
// fails the download at once and nothing of it stays.
inline constexpr long long kMaxPackageBytes = 1LL << 30;
// The longest the package's download may take, all attempts together.
inline constexpr long kPackageDownloadSeconds = 30 * 60;

// The comparison and, when needed, the download; 1 or 0, also stored in handOver. A
// release refused by the signature checks gives 1 with nothing left to unpack (handOver
// 0 only when its package cannot be removed), so the installed updater starts.
int updateClientUpdater(UpdateContext& context, const std::string& clientUpdatePath);
