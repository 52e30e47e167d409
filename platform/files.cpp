// What the file services give on every system, built on the backend's File.

#include "platform/files.h"

#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "platform/paths.h"

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

bool readWholeFile(std::string_view path, std::string& bytes, size_t maxBytes) {
    bytes.clear();
    File file;
    if (!file.open(path, AccessRead, Disposition::OpenExisting)) return false;
    char buffer[16384];
    for (;;) {
        const int64_t n = file.read(buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        // Checked as it grows: the size the file reports may change while it is read.
        if (static_cast<size_t>(n) > maxBytes - bytes.size()) {
            bytes.clear();
            bytes.shrink_to_fit();
            setLastError(winerr::FILE_TOO_LARGE);
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

std::string replacementPathFor(std::string_view path) {
    constexpr size_t kMaxName = 255;
    const std::string_view suffix = kReplacementSuffix;
    const size_t separator = lastSeparator(path);
    const size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    size_t keep = std::min(path.size() - nameStart, kMaxName - suffix.size());
    if (nameStart + keep + suffix.size() > maxPathLength())
        keep = maxPathLength() > nameStart + suffix.size()
                   ? maxPathLength() - nameStart - suffix.size()
                   : 0;
    // A shortened name ends with a whole character, never with the first byte of one.
    const std::string_view name = path.substr(nameStart);
    size_t whole = 0;
    while (whole < keep && whole + characterLength(name, whole) <= keep)
        whole += characterLength(name, whole);
    keep = whole;
    return std::string(path.substr(0, nameStart + keep)) + std::string(suffix);
}

bool writeFileReplacing(std::string_view path, std::string_view contents) {
    const std::string temporary = replacementPathFor(path);
    // A leftover of a write that was cut short, perhaps made read-only by nobody knows.
    setAttributes(temporary, FILE_ATTR_NORMAL);
    deleteFile(temporary);
    CreateOptions options;
    options.replaces = std::string(path);
    bool written = false;
    {
        File file;
        written = file.open(temporary, AccessWrite, Disposition::CreateNew, options) &&
                  file.write(contents.data(), contents.size()) == int64_t(contents.size());
    }
    if (written && replaceFile(temporary, path)) return true;
    const uint32_t error = lastError();
    // It took the old file's mode, read-only perhaps.
    setAttributes(temporary, FILE_ATTR_NORMAL);
    deleteFile(temporary);
    setLastError(error);
    return false;
}

}  // namespace platform
