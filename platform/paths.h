#pragma once
// Path handling with Windows rules: both separators, names compared without
// regard to case. Every service of the layer takes paths this way. Windows does so
// itself; on Linux a component that does not exist under its exact name names the
// entry of its folder that matches it ignoring ASCII case (the first in byte order), and
// one that matches nothing stays as written, so a new file gets the name as given.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Longest path, in bytes without the terminator, that the file services accept; longer
// ones are refused with FILENAME_EXCED_RANGE. The system's own limit, so it differs
// between systems (a Windows build calling the A functions stops below MAX_PATH).
size_t maxPathLength();

bool isSeparator(char c);

// Position of the last '\' or '/', or npos.
std::string::size_type lastSeparator(std::string_view path);

// `name` below `folder`, with the system's separator between them unless the folder
// already ends with a separator; `name` alone when the folder is empty.
std::string joinPath(std::string_view folder, std::string_view name);

// The folder part of a path: up to its last separator, the root itself for a name in
// the root, "." for a bare name.
std::string parentFolder(std::string_view path);

// The path names the root of a file system ("/"; on Windows also a drive's root).
bool isFileSystemRoot(std::string_view path);

// `inner` is `outer` or lies below it, comparing whole components as the system
// compares file names. Both are absolute paths without "." or ".." components, as
// canonicalPath gives them; every path lies below a root.
bool isSameOrBelow(std::string_view inner, std::string_view outer);

// GetCurrentDirectoryA: the current folder, or empty when it cannot be read.
std::string currentDirectory();

// GetModuleFileNameA: the running program's own path, or empty.
std::string executablePath();

}  // namespace platform

namespace platform {

// OpenFile's search for a bare file name: the program's folder, then the current
// folder, (on Windows the system and the Windows folder,) then each folder of PATH. The
// path of the first existing file (not folder) of that name, compared without regard
// to case, or empty when there is none.
std::string searchFile(std::string_view name);

}  // namespace platform
