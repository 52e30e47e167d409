#pragma once

// The program's entry point: start-up, mode choice and the process exit code.
int WinMain();
