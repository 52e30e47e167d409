#include "support/system/this_system.h"

namespace testsupport {

System thisSystem() { return System::Linux; }

bool underWine() { return false; }

}  // namespace testsupport
