#include "ftp/crash_upload.h"

#include <memory>

#include "config/dev_settings.h"
#include "config/ini_file.h"
#include "ftp/file_upload.h"
#include "platform/errors.h"
#include "platform/file_checks.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/strings.h"

std::string crashServerHost;
std::string crashCredentials;

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
    return lowerName.rfind("ra", 0) == 0 && lowerName.find("zip") != std::string::npos;
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

// The walk of uploadCrashFolder over the folder `name` of `parent`, or over the folder at
// the path `name` when there is no parent. Every step is relative to an open folder, so
// it costs the same at any depth and reaches files deeper than the path limit. `path`
// is the folder's path, which names files to the client's observers: one string for
// the whole walk, each level adding its name and taking it off again.
void uploadFolder(const platform::Folder* parent, const std::string& name, std::string& path) {
    platform::Folder folder;
    const bool opened = parent ? folder.open(*parent, name) : folder.open(name);
    // Made at the folder's first archive, so that a deep tree holds no idle clients.
    std::unique_ptr<CFileUpload> upload;

    platform::FolderSearch search;
    platform::FindEntry entry;
    if (opened && search.first(folder, entry)) {
        do {
            if (entry.name.empty() || entry.name[0] == '.') continue;
            const size_t folderPathLength = path.size();
            path = platform::joinPath(path, entry.name);
            if (entry.attributes & platform::FILE_ATTR_DIRECTORY) {
                uploadFolder(&folder, entry.name, path);
            } else {
                const std::string lowerName = platform::asciiLower(entry.name);
                // A link could point at any file the user can read, a FIFO would block the
                // upload; a name with a line break would inject FTP commands. The file is
                // opened relative to the folder, so nothing swapped in meanwhile is read
                // either.
                if (isCrashArchiveName(lowerName) && entry.isRegularFile &&
                    !hasLineBreak(entry.name)) {
                    if (!upload) {
                        upload = std::make_unique<CFileUpload>();
                        upload->SetServer(crashServerHost);
                        upload->SetCredentials(crashCredentials);
                    }
                    upload->SetFile(folder, entry.name, path, lowerName);
                    upload->Upload();
                }
            }
            path.resize(folderPathLength);
        } while (search.next(entry));
        search.close();
    }
    markNeedCheck();
}

// deleteFolderTree of the folder `name` of `parent`, or of the folder at the path `name`
// when there is no parent, relative to open folders as the walk above.
uint32_t deleteFolder(const platform::Folder* parent, const std::string& name, bool recurse) {
    // Only a real folder is walked: opening one never follows a link.
    platform::Folder folder;
    if (!(parent ? folder.open(*parent, name) : folder.open(name))) return 0;
    // Without its write bit a folder's entries cannot be deleted.
    folder.setOwnAttributes(platform::FILE_ATTR_NORMAL);

    platform::FolderSearch search;
    platform::FindEntry entry;
    if (!search.first(folder, entry)) return 0;
    bool subfolderLeft = false;
    do {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        if (entry.attributes & platform::FILE_ATTR_DIRECTORY) {
            if (!recurse) {
                subfolderLeft = true;
                continue;
            }
            const uint32_t result = deleteFolder(&folder, entry.name, true);
            if (result != 0) return result;
            continue;
        }
        // A link is removed as a link; following it could delete outside the crash folder.
        if ((!entry.isLink && !folder.setAttributes(entry.name, platform::FILE_ATTR_NORMAL)) ||
            !folder.deleteFile(entry.name))
            return platform::lastError();
    } while (search.next(entry));
    const uint32_t error = platform::lastError();
    search.close();
    if (error != platform::winerr::NO_MORE_FILES) return error;
    if (subfolderLeft) return 0;
    if (!folder.setOwnAttributes(platform::FILE_ATTR_NORMAL)) return platform::lastError();
    folder.close();
    if (!(parent ? parent->removeDirectory(name) : platform::removeDirectory(name)))
        return platform::lastError();
    return 0;
}

}  // namespace

void uploadCrashFolder(const std::string& folder) {
    std::string path = folder;
    uploadFolder(nullptr, folder, path);
}

uint32_t deleteFolderTree(const std::string& folder, bool recurse) {
    return deleteFolder(nullptr, folder, recurse);
}

void runCrashUpload(const std::vector<std::string>& tokens) {
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

    crashServerHost = host;
    crashCredentials = credentials;
    devSettingsSavable = true;
    if (platform::pathExists(kDevSettingsFile)) {
        IniFile probe;
        devSettingsSavable = probe.Load(kDevSettingsFile);
    }
    uploadCrashFolder(folder);
    deleteFolderTree(folder, true);
}
