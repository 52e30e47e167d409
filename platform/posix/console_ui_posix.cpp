#include "platform/posix/console_backend.h"
#include "platform/posix/posix_detail.h"

namespace platform::ui::detail {

void consoleMessageBox(const std::string& text, const std::string& caption) {
    // One block, so a test or a log reader sees the message whole.
    writeToStandardError("[" + caption + "] " + text + "\n");
}

}  // namespace platform::ui::detail
