#include "launcher/process_terminator.h"

#include <cstring>
#include <string_view>

#include "platform/paths.h"
#include "platform/process.h"

std::vector<int> terminateProcessesByName(std::span<const char* const> names) {
    std::vector<int> results(names.size(), TERMINATE_NOT_FOUND);
    constexpr size_t kNone = size_t(-1);
    std::vector<size_t> match(names.size(), kNone);  // index in the list, once found
    std::vector<bool> searching(names.size(), false);
    size_t left = 0;
    for (size_t n = 0; n < names.size(); ++n) {
        const size_t length = names[n] ? std::strlen(names[n]) : 0;
        if (length == 0 || length > size_t(kMaxProcessName)) {
            results[n] = TERMINATE_BAD_NAME;
        } else {
            searching[n] = true;
            ++left;
        }
    }
    if (left == 0) return results;

    platform::ProcessList list;
    if (!list.read()) {
        for (size_t n = 0; n < names.size(); ++n)
            if (searching[n]) results[n] = TERMINATE_ENUM_FAILED;
        return results;
    }
    // Each name's search ends at its first match, as a search of its own would; the
    // first argument of a process is read only when its executable did not match.
    for (size_t p = 0; p < list.size() && left > 0; ++p) {
        const std::string_view executable = list.executableName(p);
        if (executable.empty() || executable.size() > size_t(kMaxProcessName)) {
            for (size_t n = 0; n < names.size(); ++n)
                if (searching[n]) results[n] = TERMINATE_BAD_NAME;
            break;
        }
        for (size_t n = 0; n < names.size(); ++n) {
            if (!searching[n]) continue;
            bool matches = platform::sameNameIgnoringCase(executable, names[n]);
            // The first argument is set by the process itself: an odd one is simply no
            // match, never a reason to give up the search. Only a process of our own
            // user is known by it.
            if (!matches) {
                const std::string_view argument = list.firstArgumentName(p);
                matches = !argument.empty() && platform::sameNameIgnoringCase(argument, names[n]) &&
                          list.isOwnProcess(p);
            }
            if (matches) {
                match[n] = p;
                searching[n] = false;
                --left;
            }
        }
    }

    for (size_t n = 0; n < names.size(); ++n) {
        if (match[n] == kNone) continue;
        platform::ProcessHandle process;
        if (!process.open(list.id(match[n])))
            results[n] = TERMINATE_OPEN_FAILED;
        else
            results[n] = process.terminate() ? TERMINATE_OK : TERMINATE_FAILED;
    }
    return results;
}

int terminateProcessByName(const char* name) {
    const char* const names[] = {name};
    return terminateProcessesByName(names).front();
}
