// The zip reader over any file: open it, describe and look up every item and unpack
// each into memory, without a password and, where an item wants one, with one.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "support/fuzz_file.h"
#include "unzip/zip_reader.h"

namespace {

// Enough to reach every branch of the unpacking; stops an inflate bomb from turning
// one input into seconds of work.
constexpr int kMaxChunksPerItem = 64;

// True when an item asked for a password.
bool readArchive(const char* path, const char* password) {
    CZipReader* reader = Open(path, password);
    if (reader == nullptr) return false;
    bool locked = false;
    ZipItem count;
    if (GetItem(reader, -1, &count) != ZIPRES_OK) __builtin_trap();
    unsigned char buffer[4096];
    for (int index = 0; index < count.index; ++index) {
        ZipItem item;
        if (GetItem(reader, index, &item) != ZIPRES_OK) continue;
        if (strnlen(item.name, sizeof item.name) == sizeof item.name) __builtin_trap();
        int found = -1;
        FindItem(reader, item.name, &found, nullptr);
        ZipResult result = ZIPRES_MORE_DATA;
        for (int chunk = 0; chunk < kMaxChunksPerItem && result == ZIPRES_MORE_DATA; ++chunk)
            result = UnzipToMemory(reader, index, buffer, sizeof buffer);
        locked = locked || result == ZIPRES_BAD_PASSWORD;
    }
    // Past the end, and the first item again after the others.
    UnzipToMemory(reader, count.index, buffer, sizeof buffer);
    if (count.index > 0) UnzipToMemory(reader, 0, buffer, 1);
    Close(reader);
    return locked;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchFile file("archive.zip");
    if (!file.write(data, size)) return 0;
    // The second pass only where it can differ: the reader touches the password only
    // for an encrypted item.
    if (readArchive(file.path().c_str(), nullptr)) readArchive(file.path().c_str(), "python");
    return 0;
}
