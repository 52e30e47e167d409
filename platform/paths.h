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

// Narrow names are in the ANSI code page. In a double-byte one (950 on the players'
// systems) the second byte of a character may be 0x5C, which is '\' alone, or a letter:
// every helper below, and every backend function that looks for a separator or changes
// case, walks names by characters, never byte by byte.

// The codeset names are walked by: the ANSI code page (ansiCodeset()), unless
// setNameCodeset chose another.
std::string nameCodeset();
// Walks names by the characters of `codeset` ("CP950"), the ANSI code page again when it
// is empty. For tests, which show a code page 950 system's names on any system; not
// while another thread uses the layer. The file system itself still reads names in the
// ANSI code page on Windows.
void setNameCodeset(std::string_view codeset);

// Bytes of the character that begins at `pos`: 2 for a lead byte of the names' code page
// with a byte after it, else 1.
size_t characterLength(std::string_view text, size_t pos);

// `c` is '\' or '/'; only where a character begins does it separate.
bool isSeparator(char c);

// Position of the first '\' or '/' at or after `from`, where a character begins, or npos.
std::string::size_type firstSeparator(std::string_view path, size_t from = 0);

// Position of the last '\' or '/', or npos.
std::string::size_type lastSeparator(std::string_view path);

// The last character of the path is a separator.
bool endsWithSeparator(std::string_view path);

// The path without the separators at its end, but at least its first `keep` bytes.
std::string_view withoutTrailingSeparators(std::string_view path, size_t keep = 1);

// Case folding of names as the C library does it in the default locale (toupper,
// _strlwr): only single-byte ASCII letters change, never a byte of a double-byte character.
std::string upperCaseName(std::string_view name);
std::string lowerCaseName(std::string_view name);
// The names are the same but for the case of single-byte ASCII letters.
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

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
