#pragma once

#include <string>
#include <vector>

// The program's entry point: start-up, mode choice and the process exit code.
int WinMain();

// Crash mode: a program path and at least three arguments, the first beginning with
// "crash" (case counts).
bool isCrashMode(const std::vector<std::string>& tokens);
