#pragma once
// The file version of the installed client updater, as the system reads it.

#include <string>

// True when the file has version information ("VS_VERSIONINFO" with a
// "\VarFileInfo\Translation" value). `version` is then the fixed file version as
// "%u.%u.%u.%u", or empty when the block has no valid VS_FIXEDFILEINFO.
// A non-PE, truncated or malformed file is "no version": false, never a crash.
bool readFileVersion(const std::string& path, std::string& version);
