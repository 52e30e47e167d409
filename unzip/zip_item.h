#pragma once
// The description of one archive item, a plain record copied by value.

#include <cstdint>

#include "platform/files.h"

struct ZipItem {
    int32_t index = 0;        // position in the directory; the count for the -1 query
    char name[260] = {};      // stored name after cleaning, NUL-terminated
    uint32_t attributes = 0;  // FILE_ATTR_* bits
    platform::FileTime accessTime = 0;
    platform::FileTime creationTime = 0;
    platform::FileTime writeTime = 0;
    int32_t compressedSize = 0;
    int32_t uncompressedSize = 0;
};
