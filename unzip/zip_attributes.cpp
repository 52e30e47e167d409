#include "unzip/zip_attributes.h"

#include "platform/byte_order.h"

namespace {

using platform::readLe16;
using platform::readLe32;

constexpr uint32_t kHostMsDos = 0;
constexpr uint32_t kHostUnix = 3;
constexpr uint32_t kHostMacintosh = 7;
constexpr uint32_t kHostNtfs = 11;
constexpr uint32_t kHostVfat = 14;

bool holdsDosAttributes(uint32_t host) {
    return host == kHostMsDos || host == kHostMacintosh || host == kHostNtfs || host == kHostVfat;
}

platform::FileTime unixSecondsToFileTime(int32_t seconds) {
    return static_cast<platform::FileTime>(int64_t(seconds) + 11644473600LL) * 10000000ULL;
}

}  // namespace

uint32_t mapZipAttributes(uint32_t versionMadeBy, uint32_t ext) {
    const uint32_t host = (versionMadeBy >> 8) & 0xFF;
    uint32_t attributes = 0;
    if (holdsDosAttributes(host)) {
        attributes = ext & (platform::FILE_ATTR_READONLY | platform::FILE_ATTR_HIDDEN |
                            platform::FILE_ATTR_SYSTEM | platform::FILE_ATTR_DIRECTORY |
                            platform::FILE_ATTR_ARCHIVE);
    } else {
        attributes = platform::FILE_ATTR_ARCHIVE;
        if (ext & 0x40000000u) attributes |= platform::FILE_ATTR_DIRECTORY;
        if (!(ext & 0x00800000u)) attributes |= platform::FILE_ATTR_READONLY;
    }
    return attributes;
}

bool zipEntryIsExecutable(uint32_t versionMadeBy, uint32_t ext) {
    const uint32_t host = (versionMadeBy >> 8) & 0xFF;
    return host == kHostUnix && ((ext >> 16) & 0111) != 0;
}

platform::FileTime dosDateTimeToFileTime(uint32_t dosDateTime) {
    const uint32_t t = dosDateTime & 0xFFFF;
    const uint32_t d = dosDateTime >> 16;
    platform::FileTime out = 0;
    if (platform::localTimeToFileTime(int(1980 + (d >> 9)), int((d >> 5) & 15), int(d & 31),
                                      int(t >> 11), int((t >> 5) & 63), int(2 * (t & 31)), out))
        return out;
    if (platform::localTimeToFileTime(1980, 1, 1, 0, 0, 0, out)) return out;
    return 0;
}

void applyExtendedTimestamp(const unsigned char* extra, size_t length, ZipTimes& times) {
    if (length <= 4) return;
    size_t offset = 0;
    while (offset + 4 < length) {
        const uint32_t id = readLe16(extra + offset);
        const size_t dataLength = readLe16(extra + offset + 2);
        if (id == 0x5455) {
            const size_t dataStart = offset + 4;
            size_t dataEnd = dataStart + dataLength;
            if (dataEnd > length) dataEnd = length;
            if (dataLength == 0) return;
            const unsigned flags = extra[dataStart];
            size_t p = dataStart + 1;
            platform::FileTime* slots[3] = {&times.write, &times.access, &times.creation};
            for (int bit = 0; bit < 3; ++bit) {
                if (!(flags & (1u << bit))) continue;
                if (p + 4 > dataEnd) break;
                *slots[bit] = unixSecondsToFileTime(static_cast<int32_t>(readLe32(extra + p)));
                p += 4;
            }
            return;
        }
        offset += 4 + dataLength;
    }
}
