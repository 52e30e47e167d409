// What only Linux can lay under a settings file's name (a FIFO, a link to a device),
// and a full disk (a small tmpfs in a mount namespace) while one is rewritten.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "config/ini_file.h"
#include "support/sandbox/child_process.h"
#include "support/sandbox/small_disk.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using testsupport::TempDir;

// What a careless operator or a hostile download may leave under a settings file's
// name. None of it may hold the launcher, or fill its memory: it reads as no file at
// all. Each load runs in a child, so one that waits cannot hold the test.
TEST(IniFile, FilesThatAreNoSettingsReadAsMissing) {
    const std::string kept = "[BOOT]\nKept=1\n";
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
        {"a regular file", "[BOOT]\nKey=value\n", "", true},
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
