#pragma once
// Removes a temporary tree completely without following links, whatever a test did to
// it: folders and files get their owner's rights back first, since a test may have
// taken them away.

#include <string>

namespace testsupport {

void removeTree(const std::string& path);

}  // namespace testsupport
