#include "tools/release_signing.h"

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
