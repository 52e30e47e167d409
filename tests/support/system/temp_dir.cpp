#include "support/system/temp_dir.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "support/system/tree_removal.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// The folder temporary folders go into: TMPDIR (or /tmp) on Linux, the user's TEMP
// folder on Windows.
fs::path temporaryRoot() { return fs::temp_directory_path(); }

}  // namespace

TempDir::TempDir() {
    std::random_device random;
    const fs::path root = temporaryRoot();
    for (int tries = 0; tries < 100 && path_.empty(); ++tries) {
        const std::string name = "launcher-test-" + std::to_string(random() % 100000000u);
        // Fails when the name is taken, so the folder is ours alone.
        if (fs::create_directory(root / name)) {
            path_ = (root / name).string();
            // Others have no business in it (as mkdtemp makes it).
            fs::permissions(path_, fs::perms::owner_all, fs::perm_options::replace);
        }
    }
    if (path_.empty())
        throw std::runtime_error("cannot make a temporary folder in " + root.string());
    owned_ = path_;
}

TempDir::TempDir(std::string_view name) : TempDir() {
    if (name.empty()) return;
    path_ = file(name);
    fs::create_directory(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!previousDirectory_.empty()) fs::current_path(previousDirectory_, ignored);
    removeTree(owned_);
}

std::string TempDir::file(std::string_view name) const { return path_ + "/" + std::string(name); }

void TempDir::enter() {
    if (previousDirectory_.empty()) previousDirectory_ = fs::current_path().string();
    fs::current_path(path_);
}

void TempDir::write(std::string_view name, std::string_view content) const {
    std::string full = file(name);
    std::error_code ignored;  // writing then fails and says so
    fs::create_directories(fs::path(full).parent_path(), ignored);
    if (!writeFile(full, std::string(content))) throw std::runtime_error("cannot write " + full);
}

std::string TempDir::read(std::string_view name) const { return readFile(file(name)); }

bool TempDir::exists(std::string_view name) const {
    std::error_code ignored;
    return fs::symlink_status(file(name), ignored).type() != fs::file_type::not_found;
}

void TempDir::copyIn(const std::string& source, std::string_view name) const {
    std::error_code error;
    const fs::perms mode = fs::status(source, error).permissions();
    if (error) throw std::runtime_error("cannot read " + source);
    write(name, readFile(source));
    fs::permissions(file(name), mode, fs::perm_options::replace);
}

void TempDir::makeFolder(std::string_view name) const {
    std::error_code ignored;
    fs::create_directories(file(name), ignored);
}

}  // namespace testsupport
