#pragma once
// Reads one item's data: plain items through minizip, encrypted items (and items
// whose local header minizip refuses but ours accepts, as some zip64 writers make
// them) as raw bytes that we decrypt, inflate and check against the CRC-32 here.

#include <minizip/unzip.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/files.h"
#include "unzip/pkware_decrypter.h"
#include "unzip/zip_result.h"

struct ItemDataInfo {
    int method = 0;      // 0 stored, 8 deflated
    uint32_t flags = 0;  // general-purpose flags of the directory entry
    uint32_t crc = 0;
    uint32_t dosDateTime = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    int64_t dataOffset = 0;  // absolute position of the item's data in the file
};

class ItemDataStream {
public:
    ItemDataStream() = default;
    ~ItemDataStream();
    ItemDataStream(const ItemDataStream&) = delete;
    ItemDataStream& operator=(const ItemDataStream&) = delete;

    // Starts reading the directory's current entry, described by `info`.
    // ZIPRES_OK, ZIPRES_BAD_PASSWORD or ZIPRES_INFLATE_FAILED.
    ZipResult open(unzFile archive, platform::File& file, const ItemDataInfo& info,
                   const char* password);
    // Delivers up to `size` bytes. ZIPRES_OK (see atEnd), or a failure after which
    // the stream is closed.
    ZipResult read(unsigned char* buffer, size_t size, size_t& delivered);
    // All `uncompressedSize` bytes have been delivered and checked.
    bool atEnd() const { return ended_; }
    bool isOpen() const { return mode_ != Mode::Closed; }
    void close();

private:
    enum class Mode { Closed, Minizip, Own };

    ZipResult readMinizip(unsigned char* buffer, size_t want, size_t& got);
    ZipResult readOwn(unsigned char* buffer, size_t want, size_t& got);
    // Raw (still encrypted, still compressed) bytes: 0 at their end, -1 on failure.
    int64_t fetchRaw(unsigned char* buffer, size_t size);
    bool fetchInput();
    ZipResult finish();

    Mode mode_ = Mode::Closed;
    unzFile archive_ = nullptr;
    bool minizipOpen_ = false;
    platform::File* file_ = nullptr;
    ItemDataInfo info_;
    uint64_t delivered_ = 0;
    uint64_t rawLeft_ = 0;
    int64_t rawPos_ = 0;
    bool ended_ = false;
    uLong crc_ = 0;
    std::optional<PkwareDecrypter> decrypter_;
    bool inflating_ = false;
    z_stream zs_{};
    std::unique_ptr<unsigned char[]> input_;
    size_t inputLength_ = 0;
    size_t inputPos_ = 0;
    bool rawDone_ = false;
};
