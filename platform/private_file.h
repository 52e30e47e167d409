#pragma once
// Files for secrets, such as an operator's signing key.

#include <string>
#include <string_view>

namespace platform {

// Creates `path` (a path as the operating system writes it) readable and writable by
// its owner alone, never over an existing file or through a link, writes `contents`
// and flushes them to the disk. False, with lastError() (FILE_EXISTS when something
// is there already), when it cannot; a file it could not finish is removed again.
bool createPrivateFile(const std::string& path, std::string_view contents);

}  // namespace platform
