#pragma once
// What publish --sign and refresh share: the statement's lifetime and the writing of
// "version.txt".

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A statement lives 30 days unless the operator says otherwise: long enough for a
// missed refresh, short enough that a frozen mirror is noticed within a month.
inline constexpr int64_t kDefaultExpiryDays = 30;
inline constexpr int64_t kMaxExpiryDays = 3650;

// "--expires DAYS": a whole number from 1 to kMaxExpiryDays.
bool parseExpiryDays(const std::string& text, int64_t& days);

// The options publish and refresh share: "--sign KEY", "--expires DAYS" and, where the
// command takes it, "--allow-downgrade"; every other word stays in `arguments`, in order.
struct SigningOptions {
    std::vector<std::string> arguments;
    std::string keyFile;
    bool sign = false;
    bool allowDowngrade = false;
    bool expiresGiven = false;
    int64_t expiryDays = kDefaultExpiryDays;
    std::string expiresText;
};

// False when an option lacks its value or is given twice.
bool parseSigningOptions(const std::vector<std::string>& given, bool takesDowngrade,
                         SigningOptions& options);

// Fills `expiryDays` from "--expires"; false, with the reason on standard error, when the
// value is no number of days `command` takes.
bool readExpiryDays(const char* command, SigningOptions& options);

// Now plus `days`, in seconds since 1970 UTC.
int64_t expiryAfterDays(int64_t days);

// Writes through a temporary name and a rename, so a web server never serves half a file.
bool writeFileAtomically(const std::filesystem::path& target, const std::string& contents);
