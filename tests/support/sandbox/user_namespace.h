#pragma once
// What the sandboxes made with unshare(2) share: a user namespace where the caller stays
// who it was, as root inside (as "unshare -r" maps it), and the kernel's own files.

#include <string>

namespace testsupport {

// Writes `text` to a file of /proc or /sys in one write(2), as the kernel takes it.
bool writeKernelFile(const char* path, const std::string& text);

// In a user namespace the caller has just entered: maps the user and group it had
// before (`uid`, `gid`) to root. On failure `why` says why.
bool mapSelfAsRoot(unsigned uid, unsigned gid, std::string& why);

}  // namespace testsupport
