#include "platform/strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

// The numbers the configuration (GetInt, PatchPort:) and the FTP replies (reply codes,
// SIZE) read: atoi for the first, the plain leading digits for the second.
TEST(Strings, LeadingNumbers) {
    struct Case {
        std::string text;
        int64_t leading;
        int atoi;
        // clang-format off
    } cases[] = {
        {"8080", 8080, 8080},
        {"12abc", 12, 12},
        {"213 12345", 213, 213},
        {"007x", 7, 7},
        {"", 0, 0},
        {"abc", 0, 0},
        {"0x10", 0, 0},
        {" -7", 0, -7},
        {"\t+42", 0, 42},
        {"\n\v\f\r 3", 0, 3},
        {"- 5", 0, 0},
        {"+", 0, 0},
        {"2147483647", 2147483647, INT_MAX},
        {"2147483648", 2147483648LL, INT_MAX},
        {"-2147483648", 0, INT_MIN},
        {"-99999999999", 0, INT_MIN},
        {"9223372036854775807", INT64_MAX, INT_MAX},
        {"99999999999999999999999", INT64_MAX, INT_MAX},
        {"-99999999999999999999999", 0, INT_MIN},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(platform::leadingNumber(c.text), c.leading);
        EXPECT_EQ(platform::atoiValue(c.text), c.atoi);
    }
}
