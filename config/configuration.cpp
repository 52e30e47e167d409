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

void loadConfiguration(UpdateContext& context, const LaunchArguments& arguments,
                       ConfigurationSources* sources, const std::string& countryOverride) {
    ConfigurationSources unused;
    ConfigurationSources& used = sources ? *sources : unused;
    used = {};
    context.archivePassword = makeArchivePassword();

    IniFile localizationTable;
    IniFile installChoice;
    const bool plainTable = localizationTable.Load("localization.ini");
    installChoice.Load("localization.ini");
    if (plainTable) used.choice = "localization.ini";

    const ZipReaderHandle archive = openZipReader("update.inf", context.archivePassword.get());
    if (!archive) {
        if (context.updateSettings.Load("update.ini")) used.updateSettings = "update.ini";
    } else {
        used.archive = true;
        Unpack choice = unpackInto(archive.get(), "install.ini", installChoice);
        if (choice == Unpack::Done) used.choice = "install.ini in update.inf";
        if (choice == Unpack::Missing) {
            choice = unpackInto(archive.get(), "localization.ini", installChoice);
            if (choice == Unpack::Done) used.choice = "localization.ini in update.inf";
        }
        if (choice == Unpack::Failed) {
            clear(installChoice);
            used.choice.clear();
        }

        if (unpackInto(archive.get(), "localization.ini", localizationTable) == Unpack::Failed)
            clear(localizationTable);

        const std::string region = installChoice.GetString("select", "en");
        localizationTable.section = region;
        std::string country = localizationTable.GetString("country", "en");
        if (!countryOverride.empty()) country = countryOverride;
        used.region = region;
        used.country = country;

        const std::string updateName = "update_" + country + ".ini";
        const Unpack update = unpackInto(archive.get(), updateName, context.updateSettings);
        if (update == Unpack::Done) used.updateSettings = updateName + " in update.inf";
        if (update == Unpack::Failed && context.updateSettings.Load("update.ini"))
            used.updateSettings = "update.ini";
        const std::string messagesName = "string_" + country + ".ini";
        if (unpackInto(archive.get(), messagesName, context.messages) == Unpack::Done)
            used.messages = messagesName + " in update.inf";
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
