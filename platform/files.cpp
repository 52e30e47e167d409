// What the file services give on every system, built on the backend's File.

#include "platform/files.h"

#include <algorithm>
#include <utility>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/strings.h"

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

std::string replacementPathFor(std::string_view path, unsigned number) {
    constexpr size_t kMaxName = 255;
    const std::string suffix =
        std::string(kReplacementSuffix) + (number ? std::to_string(number) : std::string());
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
    return std::string(path.substr(0, nameStart + keep)) + suffix;
}

namespace {

// A leftover of an interrupted write, or anything planted under our name: a file,
// perhaps made read-only, a link (removed as a link), an empty folder.
void clearReplacementName(const std::string& temporary) {
    const auto attributes = getAttributes(temporary);
    if (!attributes) return;
    setAttributes(temporary, FILE_ATTR_NORMAL);
    if (*attributes & FILE_ATTR_DIRECTORY)
        removeDirectory(temporary);
    else
        deleteFile(temporary);
}

}  // namespace

bool createReplacementFile(std::string_view path, File& file, std::string& temporary,
                           const CreateOptions& options) {
    for (unsigned number = 0; number < kReplacementNames; ++number) {
        temporary = replacementPathFor(path, number);
        clearReplacementName(temporary);
        if (file.open(temporary, AccessWrite, Disposition::CreateNew, options)) return true;
        const uint32_t error = lastError();
        // Only something that stays in the way moves us on; any other failure (a full
        // disk, a folder we may not write) would meet every name alike.
        const bool occupied = getAttributes(temporary).has_value();
        setLastError(error);
        if (!occupied) break;
    }
    temporary.clear();
    return false;
}

bool hasReplacementComponent(std::string_view name) {
    const std::string lower = asciiLower(name);
    const std::string suffix = asciiLower(kReplacementSuffix);
    size_t start = 0;
    while (start <= lower.size()) {
        size_t end = lower.find_first_of("/\\", start);
        if (end == std::string::npos) end = lower.size();
        if (lower.substr(start, end - start).find(suffix) != std::string::npos) return true;
        start = end + 1;
    }
    return false;
}

bool writeFileReplacing(std::string_view path, std::string_view contents) {
    CreateOptions options;
    options.replaces = std::string(path);
    std::string temporary;
    bool written = false;
    {
        File file;
        if (!createReplacementFile(path, file, temporary, options)) return false;
        written = file.write(contents.data(), contents.size()) == int64_t(contents.size()) &&
                  file.flush();
    }
    if (written && replaceFile(temporary, path)) {
        // The rename itself; a failure here leaves either file whole, so it is not one.
        flushFolderOf(path);
        return true;
    }
    const uint32_t error = lastError();
    // It took the old file's mode, read-only perhaps.
    setAttributes(temporary, FILE_ATTR_NORMAL);
    deleteFile(temporary);
    setLastError(error);
    return false;
}

}  // namespace platform
