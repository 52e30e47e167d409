#pragma once
// Checks that must meet the file system's rules as a player meets them: root ignores
// write bits on Linux, so there the checks run in a child process as "nobody" when the
// tests run as root. On Windows they run in this process.

#include <functional>
#include <string>

namespace testsupport {

// Runs `body`; its failed checks fail the calling test. The body makes the files it
// works on itself, so that they are the player's.
void asPlayer(const std::function<void()>& body);

// Lets the player make files in `folder` (a folder of the tests' own).
void openFolderToPlayer(const std::string& folder);

}  // namespace testsupport
