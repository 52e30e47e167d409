// The case-insensitive look-up of names in a folder, through one index per folder kept
// for the run: unpacking thousands of new files into one folder looked each new name up
// in its growing folder, which made the whole unpacking quadratic.

#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/paths.h"
#include "platform/posix/posix_detail.h"
#include "platform/strings.h"

namespace platform {

namespace {

// Folders are told apart by device and inode, whatever path names them.
using FolderKey = std::pair<dev_t, ino_t>;

struct FolderIndex {
    // The folder's times when the index last matched it: a change made by anyone but
    // us shows as other times, and the index is read again.
    timespec modified{};
    timespec changed{};
    // Lower-case name to the entries of that name, in byte order.
    std::map<std::string, std::set<std::string>> names;
};

// Few folders take part in a run; a walk over many drops the indexes instead of growing.
constexpr size_t kMaxIndexes = 64;
// A folder larger than this is searched each time instead of held in memory.
constexpr size_t kMaxIndexedEntries = 200000;

std::mutex indexLock;
std::map<FolderKey, FolderIndex>& indexes() {
    static auto* all = new std::map<FolderKey, FolderIndex>;  // lives until the process ends
    return *all;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool matches(const FolderIndex& index, const struct stat& st) {
    return sameTime(index.modified, st.st_mtim) && sameTime(index.changed, st.st_ctim);
}

const char* folderName(const std::string& folder) { return folder.empty() ? "." : folder.c_str(); }

// Reads the folder whole into `index`; false when it cannot be read or is too large.
bool readFolder(const std::string& folder, const struct stat& st, FolderIndex& index) {
    DIR* dir = opendir(folderName(folder));
    if (!dir) return false;
    index.names.clear();
    size_t count = 0;
    bool complete = true;
    while (dirent* entry = readdir(dir)) {
        if (++count > kMaxIndexedEntries) {
            complete = false;
            break;
        }
        const std::string name(entry->d_name);
        index.names[lowerCaseName(name)].insert(name);
    }
    closedir(dir);
    index.modified = st.st_mtim;
    index.changed = st.st_ctim;
    return complete;
}

// The first entry in byte order matching `name`, by a search of the whole folder.
std::optional<std::string> searchFolder(const std::string& folder, std::string_view name) {
    DIR* dir = opendir(folderName(folder));
    if (!dir) return std::nullopt;
    std::optional<std::string> best;
    while (dirent* entry = readdir(dir)) {
        const std::string_view candidate(entry->d_name);
        if (!sameNameIgnoringCase(candidate, name)) continue;
        if (!best || candidate < std::string_view(*best)) best = std::string(candidate);
    }
    closedir(dir);
    return best;
}

// The folder part of a resolved path, "" for the current folder, and the entry's name.
std::pair<std::string, std::string> splitEntry(const std::string& path) {
    std::string entry = path;
    while (entry.size() > 1 && entry.back() == '/') entry.pop_back();
    const size_t slash = entry.rfind('/');
    if (slash == std::string::npos) return {"", entry};
    return {entry.substr(0, slash + 1), entry.substr(slash + 1)};
}

}  // namespace

std::optional<std::string> findIgnoringCase(const std::string& folder, std::string_view name) {
    struct stat st;
    if (stat(folderName(folder), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    std::lock_guard<std::mutex> lock(indexLock);
    auto& all = indexes();
    const FolderKey key{st.st_dev, st.st_ino};
    auto found = all.find(key);
    if (found == all.end() || !matches(found->second, st)) {
        if (found == all.end() && all.size() >= kMaxIndexes) all.clear();
        FolderIndex fresh;
        if (!readFolder(folder, st, fresh)) {
            all.erase(key);
            // Unreadable or too large to keep: searched whole this once.
            return searchFolder(folder, name);
        }
        found = all.insert_or_assign(key, std::move(fresh)).first;
    }
    const auto match = found->second.names.find(lowerCaseName(name));
    if (match == found->second.names.end()) return std::nullopt;
    return *match->second.begin();
}

FolderEntryChange::FolderEntryChange(const std::string& path) {
    auto [folder, name] = splitEntry(path);
    folder_ = std::move(folder);
    name_ = std::move(name);
    struct stat st;
    if (stat(folderName(folder_), &st) != 0) return;
    std::lock_guard<std::mutex> lock(indexLock);
    const auto found = indexes().find({st.st_dev, st.st_ino});
    inStep_ = found != indexes().end() && matches(found->second, st);
}

void FolderEntryChange::done(bool exists) {
    struct stat st;
    if (stat(folderName(folder_), &st) != 0) return;
    std::lock_guard<std::mutex> lock(indexLock);
    auto& all = indexes();
    const auto found = all.find({st.st_dev, st.st_ino});
    if (found == all.end()) return;
    // An index that was behind before our change stays behind: it is read again.
    if (!inStep_) {
        all.erase(found);
        return;
    }
    FolderIndex& index = found->second;
    const std::string lower = lowerCaseName(name_);
    if (exists) {
        index.names[lower].insert(name_);
    } else if (auto names = index.names.find(lower); names != index.names.end()) {
        names->second.erase(name_);
        if (names->second.empty()) index.names.erase(names);
    }
    index.modified = st.st_mtim;
    index.changed = st.st_ctim;
}

}  // namespace platform
