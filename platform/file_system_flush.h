#pragma once
// One flush for a whole file system, where the system has it.

#include <string_view>

namespace platform {

// Makes everything written and renamed on the file system holding `path` durable, in
// one call (syncfs on Linux). On Windows each file's own flush is enough, NTFS logging
// its renames in order: there it does nothing. Failures set lastError().
bool flushFileSystemOf(std::string_view path);

}  // namespace platform
