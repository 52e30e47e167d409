// The Windows suite runs in a Wine prefix made for a code page (scripts/wine-run.sh
// names it in LAUNCHER_WINE_CODE_PAGE): every test first checks that the system really
// has it, since a locale Wine could not load leaves it quietly at 1252.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

class CodePageCheck : public ::testing::Environment {
public:
    void SetUp() override {
        const char* asked = std::getenv("LAUNCHER_WINE_CODE_PAGE");
        if (!asked || !*asked) return;  // run by hand, outside wine-run.sh
        ASSERT_EQ(std::to_string(GetACP()), asked)
            << "the prefix runs at another ANSI code page than the one asked for";
    }
};

[[maybe_unused]] ::testing::Environment* const kCodePageCheck =
    ::testing::AddGlobalTestEnvironment(new CodePageCheck);

}  // namespace
