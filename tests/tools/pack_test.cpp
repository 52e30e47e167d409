// launcher-admin pack, checked with an independent reader (Info-ZIP's unzip).

#include <gtest/gtest.h>

#include <string>

#include "support/run_program.h"
#include "support/temp_dir.h"

TEST(Pack, EncryptedEntriesOpenWithThePasswordInOtherTools) {
    testsupport::TempDir dir;
    const std::string settings = "[BOOT]\nVersionURL=http://127.0.0.1:8080/\nZipPath=Patch\n";
    const std::string strings(3000, 'x');  // long enough to be compressed for real
    dir.write("in/update_en.ini", settings);
    dir.write("in/string_en.ini", strings);
    const std::string admin = testsupport::binaryPath("launcher-admin");
    const auto packed = testsupport::runProgram(admin, {"pack", dir.file("in"), dir.file("update.inf")});
    ASSERT_EQ(packed.exitCode, 0) << packed.err;
    const auto password = testsupport::runProgram(admin, {"password"});
    ASSERT_EQ(password.exitCode, 0);
    const std::string pw = password.out.substr(0, password.out.find('\n'));

    struct Case {
        const char* name;
        const std::string& content;
    };
    const Case cases[] = {{"update_en.ini", settings}, {"string_en.ini", strings}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto extracted =
            testsupport::runProgram("/usr/bin/unzip", {"-P", pw, "-p", dir.file("update.inf"), c.name});
        EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
        EXPECT_EQ(extracted.out, c.content);
        const auto wrong =
            testsupport::runProgram("/usr/bin/unzip", {"-P", pw + "x", "-p", dir.file("update.inf"), c.name});
        EXPECT_NE(wrong.out, c.content);
    }
}
