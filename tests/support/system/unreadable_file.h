#pragma once
// An entry that exists under a file's name but that no one can open for reading while
// the object lives, made as each system allows: a FIFO on Linux (it opens for no one
// without a peer; a file without read permission would still open for root), a file
// held open without sharing on Windows.

#include <memory>
#include <string>

namespace testsupport {

class UnreadableFile {
public:
    explicit UnreadableFile(const std::string& path);
    ~UnreadableFile();
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

    bool ready() const { return ready_; }

private:
    struct Holder;
    std::unique_ptr<Holder> holder_;
    bool ready_ = false;
};

}  // namespace testsupport
