#pragma once
// Small helpers around the zip reader for the tests.

#include <string>

#include "unzip/zip_reader.h"

namespace testsupport {

using ::ZipReaderHandle;

inline ZipReaderHandle openZip(const std::string& path, const char* password = nullptr) {
    return openZipReader(path.c_str(), password);
}

// Unpacks a whole item into memory through a buffer of its declared size.
// `result` receives the reader's code.
inline std::string unzipToString(CZipReader* reader, int index, ZipResult& result) {
    ZipItem item;
    result = GetItem(reader, index, &item);
    if (result != ZIPRES_OK) return {};
    std::string data(size_t(item.uncompressedSize), '\0');
    result = UnzipToMemory(reader, index, data.data(), data.size());
    return result == ZIPRES_OK ? data : std::string();
}

}  // namespace testsupport
