#pragma once
// What kind of thing a path names, and where it really lies: the checks crash mode
// makes before it reads or deletes what it was given.

#include <string>
#include <string_view>

namespace platform {

// A regular file, not a link, folder, FIFO or device (lstat; the attributes on Windows).
bool isRegularFile(std::string_view path);

// The path itself is a symbolic link (lstat); a trailing separator does not lead
// through it.
bool isSymbolicLink(std::string_view path);

// The absolute path with every link and "." or ".." resolved (realpath; on Windows
// GetFinalPathNameByHandleA without its "\\?\" prefix); empty when the path cannot be
// resolved.
std::string canonicalPath(std::string_view path);

}  // namespace platform
