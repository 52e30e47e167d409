#pragma once
// Hands an already open archive file to minizip through its I/O function table, so
// the archive is never reopened by name.

#include <cstdint>

#include <minizip/ioapi.h>

#include "platform/files.h"

struct ZipFileIo {
    platform::File* file = nullptr;
    // Target of the first absolute seek since the last reset: where minizip reads
    // the directory entry it is asked about.
    int64_t firstSeekSet = -1;

    void resetSeekRecord() { firstSeekSet = -1; }
    zlib_filefunc64_def table();
};
