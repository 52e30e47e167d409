#pragma once
// Changes the current folder by a narrow name as the launcher names folders (in the
// ANSI code page on Windows, SetCurrentDirectoryA), where std::filesystem would take the
// name in another encoding. TempDir::enter's scope still restores the folder before.

#include <string>

namespace testsupport {

bool setCurrentFolder(const std::string& path);

}  // namespace testsupport
