#pragma once
// Cleaning of stored item names, so that every item lands below the root folder.

#include <string>
#include <string_view>

// The stored name without drive prefixes, leading separators, anything up to a
// "<sep>..<sep>" and leading ".." components. Separator searches skip the trail
// bytes of double-byte characters of `codeset` (a name such as "CP950").
std::string cleanZipName(std::string_view stored, std::string_view codeset);

// The same in the code page of names (platform::nameCodeset, the ANSI code page).
std::string cleanZipName(std::string_view stored);
