#pragma once
// Cleaning of stored item names, so that every item lands below the root folder.

#include <string>
#include <string_view>

// True when `codeset` (an iconv name) is a double-byte code page whose trail bytes may
// look like ASCII separators (Big5, GBK, Shift-JIS, UHC).
bool isDoubleByteCodeset(std::string_view codeset);

// The stored name without drive prefixes, leading separators, anything up to a
// "<sep>..<sep>" and leading ".." components. Separator searches skip the trail
// bytes of double-byte characters of `codeset`.
std::string cleanZipName(std::string_view stored, std::string_view codeset);

// The same in the ANSI code page.
std::string cleanZipName(std::string_view stored);
