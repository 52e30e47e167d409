// What the file services give on every system, built on the backend's File.

#include "platform/files.h"

#include <utility>

namespace platform {

// Closing is the backend's; the rest of a File's and a Folder's lifetime is not.
File::~File() { close(); }

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
}

Folder::~Folder() { close(); }

Folder::Folder(Folder&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        close();
        state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
}

bool File::readAt(int64_t position, void* buffer, size_t length) {
    if (position < 0 || seek(position, SeekFrom::Begin) != position) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    size_t have = 0;
    while (have < length) {
        const int64_t n = read(out + have, length - have);
        if (n <= 0) return false;
        have += static_cast<size_t>(n);
    }
    return true;
}

bool readWholeFile(std::string_view path, std::string& bytes) {
    bytes.clear();
    File file;
    if (!file.open(path, AccessRead, Disposition::OpenExisting)) return false;
    char buffer[16384];
    for (;;) {
        const int64_t n = file.read(buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace platform
