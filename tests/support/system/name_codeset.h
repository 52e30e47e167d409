#pragma once
// Names walked as a code page 950 system walks them, on any system: the players' systems
// use Traditional Chinese Windows, where the second byte of a character may be 0x5C
// ('\') or a letter.

#include <string>
#include <string_view>

#include "platform/paths.h"
#include "platform/text.h"
#include "support/system/this_system.h"

namespace testsupport {

// Names of code page 950 whose second byte is 0x5C or an ASCII letter.
namespace cp950 {
inline constexpr const char* kGameFolder = "\xB9\x43\xC0\xB8\xA5\x5C";  // 遊戲功: 'C', then 0x5C
inline constexpr const char* kWork = "\xA5\x5C";                        // 功
inline constexpr const char* kPermit = "\xB3\x5C";                      // 許
inline constexpr const char* kCover = "\xBB\x5C";                       // 蓋
inline constexpr const char* kPlace = "\xB3\x42";                       // 處: 'B'
inline constexpr const char* kPig = "\xB3\x62";     // 豚: 'b', 處 lower-cased bytewise
inline constexpr const char* kRecord = "\xB0\x4F";  // 記: 'O'
inline constexpr const char* kYong = "\xB0\x6F";    // 邕: 'o', 記 lower-cased bytewise
}  // namespace cp950

// For the scope the platform layer walks names by the characters of `codeset`.
class ScopedNameCodeset {
public:
    explicit ScopedNameCodeset(std::string_view codeset) : previous_(platform::nameCodeset()) {
        platform::setNameCodeset(codeset);
    }
    ~ScopedNameCodeset() { platform::setNameCodeset(previous_); }
    ScopedNameCodeset(const ScopedNameCodeset&) = delete;
    ScopedNameCodeset& operator=(const ScopedNameCodeset&) = delete;

private:
    std::string previous_;
};

// Whether code page 950 names reach this system's file system as they are: on Linux a
// name is its bytes; Windows reads them in its ANSI code page, which must be 950.
inline bool fileSystemTakesCodePage950Names(std::string& why) {
    if (!onWindows() || platform::ansiCodeset() == "CP950") return true;
    why = "the ANSI code page is " + platform::ansiCodeset() +
          "; names in code page 950 need a Traditional Chinese system";
    return false;
}

}  // namespace testsupport
