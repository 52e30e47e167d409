#pragma once
// Helpers that only the Win32 backend uses. Portable code never includes this header.
// <windows.h> comes first everywhere in the backend, with the definitions the build
// gives (WIN32_LEAN_AND_MEAN, NOMINMAX, _WIN32_WINNT).

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/native_handle.h"

namespace platform {

// A HANDLE as the portable classes hold it, and back. INVALID_HANDLE_VALUE is kNoHandle.
inline HANDLE handleOf(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline NativeHandle nativeOf(HANDLE handle) { return reinterpret_cast<NativeHandle>(handle); }

// The path as the A functions take it, or false (last error FILENAME_EXCED_RANGE for a
// path longer than maxPathLength(), INVALID_NAME for one holding a NUL). Windows takes
// both separators and ignores case itself, so the text passes unchanged.
bool systemPath(std::string_view path, std::string& out);

// The code page of nameCodeset(): CP_ACP unless a test chose another.
UINT nameCodePage();

// A symbolic link or junction (a name-surrogate reparse point): folder walks treat it as
// an entry of its own and never enter it.
bool isLinkAttributes(DWORD attributes, DWORD reparseTag);

// The attributes of the entry itself as this layer reports them: a link is never a folder.
DWORD entryAttributes(DWORD attributes, DWORD reparseTag);

// GetFileAttributesA, and for a reparse point its tag; false with the last error set.
bool readEntry(const std::string& path, DWORD& attributes, DWORD& reparseTag);

// The attributes SetFileAttributesA is given for setAttributes' `attributes`.
DWORD attributesToSet(uint32_t attributes);

// An open folder: a handle of the folder itself, which keeps it from being replaced
// while a walk stands in it, and its path. Windows has no call of the A family that
// works relative to a handle, so its entries are reached by this path, each opened
// with FILE_FLAG_OPEN_REPARSE_POINT so that no link or junction is ever followed; a
// path past maxPathLength() is refused (FILENAME_EXCED_RANGE), so a tree deeper than
// that is not reached below the limit.
struct Folder::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string path;
};

}  // namespace platform
