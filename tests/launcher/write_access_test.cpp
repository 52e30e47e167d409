#include "launcher/write_access.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/sandbox/child_process.h"
#include "support/sandbox/unprivileged.h"
#include "support/system/temp_dir.h"

namespace {

bool writeFile(const std::string& path, mode_t mode) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool written = write(fd, "old", 3) == 3;
    close(fd);
    return written && chmod(path.c_str(), mode) == 0;
}

}  // namespace

// Each case prepares a game folder and probes it as a player would: not as root, for
// whom every folder is writable.
TEST(WriteAccess, ProbeReportsFoldersThePlayerCannotWriteTo) {
    struct Case {
        const char* name;
        std::function<bool(const std::string&)> prepare;  // given the game folder
        bool cannotWrite;
        std::vector<std::string> left;  // what the folder holds afterwards
        // clang-format off
    } cases[] = {
        {"writable folder", [](const std::string&) { return true; }, false, {}},
        {"stale probe is replaced and removed",
         [](const std::string& d) { return writeFile(d + "/YouCantPass.tmp", 0644); }, false, {}},
        {"stale probe in another case",
         [](const std::string& d) { return writeFile(d + "/youcantpass.TMP", 0644); }, false, {}},
        {"read-only folder", [](const std::string& d) { return chmod(d.c_str(), 0555) == 0; }, true, {}},
        {"read-only stale probe",
         [](const std::string& d) { return writeFile(d + "/YouCantPass.tmp", 0444); }, true,
         {"YouCantPass.tmp"}},
        {"probe name taken by a folder",
         [](const std::string& d) { return mkdir((d + "/YOUCANTPASS.tmp").c_str(), 0755) == 0; },
         true, {"YOUCANTPASS.tmp"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir root;
        chmod(root.path().c_str(), 0777);
        const std::string game = root.file("game");
        int rc = testsupport::runInChild([&] {
            if (!testsupport::dropRootPrivileges() || mkdir(game.c_str(), 0755) != 0 ||
                !c.prepare(game) || chdir(game.c_str()) != 0)
                return 2;
            return testWriteAccess() ? 1 : 0;
        });
        EXPECT_EQ(rc, c.cannotWrite ? 1 : 0);
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(game))
            left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, c.left);
    }
}
