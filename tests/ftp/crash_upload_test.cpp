// The folders crash mode must never delete, on every system.
#include "ftp/crash_upload.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"
#include "support/temp_dir.h"
#include "support/this_system.h"

using testsupport::PerSystem;
using testsupport::same;
using testsupport::TempDir;

TEST(CrashUpload, RootAndTheProgramsFoldersAreNeverCrashFolders) {
    TempDir temp;
    temp.write("crash/ra1.zip", "x");
    const std::string program = platform::executablePath();
    const std::string programFolder = program.substr(0, platform::lastSeparator(program));
    const PerSystem<bool> driveRoot = {true, false,
                                       "a drive's root on Windows, a relative name on Linux"};
    struct Case {
        std::string folder;
        PerSystem<bool> deletable;
        // clang-format off
    } cases[] = {
        {"/", same(false)},
        {"//", same(false)},
        {"/.", same(false)},
        {"/tmp/..", same(false)},
        {"C:\\", driveRoot},
        {"c:/", driveRoot},
        {programFolder, same(false)},
        {programFolder + "/..", same(false)},
        {temp.file("crash"), same(true)},
        {temp.file("crash/"), same(true)},
        {temp.file("not-there"), same(true)},  // deletes nothing, so it may be named
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(isDeletableCrashFolder(c.folder), c.deletable.here());
    }
}
