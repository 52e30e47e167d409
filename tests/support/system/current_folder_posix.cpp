#include <unistd.h>

#include "support/system/current_folder.h"

namespace testsupport {

bool setCurrentFolder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

}  // namespace testsupport
