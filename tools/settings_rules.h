#pragma once
// What the operator's tool refuses in the launcher's settings files before they ship.
// The launcher itself reads them leniently (a bad value falls back to a default), so a
// mistake would otherwise surface only on the players' computers.

#include <string>
#include <string_view>
#include <vector>

struct SettingsFile {
    std::string name;  // as in the folder, matched regardless of case
    std::string contents;
};

struct SettingsProblem {
    bool warning = false;  // reported, but the files are still packed
    std::string file;
    std::string section;  // empty when the problem is the file's
    std::string key;      // empty when the problem is the section's or the file's
    std::string reason;
};

// "update_en.ini [BOOT] DownloadPort: reason", leaving out what is empty.
std::string describeProblem(const SettingsProblem& problem);

// Every problem of the set of files that goes into "update.inf", in the files' order.
std::vector<SettingsProblem> checkSettingsFiles(const std::vector<SettingsFile>& files);

// An http or https URL with a host, no blanks or control characters, no longer than the
// launcher holds (1022 characters); an empty `why` when it is one.
std::string serverUrlProblem(std::string_view url);
// A whole decimal number from 0 to 65535; an empty `why` when it is one.
std::string portProblem(std::string_view text);
