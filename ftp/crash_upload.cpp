#include "ftp/crash_upload.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <utility>

#include "config/dev_settings.h"
#include "config/ini_file.h"
#include "ftp/file_upload.h"
#include "platform/errors.h"
#include "platform/file_checks.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace {

// False when "KilnDev.ini" exists but could not be read: rewriting it from the
// (empty) loaded document would lose the developer's other settings.
bool devSettingsSavable = true;

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

void markNeedCheck() {
    if (!devSettingsSavable) return;
    devSettings.SetValue("NeedCheck", std::to_string(1));
    devSettings.SaveDevSettings();
}

}  // namespace

bool isCrashArchiveName(const std::string& lowerName) {
    if (lowerName.rfind("ra", 0) != 0) return false;
    // "zip" where a character begins: the second byte of a double-byte character that
    // happens to be 'z' is no letter.
    for (size_t i = 2; i < lowerName.size(); i += platform::characterLength(lowerName, i))
        if (lowerName.compare(i, 3, "zip") == 0) return true;
    return false;
}

bool isDeletableCrashFolder(const std::string& folder) {
    if (folder.empty()) return false;
    // A link given as "link/" is still tested as the link itself.
    if (platform::isSymbolicLink(folder)) return false;
    const std::string real = platform::canonicalPath(folder);
    // A folder that does not exist deletes nothing.
    if (real.empty()) return platform::getAttributes(folder) == std::nullopt;
    if (platform::isFileSystemRoot(real)) return false;
    for (const std::string& protectedFolder :
         {platform::canonicalPath(platform::currentDirectory()),
          platform::canonicalPath(platform::parentFolder(platform::executablePath()))}) {
        if (!protectedFolder.empty() && platform::isSameOrBelow(protectedFolder, real))
            return false;
    }
    return true;
}

namespace {

// One folder of a walk. The walks below work relative to open folders, so a step costs
// the same at any depth and reaches entries deeper than the path limit; they keep their
// folders on the heap instead of in nested calls, so a tree of any depth fits (each
// level holds one open folder).
struct WalkLevel {
    platform::Folder folder;
    platform::FolderSearch search;
    std::string name;       // in the folder above; the first level's is its path
    bool started = false;   // the search was asked for its first entry
    bool searched = false;  // and it started
    size_t pathLength = 0;  // of the walk's path up to this folder
    bool subfolderLeft = false;
    std::unique_ptr<CFileUpload> upload;  // made at the folder's first archive

    bool open(const WalkLevel* above) {
        return above ? folder.open(above->folder, name) : folder.open(name);
    }
    // The folder's next entry, its first at the first call; false at the end of the
    // search, or when the search cannot start (then `searched` stays false).
    bool next(platform::FindEntry& entry) {
        if (started) return search.next(entry);
        started = true;
        searched = folder.isOpen() && search.first(folder, entry);
        return searched;
    }
};

using Walk = std::vector<std::unique_ptr<WalkLevel>>;

WalkLevel& enter(Walk& walk, const std::string& name, size_t pathLength) {
    auto level = std::make_unique<WalkLevel>();
    level->name = name;
    level->pathLength = pathLength;
    level->open(walk.empty() ? nullptr : walk.back().get());
    walk.push_back(std::move(level));
    return *walk.back();
}

}  // namespace

void uploadCrashFolder(const std::string& folder, const CrashSettings& settings) {
    // The path names files to the client's observers: one string for the whole walk,
    // each level adding its name and taking it off again.
    std::string path = folder;
    // The remote names this run has used: all land in the server's root.
    std::set<std::string> remoteNames;
    const auto runDeadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(settings.runSeconds);
    Walk walk;
    enter(walk, folder, path.size());
    platform::FindEntry entry;
    while (!walk.empty()) {
        WalkLevel& level = *walk.back();
        path.resize(level.pathLength);
        if (!level.next(entry)) {
            // Its archives are deleted with the folder all the same: say that they were
            // never seen.
            if (!level.searched || platform::lastError() != platform::winerr::NO_MORE_FILES)
                platform::debugOutput("CFileUpload : " + path + " not searched");
            // Also for a folder that could not be searched.
            markNeedCheck();
            walk.pop_back();
            continue;
        }
        if (entry.name.empty() || entry.name[0] == '.') continue;
        path = platform::joinPath(path, entry.name);
        if (entry.attributes & platform::FILE_ATTR_DIRECTORY) {
            enter(walk, entry.name, path.size());
            continue;
        }
        // The file is read under its own name and stored under the lower-case one; only
        // single-byte letters change, so a double-byte character stays the same.
        const std::string lowerName = platform::lowerCaseName(entry.name);
        // A link could point at any file the user can read, a FIFO would block the
        // upload; a name with a line break would inject FTP commands. The file is opened
        // relative to its folder, so nothing swapped in meanwhile is read either.
        if (!isCrashArchiveName(lowerName) || !entry.isRegularFile || hasLineBreak(entry.name))
            continue;
        const auto now = std::chrono::steady_clock::now();
        if (now >= runDeadline) {
            platform::debugOutput("CFileUpload : " + path + " not uploaded");
            continue;
        }
        const auto fileDeadline =
            now + std::chrono::seconds(kCrashFileTimeouts * settings.timeoutSeconds +
                                       entry.size / kCrashUploadFloorBytesPerSecond);
        if (!level.upload) {
            level.upload = std::make_unique<CFileUpload>();
            level.upload->SetServer(settings.host);
            level.upload->SetCredentials(settings.credentials);
            level.upload->Client().SetTimeout(settings.timeoutSeconds);
        }
        level.upload->Client().SetDeadline(std::min(fileDeadline, runDeadline));
        level.upload->SetFile(level.folder, entry.name, path, lowerName);
        if (remoteNames.count(lowerName))
            level.upload->SetNameTaken(
                [&remoteNames](const std::string& name) { return remoteNames.count(name) > 0; });
        level.upload->Upload();
        remoteNames.insert(level.upload->RemoteName());
    }
}

uint32_t deleteFolderTree(const std::string& folder, bool recurse) {
    Walk walk;
    // Only a real folder is walked: opening one never follows a link. Without its write
    // bit a folder's entries cannot be deleted.
    auto descend = [&walk](const std::string& name) {
        WalkLevel& level = enter(walk, name, 0);
        level.folder.setOwnAttributes(platform::FILE_ATTR_NORMAL);
    };
    descend(folder);
    platform::FindEntry entry;
    while (!walk.empty()) {
        WalkLevel& level = *walk.back();
        if (level.next(entry)) {
            if (entry.name.empty() || entry.name[0] == '.') continue;
            if (entry.attributes & platform::FILE_ATTR_DIRECTORY) {
                if (recurse)
                    descend(entry.name);
                else
                    level.subfolderLeft = true;
                continue;
            }
            // A link is removed as a link; following it could delete outside the tree.
            if ((!entry.isLink &&
                 !level.folder.setAttributes(entry.name, platform::FILE_ATTR_NORMAL)) ||
                !level.folder.deleteFile(entry.name))
                return platform::lastError();
            continue;
        }
        // The folder is done. One that could not be searched, or that keeps a
        // subfolder, is left and counts as deleted; any failure ends the whole
        // deletion with its error, as it ends every folder above.
        if (!level.searched) {
            walk.pop_back();
            continue;
        }
        const uint32_t error = platform::lastError();
        level.search.close();
        if (error != platform::winerr::NO_MORE_FILES) return error;
        if (!level.subfolderLeft) {
            if (!level.folder.setOwnAttributes(platform::FILE_ATTR_NORMAL))
                return platform::lastError();
            level.folder.close();
            const WalkLevel* above = walk.size() > 1 ? walk[walk.size() - 2].get() : nullptr;
            if (!(above ? above->folder.removeDirectory(level.name)
                        : platform::removeDirectory(level.name)))
                return platform::lastError();
        }
        walk.pop_back();
    }
    return 0;
}

void runCrashUpload(const std::vector<std::string>& tokens, CrashSettings bounds) {
    // Without a folder, or with a text that would break the control connection or be
    // cut into another password, crash mode does nothing at all.
    if (tokens.size() < 5) return;
    const std::string& host = tokens[2];
    const std::string& credentials = tokens[3];
    const std::string& folder = tokens[4];
    if (hasLineBreak(host) || hasLineBreak(credentials) ||
        credentials.size() > CFileUpload::kMaxCredentials)
        return;
    // Deleting the root, the game's folder or a folder above it would delete the game.
    if (!isDeletableCrashFolder(folder)) return;

    CrashSettings settings = std::move(bounds);
    settings.host = host;
    settings.credentials = credentials;
    devSettingsSavable = true;
    // Read again into the settings that will be saved: a reading that failed at the start
    // (a sharing violation, an I/O error) would otherwise save an empty document over
    // the developer's other settings.
    if (platform::pathExists(kDevSettingsFile))
        devSettingsSavable = devSettings.Load(kDevSettingsFile);
    uploadCrashFolder(folder, settings);
    deleteFolderTree(folder, true);
}
