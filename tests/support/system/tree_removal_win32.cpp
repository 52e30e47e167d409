#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/system/tree_removal.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// A folder that is a link or junction is removed as itself, never entered. A file that
// will not go is made writable and tried again (a read-only file cannot be deleted on
// Windows).
void removeEntry(const fs::path& path) {
    std::error_code ignored;
    const fs::file_status status = fs::symlink_status(path, ignored);
    if (status.type() == fs::file_type::not_found) return;
    if (status.type() == fs::file_type::directory) {
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(path, ignored), end; !ignored && it != end;
             it.increment(ignored))
            entries.push_back(it->path());
        for (const auto& entry : entries) removeEntry(entry);
    } else if (status.type() == fs::file_type::regular) {
        if (fs::remove(path, ignored)) return;
        fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove(path, ignored);
}

}  // namespace

void removeTree(const std::string& path) { removeEntry(fs::path(path)); }

}  // namespace testsupport
