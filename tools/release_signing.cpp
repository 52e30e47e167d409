#include "tools/release_signing.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include "update/release_statement.h"

namespace fs = std::filesystem;

bool parseExpiryDays(const std::string& text, int64_t& days) {
    if (text.empty() || text.size() > 4 || text[0] == '0') return false;
    days = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        days = days * 10 + (c - '0');
    }
    return days <= kMaxExpiryDays;
}

bool parseSigningOptions(const std::vector<std::string>& given, bool takesDowngrade,
                         SigningOptions& options) {
    bool usable = true;
    for (size_t i = 0; i < given.size(); ++i) {
        const bool takesValue = given[i] == "--sign" || given[i] == "--expires";
        if (takesValue && i + 1 >= given.size()) {
            usable = false;
        } else if (given[i] == "--sign") {
            usable = usable && !options.sign;
            options.sign = true;
            options.keyFile = given[++i];
        } else if (given[i] == "--expires") {
            usable = usable && !options.expiresGiven;
            options.expiresGiven = true;
            options.expiresText = given[++i];
        } else if (takesDowngrade && given[i] == "--allow-downgrade") {
            options.allowDowngrade = true;
        } else {
            options.arguments.push_back(given[i]);
        }
    }
    return usable;
}

bool readExpiryDays(const char* command, SigningOptions& options) {
    if (!options.expiresGiven || parseExpiryDays(options.expiresText, options.expiryDays))
        return true;
    std::fprintf(stderr, "launcher-admin %s: --expires takes whole days from 1 to %lld\n", command,
                 static_cast<long long>(kMaxExpiryDays));
    return false;
}

int64_t expiryAfterDays(int64_t days) { return currentUtcSeconds() + days * 86400; }

bool writeFileAtomically(const fs::path& target, const std::string& contents) {
    const fs::path temporary = target.parent_path() / ("." + target.filename().string() + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << contents;
        if (!out.flush()) return false;
    }
    std::error_code error;
    fs::rename(temporary, target, error);
    if (error) fs::remove(temporary, error);
    return !error;
}
