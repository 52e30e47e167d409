#include "launcher/process_terminator.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/strings.h"

int terminateProcessByName(const char* name) {
    size_t length = name ? std::strlen(name) : 0;
    if (length == 0 || length > size_t(kMaxProcessName)) return TERMINATE_BAD_NAME;
    const std::string wanted = platform::asciiUpper(name);

    std::vector<uint32_t> ids;
    if (!platform::listProcessIds(ids)) return TERMINATE_ENUM_FAILED;

    for (uint32_t pid : ids) {
        platform::ProcessNames names = platform::processNames(pid);
        if (names.executable.empty() || names.executable.size() > size_t(kMaxProcessName))
            return TERMINATE_BAD_NAME;
        // The first argument is set by the process itself: an odd one is simply no
        // match, never a reason to give up the search.
        bool matches =
            platform::asciiUpper(names.executable) == wanted ||
            (!names.firstArgument.empty() && platform::asciiUpper(names.firstArgument) == wanted);
        if (!matches) continue;

        platform::ProcessHandle process;
        if (!process.open(pid)) return TERMINATE_OPEN_FAILED;
        return process.terminate() ? TERMINATE_OK : TERMINATE_FAILED;
    }
    return TERMINATE_NOT_FOUND;
}
