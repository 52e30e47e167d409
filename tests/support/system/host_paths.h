#pragma once
// Files of the Linux machine the tests run on, named as this test program names them.
// A Windows test program under Wine sees the machine's "/" as drive Z:, its own files
// (TempDir, the Wine prefix's C:) under Windows paths that Linux programs cannot use.

#include <string>
#include <string_view>

namespace testsupport {

// A file of the machine by its Linux path: the path itself on Linux, "Z:" and the path
// under Wine.
std::string hostFile(std::string_view linuxPath);

// The Linux path of a file or folder this program names, for a server the Linux side
// runs over it; empty when there is none (Windows without Wine).
std::string linuxPathOf(const std::string& path);

}  // namespace testsupport
