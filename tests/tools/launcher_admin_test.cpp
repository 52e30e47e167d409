// launcher-admin: the password it prints and the "update.inf" that pack writes, checked
// with Info-ZIP's unzip as well as our reader.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/archive_password.h"
#include "launcher_version.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "support/zip_reader_handle.h"
#include "unzip/zip_reader.h"

namespace {

testsupport::ProgramResult admin(const testsupport::TempDir& dir,
                                 const std::vector<std::string>& arguments) {
    testsupport::ProgramOptions options;
    options.workingDirectory = dir.path();
    return testsupport::runProgram(testsupport::binaryPath("launcher-admin"), arguments, options);
}

// Archives already handed out carry this password: it must not change with the
// platform, the C library or a rebuild.
TEST(LauncherAdminTest, PasswordIsTheFixedOneTheLauncherUses) {
    EXPECT_STREQ(makeArchivePassword().get(), "s9V5T#XDBkFvb7um");
    testsupport::TempDir dir;
    const auto printed = admin(dir, {"password"});
    EXPECT_EQ(printed.exitCode, 0);
    EXPECT_EQ(printed.out, "s9V5T#XDBkFvb7um\n");
    EXPECT_EQ(admin(dir, {"password", "extra"}).exitCode, 2);
}

// The release's version from the build, where operators compare it with a release's name.
TEST(LauncherAdminTest, VersionIsTheBuildsProjectVersion) {
    testsupport::TempDir dir;
    const auto printed = admin(dir, {"--version"});
    EXPECT_EQ(printed.exitCode, 0);
    EXPECT_EQ(printed.out, std::string("launcher-admin ") + LAUNCHER_VERSION + "\n");
    EXPECT_NE(admin(dir, {}).out.find("--version"), std::string::npos);
}

TEST(LauncherAdminTest, PackedArchiveOpensWithThePasswordInAnyZipTool) {
    testsupport::TempDir dir;
    const std::string install = "[BOOT]\nselect=TW\n";
    std::string strings = "[BOOT]\nMSG_NET_ERROR=\xE9\x80\xA3\xE7\xB7\x9A\n";
    for (int i = 0; i < 2000; ++i)
        strings += "KEY" + std::to_string(i) + "=value " + std::to_string(i) + "\n";
    dir.write("src/install.ini", install);
    dir.write("src/string_tw.ini", strings);
    dir.write("src/empty.ini", "");
    dir.write("src/notes.txt", "not packed");
    const auto packed = admin(dir, {"pack", "src", "out/update.inf"});
    ASSERT_EQ(packed.exitCode, 1) << "the output folder does not exist";
    dir.makeFolder("out");
    const auto again = admin(dir, {"pack", "src", "out/update.inf"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(again.err.find("does not read empty.ini"), std::string::npos) << again.err;

    // Info-ZIP's unzip, an independent reader, with the printed password.
    testsupport::ProgramOptions options;
    options.workingDirectory = dir.path();
    const auto tested = testsupport::runProgram(
        "/usr/bin/unzip", {"-t", "-P", "s9V5T#XDBkFvb7um", "out/update.inf"}, options);
    EXPECT_EQ(tested.exitCode, 0) << tested.out;
    const auto extracted = testsupport::runProgram(
        "/usr/bin/unzip", {"-o", "-P", "s9V5T#XDBkFvb7um", "out/update.inf", "-d", "x"}, options);
    EXPECT_EQ(extracted.exitCode, 0) << extracted.out;
    EXPECT_EQ(dir.read("x/install.ini"), install);
    EXPECT_EQ(dir.read("x/string_tw.ini"), strings);
    EXPECT_FALSE(dir.exists("x/notes.txt"));

    // Our reader: every entry is encrypted, so a wrong password is refused (an empty
    // entry has no data to fail when the one check byte happens to match).
    auto right = testsupport::openZip(dir.file("out/update.inf"), makeArchivePassword().get());
    ASSERT_TRUE(right);
    ZipResult result;
    int index = -1;
    ASSERT_EQ(FindItem(right.get(), "STRING_TW.INI", &index, nullptr), ZIPRES_OK);
    EXPECT_EQ(testsupport::unzipToString(right.get(), index, result), strings);
    EXPECT_EQ(result, ZIPRES_OK);
    auto wrong = testsupport::openZip(dir.file("out/update.inf"), "s9V5T#XDBkFvb7uM");
    ASSERT_TRUE(wrong);
    for (int i = 0; i < 3; ++i) {
        ZipItem item;
        ASSERT_EQ(GetItem(wrong.get(), i, &item), ZIPRES_OK);
        if (item.uncompressedSize == 0) continue;
        testsupport::unzipToString(wrong.get(), i, result);
        EXPECT_NE(result, ZIPRES_OK) << item.name;
    }
}

TEST(LauncherAdminTest, FailedPackKeepsTheArchiveThatIsThere) {
    testsupport::TempDir dir;
    dir.write("update.inf", "the archive in use");
    dir.makeFolder("none");
    EXPECT_EQ(admin(dir, {"pack", "none"}).exitCode, 1);
    EXPECT_EQ(admin(dir, {"pack", "missing"}).exitCode, 1);
    dir.write("big/update_en.ini", std::string(1024 * 1024 + 1, 'x'));
    EXPECT_EQ(admin(dir, {"pack", "big"}).exitCode, 1);
    EXPECT_EQ(dir.read("update.inf"), "the archive in use");
    EXPECT_FALSE(dir.exists("update.inf.new"));

    dir.write("good/update_en.ini", "[BOOT]\nDownloadPort=80\n");
    ASSERT_EQ(admin(dir, {"pack", "good"}).exitCode, 0);
    EXPECT_NE(dir.read("update.inf"), "the archive in use");
    EXPECT_FALSE(dir.exists("update.inf.new"));
}

TEST(LauncherAdminTest, HelpDescribesEveryCommand) {
    testsupport::TempDir dir;
    const auto help = admin(dir, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("launcher-admin pack FOLDER [OUTPUT]"), std::string::npos);
    EXPECT_NE(help.out.find("launcher-admin password"), std::string::npos);
    EXPECT_NE(help.out.find("launcher-admin publish RELEASE OUTPUT"), std::string::npos);
    EXPECT_EQ(admin(dir, {"pack", "--help"}).exitCode, 0);
    EXPECT_EQ(admin(dir, {"publish", "--help"}).exitCode, 0);
    EXPECT_EQ(admin(dir, {"unknown"}).exitCode, 2);
    EXPECT_EQ(admin(dir, {}).exitCode, 2);
}

}  // namespace
