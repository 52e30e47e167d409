#include <cstdio>

#include "platform/errors.h"
#include "platform/win32/win32_detail.h"

namespace platform {

uint32_t lastError() { return GetLastError(); }

void setLastError(uint32_t code) { SetLastError(code); }

std::string systemErrorText(uint32_t code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    // The system's texts end with a line break.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) {
        char fallback[48];
        std::snprintf(fallback, sizeof fallback, "Unknown error %u", static_cast<unsigned>(code));
        text = fallback;
    }
    return text;
}

}  // namespace platform
