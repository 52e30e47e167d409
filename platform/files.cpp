// What the file services give on every system, built on the backend's File.

#include "platform/files.h"

namespace platform {

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

}  // namespace platform
