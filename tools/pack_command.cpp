#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "config/archive_password.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tools/admin_commands.h"
#include "tools/zip_writer.h"
#include "unzip/zip_reader.h"

namespace {

// The launcher ignores settings entries above this size.
constexpr uintmax_t kMaxSettingsFile = 1024 * 1024;

struct SettingsFile {
    std::string name;
    std::string contents;
};

void printPackHelp() {
    std::printf(
        "launcher-admin pack FOLDER [OUTPUT]\n"
        "\n"
        "  Builds the launcher's settings archive OUTPUT (default: \"update.inf\" in the\n"
        "  current folder) from every *.ini file directly in FOLDER; sub-folders are not\n"
        "  searched. Each file becomes one entry under its own name, deflated and\n"
        "  encrypted with the launcher's password (traditional PKWARE encryption, which\n"
        "  every common zip tool reads). Put the result in the game folder beside the\n"
        "  launcher.\n"
        "\n"
        "  The entries the launcher reads (names match regardless of case; keys are in\n"
        "  section [BOOT] unless said otherwise):\n"
        "    install.ini        select = REGION, the section of localization.ini to use\n"
        "    localization.ini   one section per region, [REGION] country = CC; replaces\n"
        "                       the plain localization.ini beside the launcher\n"
        "    update_CC.ini      VersionURL, DownloadURL, DownloadPort, ZipPath, and\n"
        "                       PublicKey for signed releases (see keygen)\n"
        "    string_CC.ini      MSG_UAC_TITLE, MSG_UAC_CANTWRITE, MSG_NET_ERROR,\n"
        "                       MSG_VERIFY_FAIL (UTF-8)\n"
        "  CC is the country code of the chosen region, \"en\" when none is chosen.\n"
        "  Other *.ini files are packed too, with a note that the launcher ignores them.\n"
        "\n"
        "  Files above 1 MiB are refused, since the launcher would ignore them. The new\n"
        "  archive is read back and compared with the files before it replaces OUTPUT,\n"
        "  so a failed run leaves an existing OUTPUT as it was.\n"
        "\n"
        "  Exit status: 0 when OUTPUT was written, 1 when it was not, 2 for wrong usage.\n"
        "\n"
        "  Example: launcher-admin pack settings/ /srv/game/update.inf\n");
}

bool isSettingsName(const std::string& lower) {
    return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".ini") == 0;
}

bool isReadByLauncher(const std::string& lower) {
    return lower == "install.ini" || lower == "localization.ini" ||
           lower.rfind("update_", 0) == 0 || lower.rfind("string_", 0) == 0;
}

bool collect(const std::filesystem::path& folder, std::vector<SettingsFile>& files) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error) {
        std::fprintf(stderr, "launcher-admin pack: cannot read %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return false;
    }
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file(error) || !isSettingsName(platform::lowerCaseName(name)))
            continue;
        if (entry.file_size(error) > kMaxSettingsFile) {
            std::fprintf(stderr, "launcher-admin pack: %s is larger than 1 MiB\n", name.c_str());
            return false;
        }
        std::string contents;
        if (!platform::readWholeFile(entry.path().string(), contents)) {
            std::fprintf(stderr, "launcher-admin pack: cannot read %s\n", name.c_str());
            return false;
        }
        files.push_back({name, std::move(contents)});
    }
    std::sort(files.begin(), files.end(),
              [](const SettingsFile& a, const SettingsFile& b) { return a.name < b.name; });
    return true;
}

// Reads the archive back the way the launcher does.
bool verify(const std::string& output, const char* password,
            const std::vector<SettingsFile>& files) {
    const ZipReaderHandle reader = openZipReader(output.c_str(), password);
    if (!reader) return false;
    bool same = true;
    for (const SettingsFile& file : files) {
        int index = -1;
        ZipItem item;
        std::vector<char> buffer(file.contents.size());
        same = FindItem(reader.get(), file.name.c_str(), &index, &item) == ZIPRES_OK &&
               item.uncompressedSize == int32_t(file.contents.size()) &&
               UnzipToMemory(reader.get(), index, buffer.data(), buffer.size()) == ZIPRES_OK &&
               std::equal(buffer.begin(), buffer.end(), file.contents.begin());
        if (!same) break;
    }
    return same;
}

int runPack(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.size() > 2) {
        std::fprintf(stderr, "Usage: launcher-admin pack FOLDER [OUTPUT]\n");
        return 2;
    }
    const std::string output = arguments.size() == 2 ? arguments[1] : "update.inf";
    std::vector<SettingsFile> files;
    if (!collect(arguments[0], files)) return 1;
    if (files.empty()) {
        std::fprintf(stderr, "launcher-admin pack: no *.ini file in %s\n", arguments[0].c_str());
        return 1;
    }

    const auto password = makeArchivePassword();
    // Built beside the target and moved over it only once it reads back, so a failed
    // run never destroys the "update.inf" that is already there.
    const std::string building = output + ".new";
    ZipWriter writer;
    bool written = writer.create(building);
    bool hasUpdateSettings = false;
    for (const SettingsFile& file : files) {
        if (!written) break;
        const std::string lower = platform::lowerCaseName(file.name);
        if (!isReadByLauncher(lower))
            std::fprintf(stderr, "launcher-admin pack: note: the launcher does not read %s\n",
                         file.name.c_str());
        hasUpdateSettings = hasUpdateSettings || lower.rfind("update_", 0) == 0;
        ZipWriter::Entry entry;
        entry.name = file.name;
        entry.password = password.get();
        written = writer.add(entry, file.contents.data(), file.contents.size());
    }
    written = writer.close() && written;
    std::error_code error;
    const bool sound = written && verify(building, password.get(), files);
    if (sound) std::filesystem::rename(building, output, error);
    if (!sound || error) {
        std::string reason = writer.error();
        if (reason.empty())
            reason = error ? "cannot replace " + output + ": " + error.message()
                           : "cannot read back " + building;
        std::fprintf(stderr, "launcher-admin pack: %s\n", reason.c_str());
        std::filesystem::remove(building, error);
        return 1;
    }
    if (!hasUpdateSettings)
        std::fprintf(stderr,
                     "launcher-admin pack: note: no update_CC.ini; the launcher will have no "
                     "server address unless it is started with PatchIP:\n");
    for (const SettingsFile& file : files) std::printf("  %s\n", file.name.c_str());
    std::printf("packed %zu file(s) into %s\n", files.size(), output.c_str());
    return 0;
}

}  // namespace

const AdminCommand packCommand = {"pack", "build \"update.inf\" from a folder of INI files",
                                  runPack, printPackHelp};
