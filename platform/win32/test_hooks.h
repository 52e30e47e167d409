#pragma once
// Hooks that only test builds have (the build definition LAUNCHER_TEST_HOOKS reaches
// test_hooks_win32.cpp alone); in a release build testRecord always returns false.

#include <string>

namespace platform::detail {

// When the environment variable `variable` is set: "-" writes `record` to standard
// error, anything else appends it to the file of that name, in one write. True when the
// variable was set (whether or not the write succeeded), false otherwise.
bool testRecord(const char* variable, const std::string& record);

}  // namespace platform::detail
