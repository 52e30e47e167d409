#include "support/builders/update_sweep.h"

#include <cstdint>
#include <filesystem>
#include <utility>

#include "support/system/file_bytes.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

std::string noise(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    uint32_t state = 2463534242u ^ seed;
    for (char& c : data) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state & 0xff);
    }
    return data;
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

}  // namespace

const char kSweepDevSettings[] = "[Crash]\nNeedCheck = 0\nKeep = the developer's own\n";

FolderFiles sweepInstalledFiles(const std::string& updater) {
    return {{"ClientUpdate.exe", updater},
            {"Readme.txt", "notes 5"},
            {"data/table.bin", noise(200000, 5)}};
}

FolderFiles sweepReleaseFiles(const std::string& updater) {
    return {{"ClientUpdate.exe", updater},
            {"Readme.txt", "notes 6"},
            {"data/table.bin", noise(200000, 6)},
            {"data/new.txt", "a file the release adds"}};
}

bool isUpdateModeLine(const std::string& line) {
    for (const char* known : {
             "IniFile : ",
             // The signature check's reason for a refusal, on the debugger output.
             "version.txt: ",
             "update.rar: ",
             // Why an entry could not be unpacked.
             "UnzipToFile ",
             "[Error] Download ",
             "[Version] Can't download version.txt",
             "[update] Can't download ClientUpdate.zip",
             "[update] Can't verify ClientUpdate.zip",
             "[Reboot] Please reboot computer ",
             "[使用者帳戶控制(UAC)] 沒有檔案寫入權限,請檢查你的執行身分",
             " 連線失敗, 請檢查你的網路或防火牆設定",
         })
        if (line.rfind(known, 0) == 0) return true;
    return line.empty();
}

std::vector<std::string> notUpdateModeLines(const std::string& output) {
    std::vector<std::string> strangers;
    size_t begin = 0;
    while (begin < output.size()) {
        size_t end = output.find('\n', begin);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(begin, end - begin);
        if (!isUpdateModeLine(line)) strangers.push_back(std::move(line));
        begin = end + 1;
    }
    return strangers;
}

std::vector<std::string> updateFolderProblems(const std::string& folder, const FolderFiles& before,
                                              const FolderFiles& after, const std::string& package,
                                              const std::string& packageName) {
    std::vector<std::string> problems;
    auto at = [&folder](const std::string& name) { return folder + "/" + name; };
    bool othersNew = true;
    for (const auto& [name, bytes] : after) {
        const bool exists = fileExists(at(name));
        const std::string now = readFile(at(name));
        const auto old = before.find(name);
        const bool isOld = old == before.end() ? !exists : exists && now == old->second;
        const bool isNew = exists && now == bytes;
        if (!isOld && !isNew) problems.push_back(name + " is neither the old file nor the new one");
        if (name != "ClientUpdate.exe") othersNew = othersNew && isNew;
    }
    if (readFile(at("ClientUpdate.exe")) == after.at("ClientUpdate.exe") && !othersNew)
        problems.push_back("ClientUpdate.exe is new before every other entry is");
    if (readFile(at("KilnDev.ini")) != kSweepDevSettings) problems.push_back("KilnDev.ini changed");
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).generic_string();
        if (name.find(".~launcher") != std::string::npos) problems.push_back(name + " was left");
    }
    if (fileExists(at("update.rar"))) {
        const std::string part = readFile(at("update.rar"));
        if (part.size() > package.size() || package.compare(0, part.size(), part) != 0)
            problems.push_back("update.rar is no prefix of the package");
        if (readFile(at("update.rar.part")).find("UpdateFile=" + packageName + "\n") ==
            std::string::npos)
            problems.push_back("update.rar stays without the record naming its package");
    }
    // A record without its part (its deletion failed after the part's) misleads nobody:
    // the next run deletes it.
    return problems;
}

std::vector<std::string> notUpdated(const std::string& folder, const FolderFiles& after) {
    std::vector<std::string> problems;
    for (const auto& [name, bytes] : after)
        if (readFile(folder + "/" + name) != bytes) problems.push_back(name + " is not new");
    for (const char* leftover : {"update.rar", "update.rar.part"})
        if (fileExists(folder + "/" + leftover))
            problems.push_back(std::string(leftover) + " stays");
    return problems;
}

}  // namespace testsupport
