#include "platform/win32/win32_detail.h"
// After <windows.h>:
#include <commctrl.h>

#include <cstdio>

#include "platform/text.h"
#include "platform/ui_backend.h"
#include "platform/win32/test_hooks.h"

namespace platform::ui::detail {

namespace {

std::string toUtf8(const std::string& text) {
    std::string utf8;
    if (!convertText(text, ansiCodeset().c_str(), "UTF-8", utf8)) return text;
    return utf8;
}

std::string windowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(size_t(length > 0 ? length : 0) + 1, '\0');
    const int n = GetWindowTextA(window, text.data(), int(text.size()));
    text.resize(size_t(n > 0 ? n : 0));
    return text;
}

void describe(HWND window, std::vector<std::string>& lines) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        char className[64] = {};
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") == 0) {
            lines.push_back("label " + toUtf8(windowText(child)));
        } else if (lstrcmpiA(className, PROGRESS_CLASSA) == 0) {
            const LRESULT low = SendMessageA(child, PBM_GETRANGE, TRUE, 0);
            const LRESULT high = SendMessageA(child, PBM_GETRANGE, FALSE, 0);
            const LRESULT position = SendMessageA(child, PBM_GETPOS, 0, 0);
            const double fraction = high > low ? double(position - low) / double(high - low) : 0;
            char text[32];
            std::snprintf(text, sizeof text, "bar %.2f", fraction);
            lines.push_back(text);
        }
        describe(child, lines);
    }
}

BOOL CALLBACK describeTopLevel(HWND window, LPARAM lines) {
    if (!IsWindowVisible(window)) return TRUE;
    RECT r;
    GetWindowRect(window, &r);
    char text[96];
    std::snprintf(text, sizeof text, "window %ld %ld %ld %ld", long(r.left), long(r.top),
                  long(r.right - r.left), long(r.bottom - r.top));
    auto& out = *reinterpret_cast<std::vector<std::string>*>(lines);
    out.push_back(text);
    describe(window, out);
    return TRUE;
}

}  // namespace

// MessageBoxA with no owner and MB_OK, on the calling thread. A test build answers it
// at once when the test asks for a record of it instead (LAUNCHER_TEST_MESSAGE_LOG),
// as "[caption] text" and a line feed: the form the console shows on Linux.
void backendMessageBox(const std::string& text, const std::string& caption) {
    if (platform::detail::testRecord(platform::detail::TestRecord::ShownMessage,
                                     "[" + caption + "] " + text + "\n"))
        return;
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
}

// The windows of the calling (main) thread, read back from the controls themselves.
std::vector<std::string> backendWidgetTexts() {
    std::vector<std::string> lines;
    EnumThreadWindows(GetCurrentThreadId(), describeTopLevel, reinterpret_cast<LPARAM>(&lines));
    return lines;
}

}  // namespace platform::ui::detail
