#include "ftp/crash_upload.h"

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

void uploadCrashFolder(const std::string& folder) {
    CFileUpload upload;
    upload.SetServer(crashServerHost);
    upload.SetCredentials(crashCredentials);

    platform::FolderSearch search;
    platform::FindEntry entry;
    if (search.first(folder, entry)) {
        do {
            if (entry.name.empty() || entry.name[0] == '.') continue;
            const std::string path = platform::joinPath(folder, entry.name);
            if (entry.attributes & platform::FILE_ATTR_DIRECTORY) {
                uploadCrashFolder(path);
                continue;
            }
            const std::string lowerName = platform::asciiLower(entry.name);
            if (!isCrashArchiveName(lowerName)) continue;
            // A link could point at any file the user can read, a FIFO would block the
            // upload; a name with a line break would inject FTP commands.
            if (entry.isLink || !platform::isRegularFile(path) || hasLineBreak(entry.name))
                continue;
            upload.SetFile(path, lowerName);
            upload.Upload();
        } while (search.next(entry));
        search.close();
    }
    markNeedCheck();
}

uint32_t deleteFolderTree(const std::string& folder, bool recurse) {
    // Only a real folder is walked: a link given here is never followed.
    auto attributes = platform::getAttributes(folder);
    if (!attributes || !(*attributes & platform::FILE_ATTR_DIRECTORY)) return 0;
    // Without its write bit a folder's entries cannot be deleted.
    platform::setAttributes(folder, platform::FILE_ATTR_NORMAL);

    platform::FolderSearch search;
    platform::FindEntry entry;
    if (!search.first(folder, entry)) return 0;
    bool subfolderLeft = false;
    do {
        if (entry.name.empty() || entry.name[0] == '.') continue;
        const std::string path = platform::joinPath(folder, entry.name);
        if (entry.attributes & platform::FILE_ATTR_DIRECTORY) {
            if (!recurse) {
                subfolderLeft = true;
                continue;
            }
            uint32_t result = deleteFolderTree(path, true);
            if (result != 0) {
                search.close();
                return result;
            }
            continue;
        }
        // A link is removed as a link; following it could delete outside the crash folder.
        if ((!entry.isLink && !platform::setAttributes(path, platform::FILE_ATTR_NORMAL)) ||
            !platform::deleteFile(path)) {
            uint32_t error = platform::lastError();
            search.close();
            return error;
        }
    } while (search.next(entry));
    uint32_t error = platform::lastError();
    search.close();
    if (error != platform::winerr::NO_MORE_FILES) return error;
    if (subfolderLeft) return 0;
    if (!platform::setAttributes(folder, platform::FILE_ATTR_NORMAL) ||
        !platform::removeDirectory(folder))
        return platform::lastError();
    return 0;
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
