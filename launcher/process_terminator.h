#pragma once
// Ends a running process chosen by the file name of its executable, so that the file
// can be replaced.

#include <span>
#include <vector>

// Result codes. The Windows-only failures (605-607, 700, 702-704) keep their numbers
// for callers that show them; the process listing here cannot produce them.
constexpr int TERMINATE_OK = 0;
constexpr int TERMINATE_FAILED = 602;       // opened for termination, ending it failed
constexpr int TERMINATE_NOT_FOUND = 603;    // no running process matches
constexpr int TERMINATE_OPEN_FAILED = 604;  // a match could not be opened for termination
constexpr int TERMINATE_NO_PSAPI = 605;
constexpr int TERMINATE_NO_VERSION = 606;
constexpr int TERMINATE_BAD_PLATFORM = 607;
constexpr int TERMINATE_BAD_NAME = 632;  // wanted name or a read-back name out of range
constexpr int TERMINATE_NO_PSAPI_PROC = 700;
constexpr int TERMINATE_ENUM_FAILED = 701;  // the process list cannot be read
constexpr int TERMINATE_NO_KERNEL32 = 702;
constexpr int TERMINATE_NO_TOOLHELP = 703;
constexpr int TERMINATE_NO_SNAPSHOT = 704;

// Longest executable name compared.
constexpr int kMaxProcessName = 260;

// Ends the first running process, in ascending process id, whose executable's file
// name equals `name` ignoring the case of single-byte ASCII letters (never a byte of a
// double-byte character), and returns without waiting for it. `name` is a bare file
// name such as "ClientUpdate.exe"; one with a folder matches nothing.
int terminateProcessByName(const char* name);

// terminateProcessByName of each name, in order, over one reading of the process list:
// the processes running at the moment of the call, each name ending the first of its
// own. The result codes, one per name, are those of terminateProcessByName.
std::vector<int> terminateProcessesByName(std::span<const char* const> names);
