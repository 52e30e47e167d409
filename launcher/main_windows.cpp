// The Windows program's entry point. launcher.exe is a GUI program (no console window):
// it starts in WinMain, whose parameters go unused, since the command line is always
// taken from GetCommandLineA. Declared here without <windows.h>, which only platform/
// includes; HINSTANCE is a pointer to this structure there.

#include "launcher/win_main.h"
#include "platform/system.h"

struct HINSTANCE__;

extern "C" int __stdcall WinMain(HINSTANCE__*, HINSTANCE__*, char*, int) {
    platform::initProcess(0, nullptr);
    return launcher::WinMain();
}
