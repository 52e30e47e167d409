#pragma once
// Attribute mapping and time stamps of archive items.

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

// Windows attribute bits from the version-made-by field and the external attributes.
uint32_t mapZipAttributes(uint32_t versionMadeBy, uint32_t externalAttributes);

// True when an entry made on a Unix host carries any execute bit in its mode.
bool zipEntryIsExecutable(uint32_t versionMadeBy, uint32_t externalAttributes);

// The DOS date (high 16 bits) and time (low 16 bits), taken as local time, in UTC.
// An impossible date or time gives the earliest DOS time, 1980-01-01 00:00:00.
platform::FileTime dosDateTimeToFileTime(uint32_t dosDateTime);

struct ZipTimes {
    platform::FileTime access = 0;
    platform::FileTime creation = 0;
    platform::FileTime write = 0;
};

// Replaces the times that the first "UT" block of a local extra field carries.
// Reads nothing beyond `length` bytes, nor beyond the block's own data.
void applyExtendedTimestamp(const unsigned char* extra, size_t length, ZipTimes& times);
