#include "update/version_check.h"

#include "config/ini_file.h"
#include "config/update_context.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "transfer/file_download.h"

int checkVersion(UpdateContext& context) {
    context.updateSettings.section = "BOOT";
    const std::string folder = context.updateSettings.GetValue("ZipPath");

    // Without a ZipPath the copy lives in the current folder, never at the root of the
    // file system, where an unrelated "version.txt" would be destroyed.
    std::string prefix;
    std::string oldCopy = "version.txt";
    if (!folder.empty()) {
        platform::createDirectory(folder);
        prefix = platform::joinPath(folder, "");
        oldCopy = platform::joinPath(folder, "version.txt");
    }
    // Always fetched whole, never continued from an earlier copy.
    platform::deleteFile(oldCopy);

    setField(fileDownLoad.localName, "version.txt");
    setField(fileDownLoad.remotePath, "version.txt");
    setField(fileDownLoad.localDir, prefix);
    setField(fileDownLoad.url, context.versionUrl);
    fileDownLoad.port = context.downloadPort;
    // A server's endless answer fails the fetch instead of filling the disk.
    fileDownLoad.maxFileSize = kMaxDownloadedIniBytes;
    fileDownLoad.maxSeconds = kVersionFetchSeconds;
    fileDownLoad.resumeValidator.clear();
    fileDownLoad.onResponse = nullptr;

    int result = fileDownLoad.Download();
    if (result == 1) context.versionInfo.Load(prefix + "version.txt");
    context.handOver = result;
    return result;
}
