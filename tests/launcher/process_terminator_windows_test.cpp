// The process terminator with the Win32 backend: processes named by the process-status
// functions and ended with TerminateProcess (exit code 0). Windows only: Linux names
// and ends them otherwise (process_terminator_test.cpp). Under Wine the process list
// holds the programs of the suite's own prefix only, and the copies run under a name
// of this run's own, so nothing else can be ended.

#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>:
#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "launcher/process_terminator.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/builders/argument_records.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace {

// The entry of `pid` in a fresh process list, or the list's size when it is missing.
size_t find(platform::ProcessList& list, uint32_t pid) {
    size_t i = 0;
    while (i < list.size() && list.id(i) != pid) ++i;
    return i;
}

// terminateProcessByName, again while it meets a process whose base name reads empty: a
// program another test of the shared prefix is just starting, whose modules Wine lists
// before it can name them. The terminator refuses the whole search then, by design.
int terminate(const std::string& name) {
    int result = TERMINATE_BAD_NAME;
    for (int attempt = 0; attempt < 50 && result == TERMINATE_BAD_NAME; ++attempt) {
        if (attempt > 0) Sleep(100);
        result = terminateProcessByName(name.c_str());
    }
    return result;
}

}  // namespace

// Of two matching processes one call ends the one EnumProcesses lists first, whatever
// their ids; a later call the other.
TEST(ProcessTerminatorWindows, EndsOneMatchingProcessPerCallInEnumProcessesOrderWithExitCodeZero) {
    testsupport::TempDir folder;
    const std::string name = "Terminator" + std::to_string(GetCurrentProcessId()) + ".Exe";
    folder.copyIn(testsupport::binaryPath("record_args"), name);
    folder.write("wait", "");  // the copies stay until it goes (at most 20 s)
    std::vector<testsupport::Subprocess> copies;
    for (int i = 0; i < 2; ++i) {
        uint32_t pid = 0;
        ASSERT_TRUE(platform::shellOpen(folder.file(name), "copy", &pid));
        copies.push_back(testsupport::Subprocess::adopt(int(pid)));
    }
    ASSERT_EQ(testsupport::waitForArgumentRecords(folder.path(), 2).size(), 2u);

    platform::ProcessList list;
    ASSERT_TRUE(list.read());
    std::vector<DWORD> table(4096);
    DWORD bytes = 0;
    ASSERT_TRUE(EnumProcesses(table.data(), DWORD(table.size() * sizeof(DWORD)), &bytes));
    table.resize(bytes / sizeof(DWORD));
    // The ids both listings hold (others may start or end between them) in one order.
    std::vector<uint32_t> listed;
    for (size_t i = 0; i < list.size(); ++i)
        if (std::find(table.begin(), table.end(), list.id(i)) != table.end())
            listed.push_back(list.id(i));
    std::vector<uint32_t> enumerated;
    for (const DWORD id : table)
        if (std::find(listed.begin(), listed.end(), id) != listed.end()) enumerated.push_back(id);
    EXPECT_EQ(listed, enumerated);
    for (const auto& copy : copies) {
        const size_t at = find(list, uint32_t(copy.pid()));
        ASSERT_LT(at, list.size());
        EXPECT_EQ(list.executableName(at), name);
        EXPECT_EQ(list.firstArgumentName(at), "");  // Windows names by the executable alone
        EXPECT_TRUE(list.isOwnProcess(at));
    }
    const size_t first =
        find(list, uint32_t(copies[0].pid())) < find(list, uint32_t(copies[1].pid())) ? 0 : 1;
    const size_t second = 1 - first;

    // A folder in front of the name matches nothing.
    EXPECT_EQ(terminate(folder.file(name)), TERMINATE_NOT_FOUND);
    std::string other = name;
    for (auto& ch : other) ch = char(std::islower(ch) ? std::toupper(ch) : std::tolower(ch));
    EXPECT_EQ(terminate(other), TERMINATE_OK);
    ASSERT_TRUE(copies[first].wait(5000));
    EXPECT_EQ(copies[first].exitCode(), 0);
    EXPECT_FALSE(copies[second].ended());

    EXPECT_EQ(terminate(name), TERMINATE_OK);
    ASSERT_TRUE(copies[second].wait(5000));
    EXPECT_EQ(copies[second].exitCode(), 0);
    EXPECT_EQ(terminate(name), TERMINATE_NOT_FOUND);
}

// The process that asks is in the list under its executable's base name.
TEST(ProcessTerminatorWindows, ListNamesThisProcessByItsExecutable) {
    platform::ProcessList list;
    ASSERT_TRUE(list.read());
    const size_t at = find(list, GetCurrentProcessId());
    ASSERT_LT(at, list.size());
    const std::string path = platform::executablePath();
    EXPECT_EQ(list.executableName(at), path.substr(platform::lastSeparator(path) + 1));
    EXPECT_TRUE(list.isOwnProcess(at));
}
