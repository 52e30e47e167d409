#include <stdlib.h>

#include "support/system/environment.h"

namespace testsupport {

// _putenv_s changes the C runtime's copy (getenv) and the process's (GetEnvironmentVariable).
void setEnvironment(const std::string& name, const std::string& value) {
    ::_putenv_s(name.c_str(), value.c_str());
}

// An empty value removes the variable.
void unsetEnvironment(const std::string& name) { ::_putenv_s(name.c_str(), ""); }

char pathListSeparator() { return ';'; }

}  // namespace testsupport
