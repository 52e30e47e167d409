#pragma once

#include <string>
#include <vector>

// The program's entry point: start-up, mode choice and the process exit code. Kept out
// of the global namespace, where <windows.h> declares the system's WinMain with its
// parameters.
namespace launcher {
int WinMain();
}

// Crash mode: a program path and at least three arguments, the first beginning with
// "crash" (case counts).
bool isCrashMode(const std::vector<std::string>& tokens);
