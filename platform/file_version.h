#pragma once
// The file version of a Windows executable: its version resource's fixed file version.

#include <string>
#include <string_view>

namespace platform {

// As the system reads it (GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA
// on Windows; our own PE reader elsewhere). True when the file has version information
// with a "\VarFileInfo\Translation" value; `version` is then the fixed file version as
// "%u.%u.%u.%u", or empty when the block has no valid VS_FIXEDFILEINFO. A file without
// version information, or one that cannot be read, gives false.
bool fileVersionInfo(std::string_view path, std::string& version);

// The same answers from our own reader of the PE format, on every system, for tools that
// must not depend on what the system can load. A non-PE, truncated or malformed file is
// "no version": false, never a crash.
bool readPeFileVersion(std::string_view path, std::string& version);

}  // namespace platform
