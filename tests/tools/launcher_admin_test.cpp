// launcher-admin: the password it prints and the "update.inf" that pack writes, checked
// with Info-ZIP's unzip as well as our reader.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/archive_password.h"
#include "config/ini_file.h"
#include "launcher_version.h"
#include "support/builders/zip_reader_handle.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"
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
    dir.write("big/update_en.ini", std::string(kMaxIniFileBytes + 1, 'x'));
    EXPECT_EQ(admin(dir, {"pack", "big"}).exitCode, 1);
    EXPECT_EQ(dir.read("update.inf"), "the archive in use");
    EXPECT_FALSE(dir.exists("update.inf.new"));

    dir.write("good/update_en.ini", "[BOOT]\nDownloadPort=80\n");
    ASSERT_EQ(admin(dir, {"pack", "good"}).exitCode, 0);
    EXPECT_NE(dir.read("update.inf"), "the archive in use");
    EXPECT_FALSE(dir.exists("update.inf.new"));
}

// Each row changes one file of a good set; the launcher would read the bad value as a
// default without a word, so pack must name it and write nothing.
TEST(LauncherAdminTest, PackRefusesSettingsTheLauncherCannotUse) {
    const std::string key = "MCowBQYDK2VwAyEAq2VwAyEAq2VwAyEAq2VwAyEAq2s=";
    const std::string goodKey = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";
    struct Case {
        const char* name;
        std::string file;
        std::string contents;
        int exitCode;
        std::string expected;  // in standard error
    };
    const std::vector<Case> cases = {
        {"good set", "", "", 0, ""},
        {"region not in localization.ini", "install.ini", "[BOOT]\nselect=JP\n", 1,
         "install.ini [BOOT] select: region JP is not a section of localization.ini"},
        {"region chosen by localization.ini itself", "localization.ini",
         "[BOOT]\nselect=KR\n[TW]\ncountry=tw\n", 1,
         "localization.ini [BOOT] select: region KR is not a section"},
        {"VersionURL not http", "update_tw.ini",
         "[BOOT]\nVersionURL=ftp://patch.example/\nDownloadURL=http://patch.example/\n", 1,
         "update_tw.ini [BOOT] VersionURL: not an http:// or https:// URL"},
        {"DownloadURL without a host", "update_tw.ini",
         "[BOOT]\nVersionURL=http://patch.example/\nDownloadURL=https:///files/\n", 1,
         "update_tw.ini [BOOT] DownloadURL: no host"},
        {"URL with a blank", "update_tw.ini",
         "[BOOT]\nVersionURL=http://patch example/\nDownloadURL=http://patch.example/\n", 1,
         "VersionURL: holds a blank"},
        {"port in the URL out of range", "update_tw.ini",
         "[BOOT]\nVersionURL=http://patch.example:70000/\nDownloadURL=http://patch.example/\n", 1,
         "VersionURL: the port is not 1 to 65535"},
        {"DownloadPort not a number", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\nDownloadPort=80a\n",
         1, "update_tw.ini [BOOT] DownloadPort: not a number from 0 to 65535"},
        {"DownloadPort too large", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\n"
         "DownloadPort=65536\n",
         1, "DownloadPort: not a number from 0 to 65535"},
        {"PublicKey malformed", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\nPublicKey=" + key +
             "x\n",
         1, "update_tw.ini [BOOT] PublicKey: not one key, or two"},
        {"three keys", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\nPublicKey=" +
             goodKey + "," + goodKey + "," + goodKey + "\n",
         1, "PublicKey: not one key, or two"},
        {"PublicKey empty", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\nPublicKey=\n", 1,
         "PublicKey: empty"},
        {"PublicKey twice", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\nPublicKey=" +
             goodKey + "\npublickey=" + goodKey + "\n",
         1, "publickey: given twice"},
        {"PublicKey outside BOOT", "update_tw.ini",
         "[BOOT]\nVersionURL=http://a.example/\nDownloadURL=http://a.example/\n[Keys]\nPublicKey=" +
             goodKey + "\n",
         1, "update_tw.ini [Keys] PublicKey: outside [BOOT]"},
        {"update settings without BOOT", "update_tw.ini",
         "VersionURL=http://a.example/\nDownloadURL=http://a.example/\n", 1,
         "update_tw.ini [BOOT]: missing"},
        {"messages without BOOT", "string_tw.ini", "[Messages]\nMSG_NET_ERROR=x\n", 1,
         "string_tw.ini [BOOT]: missing"},
        {"unknown message key warns only", "string_tw.ini", "[BOOT]\nMSG_NET_EROR=x\n", 0,
         "warning: string_tw.ini [BOOT] MSG_NET_EROR: not a message the launcher shows"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        testsupport::TempDir dir;
        if (row.file != "localization.ini") dir.write("src/install.ini", "[BOOT]\nselect=TW\n");
        dir.write("src/localization.ini", "[TW]\ncountry=tw\n[EN]\ncountry=en\n");
        dir.write("src/update_tw.ini",
                  "\xEF\xBB\xBF[boot]\r\nVersionURL = https://patch.example:8443/tw\r\n"
                  "DownloadURL=http://user@[::1]:8080/files/\r\nDownloadPort=0\r\nPublicKey=" +
                      goodKey + ", " + goodKey + "\r\n");
        dir.write("src/string_tw.ini", "[BOOT]\n; comment\nmsg_net_error=x\nMSG_VERIFY_FAIL=y\n");
        if (!row.file.empty()) dir.write("src/" + row.file, row.contents);
        dir.write("update.inf", "the archive in use");
        const auto packed = admin(dir, {"pack", "src", "update.inf"});
        EXPECT_EQ(packed.exitCode, row.exitCode) << packed.err;
        if (!row.expected.empty()) {
            EXPECT_NE(packed.err.find(row.expected), std::string::npos) << packed.err;
        } else {
            EXPECT_EQ(packed.err, "");
        }
        if (row.exitCode != 0) {
            EXPECT_EQ(dir.read("update.inf"), "the archive in use");
        }
        EXPECT_EQ(packed.err.find("warning") != std::string::npos,
                  row.name == std::string("unknown message key warns only"))
            << packed.err;
    }
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
