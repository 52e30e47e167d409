#pragma once
// Builds a folder tree one level at a time relative to open folders, so that a test can
// go deeper than the path limit, and tells what is left of one at any depth. When the
// tests run as root, what it makes can belong to "nobody" (65534), so that a child that
// drops its privileges (dropRootPrivileges) owns the tree as a player owns theirs.

#include <sys/types.h>

#include <string>

namespace testsupport {

class FolderTreeBuilder {
public:
    // Makes the folder `root` (a path) and stands in it. `forNobody`: what it makes
    // belongs to "nobody" when the tests run as root.
    explicit FolderTreeBuilder(const std::string& root, bool forNobody = false);
    ~FolderTreeBuilder();
    FolderTreeBuilder(const FolderTreeBuilder&) = delete;
    FolderTreeBuilder& operator=(const FolderTreeBuilder&) = delete;

    // Makes the subfolder `name` and stands in it.
    void down(const std::string& name);
    void file(const std::string& name, const std::string& content, mode_t mode = 0644);
    void link(const std::string& name, const std::string& target);
    void fifo(const std::string& name);
    // The mode of the folder it stands in.
    void setMode(mode_t mode);
    bool ok() const { return ok_; }

private:
    void own(const std::string& name);

    int folder_ = -1;
    bool forNobody_ = false;
    bool ok_ = true;
};

// Entries at and below `path` (the entry itself counts): 0 when it is gone. Never
// follows a link.
long entriesLeft(const std::string& path);

}  // namespace testsupport
