#include "unzip/item_data_stream.h"

#include <algorithm>
#include <climits>

namespace {

constexpr size_t kInputPiece = 16384;
constexpr size_t kEncryptionHeader = 12;
constexpr uint32_t kFlagEncrypted = 0x1;
constexpr uint32_t kFlagDataDescriptor = 0x8;

}  // namespace

ItemDataStream::~ItemDataStream() { close(); }

void ItemDataStream::close() {
    if (inflating_) inflateEnd(&zs_);
    inflating_ = false;
    if (minizipOpen_) unzCloseCurrentFile(archive_);
    minizipOpen_ = false;
    decrypter_.reset();
    input_.reset();
    inputLength_ = inputPos_ = 0;
    mode_ = Mode::Closed;
}

ZipResult ItemDataStream::open(unzFile archive, platform::File& file, const ItemDataInfo& info,
                               const char* password) {
    close();
    archive_ = archive;
    file_ = &file;
    info_ = info;
    delivered_ = 0;
    ended_ = false;
    rawDone_ = false;
    crc_ = crc32(0L, Z_NULL, 0);

    const bool encrypted = (info.flags & kFlagEncrypted) != 0;
    if (!encrypted && unzOpenCurrentFile(archive) == UNZ_OK) {
        minizipOpen_ = true;
        mode_ = Mode::Minizip;
        return ZIPRES_OK;
    }

    // Raw bytes come from minizip when it accepts the entry, else straight from the file.
    int method = 0;
    int level = 0;
    minizipOpen_ = unzOpenCurrentFile2(archive, &method, &level, 1) == UNZ_OK;
    rawLeft_ = info.compressedSize;
    rawPos_ = info.dataOffset;
    mode_ = Mode::Own;
    input_.reset(new unsigned char[kInputPiece]);

    if (encrypted) {
        decrypter_.emplace(password);
        unsigned char header[kEncryptionHeader];
        size_t have = 0;
        while (have < kEncryptionHeader) {
            const int64_t n = fetchRaw(header + have, kEncryptionHeader - have);
            if (n <= 0) {
                close();
                return ZIPRES_INFLATE_FAILED;
            }
            have += static_cast<size_t>(n);
        }
        decrypter_->decrypt(header, kEncryptionHeader);
        const unsigned expected = (info.flags & kFlagDataDescriptor)
                                      ? ((info.dosDateTime >> 8) & 0xFF)
                                      : ((info.crc >> 24) & 0xFF);
        if (header[kEncryptionHeader - 1] != expected) {
            close();
            return ZIPRES_BAD_PASSWORD;
        }
    }
    if (info.method == Z_DEFLATED) {
        zs_ = z_stream{};
        if (inflateInit2(&zs_, -MAX_WBITS) != Z_OK) {
            close();
            return ZIPRES_INFLATE_FAILED;
        }
        inflating_ = true;
    }
    return ZIPRES_OK;
}

int64_t ItemDataStream::fetchRaw(unsigned char* buffer, size_t size) {
    if (minizipOpen_) {
        const int n = unzReadCurrentFile(archive_, buffer, static_cast<unsigned>(size));
        return n < 0 ? -1 : n;
    }
    if (rawLeft_ == 0) return 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, rawLeft_));
    if (file_->seek(rawPos_, platform::SeekFrom::Begin) < 0) return -1;
    const int64_t n = file_->read(buffer, want);
    if (n <= 0) return -1;  // the archive ends inside the item
    rawPos_ += n;
    rawLeft_ -= static_cast<uint64_t>(n);
    return n;
}

bool ItemDataStream::fetchInput() {
    const int64_t n = fetchRaw(input_.get(), kInputPiece);
    if (n < 0) return false;
    if (n == 0) {
        rawDone_ = true;
        inputLength_ = inputPos_ = 0;
        return true;
    }
    if (decrypter_) decrypter_->decrypt(input_.get(), static_cast<size_t>(n));
    inputLength_ = static_cast<size_t>(n);
    inputPos_ = 0;
    return true;
}

ZipResult ItemDataStream::read(unsigned char* buffer, size_t size, size_t& delivered) {
    delivered = 0;
    if (mode_ == Mode::Closed) return ZIPRES_INFLATE_FAILED;
    const size_t want =
        static_cast<size_t>(std::min<uint64_t>(size, info_.uncompressedSize - delivered_));
    ZipResult result = mode_ == Mode::Minizip ? readMinizip(buffer, want, delivered)
                                              : readOwn(buffer, want, delivered);
    if (result == ZIPRES_OK && delivered_ == info_.uncompressedSize && !ended_) result = finish();
    if (result != ZIPRES_OK) close();
    return result;
}

ZipResult ItemDataStream::readMinizip(unsigned char* buffer, size_t want, size_t& got) {
    while (got < want) {
        const unsigned piece = static_cast<unsigned>(std::min<size_t>(want - got, INT_MAX / 2));
        const int n = unzReadCurrentFile(archive_, buffer + got, piece);
        if (n <= 0) return ZIPRES_INFLATE_FAILED;  // damaged, or the data end too early
        got += static_cast<size_t>(n);
        delivered_ += static_cast<uint64_t>(n);
    }
    return ZIPRES_OK;
}

ZipResult ItemDataStream::readOwn(unsigned char* buffer, size_t want, size_t& got) {
    while (got < want) {
        if (inputPos_ == inputLength_) {
            if (rawDone_ || !fetchInput() || rawDone_) return ZIPRES_INFLATE_FAILED;
        }
        size_t produced = 0;
        if (!inflating_) {
            produced = std::min(want - got, inputLength_ - inputPos_);
            std::copy_n(input_.get() + inputPos_, produced, buffer + got);
            inputPos_ += produced;
        } else {
            zs_.next_in = input_.get() + inputPos_;
            zs_.avail_in = static_cast<uInt>(inputLength_ - inputPos_);
            zs_.next_out = buffer + got;
            zs_.avail_out = static_cast<uInt>(std::min<size_t>(want - got, UINT_MAX));
            const int z = inflate(&zs_, Z_NO_FLUSH);
            produced = static_cast<size_t>(zs_.next_out - (buffer + got));
            inputPos_ = static_cast<size_t>(zs_.next_in - input_.get());
            if (z == Z_STREAM_END) {
                // The stream must not end before the declared size is reached.
                if (delivered_ + produced < info_.uncompressedSize) return ZIPRES_INFLATE_FAILED;
            } else if (z != Z_OK && !(z == Z_BUF_ERROR && produced == 0 && zs_.avail_in == 0)) {
                return ZIPRES_INFLATE_FAILED;
            }
        }
        crc_ = crc32(crc_, buffer + got, static_cast<uInt>(produced));
        got += produced;
        delivered_ += produced;
    }
    return ZIPRES_OK;
}

ZipResult ItemDataStream::finish() {
    bool sound = true;
    if (mode_ == Mode::Minizip) {
        sound = unzCloseCurrentFile(archive_) == UNZ_OK;  // minizip checks the CRC-32 here
        minizipOpen_ = false;
    } else {
        sound = crc_ == info_.crc;
    }
    if (!sound) return ZIPRES_INFLATE_FAILED;
    ended_ = true;
    return ZIPRES_OK;
}
