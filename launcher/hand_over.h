#pragma once
// The last act of update mode: the patch archive that the patch step left behind is
// unpacked over the client updater's files, then "ClientUpdate.exe" is started with
// the launch code and the patch server settings.

#include <cstdint>
#include <string>

#include "config/launch_arguments.h"
#include "update/package_file.h"

// "Update.rar" by design, a name Windows does not tell from the patch step's
// "update.rar"; the very name the patch step wrote and checked, so that Linux, which
// does, opens the same file.
inline constexpr const char* kPatchArchive = kPackageFile;
inline constexpr char kClientUpdater[] = "ClientUpdate.exe";
// Always the first word of the client updater's command line.
inline constexpr char kLaunchCode[] = "4718";
// Ended before every unpacking attempt, in this order, so their files can be replaced.
inline constexpr const char* kUpdaterProcesses[] = {"ClientUpdate.exe", "VeltoraUpdate.exe",
                                                    "VeltoraUpdate2.exe"};
inline constexpr int kUnpackAttempts = 20;
inline constexpr unsigned kUnpackRetryPauseMs = 100;
// The waits between attempts, all entries together (60 s at 100 ms): once they are
// spent, an entry that fails is not tried again, so no package holds the start for long.
inline constexpr unsigned kUnpackWaits = 600;

// Unpacks every entry of the patch archive in the current folder, when there is one,
// over the files there, and deletes the archive. With a signed release it unpacks only
// the package the patch step verified (updateContext.verifiedPackage), through that open
// file, and none when none was verified. An entry that cannot be written within
// the attempts shows "Please reboot computer "; the others are still unpacked.
// "ClientUpdate.exe" is unpacked last, and only when every other entry was installed.
// Tests shorten `retryPauseMs` and `waits`.
void installPatchArchive(unsigned retryPauseMs = kUnpackRetryPauseMs,
                         unsigned waits = kUnpackWaits);

// The client updater's parameters: the launch code, then " %s" for each given field
// (forward1, forward2, "PatchIP:" value, "PatchPort:" value), without quotes.
std::string clientUpdaterParameters(const LaunchArguments& arguments);

// The hand-over with the given arguments. False when no updater could be started;
// `processId`, when given, receives the started updater's id.
bool handOverToClientUpdater(const LaunchArguments& arguments, uint32_t* processId = nullptr,
                             unsigned retryPauseMs = kUnpackRetryPauseMs);

// The entry point's hand-over, with the process's own arguments.
void handOverToClientUpdater();
