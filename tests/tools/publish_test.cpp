// launcher-admin publish, run as the operator runs it; its package is then unpacked
// by the launcher's own hand-over.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ini_file.h"
#include "launcher/hand_over.h"
#include "platform/file_version.h"
#include "support/builders/pe_image.h"
#include "support/sandbox/pid_namespace.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

testsupport::ProgramResult publish(const std::vector<std::string>& arguments) {
    std::vector<std::string> all = {"publish"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return testsupport::runProgram(testsupport::binaryPath("launcher-admin"), all);
}

void writeWithMode(const TempDir& dir, const std::string& name, const std::string& data,
                   mode_t mode) {
    dir.write(name, data);
    ASSERT_EQ(::chmod(dir.file(name).c_str(), mode), 0);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Publish, PackageIsNamedAfterTheUpdaterVersionAndUnpacksWithItsModes) {
    // The hand-over's unpacking ends updater processes by name.
    if (testsupport::rerunInOwnPidNamespace()) return;
    TempDir release, www;
    const std::string updater = testsupport::peImageOfVersion(2, 0, 13, 5);
    writeWithMode(release, "ClientUpdate.exe", updater, 0644);
    writeWithMode(release, "VeltoraUpdate.exe", "#!/bin/sh\nexit 0\n", 0755);
    writeWithMode(release, "Patch/readme.txt", "read me", 0444);

    const auto result = publish({release.path(), www.path() + "/site"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string site = www.path() + "/site";
    EXPECT_EQ(namesIn(site), (std::vector<std::string>{"2.0.13.5.zip", "version.txt"}));

    IniFile versionInfo;
    ASSERT_TRUE(versionInfo.Load(site + "/version.txt"));
    versionInfo.section = "Current Version";
    EXPECT_EQ(versionInfo.GetString("UpdateFile", "1.1.1.1.zip"), "2.0.13.5.zip");

    // The launcher's hand-over unpacks it into a game folder.
    TempDir game;
    game.copyIn(site + "/2.0.13.5.zip", "update.rar");
    game.enter();
    installPatchArchive(1);
    EXPECT_FALSE(game.exists("update.rar"));
    EXPECT_EQ(game.read("ClientUpdate.exe"), updater);
    std::string version;
    EXPECT_TRUE(platform::fileVersionInfo(game.file("ClientUpdate.exe"), version));
    EXPECT_EQ(version, "2.0.13.5");
    // A Windows program needs no execute bit; the native companion keeps its own.
    EXPECT_EQ(modeOf(game.file("ClientUpdate.exe")) & 0111, 0u);
    EXPECT_EQ(modeOf(game.file("VeltoraUpdate.exe")) & 0111, 0111u);
    EXPECT_EQ(modeOf(game.file("Patch/readme.txt")) & 0222, 0u);
    EXPECT_EQ(game.read("Patch/readme.txt"), "read me");

    // Publishing the same release again is quiet; other bytes under the same version
    // would reach launchers that continue a download spliced, so that is pointed out.
    auto again = publish({release.path(), site});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.err, "");
    writeWithMode(release, "VeltoraUpdate.exe", "#!/bin/sh\nexit 1\n", 0755);
    again = publish({release.path(), site});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("replaced"), std::string::npos) << again.err;
}

TEST(Publish, RefusesWhatCannotBeNamedOrUnpackedAndWritesNothing) {
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::string>> files;
        const char* link;  // a symbolic link of this name, when given
        int exitCode;
    };
    testsupport::PeImageOptions noResources;
    noResources.withResources = false;
    testsupport::PeImageOptions noFixedInfo;
    noFixedInfo.withFixedInfo = false;
    // clang-format off
    const Case cases[] = {
        {"no ClientUpdate.exe", {{"VeltoraUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1)}}, nullptr, 1},
        {"ClientUpdate.exe without version", {{"ClientUpdate.exe", testsupport::buildPeImage(noResources).bytes}}, nullptr, 1},
        {"version without numbers", {{"ClientUpdate.exe", testsupport::buildPeImage(noFixedInfo).bytes}}, nullptr, 1},
        {"ClientUpdate.exe not a Windows program", {{"ClientUpdate.exe", "#!/bin/sh\n"}}, nullptr, 1},
        {"a symbolic link", {{"ClientUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1)}}, "notes.txt", 1},
        {"the package's own name", {{"ClientUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1)}, {"update.rar", "x"}}, nullptr, 1},
        {"the package's name in capitals", {{"ClientUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1)}, {"UPDATE.RAR", "x"}}, nullptr, 1},
        {"a temporary file's name", {{"ClientUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1)}, {"sub/a.dll.~Launcher", "x"}}, nullptr, 1},
        {"a folder of a temporary file's name", {{"ClientUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1)}, {"ClientUpdate.exe.~launcher/a.dll", "x"}}, nullptr, 1},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir release, www;
        for (const auto& [name, data] : c.files) release.write(name, data);
        if (c.link) {
            ASSERT_EQ(::symlink("/etc/hostname", release.file(c.link).c_str()), 0);
        }
        const auto result = publish({release.path(), www.path()});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err, "");
        EXPECT_TRUE(namesIn(www.path()).empty());
    }
    // Below the top folder the name replaces nothing of the launcher's.
    TempDir release, www;
    release.write("ClientUpdate.exe", testsupport::peImageOfVersion(1, 0, 0, 1));
    release.write("docs/update.rar", "an example archive");
    EXPECT_EQ(publish({release.path(), www.path()}).exitCode, 0);
    EXPECT_EQ(publish({"only-one"}).exitCode, 2);
}

TEST(Publish, HelpExplainsThePackageAndVersionTxt) {
    const auto result = publish({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    for (const char* phrase : {"RELEASE OUTPUT", "ClientUpdate.exe", "2.0.13.5.zip",
                               "[Current Version]", "UpdateFile=", "Unix mode"})
        EXPECT_NE(result.out.find(phrase), std::string::npos) << phrase;
}
