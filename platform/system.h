#pragma once
// Process-wide services: start-up, command line, single instance, debugger output.

#include <string>
#include <string_view>

namespace platform {

// Called first by main (WinMain): reads the ANSI code page once. On Linux it also
// remembers the arguments for commandLine() and reopens closed standard streams on
// /dev/null.
void initProcess(int argc, char** argv);

// GetCommandLineA. On Linux: the arguments joined by single spaces, each one that is
// empty or holds a space or tab wrapped in double quotes.
std::string commandLine();

// WSAStartup(2.2), once for the process and never cleaned up; Linux needs none (true).
bool startSockets();

enum class InstanceLock { Acquired, AlreadyRunning, Unavailable };
// The named mutex: held until the process ends, never inherited by children.
InstanceLock acquireSingleInstance(std::string_view name);

// OutputDebugStringA (on Linux: one line on standard error).
void debugOutput(std::string_view text);

// Sleep.
void sleepMs(unsigned milliseconds);

}  // namespace platform
