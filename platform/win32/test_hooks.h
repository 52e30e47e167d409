#pragma once
// Hooks that only test builds have (the build definition LAUNCHER_TEST_HOOKS reaches
// test_hooks_win32.cpp alone); in a release build testRecord always returns false and
// the program reads no variable for it.

#include <string>

namespace platform::detail {

enum class TestRecord {
    ShownMessage,  // LAUNCHER_TEST_MESSAGE_LOG: the box is answered OK instead of shown
    DebugLine,     // LAUNCHER_TEST_DEBUG_LOG: a copy of the debugger line
};

// When the test set the record's environment variable: "-" writes `record` to standard
// error, anything else appends it to the file of that name, in one write. True when the
// variable was set (whether or not the write succeeded), false otherwise.
bool testRecord(TestRecord kind, const std::string& record);

}  // namespace platform::detail
