#include "tools/zip_writer.h"

#include <minizip/zip.h>

#include <random>
#include <string>

// The routines of crypt.h predate C++17 (they use `register`) and are all static.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wregister"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <minizip/crypt.h>
#pragma GCC diagnostic pop

#include "unzip/pkware_decrypter.h"

namespace {

constexpr uLong kVersionMadeByDos = 20;               // MS-DOS host, zip 2.0
constexpr uLong kVersionMadeByUnix = (3u << 8) | 20;  // Unix host, zip 2.0
constexpr uLong kDosArchiveBit = 0x20;
constexpr uLong kFlagEncrypted = 0x1;
constexpr size_t kEncryptionHeader = 12;

bool deflateRaw(const void* data, size_t size, std::string& out) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.assign(deflateBound(&zs, uLong(size)), '\0');
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs.avail_in = uInt(size);
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    const bool finished = deflate(&zs, Z_FINISH) == Z_STREAM_END;
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return finished;
}

// Traditional PKWARE encryption: a 12-byte header of random bytes whose last one is
// the check byte (the CRC-32's high byte), then the data, all through the key stream.
std::string encrypt(const char* password, uLong crc, const std::string& data) {
    std::random_device random;
    std::string plain(kEncryptionHeader, '\0');
    for (size_t i = 0; i + 1 < kEncryptionHeader; ++i) plain[i] = char(random() & 0xFF);
    plain[kEncryptionHeader - 1] = char((crc >> 24) & 0xFF);
    plain += data;
    const unsigned long* table = pkwareCrcTable();
    unsigned long keys[3];
    init_keys(password, keys, table);
    for (char& c : plain) {
        int t;
        c = char(zencode(keys, table, static_cast<unsigned char>(c), t));
    }
    return plain;
}

}  // namespace

ZipWriter::~ZipWriter() {
    if (zip_) zipClose(zip_, nullptr);
}

bool ZipWriter::create(const std::string& path) {
    zip_ = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip_) error_ = "cannot create " + path;
    return zip_ != nullptr;
}

bool ZipWriter::add(const Entry& entry, const void* data, size_t size) {
    if (!zip_) return false;
    if (size > 0xFFFFFFFFu) {
        error_ = entry.name + ": too large";
        return false;
    }
    zip_fileinfo info{};
    std::time_t when = entry.modified ? entry.modified : std::time(nullptr);
    if (const std::tm* local = std::localtime(&when)) {
        info.tmz_date.tm_sec = uInt(local->tm_sec);
        info.tmz_date.tm_min = uInt(local->tm_min);
        info.tmz_date.tm_hour = uInt(local->tm_hour);
        info.tmz_date.tm_mday = uInt(local->tm_mday);
        info.tmz_date.tm_mon = uInt(local->tm_mon);
        info.tmz_date.tm_year = uInt(local->tm_year + 1900);
    }
    uLong versionMadeBy = kVersionMadeByDos;
    info.external_fa = kDosArchiveBit;
    if (entry.unixMode) {
        versionMadeBy = kVersionMadeByUnix;
        info.external_fa = uLong(*entry.unixMode) << 16;
    }
    // minizip's own encryption reads zlib's 32-bit CRC table as unsigned long and so
    // writes headers that no reader accepts on 64-bit systems: the data are deflated and
    // encrypted here and handed to the writer raw.
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), static_cast<const Bytef*>(data), uInt(size));
    std::string stored;
    if (!deflateRaw(data, size, stored)) {
        error_ = entry.name + ": cannot be compressed";
        return false;
    }
    uLong flags = 0;
    if (entry.password) {
        stored = encrypt(entry.password, crc, stored);
        flags = kFlagEncrypted;
    }
    int result =
        zipOpenNewFileInZip4_64(zip_, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_BEST_COMPRESSION, 1, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, versionMadeBy, flags, 0);
    if (result == ZIP_OK && !stored.empty())
        result = zipWriteInFileInZip(zip_, stored.data(), unsigned(stored.size()));
    const int closed = zipCloseFileInZipRaw64(zip_, size, crc);
    if (result != ZIP_OK || closed != ZIP_OK) {
        error_ = entry.name + ": cannot be written to the archive";
        return false;
    }
    return true;
}

bool ZipWriter::close() {
    if (!zip_) return false;
    const int result = zipClose(zip_, nullptr);
    zip_ = nullptr;
    if (result != ZIP_OK) error_ = "cannot finish the archive";
    return result == ZIP_OK;
}
