#include "support/builders/game_folder.h"

#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "support/sandbox/unprivileged.h"

namespace testsupport {

namespace {

const uid_t kNobody = 65534;

void giveToNobody(const std::string& path) {
    if (::lchown(path.c_str(), kNobody, kNobody) != 0)
        throw std::runtime_error("cannot hand " + path + " to nobody");
}

}  // namespace

GameFolder::GameFolder() : runtime_(ownRuntime_.path()) {
    dir_.copyIn(binaryPath("launcher"), "launcher");
}

GameFolder::GameFolder(const std::string& programFile, const std::string& installedName,
                       const std::string& folderName)
    : dir_(folderName), programName_(installedName), runtime_(ownRuntime_.path()) {
    dir_.copyIn(programFile, installedName);
}

void GameFolder::writeUpdateSettings(const std::string& url) const {
    dir_.write("update.ini",
               "[BOOT]\nVersionURL=" + url + "\nDownloadURL=" + url + "\nZipPath=Patch\n");
}

ProgramOptions GameFolder::options() const {
    ProgramOptions options;
    options.workingDirectory = dir_.path();
    options.unsetEnvironment = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.environment = {{"LC_ALL", "C.UTF-8"}, {"XDG_RUNTIME_DIR", runtime_}, {"PATH", path_}};
    if (!display_.empty()) options.environment.push_back({"DISPLAY", display_});
    return options;
}

ProgramResult GameFolder::run(const std::vector<std::string>& arguments) const {
    return runProgram(program(), arguments, options());
}

void GameFolder::handToPlayer() const {
    if (!runningAsRoot()) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path()))
        giveToNobody(entry.path().string());
    giveToNobody(dir_.path());
}

ProgramResult GameFolder::runAsPlayer(const std::vector<std::string>& arguments) const {
    if (runningAsRoot()) giveToNobody(runtime_);
    std::string program = this->program();
    std::vector<std::string> wrapped = arguments;
    wrapUnprivileged(program, wrapped);
    return runProgram(program, wrapped, options());
}

}  // namespace testsupport
