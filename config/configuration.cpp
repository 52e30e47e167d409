#include "config/configuration.h"

#include <string>
#include <vector>

#include "config/archive_password.h"
#include "config/ini_file.h"
#include "platform/strings.h"
#include "unzip/zip_reader.h"

namespace {

enum class Unpack { Missing, Failed, Done };

// Looks `name` up in the archive and, when it is there, parses it into `target`.
Unpack unpackInto(CZipReader* archive, const std::string& name, IniFile& target) {
    int index = -1;
    ZipItem item;
    if (FindItem(archive, name.c_str(), &index, &item) != ZIPRES_OK) return Unpack::Missing;
    if (item.uncompressedSize < 0 || size_t(item.uncompressedSize) > kMaxIniFileBytes)
        return Unpack::Failed;
    std::vector<char> buffer(static_cast<size_t>(item.uncompressedSize));
    if (UnzipToMemory(archive, index, buffer.data(), buffer.size()) != ZIPRES_OK)
        return Unpack::Failed;
    target.LoadFromMemory(buffer.data(), buffer.size());
    return Unpack::Done;
}

void clear(IniFile& document) { document.LoadFromMemory("", 0); }

std::string withFinalSlash(std::string url) {
    if (url.empty() || url.back() != '/') url += '/';
    return url;
}

}  // namespace

void loadConfiguration(UpdateContext& context, const LaunchArguments& arguments) {
    context.archivePassword = makeArchivePassword();

    IniFile localizationTable;
    IniFile installChoice;
    localizationTable.Load("localization.ini");
    installChoice.Load("localization.ini");

    const ZipReaderHandle archive = openZipReader("update.inf", context.archivePassword.get());
    if (!archive) {
        context.updateSettings.Load("update.ini");
    } else {
        Unpack choice = unpackInto(archive.get(), "install.ini", installChoice);
        if (choice == Unpack::Missing)
            choice = unpackInto(archive.get(), "localization.ini", installChoice);
        if (choice == Unpack::Failed) clear(installChoice);

        if (unpackInto(archive.get(), "localization.ini", localizationTable) == Unpack::Failed)
            clear(localizationTable);

        const std::string region = installChoice.GetString("select", "en");
        localizationTable.section = region;
        const std::string country = localizationTable.GetString("country", "en");

        if (unpackInto(archive.get(), "update_" + country + ".ini", context.updateSettings) ==
            Unpack::Failed)
            context.updateSettings.Load("update.ini");
        unpackInto(archive.get(), "string_" + country + ".ini", context.messages);
    }
    context.archivePassword.reset();

    context.versionUrl = withFinalSlash(context.updateSettings.GetValue("VersionURL"));
    context.downloadUrl = withFinalSlash(context.updateSettings.GetValue("DownloadURL"));
    if (!arguments.patchIp.empty()) {
        context.versionUrl = arguments.patchIp;
        context.downloadUrl = arguments.patchIp;
    }
    context.downloadPort = context.updateSettings.GetInt("DownloadPort");
    if (!arguments.patchPort.empty())
        context.downloadPort = platform::atoiValue(arguments.patchPort);
}
