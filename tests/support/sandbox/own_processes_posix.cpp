#include "support/sandbox/own_processes.h"
#include "support/sandbox/pid_namespace.h"

namespace testsupport {

bool rerunAmongOwnProcesses() { return rerunInOwnPidNamespace(); }

}  // namespace testsupport
