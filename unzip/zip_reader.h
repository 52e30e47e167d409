#pragma once
// Reading zip archives, with or without a password, into files or memory.
// Every operation but Open takes the reader as a handle; given none it reports
// ZIPRES_BAD_ARGS.

#include <cstddef>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include <minizip/unzip.h>

#include "platform/files.h"
#include "unzip/item_data_stream.h"
#include "unzip/zip_file_io.h"
#include "unzip/zip_item.h"
#include "unzip/zip_result.h"

// One open archive; it owns everything it holds.
struct CZipReader {
    CZipReader() = default;
    ~CZipReader();
    CZipReader(const CZipReader&) = delete;
    CZipReader& operator=(const CZipReader&) = delete;

    unzFile archive = nullptr;  // none for an archive without entries
    int currentItem = -1;       // item whose unpacking to memory may be continued
    ZipItem cachedItem;
    int cachedIndex = -1;
    std::unique_ptr<char[]> password;
    std::unique_ptr<unsigned char[]> transferBuffer;  // 16384 bytes, made on first use
    std::string rootFolder;     // the current folder at opening, ending with a separator

    // Our own bookkeeping beside minizip's.
    platform::File file;
    ZipFileIo io;
    int itemCount = 0;
    int directoryEntry = -1;    // minizip's current entry, -1 when unknown
    int unreachableEntry = INT_MAX;  // first entry the directory walk could not reach
    ItemDataInfo cachedData;    // where and how the cached item's data lie
    bool cachedExecutable = false;
    ItemDataStream memoryRead;
};

constexpr size_t kZipTransferBufferSize = 16384;

// Opens the archive at `path` (read-only, others may read it but not change it);
// none when it cannot be opened, holds no readable zip directory or the current
// folder cannot be read.
CZipReader* Open(const char* path, const char* password);

// index -1: item->index receives the number of items.
ZipResult GetItem(CZipReader* reader, int index, ZipItem* item);

// Looks a stored name up, ignoring ASCII case. `index` and `item` are optional.
ZipResult FindItem(CZipReader* reader, const char* name, int* index, ZipItem* item);

// Unpacks an item to `target`; relative targets land below the reader's root folder.
ZipResult UnzipToFile(CZipReader* reader, int index, const char* target);

// Unpacks up to `size` bytes; ZIPRES_MORE_DATA when the buffer is full and data
// remain, and the next call with the same index continues.
ZipResult UnzipToMemory(CZipReader* reader, int index, void* buffer, size_t size);

ZipResult Close(CZipReader* reader);

// Creates `folder` (and its parents) below `root`, or as given when root is null.
// Failures are left for the file creation to report.
void EnsureFolderPath(const char* root, const char* folder);
