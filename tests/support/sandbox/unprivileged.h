#pragma once
// Runs a program without the right to write into folders it does not own: as it is
// when the tests run as a normal user, through setpriv as "nobody" when they run as root.

#include <string>
#include <vector>

namespace testsupport {

bool runningAsRoot();

// The program and arguments that run `program` with `arguments` unprivileged.
void wrapUnprivileged(std::string& program, std::vector<std::string>& arguments);

// In a child (see runInChild): when running as root, becomes the user "nobody"
// (65534), so permission checks apply as they do to a player. False when that fails.
bool dropRootPrivileges();

}  // namespace testsupport
