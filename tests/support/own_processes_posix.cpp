#include "support/own_processes.h"
#include "support/pid_namespace.h"

namespace testsupport {

bool rerunAmongOwnProcesses() { return rerunInOwnPidNamespace(); }

}  // namespace testsupport
