#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "support/system/temp_dir.h"

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

    // Windows finds the existing file in any case and rewrites it: one file of the name.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"kilndev.ini"});
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

// Settings on disk are read whatever their size, up to a memory guard far above any
// real file: one larger than the guard reads as no file at all (FIFOs and devices
// under the name are in ini_file_linux_test.cpp).
TEST(IniFile, FilesAreReadUpToTheMemoryGuard) {
    const std::string kept = "[BOOT]\nKept=1\n";
    const std::string padding = "[BOOT]\nKey=value\n; " + std::string(kMaxIniFileBytes, 'x');
    struct Case {
        const char* name;
        size_t size;
        bool loads;
    };
    // clang-format off
    const Case cases[] = {
        {"2 MiB, above what the network may send", 2 * kMaxDownloadedIniBytes, true},
        {"exactly the guard", kMaxIniFileBytes, true},
        {"more than the guard", kMaxIniFileBytes + 1, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("update.ini", padding.substr(0, c.size));
        IniFile ini;
        ini.LoadFromMemory(kept.data(), kept.size());
        EXPECT_EQ(ini.Load(dir.file("update.ini")), c.loads);
        testing::internal::CaptureStderr();
        // A failed load leaves the document as it was.
        EXPECT_EQ(ini.GetValue("Kept"), "1");
        EXPECT_EQ(ini.GetValue("Key"), c.loads ? "value" : "");
        testing::internal::GetCapturedStderr();
    }
}
