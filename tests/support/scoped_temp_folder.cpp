#include "support/scoped_temp_folder.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

ScopedTempFolder::ScopedTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "launcher-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScopedTempFolder::~ScopedTempFolder() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    // Tests take write bits away; give them back so everything can go.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string ScopedTempFolder::write(const std::string& name, const std::string& content) const {
    fs::path full = path_ / name;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary);
    out << content;
    return full.string();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testsupport
