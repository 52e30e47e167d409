#pragma once
// Little-endian fields of file formats (zip, PE), read byte by byte so neither the
// host's byte order nor alignment matters. A 16-bit field comes back widened to 32 bits,
// so comparing it with other unsigned fields needs no cast.

#include <cstdint>

namespace platform {

inline uint32_t readLe16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

inline uint32_t readLe32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

inline uint64_t readLe64(const unsigned char* p) {
    return uint64_t(readLe32(p)) | (uint64_t(readLe32(p + 4)) << 32);
}

}  // namespace platform
