#pragma once
// Path handling with Windows rules: both separators, names compared without
// regard to ASCII case.

#include <string>
#include <string_view>

namespace platform {

// Longest path the layer accepts; longer ones are refused (FILENAME_EXCED_RANGE).
constexpr size_t kMaxPath = 4095;

bool isSeparator(char c);

// Position of the last '\' or '/', or npos.
std::string::size_type lastSeparator(std::string_view path);

// The file-system name of a Windows-style path: '\' becomes '/', and each component
// that does not exist under its exact name is replaced by an existing entry of the
// same folder whose name matches it ignoring ASCII case (the first in byte order).
// Components that match nothing stay as written, so new files get the name as given.
// Returns false (last error FILENAME_EXCED_RANGE) for a path longer than kMaxPath.
bool resolvePath(std::string_view path, std::string& out);

// GetCurrentDirectoryA: the current folder, or empty when it cannot be read.
std::string currentDirectory();

// GetModuleFileNameA: the running program's own path, or empty.
std::string executablePath();

}  // namespace platform

namespace platform {

// OpenFile's search for a bare file name: the program's folder, then the current
// folder, then each folder of PATH. The path of the first existing file (not folder)
// of that name, compared without regard to case, or empty when there is none.
std::string searchFile(std::string_view name);

}  // namespace platform
