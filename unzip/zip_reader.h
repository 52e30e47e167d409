#pragma once
// Reading zip archives, with or without a password, into files or memory.
// Every operation but Open takes the reader as a handle; given none it reports
// ZIPRES_BAD_ARGS.

#include <cstddef>
#include <memory>
#include <utility>

#include "platform/files.h"
#include "unzip/zip_item.h"
#include "unzip/zip_result.h"

// One open archive; it owns everything it holds, which only zip_reader.cpp sees.
struct CZipReader;

// Opens the archive at `path` (read-only, others may read it but not change it);
// none when it cannot be opened, holds no readable zip directory or the current
// folder cannot be read.
CZipReader* Open(const char* path, const char* password);

// Opens the archive in `file`, which the reader takes over and closes: every byte is
// read through that handle, never by name, so what is read is what the caller opened
// (and perhaps checked). None when it is not open or holds no readable zip directory.
CZipReader* Open(platform::File file, const char* password);

// index -1: item->index receives the number of items.
ZipResult GetItem(CZipReader* reader, int index, ZipItem* item);

// Looks a stored name up, ignoring ASCII case. `index` and `item` are optional.
ZipResult FindItem(CZipReader* reader, const char* name, int* index, ZipItem* item);

// Unpacks an item to `target`; relative targets land below the reader's root folder.
// The item is written to a temporary file beside the target
// (platform::replacementPathFor; a leftover of an interrupted run is replaced) that
// replaces the target only when the item ended well: after any failure the target is
// as it was and the temporary file is gone. ZIPRES_CANNOT_OPEN, with nothing written,
// for a target that is a read-only file or a folder, that is the open archive itself,
// or whose name ends with the temporary suffix.
ZipResult UnzipToFile(CZipReader* reader, int index, const char* target);

// Unpacks up to `size` bytes; ZIPRES_MORE_DATA when the buffer is full and data
// remain, and the next call with the same index continues.
ZipResult UnzipToMemory(CZipReader* reader, int index, void* buffer, size_t size);

ZipResult Close(CZipReader* reader);

// Creates `folder` (and its parents) below `root`, or as given when root is null.
// Failures are left for the file creation to report.
void EnsureFolderPath(const char* root, const char* folder);

// Closes its reader when it goes, so no path can forget Close.
struct ZipReaderCloser {
    void operator()(CZipReader* reader) const { Close(reader); }
};
using ZipReaderHandle = std::unique_ptr<CZipReader, ZipReaderCloser>;

// Open, with the reader held by a handle; an empty handle when Open gives none.
inline ZipReaderHandle openZipReader(const char* path, const char* password) {
    return ZipReaderHandle(Open(path, password));
}
inline ZipReaderHandle openZipReader(platform::File file, const char* password) {
    return ZipReaderHandle(Open(std::move(file), password));
}
