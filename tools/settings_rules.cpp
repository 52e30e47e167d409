#include "tools/settings_rules.h"

#include <cstdint>

#include "config/catalogue.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "update/release_statement.h"

namespace {

// One "key=value" line, with the section it stands in, as the INI reader parses it.
struct IniEntry {
    std::string section;  // empty before the first section header
    std::string key;
    std::string value;
};

struct IniOutline {
    std::vector<std::string> sections;
    std::vector<IniEntry> entries;

    bool hasSection(std::string_view name) const {
        for (const std::string& section : sections)
            if (platform::equalsIgnoreCase(section, name)) return true;
        return false;
    }
};

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// Unlike the launcher's reader this keeps every entry, so a key given twice or one in
// the wrong section can be named.
IniOutline outline(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    IniOutline result;
    std::string section;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            section =
                std::string(trimmed(line.substr(1, close == line.npos ? line.npos : close - 1)));
            result.sections.push_back(section);
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        result.entries.push_back({section, std::string(trimmed(line.substr(0, equals))),
                                  std::string(trimmed(line.substr(equals + 1)))});
    }
    return result;
}

bool isBoot(std::string_view section) { return platform::equalsIgnoreCase(section, "BOOT"); }

const IniEntry* findEntry(const IniOutline& ini, std::string_view section, std::string_view key) {
    for (const IniEntry& entry : ini.entries)
        if (platform::equalsIgnoreCase(entry.section, section) &&
            platform::equalsIgnoreCase(entry.key, key))
            return &entry;
    return nullptr;
}

class Checker {
public:
    explicit Checker(std::vector<SettingsProblem>& problems) : problems_(problems) {}

    void error(const std::string& file, const std::string& section, const std::string& key,
               const std::string& reason) {
        problems_.push_back({false, file, section, key, reason});
    }
    void warn(const std::string& file, const std::string& section, const std::string& key,
              const std::string& reason) {
        problems_.push_back({true, file, section, key, reason});
    }

    void updateSettings(const std::string& file, const IniOutline& ini) {
        int publicKeys = 0;
        for (const IniEntry& entry : ini.entries) {
            const std::string section = "[" + entry.section + "]";
            const bool boot = isBoot(entry.section);
            if (platform::equalsIgnoreCase(entry.key, "PublicKey")) {
                if (!boot) {
                    error(file, section, entry.key,
                          "outside [BOOT], where the launcher never reads it, so releases "
                          "would go unchecked");
                    continue;
                }
                if (++publicKeys == 2)
                    error(file, section, entry.key,
                          "given twice; the launcher would use only one of them");
                std::vector<PublicKey> keys;
                if (entry.value.empty())
                    error(file, section, entry.key,
                          "empty, which the launcher reads as no key: releases would go "
                          "unchecked");
                else if (!parsePublicKeys(entry.value, keys))
                    error(file, section, entry.key,
                          "not one key, or two separated by a comma, of 32 bytes in base64 "
                          "(as keygen prints them)");
                continue;
            }
            if (!boot) continue;
            std::string why;
            if (platform::equalsIgnoreCase(entry.key, "VersionURL") ||
                platform::equalsIgnoreCase(entry.key, "DownloadURL"))
                why = serverUrlProblem(entry.value);
            else if (platform::equalsIgnoreCase(entry.key, "DownloadPort"))
                why = portProblem(entry.value);
            if (!why.empty()) error(file, section, entry.key, why);
        }
        if (!ini.hasSection("BOOT")) return;
        for (const char* key : {"VersionURL", "DownloadURL"})
            if (!findEntry(ini, "BOOT", key))
                warn(file, "[BOOT]", key,
                     "missing; the launcher has no server address unless started with "
                     "PatchIP:");
    }

    void messages(const std::string& file, const IniOutline& ini) {
        for (const IniEntry& entry : ini.entries)
            if (isBoot(entry.section) && !isCatalogueKey(entry.key))
                warn(file, "[" + entry.section + "]", entry.key,
                     "not a message the launcher shows (a typo?)");
    }

private:
    std::vector<SettingsProblem>& problems_;
};

const SettingsFile* findFile(const std::vector<SettingsFile>& files, std::string_view name) {
    for (const SettingsFile& file : files)
        if (platform::equalsIgnoreCase(file.name, name)) return &file;
    return nullptr;
}

}  // namespace

std::string describeProblem(const SettingsProblem& problem) {
    std::string text = problem.file;
    if (!problem.section.empty()) text += " " + problem.section;
    if (!problem.key.empty()) text += " " + problem.key;
    return text + ": " + problem.reason;
}

std::string serverUrlProblem(std::string_view url) {
    for (char c : url)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
            return "holds a blank or a control character";
    // The launcher holds 1023 characters, one of them the final slash it may add.
    if (url.size() > 1022) return "longer than 1022 characters";
    std::string_view rest = url;
    const std::string lower = platform::asciiLower(url.substr(0, 8));
    if (lower.starts_with("http://"))
        rest.remove_prefix(7);
    else if (lower.starts_with("https://"))
        rest.remove_prefix(8);
    else
        return "not an http:// or https:// URL";
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with("[")) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return "an unclosed [ in the host";
        host = authority.substr(1, close - 1);
        port = authority.substr(close + 1);
        if (!port.empty() && port.front() != ':') return "text after the host's ]";
    } else {
        const size_t colon = authority.find(':');
        if (colon != std::string_view::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon);
        }
    }
    if (host.empty()) return "no host";
    if (!port.empty()) {
        port.remove_prefix(1);
        if (!portProblem(port).empty() || port == "0") return "the port is not 1 to 65535";
    }
    return {};
}

std::string portProblem(std::string_view text) {
    if (text.empty() || text.size() > 5) return "not a number from 0 to 65535";
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return "not a number from 0 to 65535";
        value = value * 10 + uint32_t(c - '0');
    }
    if (value > 65535) return "not a number from 0 to 65535";
    return {};
}

std::vector<SettingsProblem> checkSettingsFiles(const std::vector<SettingsFile>& files) {
    std::vector<SettingsProblem> problems;
    Checker checker(problems);
    for (const SettingsFile& file : files) {
        const std::string lower = platform::lowerCaseName(file.name);
        const bool update = lower.starts_with("update_");
        const bool strings = lower.starts_with("string_");
        if (!update && !strings) continue;
        const IniOutline ini = outline(file.contents);
        if (!ini.hasSection("BOOT")) {
            checker.error(file.name, "[BOOT]", "",
                          "missing; the launcher reads nothing of this file");
            continue;
        }
        if (update)
            checker.updateSettings(file.name, ini);
        else
            checker.messages(file.name, ini);
    }

    // The region: "select" of install.ini, else of localization.ini's [BOOT].
    const SettingsFile* install = findFile(files, "install.ini");
    const SettingsFile* localization = findFile(files, "localization.ini");
    const SettingsFile* chooser = install ? install : localization;
    if (!chooser) return problems;
    const IniOutline choice = outline(chooser->contents);
    const IniEntry* select = findEntry(choice, "BOOT", "select");
    if (!select || select->value.empty()) return problems;
    if (!localization) {
        checker.warn(chooser->name, "[BOOT]", select->key,
                     "localization.ini is not packed: the game folder's own localization.ini "
                     "must have a section [" +
                         select->value + "]");
        return problems;
    }
    const IniOutline table = outline(localization->contents);
    if (!table.hasSection(select->value)) {
        checker.error(chooser->name, "[BOOT]", select->key,
                      "region " + select->value + " is not a section of " + localization->name +
                          ", so the launcher would use the \"en\" settings");
        return problems;
    }
    const IniEntry* country = findEntry(table, select->value, "country");
    const std::string code = country && !country->value.empty() ? country->value : "en";
    if (!findFile(files, "update_" + code + ".ini"))
        checker.warn(
            chooser->name, "[BOOT]", select->key,
            "region " + select->value + " reads update_" + code + ".ini, which is not packed");
    return problems;
}
