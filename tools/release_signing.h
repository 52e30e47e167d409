#pragma once
// What publish --sign and refresh share: the statement's lifetime and the writing of
// "version.txt".

#include <cstdint>
#include <filesystem>
#include <string>

// A statement lives 30 days unless the operator says otherwise: long enough for a
// missed refresh, short enough that a frozen mirror is noticed within a month.
inline constexpr int64_t kDefaultExpiryDays = 30;
inline constexpr int64_t kMaxExpiryDays = 3650;

// "--expires DAYS": a whole number from 1 to kMaxExpiryDays.
bool parseExpiryDays(const std::string& text, int64_t& days);

// Now plus `days`, in seconds since 1970 UTC.
int64_t expiryAfterDays(int64_t days);

// Writes through a temporary name and a rename, so a web server never serves half a file.
bool writeFileAtomically(const std::filesystem::path& target, const std::string& contents);
