#pragma once
// Helpers that only the POSIX backend uses: path resolution and the errno tables.
// Portable code never includes this header; it sees Windows codes only. The backend
// needs POSIX and glibc; the *_linux.cpp files need Linux itself (/proc, pidfd, O_PATH,
// accept4), and each says what it takes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/native_handle.h"

namespace platform {

// Longest path this backend accepts (Linux's PATH_MAX less the terminator); longer
// ones are refused with FILENAME_EXCED_RANGE. maxPathLength() reports it.
constexpr size_t kMaxPath = 4095;

// The file-system name of a Windows-style path: '\' becomes '/', and each component
// that does not exist under its exact name is replaced by an existing entry of the
// same folder whose name matches it ignoring ASCII case (the first in byte order).
// Components that match nothing stay as written, so new files get the name as given.
// Returns false (last error FILENAME_EXCED_RANGE) for a path longer than kMaxPath.
bool resolvePath(std::string_view path, std::string& out);

// The entry of `folder` ("" for the current folder) whose name matches `name` ignoring
// ASCII case, the first in byte order so the choice does not depend on the order the
// file system lists them in. Answered from an index of the folder kept for the run,
// which is read again whenever the folder changed by other hands than ours.
std::optional<std::string> findIgnoringCase(const std::string& folder, std::string_view name);

// One change of ours to the entry at the resolved `path` (made, removed, renamed): made
// before the change and told its outcome after it, it keeps the folder's index in step
// without reading the folder again.
class FolderEntryChange {
public:
    explicit FolderEntryChange(const std::string& path);
    // The entry exists after the change (true) or is gone (false).
    void done(bool exists);

private:
    std::string folder_;
    std::string name_;
    bool inStep_ = false;  // the index matched the folder before the change
};

// A descriptor as the portable classes hold it, and back.
inline int descriptorOf(NativeHandle handle) { return static_cast<int>(handle); }
inline NativeHandle handleOf(int descriptor) { return descriptor < 0 ? kNoHandle : descriptor; }

// Writes the whole text to standard error in as few writes as it takes, so a line
// reaches a reader whole; a signal does not cut it short, a failure drops the rest.
void writeToStandardError(std::string_view text);

// The one table from errno values to Windows error codes.
uint32_t windowsErrorFromErrno(int err);

// An open folder is a descriptor of it.
struct Folder::State {
    int fd = -1;
};

// setAttributes of what `pinned` (a descriptor opened with O_PATH | O_NOFOLLOW, or of an
// open folder) names; a link is left alone. Sets lastError().
bool changeAttributes(int pinned, uint32_t attributes);

// A walk holds one descriptor per level, so a deep tree can outgrow the soft limit on
// open descriptors: this raises it to the hard limit. True when it was raised and an
// open that failed with EMFILE is worth trying again.
bool raiseDescriptorLimit();

}  // namespace platform

namespace platform::net {

// The errno table and the h_errno table behind lastError().
int errorFromErrno(int err);
int errorFromHostErrno(int err);
// The errno that a Windows socket error stands for, 0 for none: its system text.
int errnoFromSocketError(int code);

}  // namespace platform::net
