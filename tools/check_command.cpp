// launcher-admin check: a deployment as a player's launcher sees it, with the launcher's
// own reading of the settings, its downloads and its release checks; nothing installed.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "config/configuration.h"
#include "config/ini_file.h"
#include "config/launch_arguments.h"
#include "config/update_context.h"
#include "platform/file_version.h"
#include "platform/files.h"
#include "platform/strings.h"
#include "tools/admin_commands.h"
#include "tools/settings_rules.h"
#include "transfer/file_download.h"
#include "unzip/zip_reader.h"
#include "update/release_statement.h"

namespace {

constexpr char kDefaultPackage[] = "1.1.1.1.zip";
constexpr char kClientUpdater[] = "ClientUpdate.exe";

void printCheckHelp() {
    std::printf(
        "launcher-admin check SETTINGS [--region CC] [--installed VERSION] [--timeout S]\n"
        "\n"
        "  Checks a deployment the way a player's launcher meets it, with the launcher's\n"
        "  own code, and installs nothing. SETTINGS is a game folder, or its\n"
        "  \"update.inf\" (the plain localization.ini and update.ini beside it count too).\n"
        "\n"
        "  It reads the settings as the launcher does and prints the files and region it\n"
        "  used; --region CC reads update_CC.ini and string_CC.ini instead of the ones\n"
        "  the region gives. Then it fetches \"version.txt\" from the live server\n"
        "  (certificates checked, DownloadPort applied as the launcher applies it), says\n"
        "  which package it names and whether that is the default \"1.1.1.1.zip\" because\n"
        "  UpdateFile is missing (an error page, say), fetches the package into a\n"
        "  temporary folder, checks its release statement, expiry and digest when\n"
        "  PublicKey is set, lists the zip's entries and checks that its\n"
        "  \"ClientUpdate.exe\" has the version the package's name promises. The\n"
        "  settings' values are checked as pack checks them.\n"
        "\n"
        "  --installed VERSION also tells what a player whose ClientUpdate.exe has that\n"
        "  version would meet: an update, a refusal, or nothing to do.\n"
        "  Each download is one attempt with the launcher's bounds (30 s to connect, and\n"
        "  less than 1 KiB a second over 60 s fails it); --timeout S makes both S.\n"
        "\n"
        "  The report goes to standard output and ends with one line per problem; the\n"
        "  launcher's own debugger lines go to standard error. Run it from cron after\n"
        "  each publish and refresh.\n"
        "\n"
        "  Exit status: 0 when all is well, 1 when there are problems, 2 for wrong usage.\n"
        "\n"
        "  Example: launcher-admin check /srv/game --installed 2.0.13.4\n");
}

class Report {
public:
    void say(const std::string& line) { std::printf("%s\n", line.c_str()); }
    void problem(const std::string& line) { problems_.push_back(line); }
    int finish() {
        if (problems_.empty()) {
            std::printf("no problems\n");
            return 0;
        }
        std::printf("%zu problem(s):\n", problems_.size());
        for (const std::string& line : problems_) std::printf("  %s\n", line.c_str());
        return 1;
    }

private:
    std::vector<std::string> problems_;
};

// A private folder for the downloads, removed with everything in it when it goes.
class ScratchFolder {
public:
    ScratchFolder() {
        std::error_code error;
        const auto base = std::filesystem::temp_directory_path(error);
        if (error) return;
        std::random_device random;
        for (int tries = 0; tries < 16 && path_.empty(); ++tries) {
            const auto candidate = base / ("launcher-check-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, error)) path_ = candidate.string();
        }
    }
    ~ScratchFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const {
        return (std::filesystem::path(path_) / name).string();
    }

private:
    std::string path_;
};

struct Fetched {
    std::string problem;  // empty when the server answered 200 with the whole file
    bool body = false;    // the launcher would keep what came (an error page too)
};

// One attempt of the launcher's download into `target`, bounded by `limits`.
Fetched fetch(const TransferLimits& limits, const std::string& url, const std::string& name,
              int port, long long maxFileSize, const std::string& target) {
    CFileDownLoad download(limits);
    setField(download.url, url);
    setField(download.remotePath, name);
    download.port = port;
    download.maxFileSize = maxFileSize;
    platform::File file;
    if (!file.open(target, platform::AccessWrite, platform::Disposition::CreateAlways))
        return {"cannot write " + target, false};
    try {
        download.TransferAttempt(file, 0);
    } catch (const TransferError& error) {
        return {error.what(), false};
    }
    if (download.responseStatus != 200)
        return {"the server answered HTTP " + std::to_string(download.responseStatus), true};
    return {{}, true};
}

std::string versionText(const FileVersion& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
           std::to_string(version[2]) + "." + std::to_string(version[3]);
}

struct Options {
    std::string settings;
    std::string country;
    std::string installed;
    long timeoutSeconds = 0;  // 0: the launcher's own bounds
};

bool parseOptions(const std::vector<std::string>& given, Options& options) {
    for (size_t i = 0; i < given.size(); ++i) {
        const std::string& argument = given[i];
        const bool hasValue = i + 1 < given.size();
        if (argument == "--region" && hasValue && options.country.empty()) {
            options.country = given[++i];
            if (options.country.empty()) return false;
        } else if (argument == "--installed" && hasValue && options.installed.empty()) {
            options.installed = given[++i];
            FileVersion version;
            if (!parseFileVersion(options.installed, version)) return false;
        } else if (argument == "--timeout" && hasValue) {
            const std::string& value = given[++i];
            if (!portProblem(value).empty()) return false;
            options.timeoutSeconds = std::stol(value);
            if (options.timeoutSeconds < 1) return false;
        } else if (argument.starts_with("--") || !options.settings.empty()) {
            return false;
        } else {
            options.settings = argument;
        }
    }
    return !options.settings.empty();
}

// The settings' values the launcher would read without a word.
void checkSettingValues(UpdateContext& context, Report& report, const std::string& file) {
    IniFile& settings = context.updateSettings;
    settings.section = "BOOT";
    for (const char* key : {"VersionURL", "DownloadURL"}) {
        const std::string why = serverUrlProblem(settings.GetValue(key));
        if (!why.empty()) report.problem(file + " [BOOT] " + key + ": " + why);
    }
    const std::string port = settings.GetValue("DownloadPort");
    if (!port.empty() && !portProblem(port).empty())
        report.problem(file + " [BOOT] DownloadPort: " + portProblem(port));
}

int runCheck(const std::vector<std::string>& arguments) {
    Options options;
    if (!parseOptions(arguments, options)) {
        std::fprintf(stderr,
                     "Usage: launcher-admin check SETTINGS [--region CC] [--installed VERSION] "
                     "[--timeout S]\n");
        return 2;
    }
    std::error_code error;
    std::filesystem::path folder = options.settings;
    if (!std::filesystem::is_directory(folder, error)) {
        if (!platform::equalsIgnoreCase(folder.filename().string(), "update.inf")) {
            std::fprintf(stderr,
                         "launcher-admin check: %s is neither a game folder nor an "
                         "\"update.inf\"\n",
                         options.settings.c_str());
            return 2;
        }
        folder = folder.parent_path();
        if (folder.empty()) folder = ".";
    }
    ScratchFolder scratch;
    if (scratch.path().empty()) {
        std::fprintf(stderr, "launcher-admin check: cannot make a temporary folder\n");
        return 1;
    }
    // The launcher reads its settings from the current folder.
    std::filesystem::current_path(folder, error);
    if (error) {
        std::fprintf(stderr, "launcher-admin check: cannot enter %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return 1;
    }

    Report report;
    UpdateContext context;
    ConfigurationSources sources;
    loadConfiguration(context, LaunchArguments{}, &sources, options.country);
    report.say("game folder: " + folder.string());
    if (sources.archive) {
        report.say("settings: update.inf, region " + sources.region +
                   (sources.choice.empty() ? " (nothing chosen)" : " chosen in " + sources.choice) +
                   ", country " + sources.country);
    } else {
        report.say("settings: no readable update.inf; the plain update.ini only");
        if (!options.country.empty())
            report.say("--region " + options.country + ": not used, it chooses within update.inf");
        if (std::filesystem::exists(folder / "update.inf", error))
            report.problem("update.inf: not a zip archive with the launcher's password");
    }
    report.say("server settings: " +
               (sources.updateSettings.empty() ? "none" : sources.updateSettings));
    report.say("messages: " +
               (sources.messages.empty() ? "none, the built-in texts" : sources.messages));
    if (sources.updateSettings.empty()) {
        report.problem(sources.archive ? "update_" + sources.country +
                                             ".ini: not in update.inf, so the launcher has no "
                                             "server address"
                                       : "update.ini: missing, so the launcher has no server "
                                         "address");
        return report.finish();
    }
    const std::string settingsFile =
        sources.archive ? "update_" + sources.country + ".ini" : "update.ini";
    checkSettingValues(context, report, settingsFile);

    TransferLimits limits;
    if (options.timeoutSeconds > 0)
        limits = {options.timeoutSeconds, options.timeoutSeconds, limits.stallBytesPerSecond};
    const std::string port =
        context.downloadPort > 0 ? " (port " + std::to_string(context.downloadPort) + ")" : "";
    report.say("version.txt: " + context.versionUrl + "version.txt" + port);
    const std::string versionFile = scratch.file("version.txt");
    const Fetched fetched = fetch(limits, context.versionUrl, "version.txt", context.downloadPort,
                                  kMaxIniFileBytes, versionFile);
    if (!fetched.problem.empty()) {
        report.problem("version.txt: " + fetched.problem +
                       (fetched.body ? ", which the launcher keeps as version.txt" : ""));
        if (!fetched.body) return report.finish();
    }
    context.versionInfo.Load(versionFile);
    context.versionInfo.section = "Current Version";
    const std::string named = context.versionInfo.GetValue("UpdateFile");
    const std::string package = named.empty() ? kDefaultPackage : named;
    if (named.empty()) {
        report.say("package: " + package + ", the default");
        report.problem(
            "version.txt: no UpdateFile in [Current Version], so the launcher fetches the "
            "default " +
            package);
    } else {
        report.say("package: " + package);
    }
    FileVersion promised{};
    const bool wellNamed = parseFileVersion(package, promised, true);
    if (!wellNamed)
        report.problem(package +
                       ": not named as VERSION.zip, so every start of the launcher downloads it");

    // With a key, the statement must vouch for the release before anything is fetched.
    context.updateSettings.section = "BOOT";
    const std::string publicKey = context.updateSettings.GetValue("PublicKey");
    std::optional<ReleaseStatement> statement;
    std::string refusal;
    if (!publicKey.empty()) {
        ReleaseStatement read;
        const ReleaseVerdict verdict = checkReleaseStatement(
            publicKey, context.versionInfo, currentUtcSeconds(), options.installed, read);
        if (verdict.check == ReleaseCheck::Verified) {
            statement = read;
            report.say("release statement: signed, expires " + formatUtc(read.expires) +
                       (read.downgrade ? ", downgrade allowed" : ""));
        } else {
            refusal = verdict.reason;
            report.problem("version.txt: " + verdict.reason);
        }
    } else {
        report.say("release statement: not checked, no PublicKey in " + settingsFile);
    }

    report.say("package URL: " + context.downloadUrl + package + port);
    const std::string packageFile = scratch.file("package.zip");
    const std::string got =
        fetch(limits, context.downloadUrl, package, context.downloadPort, 0, packageFile).problem;
    if (!got.empty()) {
        report.problem(package + ": " + got);
    } else {
        if (statement) {
            const ReleaseVerdict verdict = checkPackageDigest(*statement, packageFile);
            if (verdict.check != ReleaseCheck::Verified) {
                refusal = verdict.reason;
                report.problem(package + ": " + verdict.reason);
            } else {
                report.say("digest: matches the release statement");
            }
        }
        const ZipReaderHandle reader = openZipReader(packageFile.c_str(), nullptr);
        ZipItem counted;
        if (!reader || GetItem(reader.get(), -1, &counted) != ZIPRES_OK) {
            report.problem(package + ": not a zip archive");
        } else {
            report.say("entries:");
            for (int index = 0; index < counted.index; ++index) {
                ZipItem item;
                if (GetItem(reader.get(), index, &item) == ZIPRES_OK)
                    report.say("  " + std::string(item.name) + " (" +
                               std::to_string(item.uncompressedSize) + " bytes)");
            }
            int index = -1;
            const std::string updater = scratch.file(kClientUpdater);
            std::string version;
            if (FindItem(reader.get(), kClientUpdater, &index, nullptr) != ZIPRES_OK) {
                report.problem(package + ": holds no " + kClientUpdater);
            } else if (UnzipToFile(reader.get(), index, updater.c_str()) != ZIPRES_OK) {
                report.problem(package + ": " + kClientUpdater + " does not unpack");
            } else if (!platform::fileVersionInfo(updater, version) || version.empty()) {
                report.problem(package + ": its " + kClientUpdater + " has no file version");
            } else if (wellNamed && version != versionText(promised)) {
                report.problem(package + ": its " + kClientUpdater + " is version " + version +
                               ", not the " + versionText(promised) + " its name promises");
            } else {
                report.say(std::string(kClientUpdater) + ": version " + version);
            }
        }
    }

    if (!options.installed.empty()) {
        const std::string at = "a player at " + options.installed;
        if (!refusal.empty())
            report.say(at + " would be refused: " + refusal);
        else if (options.installed + ".zip" == package)
            report.say(at + " has nothing to do (with \"vcfile.res\" in the game folder)");
        else if (!got.empty())
            report.say(at + " would try to update to " + package + " and fail to download it");
        else
            report.say(at + " would update to " + package);
    }
    return report.finish();
}

}  // namespace

const AdminCommand checkCommand = {
    "check", "check a deployment from its settings to the package, as a player's launcher sees it",
    runCheck, printCheckHelp};
