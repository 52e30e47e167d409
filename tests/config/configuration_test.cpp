// loadConfiguration on game folders laid out by the tests, with "update.inf" made by
// launcher-admin pack (as operators make it), by Info-ZIP (where it can run), or by hand.

#include "config/configuration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "config/archive_password.h"
#include "config/launch_arguments.h"
#include "config/update_context.h"
#include "support/builders/password_zip.h"
#include "support/builders/zip_builder.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

namespace {

using Files = std::map<std::string, std::string>;

const Files kRegions = {
    {"install.ini", "[boot]\nSELECT=TW\n"},
    {"localization.ini", "[EN]\ncountry=en\n[tw]\nCountry=tw\n[JP]\ncountry=jp\n"},
    {"Update_TW.ini",
     "[BOOT]\nVersionURL=http://tw.example/version\nDownloadURL=http://tw.example/"
     "files/\nDownloadPort=8080\n"},
    {"update_en.ini",
     "[BOOT]\nVersionURL=http://en.example/v/\nDownloadURL=http://en.example/d\n"
     "DownloadPort=81\n"},
    {"update_jp.ini",
     "[BOOT]\nVersionURL=http://jp.example/v\nDownloadURL=http://jp.example/d\n"
     "DownloadPort=82\n"},
    {"string_tw.ini", "[BOOT]\nMSG_NET_ERROR=tw network text\n"},
    {"string_en.ini", "[BOOT]\nMSG_NET_ERROR=en network text\n"},
    {"string_jp.ini", "[BOOT]\nMSG_NET_ERROR=jp network text\n"},
};

const std::string kPlainUpdate =
    "[BOOT]\nVersionURL=http://plain.example/version\nDownloadURL=http://plain.example/files/\n"
    "DownloadPort=80\n";

Files without(Files files, const std::string& name) {
    files.erase(name);
    return files;
}

Files with(Files files, const std::string& name, const std::string& contents) {
    files[name] = contents;
    return files;
}

// "update.inf" in `dir` as launcher-admin pack builds it from these files. Settings that
// pack refuses (`packRefuses`) are zipped by another writer, as a careless operator might.
void pack(const testsupport::TempDir& dir, const Files& files, bool packRefuses = false) {
    std::vector<std::string> names;
    for (const auto& [name, contents] : files) {
        dir.write("src/" + name, contents);
        names.push_back(name);
    }
    testsupport::ProgramOptions options;
    options.workingDirectory = dir.path();
    const auto result = testsupport::runProgram(testsupport::binaryPath("launcher-admin"),
                                                {"pack", "src"}, options);
    ASSERT_EQ(result.exitCode, packRefuses ? 1 : 0) << result.err;
    if (packRefuses) {
        ASSERT_TRUE(testsupport::zipWithPassword(
            dir.file("src"), names, makeArchivePassword().get(), dir.file("update.inf")));
    }
    ASSERT_TRUE(dir.exists("update.inf"));
}

class ConfigurationTest : public testing::Test {
protected:
    void SetUp() override { dir.enter(); }

    testsupport::TempDir dir;
};

struct Expected {
    std::string versionUrl;
    std::string downloadUrl;
    int port;
    std::string netError;  // MSG_NET_ERROR of the catalogue; "" when it stays empty
};

void expectContext(UpdateContext& context, const Expected& expected) {
    EXPECT_EQ(context.versionUrl, expected.versionUrl);
    EXPECT_EQ(context.downloadUrl, expected.downloadUrl);
    EXPECT_EQ(context.downloadPort, expected.port);
    EXPECT_EQ(context.messages.GetValue("MSG_NET_ERROR"), expected.netError);
    EXPECT_FALSE(context.archivePassword);
}

const Expected kTw = {"http://tw.example/version/", "http://tw.example/files/", 8080,
                      "tw network text"};
const Expected kEn = {"http://en.example/v/", "http://en.example/d/", 81, "en network text"};
const Expected kPlain = {"http://plain.example/version/", "http://plain.example/files/", 80, ""};

TEST_F(ConfigurationTest, PackedArchiveChoosesRegionCountryAndEntries) {
    struct Case {
        const char* what;
        Files packed;
        Files plain;  // beside the launcher
        Expected expected;
    };
    // clang-format off
    const Case cases[] = {
        {"install.ini selects TW, whose country is tw", kRegions, {{"update.ini", kPlainUpdate}}, kTw},
        {"no install.ini: the archive's localization.ini gives the choice too",
         with(without(kRegions, "install.ini"), "localization.ini",
              "[BOOT]\nselect=tw\n[TW]\ncountry=tw\n"),
         {},
         kTw},
        {"no localization.ini in the archive: the plain one is the table",
         without(with(kRegions, "install.ini", "[BOOT]\nselect=JP\n"), "localization.ini"),
         {{"localization.ini", "[JP]\ncountry=tw\n"}},
         kTw},
        {"plain localization.ini chooses when the archive has neither",
         without(without(kRegions, "install.ini"), "localization.ini"),
         {{"localization.ini", "[BOOT]\nselect=JP\n[JP]\ncountry=tw\n"}},
         kTw},
        {"a region that does not exist falls back to en",
         with(kRegions, "install.ini", "[BOOT]\nselect=Atlantis\n"), {}, kEn},
        {"no choice at all is en", without(kRegions, "install.ini"), {}, kEn},
        {"no update_CC.ini entry leaves the server settings empty",
         without(kRegions, "Update_TW.ini"),
         {{"update.ini", kPlainUpdate}},
         {"/", "/", 0, "tw network text"}},
        {"no string_CC.ini entry leaves the catalogue empty", without(kRegions, "string_tw.ini"), {},
         {kTw.versionUrl, kTw.downloadUrl, kTw.port, ""}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempDir folder;
        folder.enter();
        pack(folder, c.packed,
             c.what == std::string("a region that does not exist falls back to en"));
        for (const auto& [name, contents] : c.plain) folder.write(name, contents);
        UpdateContext context;
        loadConfiguration(context, LaunchArguments{});
        expectContext(context, c.expected);
    }
}

TEST_F(ConfigurationTest, UnreadableArchivesFallBackToThePlainUpdateIni) {
    // A declared size above the memory guard of 64 MiB, or one that does not fit a
    // signed 32-bit size, is a hostile archive and counts as a failed unpacking
    // instead of a buffer of that size.
    auto hostile = [](uint32_t declared) {
        testsupport::ZipEntryPlan entry;
        entry.name = "update_en.ini";
        entry.data = "[BOOT]\nVersionURL=http://hostile.example/\n";
        entry.flags = 0x8;  // sizes in a data descriptor, so the local header cannot disagree
        entry.centralUncompressedSize = declared;
        return testsupport::buildZip({entry});
    };
    struct Case {
        const char* what;
        std::string archive;  // "" when there is none
        Expected expected;
    };
    // clang-format off
    const Case cases[] = {
        {"no update.inf", "", kPlain},
        {"update.inf that is no zip archive", "[BOOT]\nVersionURL=http://not.a.zip/\n", kPlain},
        {"declared size of 2 GiB", hostile(0x7FFFFFFF), kPlain},
        {"negative declared size", hostile(0xFFFFFFFF), kPlain},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(dir.file("update.inf"));
        if (!c.archive.empty()) dir.write("update.inf", c.archive);
        dir.write("update.ini", kPlainUpdate);
        UpdateContext context;
        loadConfiguration(context, LaunchArguments{});
        expectContext(context, c.expected);
    }
}

TEST_F(ConfigurationTest, ArchiveWithAnotherPasswordFallsBackEntryByEntry) {
    std::vector<std::string> names;
    for (const auto& [name, contents] : kRegions) {
        dir.write("src/" + name, contents);
        names.push_back(name);
    }
    ASSERT_TRUE(testsupport::zipWithPassword(dir.file("src"), names, "not the launcher's",
                                             dir.file("update.inf")))
        << testsupport::passwordZipWriter();
    dir.write("update.ini", kPlainUpdate);
    dir.write("localization.ini", "[BOOT]\nselect=TW\n[TW]\ncountry=tw\n");

    UpdateContext context;
    loadConfiguration(context, LaunchArguments{});
    // install.ini and localization.ini fail to unpack and leave both documents empty, so
    // the country is en; update_en.ini fails too and the plain update.ini takes its place.
    expectContext(context, kPlain);
}

TEST_F(ConfigurationTest, PatchIpAndPatchPortOverrideTheServerSettings) {
    pack(dir, kRegions);
    struct Case {
        const char* what;
        LaunchArguments arguments;
        Expected expected;
    };
    // clang-format off
    const Case cases[] = {
        {"none", {}, kTw},
        {"PatchIP replaces both URLs unchanged", {"", "", "10.1.2.3", ""},
         {"10.1.2.3", "10.1.2.3", 8080, kTw.netError}},
        {"PatchPort replaces the port", {"", "", "", "9000"}, {kTw.versionUrl, kTw.downloadUrl, 9000, kTw.netError}},
        {"both", {"", "", "http://patch.example/x", "21"},
         {"http://patch.example/x", "http://patch.example/x", 21, kTw.netError}},
        {"a port that is no number is 0", {"", "", "", "port"}, {kTw.versionUrl, kTw.downloadUrl, 0, kTw.netError}},
        {"a port's leading number counts", {"", "", "", "99abc"}, {kTw.versionUrl, kTw.downloadUrl, 99, kTw.netError}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UpdateContext context;
        loadConfiguration(context, c.arguments);
        expectContext(context, c.expected);
    }
}

}  // namespace
