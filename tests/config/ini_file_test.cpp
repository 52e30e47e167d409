#include "config/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "support/child_process.h"
#include "support/small_disk.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"

using testsupport::TempDir;

namespace {

const std::string kBom = "\xef\xbb\xbf";

std::string missLine(const std::string& key) { return "IniFile : Name = " + key + " not find!\n"; }

}  // namespace

TEST(IniFile, LooksUpValuesAsTheFilesAreWritten) {
    struct Case {
        const char* name;
        std::string text;
        const char* section;
        const char* key;
        std::string value;
        bool missed;  // leaves the debug line
        // clang-format off
    } cases[] = {
        {"plain", "[BOOT]\nZipPath=data\n", "BOOT", "ZipPath", "data", false},
        {"byte-order mark", kBom + "[BOOT]\nZipPath=data\n", "BOOT", "ZipPath", "data", false},
        {"mark, section in other case", kBom + "[boot]\nSELECT=x\n", "BOOT", "select", "x", false},
        {"CR LF and blanks", "[BOOT]\r\n  Key  =  spaced value  \r\n", "BOOT", "key", "spaced value",
         false},
        {"later duplicate wins", "[BOOT]\nPort=80\nPort=8080\n", "BOOT", "Port", "8080", false},
        {"duplicate section merges", "[A]\nx=1\n[B]\ny=2\n[a]\nz=3\n", "A", "z", "3", false},
        {"empty value", "[BOOT]\nName=\n", "BOOT", "Name", "", false},
        {"missing key", "[BOOT]\nName=1\n", "BOOT", "Other", "", true},
        {"missing section", "[BOOT]\nName=1\n", "Crash", "Name", "", true},
        {"key of another section", "[A]\nName=1\n[B]\n", "B", "Name", "", true},
        {"Big5 bytes pass through", "[BOOT]\nMsg=\xa4\xa4\xa4\xe5\n", "BOOT", "Msg", "\xa4\xa4\xa4\xe5",
         false},
        {"no multi-line values", "[BOOT]\nText=<<<END\nline\nEND\n", "BOOT", "Text", "<<<END", false},
        {"comments", "; note\n[BOOT]\n# also\nA=1 ; not a comment\n", "BOOT", "A", "1 ; not a comment",
         false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IniFile ini;
        ini.LoadFromMemory(c.text.data(), c.text.size());
        ini.section = c.section;
        testing::internal::CaptureStderr();
        EXPECT_EQ(ini.GetValue(c.key), c.value);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.missed ? missLine(c.key) : "");
    }
}

TEST(IniFile, DefaultsForEmptyAndMissingValues) {
    const std::string text =
        "[BOOT]\nEmpty=\nPort=8080\nMixed=12abc\nWord=abc\nNeg= -7\n"
        "Huge=99999999999\nTiny=-99999999999\n";
    IniFile ini;
    EXPECT_EQ(ini.section, "BOOT");
    ini.LoadFromMemory(text.data(), text.size());

    struct Case {
        const char* key;
        int number;
        const char* string;  // GetString with the default "dflt"
        // clang-format off
    } cases[] = {
        {"Empty", 0, "dflt"},        {"Missing", 0, "dflt"},      {"Port", 8080, "8080"},
        {"Mixed", 12, "12abc"},      {"Word", 0, "abc"},          {"Neg", -7, "-7"},
        {"Huge", INT_MAX, "99999999999"}, {"Tiny", INT_MIN, "-99999999999"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(ini.GetInt(c.key), c.number);
        EXPECT_EQ(ini.GetString(c.key, "dflt"), c.string);
    }
}

TEST(IniFile, LoadFromMemoryReplacesAndKeepsItsOwnCopy) {
    IniFile ini;
    std::string first = "[BOOT]\nOld=1\n";
    ini.LoadFromMemory(first.data(), first.size());
    char second[] = "[BOOT]\nNew=2\nCut=3";
    ini.LoadFromMemory(second, sizeof second - 1 - 6);  // up to "New=2\n" only
    second[11] = '9';                                   // the caller's buffer changes later
    testing::internal::CaptureStderr();
    EXPECT_EQ(ini.GetValue("New"), "2");
    EXPECT_EQ(ini.GetValue("Old"), "");
    EXPECT_EQ(ini.GetValue("Cut"), "");
    testing::internal::GetCapturedStderr();
}

TEST(IniFile, LoadFindsTheFileIgnoringCaseAndAddsToTheDocument) {
    TempDir dir;
    dir.enter();
    dir.write("KilnDev.ini", kBom + "[Crash]\nNeedCheck=0\n");
    dir.write("other.ini", "[Crash]\nExtra=1\n");

    IniFile ini;
    EXPECT_TRUE(ini.Load("kilndev.INI"));
    EXPECT_TRUE(ini.Load(dir.file("Other.ini")));
    EXPECT_FALSE(ini.Load("missing.ini"));
    ini.section = "crash";
    EXPECT_EQ(ini.GetValue("needcheck"), "0");
    EXPECT_EQ(ini.GetInt("Extra"), 1);
}

TEST(IniFile, SavedDeveloperSettingsStartWithTheMarkAndReadBack) {
    TempDir dir;
    dir.enter();
    dir.write("kilndev.ini", "[Crash]\nNeedCheck=0\nKeep=yes\n");
    IniFile settings;
    ASSERT_TRUE(settings.Load("KilnDev.ini"));
    settings.section = "Crash";
    EXPECT_TRUE(settings.SetValue("NeedCheck", "1"));
    settings.section = "New";
    EXPECT_TRUE(settings.SetValue("Key", "v"));
    EXPECT_EQ(settings.SaveDevSettings(), 0);

    // Windows finds the existing file in any case and rewrites it.
    EXPECT_FALSE(dir.exists("KilnDev.ini") && dir.exists("kilndev.ini"));
    const std::string saved = dir.read("kilndev.ini");
    ASSERT_GE(saved.size(), 3u);
    EXPECT_EQ(saved.substr(0, 3), kBom);

    IniFile reread;
    ASSERT_TRUE(reread.Load("KilnDev.ini"));
    reread.section = "Crash";
    EXPECT_EQ(reread.GetInt("NeedCheck"), 1);
    EXPECT_EQ(reread.GetValue("Keep"), "yes");
    reread.section = "New";
    EXPECT_EQ(reread.GetValue("Key"), "v");
}

TEST(IniFile, SaveReportsAFileThatCannotBeCreated) {
    TempDir dir;
    dir.enter();
    dir.makeFolder("KilnDev.ini");
    IniFile settings;
    settings.section = "Crash";
    settings.SetValue("NeedCheck", "1");
    EXPECT_EQ(settings.SaveDevSettings(), -3);
}

// What a careless operator or a hostile download may leave under a settings file's
// name. None of it may hold the launcher, or fill its memory: it reads as no file at
// all. Each load runs in a child, so one that waits cannot hold the test.
TEST(IniFile, FilesThatAreNoSettingsReadAsMissing) {
    const std::string kept = "[BOOT]\nKept=1\n";
    const std::string padding = "[BOOT]\nKey=value\n; " + std::string(kMaxIniFileBytes, 'x');
    struct Case {
        const char* name;
        std::string content;  // of a regular file; empty: `make` lays it out
        const char* make;     // "fifo", "zero"
        bool loads;
    };
    // clang-format off
    const Case cases[] = {
        {"a FIFO", "", "fifo", false},
        {"a link to /dev/zero", "", "zero", false},
        {"more than the limit", padding.substr(0, kMaxIniFileBytes + 1), "", false},
        {"exactly the limit", padding.substr(0, kMaxIniFileBytes), "", true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("localization.ini");
        const std::string make = c.make;
        if (make == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (make == "zero") {
            ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
        } else {
            dir.write("localization.ini", c.content);
        }
        testsupport::Subprocess child = testsupport::Subprocess::fork([&] {
            IniFile ini;
            ini.LoadFromMemory(kept.data(), kept.size());
            if (ini.Load(path) != c.loads) return 1;
            testing::internal::CaptureStderr();
            const bool keptOld = ini.GetValue("Kept") == "1";
            const std::string key = ini.GetValue("Key");
            testing::internal::GetCapturedStderr();
            if (!keptOld) return 2;  // a failed load leaves the document as it was
            return key == (c.loads ? "value" : "") ? 0 : 3;
        });
        ASSERT_TRUE(child.wait(20000)) << "the load did not end";
        EXPECT_EQ(child.exitCode(), 0);
    }
}

// A full disk while "KilnDev.ini" is rewritten: the developer's settings must survive
// as they were, not truncated and rewritten short.
TEST(IniFile, SaveOnAFullDiskKeepsTheOldSettings) {
    std::string why;
    if (!testsupport::smallDiskAvailable(why)) GTEST_SKIP() << why;
    TempDir disk;
    TempDir layout;
    layout.enter();
    // Settings that fill two pages of the small disk to the last few bytes, so that the
    // rewritten file, one line longer, needs a third.
    IniFile settings;
    settings.section = "Crash";
    for (int i = 0; i < 40; ++i)
        settings.SetValue("Setting" + std::to_string(i), "value " + std::to_string(i));
    ASSERT_EQ(settings.SaveDevSettings(), 0);
    const size_t base = layout.read("KilnDev.ini").size();
    ASSERT_LT(base, 8000u);
    settings.SetValue("Padding",
                      std::string(8192 - 4 - base - std::string("Padding = \r\n").size(), 'p'));
    ASSERT_EQ(settings.SaveDevSettings(), 0);
    const std::string original = layout.read("KilnDev.ini");
    ASSERT_LE(original.size(), 8192u);
    ASSERT_GT(original.size(), 8192u - 16);

    const int code = testsupport::runInChild([&] {
        std::string reason;
        if (!testsupport::mountSmallDisk(disk.path(), 64 * 1024, reason)) {
            ADD_FAILURE() << reason;
            return 1;
        }
        disk.write("KilnDev.ini", original);
        if (::chdir(disk.path().c_str()) != 0) return 1;
        testsupport::fillDisk(disk.path());
        IniFile devSettings;
        EXPECT_TRUE(devSettings.Load("KilnDev.ini"));
        devSettings.section = "Crash";
        devSettings.SetValue("NeedCheck", "1");
        EXPECT_EQ(devSettings.SaveDevSettings(), -3);
        EXPECT_TRUE(disk.read("KilnDev.ini") == original) << "the settings were cut";
        EXPECT_FALSE(disk.exists("KilnDev.ini.~launcher"));
        // Once there is room again, the new settings go in whole.
        ::unlink("filler");
        EXPECT_EQ(devSettings.SaveDevSettings(), 0);
        IniFile reread;
        EXPECT_TRUE(reread.Load("KilnDev.ini"));
        reread.section = "Crash";
        testing::internal::CaptureStderr();
        EXPECT_EQ(reread.GetValue("NeedCheck"), "1");
        EXPECT_EQ(reread.GetValue("Setting39"), "value 39");
        testing::internal::GetCapturedStderr();
        return testsupport::childResult();
    });
    EXPECT_EQ(code, 0);
}
