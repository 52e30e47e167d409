#pragma once
// The file version of a Windows executable as a reader other than ours reports it, to
// hold our reader to: exiftool on Linux, the system's own GetFileVersionInfoA and
// VerQueryValueA on Windows.

#include <string>

namespace testsupport {

// Which reader referenceFileVersion asks.
const char* referenceFileVersionReader();

// "A.B.C.D" of the fixed file information, or empty when the reader finds none.
std::string referenceFileVersion(const std::string& path);

}  // namespace testsupport
