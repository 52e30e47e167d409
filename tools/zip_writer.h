#pragma once
// Writes zip archives with minizip's zip writer: deflated entries, optionally with
// the traditional PKWARE encryption, optionally recording a Unix mode (host 3).

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

class ZipWriter {
public:
    struct Entry {
        std::string name;                  // stored name, '/' between folders
        const char* password = nullptr;    // none: not encrypted
        std::optional<uint32_t> unixMode;  // e.g. 0100755; none: a DOS entry (archive bit)
        std::time_t modified = 0;          // 0: now
    };

    ZipWriter() = default;
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Creates (or replaces) the archive file.
    bool create(const std::string& path);
    // Adds one file entry with the given contents.
    bool add(const Entry& entry, const void* data, size_t size);
    // Writes the directory and closes the file; false when anything failed.
    bool close();

    const std::string& error() const { return error_; }

private:
    void* zip_ = nullptr;
    std::string error_;
};
