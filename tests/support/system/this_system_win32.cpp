#include <windows.h>

#include "support/system/this_system.h"

namespace testsupport {

System thisSystem() { return System::Windows; }

// Wine's ntdll exports its version; Windows' does not.
bool underWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testsupport
