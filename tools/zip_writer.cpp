#include "tools/zip_writer.h"

#include <minizip/zip.h>

namespace {

constexpr uLong kVersionMadeByDos = 20;                // MS-DOS host, zip 2.0
constexpr uLong kVersionMadeByUnix = (3u << 8) | 20;   // Unix host, zip 2.0
constexpr uLong kDosArchiveBit = 0x20;

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
    // The encryption header's check byte comes from the entry's CRC-32.
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), static_cast<const Bytef*>(data), uInt(size));
    int result = zipOpenNewFileInZip4_64(zip_, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                         nullptr, Z_DEFLATED, Z_BEST_COMPRESSION, 0, -MAX_WBITS,
                                         DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, entry.password, crc,
                                         versionMadeBy, 0, 0);
    if (result == ZIP_OK && size > 0) result = zipWriteInFileInZip(zip_, data, unsigned(size));
    const int closed = zipCloseFileInZip(zip_);
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
