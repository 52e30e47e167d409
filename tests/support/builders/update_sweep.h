#pragma once
// What the update-mode fault sweeps (the Linux program, and launcher.exe under Wine)
// share: the game folder before and after the release, and the rules every run must
// keep whatever call failed in it.

#include <map>
#include <string>
#include <vector>

namespace testsupport {

// Name below the game folder -> bytes.
using FolderFiles = std::map<std::string, std::string>;

// The installed updater's files and the release's, around the two "ClientUpdate.exe"
// images given: one file changes, one is new, one entry is large enough (bytes that do
// not compress) for the package to come in many pieces.
FolderFiles sweepInstalledFiles(const std::string& updater);
FolderFiles sweepReleaseFiles(const std::string& updater);

// "KilnDev.ini" of the game folder, which update mode must leave as it is.
extern const char kSweepDevSettings[];

// The messages update mode may show, as "[caption] text" lines (the network message's
// second line begins with a space). The debugger output's lines of the configuration
// ("IniFile : ..."), of the signature check ("version.txt: ...", "update.rar: ...") and
// of the unpacking ("UnzipToFile ...") are no messages and pass.
bool isUpdateModeLine(const std::string& line);
// The lines of `output` that are not (isUpdateModeLine); empty when every line is.
std::vector<std::string> notUpdateModeLines(const std::string& output);

// What breaks the rules in the game folder `folder` after a run that may have failed
// anywhere: a file neither old nor new, the updater new before the other entries, a
// changed "KilnDev.ini", a temporary file of ours, an "update.rar" that is no prefix of
// `package` or lacks the record naming `packageName`. Empty when all holds.
std::vector<std::string> updateFolderProblems(const std::string& folder, const FolderFiles& before,
                                              const FolderFiles& after, const std::string& package,
                                              const std::string& packageName);

// What is not the new release after a run without failures; empty when all is.
std::vector<std::string> notUpdated(const std::string& folder, const FolderFiles& after);

}  // namespace testsupport
