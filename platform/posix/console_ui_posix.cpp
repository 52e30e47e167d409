#include <unistd.h>

#include <cerrno>

#include "platform/ui_backend.h"

namespace platform::ui::detail {

void consoleMessageBox(const std::string& text, const std::string& caption) {
    // One block, so a test or a log reader sees the message whole.
    std::string block = "[" + caption + "] " + text + "\n";
    const char* p = block.data();
    size_t left = block.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

}  // namespace platform::ui::detail
