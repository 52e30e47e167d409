#include <windows.h>

#include <vector>

#include "support/system/host_paths.h"

namespace testsupport {

// Wine maps drive Z: to the machine's root folder.
std::string hostFile(std::string_view linuxPath) { return "Z:" + std::string(linuxPath); }

// Wine's own export for exactly this; Windows has none.
std::string linuxPathOf(const std::string& path) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(size_t(length > 0 ? length : 1));
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), length);
    char* unixName = toUnix(wide.data());
    if (!unixName) return {};
    std::string result = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

}  // namespace testsupport
