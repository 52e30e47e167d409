// Prints the system's ANSI code page (GetACP()), so that a test run from Linux can check
// that the Wine prefix really has the one it asked for.

#include <windows.h>

#include <cstdio>

int main() {
    std::printf("%u\n", GetACP());
    return 0;
}
