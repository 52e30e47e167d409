#include <cstdio>
#include <vector>

#include "platform/file_version.h"
#include "platform/win32/win32_detail.h"

namespace platform {

// GetFileVersionInfoSizeA, GetFileVersionInfoA and VerQueryValueA: a resource without
// "\VarFileInfo\Translation" counts as no version; a root block that is no valid
// VS_FIXEDFILEINFO leaves the text empty.
bool fileVersionInfo(std::string_view path, std::string& version) {
    std::string name;
    if (!systemPath(path, name)) return false;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(name.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoA(name.c_str(), 0, size, data.data())) return false;
    void* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &translation, &translationSize))
        return false;
    version.clear();
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (VerQueryValueA(data.data(), "\\", &fixed, &fixedSize) && fixed &&
        fixedSize >= sizeof(VS_FIXEDFILEINFO)) {
        const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
        if (info->dwSignature == 0xFEEF04BD) {
            char text[48];
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(HIWORD(info->dwFileVersionMS)),
                          unsigned(LOWORD(info->dwFileVersionMS)),
                          unsigned(HIWORD(info->dwFileVersionLS)),
                          unsigned(LOWORD(info->dwFileVersionLS)));
            version = text;
        }
    }
    return true;
}

}  // namespace platform
