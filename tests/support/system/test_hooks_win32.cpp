// The Windows test program asks the launcher's test hooks, before any test runs, for
// what the Linux build shows without a display: message boxes as "[caption] text"
// lines on standard error, answered at once, and the debugger output there too. The
// programs a test starts inherit the same.
#include <stdlib.h>

namespace {

const bool hooksSet = [] {
    ::_putenv_s("LAUNCHER_TEST_MESSAGE_LOG", "-");
    ::_putenv_s("LAUNCHER_TEST_DEBUG_LOG", "-");
    return true;
}();

}  // namespace
