#include "support/sandbox/unprivileged.h"

#include <grp.h>
#include <unistd.h>

namespace testsupport {

bool runningAsRoot() { return geteuid() == 0; }

void wrapUnprivileged(std::string& program, std::vector<std::string>& arguments) {
    if (!runningAsRoot()) return;
    std::vector<std::string> wrapped = {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                        program};
    wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
    arguments = wrapped;
    program = "/usr/bin/setpriv";
}

bool dropRootPrivileges() {
    if (!runningAsRoot()) return true;
    return setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
}

}  // namespace testsupport
