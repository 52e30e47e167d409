#include "support/sandbox/own_processes.h"

namespace testsupport {

// The suite's prefix runs the suite's programs only.
bool rerunAmongOwnProcesses() { return false; }

}  // namespace testsupport
