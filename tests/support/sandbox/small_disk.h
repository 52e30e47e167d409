#pragma once
// A full disk for a piece of the test: a small file system of its own (tmpfs) mounted
// over a folder in a private user and mount namespace, which a test fills up, so that
// writes fail as they do on a full disk. Nothing outside the child sees the mount.

#include <cstddef>
#include <string>

namespace testsupport {

// Moves the calling process into a new user and mount namespace and mounts a tmpfs of
// `bytes` over `folder`. Only for a single-threaded process, such as a child of
// runInChild. On failure `why` says why.
bool mountSmallDisk(const std::string& folder, size_t bytes, std::string& why);

// Whether a small disk can be made here; `why` tells the reason when not. Tries it in
// a child, so the caller stays where it is.
bool smallDiskAvailable(std::string& why);

// Fills the file system that holds `folder` with one file, `folder`/"filler", until
// no byte more fits.
void fillDisk(const std::string& folder);

}  // namespace testsupport
