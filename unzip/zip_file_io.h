#pragma once
// Hands an already open archive file to minizip through its I/O function table, so
// the archive is never reopened by name.

#include <minizip/ioapi.h>

#include <cstdint>
#include <memory>

#include "platform/files.h"

struct ZipFileIo {
    platform::File* file = nullptr;
    // Target of the first absolute seek since the last reset: where minizip reads
    // the directory entry it is asked about.
    int64_t firstSeekSet = -1;

    void resetSeekRecord() { firstSeekSet = -1; }
    zlib_filefunc64_def table();

    // minizip reads headers a byte at a time; a small read-ahead buffer spares a system
    // call per byte. Its position is minizip's own, so the reader may move the file
    // between minizip's calls.
    int64_t read(void* buffer, size_t size);
    int64_t position = 0;

private:
    static constexpr size_t kBufferSize = 4096;
    std::unique_ptr<unsigned char[]> buffer_;
    int64_t fileSize_ = -1;  // the archive cannot change while it is open
    int64_t bufferStart_ = 0;
    size_t bufferLength_ = 0;
};
