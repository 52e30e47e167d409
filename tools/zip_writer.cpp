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

namespace {

constexpr uLong kVersionMadeByDos = 20;                // MS-DOS host, zip 2.0
constexpr uLong kVersionMadeByUnix = (3u << 8) | 20;   // Unix host, zip 2.0
constexpr uLong kDosArchiveBit = 0x20;
constexpr int kFlagEncrypted = 1;
constexpr size_t kEncryptionHeaderSize = 12;

// crypt.h wants the CRC table as unsigned long, zlib hands out 32-bit entries.
const unsigned long* crcTable() {
    static const struct Table {
        unsigned long entries[256];
        Table() {
            const z_crc_t* source = get_crc_table();
            for (int i = 0; i < 256; ++i) entries[i] = source[i];
        }
    } table;
    return table.entries;
}

bool deflateRaw(const void* data, size_t size, std::string& out) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&zs, uLong(size)));
    zs.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs.avail_in = uInt(size);
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    const int result = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return result == Z_STREAM_END;
}

// The encryption header (ten random bytes, then the CRC-32's two high bytes, the last
// one being the check byte) and the data, encrypted with the traditional PKWARE cipher.
std::string encrypt(const char* password, uLong crc, const std::string& compressed) {
    std::string out(kEncryptionHeaderSize, '\0');
    std::random_device random;
    for (size_t i = 0; i < kEncryptionHeaderSize - 2; ++i) out[i] = char(random() & 0xFF);
    out[kEncryptionHeaderSize - 2] = char((crc >> 16) & 0xFF);
    out[kEncryptionHeaderSize - 1] = char((crc >> 24) & 0xFF);
    out += compressed;
    unsigned long keys[3];
    const unsigned long* table = crcTable();
    init_keys(password, keys, table);
    for (char& byte : out) {
        int t = 0;
        byte = char(zencode(keys, table, static_cast<unsigned char>(byte), t));
    }
    return out;
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
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), static_cast<const Bytef*>(data), uInt(size));
    int result = ZIP_OK;
    int closed = ZIP_OK;
    if (entry.password) {
        // minizip's own encryption reads zlib's 32-bit CRC table as unsigned long on
        // 64-bit systems and writes data no reader can decrypt, so the entry is
        // compressed and encrypted here and handed to minizip raw.
        std::string compressed;
        if (!deflateRaw(data, size, compressed)) {
            error_ = entry.name + ": cannot be compressed";
            return false;
        }
        const std::string sealed = encrypt(entry.password, crc, compressed);
        result = zipOpenNewFileInZip4_64(zip_, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                         nullptr, Z_DEFLATED, Z_BEST_COMPRESSION, 1, -MAX_WBITS,
                                         DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                         versionMadeBy, kFlagEncrypted, 0);
        if (result == ZIP_OK) result = zipWriteInFileInZip(zip_, sealed.data(), unsigned(sealed.size()));
        closed = zipCloseFileInZipRaw(zip_, uLong(size), crc);
    } else {
        result = zipOpenNewFileInZip4_64(zip_, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                         nullptr, Z_DEFLATED, Z_BEST_COMPRESSION, 0, -MAX_WBITS,
                                         DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                         versionMadeBy, 0, 0);
        if (result == ZIP_OK && size > 0) result = zipWriteInFileInZip(zip_, data, unsigned(size));
        closed = zipCloseFileInZip(zip_);
    }
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
