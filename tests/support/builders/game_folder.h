#pragma once
// A game folder for the end-to-end tests: the built launcher copied in (not linked,
// since it finds "ClientUpdate.exe" beside its own file) and run there as a player
// starts it, without a display, in a UTF-8 locale, with a PATH of the system's folders
// and a runtime folder of its own for the single-instance lock.

#include <string>
#include <vector>

#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace testsupport {

class GameFolder {
public:
    GameFolder();
    // With another build's program installed under `installedName`, such as the Windows
    // build's "launcher.exe"; in a folder named `folderName` when one is given.
    GameFolder(const std::string& programFile, const std::string& installedName,
               const std::string& folderName = "");

    const TempDir& dir() const { return dir_; }
    std::string file(const std::string& name) const { return dir_.file(name); }
    const std::string& path() const { return dir_.path(); }
    std::string program() const { return dir_.file(programName_); }

    // "update.ini" naming `url` for "version.txt" and the package, with ZipPath "Patch".
    void writeUpdateSettings(const std::string& url) const;

    // Shares the runtime folder, and so the single-instance lock, of `other`.
    void shareRuntimeFolderOf(const GameFolder& other) { runtime_ = other.runtime_; }
    const std::string& runtimeFolder() const { return runtime_; }
    // Puts `folder` in front of the PATH the launcher sees.
    void prependToPath(const std::string& folder) { path_ = folder + ":" + path_; }
    // DISPLAY for the launcher; empty: none.
    void setDisplay(const std::string& display) { display_ = display; }

    ProgramOptions options() const;
    ProgramResult run(const std::vector<std::string>& arguments = {}) const;

    // When the tests run as root: the folder and everything in it belong to "nobody"
    // from now on, as a player's installation belongs to the player.
    void handToPlayer() const;
    // Runs the launcher as "nobody" when the tests run as root, with a runtime folder
    // that "nobody" owns; as it is otherwise.
    ProgramResult runAsPlayer(const std::vector<std::string>& arguments = {}) const;

private:
    TempDir dir_;
    std::string programName_ = "launcher";
    TempDir ownRuntime_;
    std::string runtime_;
    std::string path_ = "/usr/bin:/bin";
    std::string display_;
};

}  // namespace testsupport
