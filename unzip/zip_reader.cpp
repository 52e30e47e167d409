#include "unzip/zip_reader.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_order.h"
#include "platform/errors.h"
#include "platform/file_checks.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/strings.h"
#include "platform/system.h"
#include "unzip/item_data_stream.h"
#include "unzip/zip_attributes.h"
#include "unzip/zip_file_io.h"
#include "unzip/zip_name.h"

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
    std::string rootFolder;  // the current folder at opening, ending with a separator

    // Our own bookkeeping beside minizip's.
    platform::File file;
    ZipFileIo io;
    int itemCount = 0;
    int directoryEntry = -1;         // minizip's current entry, -1 when unknown
    int unreachableEntry = INT_MAX;  // first entry the directory walk could not reach
    ItemDataInfo cachedData;         // where and how the cached item's data lie
    bool cachedExecutable = false;
    ItemDataStream memoryRead;
};

namespace {

constexpr size_t kZipTransferBufferSize = 16384;

using platform::readLe16;
using platform::readLe32;
using platform::readLe64;

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndOfDirectorySize = 22;
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint32_t kFlagDataDescriptor = 0x8;
constexpr size_t kNameBuffer = 260;
constexpr size_t kFindNameLimit = 256;

// minizip never finds an end record at offset 0, so an archive without entries is
// recognised here: an end record announcing no entries and an empty directory.
bool holdsEmptyArchive(platform::File& file) {
    const int64_t size = file.size();
    if (size < int64_t(kEndOfDirectorySize)) return false;
    const int64_t span = std::min<int64_t>(size, 0xFFFF + kEndOfDirectorySize);
    std::vector<unsigned char> tail(static_cast<size_t>(span));
    if (!file.readAt(size - span, tail.data(), tail.size())) return false;
    for (int64_t i = span - int64_t(kEndOfDirectorySize); i >= 0; --i) {
        const unsigned char* p = tail.data() + i;
        if (readLe32(p) != kEndOfDirectorySignature) continue;
        const bool consistent = i + int64_t(kEndOfDirectorySize) + readLe16(p + 20) <= span;
        return consistent && readLe16(p + 4) == 0 && readLe16(p + 6) == 0 && readLe16(p + 8) == 0 &&
               readLe16(p + 10) == 0 && readLe32(p + 12) == 0;
    }
    return false;
}

bool isAbsolutePath(std::string_view path) {
    return (!path.empty() && platform::isSeparator(path[0])) ||
           (path.size() >= 2 && path[1] == ':');
}

void abandonMemoryRead(CZipReader* reader) {
    reader->memoryRead.close();
    reader->currentItem = -1;
}

// Steps the directory to entry `index`: back to the first entry only when the
// wanted one lies behind. A step that fails ends the walk instead of looping, and
// the entries from there on stay unreachable: the archive cannot change while it is
// open, and walking to them again for every later index would cost the whole walk
// each time.
ZipResult positionOn(CZipReader* reader, int index) {
    if (!reader->archive || index >= reader->unreachableEntry) return ZIPRES_CORRUPT;
    if (reader->directoryEntry < 0 || index < reader->directoryEntry) {
        if (unzGoToFirstFile(reader->archive) != UNZ_OK) {
            reader->directoryEntry = -1;
            reader->unreachableEntry = 0;
            return ZIPRES_CORRUPT;
        }
        reader->directoryEntry = 0;
    }
    while (reader->directoryEntry < index) {
        if (unzGoToNextFile(reader->archive) != UNZ_OK) {
            reader->unreachableEntry = reader->directoryEntry + 1;
            reader->directoryEntry = -1;
            return ZIPRES_CORRUPT;
        }
        ++reader->directoryEntry;
    }
    return ZIPRES_OK;
}

// The local header's offset relative to the archive start, from the directory entry
// that minizip has just read at `centralPosition`.
bool localHeaderOffset(platform::File& file, int64_t centralPosition, uint64_t& offset) {
    unsigned char header[kCentralHeaderSize];
    if (!file.readAt(centralPosition, header, sizeof header)) return false;
    if (readLe32(header) != kCentralHeaderSignature) return false;
    offset = readLe32(header + 42);
    if (offset != kZip64Marker) return true;

    const size_t nameLength = readLe16(header + 28);
    const size_t extraLength = readLe16(header + 30);
    std::vector<unsigned char> extra(extraLength);
    if (!file.readAt(centralPosition + int64_t(kCentralHeaderSize + nameLength), extra.data(),
                     extra.size()))
        return false;
    for (size_t at = 0; at + 4 <= extra.size();) {
        const uint32_t id = readLe16(&extra[at]);
        const size_t length = readLe16(&extra[at + 2]);
        const size_t dataEnd = std::min(extra.size(), at + 4 + length);
        if (id == 0x0001) {
            size_t field = at + 4;
            if (readLe32(header + 24) == kZip64Marker) field += 8;
            if (readLe32(header + 20) == kZip64Marker) field += 8;
            if (field + 8 > dataEnd) return false;
            offset = readLe64(&extra[field]);
            return true;
        }
        at += 4 + length;
    }
    return false;
}

// Reads and checks the directory's current entry (steps 5 to 9 of a description).
ZipResult describeCurrentEntry(CZipReader* reader, int index) {
    unz_file_info64 info{};
    char storedName[kNameBuffer] = {};
    const uint64_t centralRelative = unzGetOffset64(reader->archive);
    reader->io.resetSeekRecord();
    if (unzGetCurrentFileInfo64(reader->archive, &info, storedName, sizeof storedName, nullptr, 0,
                                nullptr, 0) != UNZ_OK)
        return ZIPRES_CORRUPT;
    // A name that does not fit the item's buffer is refused, never cut into another name.
    if (info.size_filename >= kNameBuffer) return ZIPRES_CORRUPT;

    const int64_t centralPosition = reader->io.firstSeekSet;
    if (centralPosition < 0 || uint64_t(centralPosition) < centralRelative) return ZIPRES_CORRUPT;
    const int64_t bytesBefore = centralPosition - int64_t(centralRelative);
    uint64_t localRelative = 0;
    if (!localHeaderOffset(reader->file, centralPosition, localRelative)) return ZIPRES_CORRUPT;
    if (localRelative > uint64_t(INT64_MAX - bytesBefore) - kLocalHeaderSize - 0x20000)
        return ZIPRES_CORRUPT;
    const int64_t localPosition = int64_t(localRelative) + bytesBefore;

    unsigned char local[kLocalHeaderSize];
    if (!reader->file.readAt(localPosition, local, sizeof local)) return ZIPRES_CORRUPT;
    const uint32_t method = readLe16(local + 8);
    bool agrees = readLe32(local) == kLocalHeaderSignature && method == info.compression_method &&
                  (method == 0 || method == 8) && readLe16(local + 26) == info.size_filename;
    if (agrees && !(info.flag & kFlagDataDescriptor)) {
        // A zip64 local header may carry the marker in place of the real sizes.
        const uint32_t localCompressed = readLe32(local + 18);
        const uint32_t localUncompressed = readLe32(local + 22);
        agrees = readLe32(local + 14) == info.crc &&
                 (localCompressed == kZip64Marker || localCompressed == info.compressed_size) &&
                 (localUncompressed == kZip64Marker || localUncompressed == info.uncompressed_size);
    }
    if (!agrees) return ZIPRES_CORRUPT;

    const size_t extraLength = readLe16(local + 28);
    std::vector<unsigned char> extra(extraLength);
    const int64_t extraPosition = localPosition + int64_t(kLocalHeaderSize) + readLe16(local + 26);
    if (extraLength > 0 && !reader->file.readAt(extraPosition, extra.data(), extra.size()))
        return ZIPRES_READ_FAILED;

    ZipItem item;
    const std::string cleaned = cleanZipName(storedName);
    std::memcpy(item.name, cleaned.c_str(), cleaned.size() + 1);
    item.attributes = mapZipAttributes(uint32_t(info.version), uint32_t(info.external_fa));
    ZipTimes times;
    times.access = times.creation = times.write = dosDateTimeToFileTime(uint32_t(info.dosDate));
    applyExtendedTimestamp(extra.data(), extra.size(), times);
    item.accessTime = times.access;
    item.creationTime = times.creation;
    item.writeTime = times.write;
    item.compressedSize = static_cast<int32_t>(info.compressed_size);
    item.uncompressedSize = static_cast<int32_t>(info.uncompressed_size);
    item.index = index;

    ItemDataInfo data;
    data.method = int(method);
    data.flags = uint32_t(info.flag);
    data.crc = uint32_t(info.crc);
    data.dosDateTime = uint32_t(info.dosDate);
    data.compressedSize = info.compressed_size;
    data.uncompressedSize = info.uncompressed_size;
    data.dataOffset = extraPosition + int64_t(extraLength);

    reader->cachedItem = item;
    reader->cachedIndex = index;
    reader->cachedData = data;
    reader->cachedExecutable =
        zipEntryIsExecutable(uint32_t(info.version), uint32_t(info.external_fa));
    return ZIPRES_OK;
}

// Positions on the item and describes it, from the cache when it holds that item.
ZipResult describeItem(CZipReader* reader, int index, bool positionAlways) {
    if (index == reader->cachedIndex && !positionAlways) return ZIPRES_OK;
    const ZipResult positioned = positionOn(reader, index);
    if (positioned != ZIPRES_OK) return positioned;
    if (index == reader->cachedIndex) return ZIPRES_OK;
    return describeCurrentEntry(reader, index);
}

}  // namespace

CZipReader::~CZipReader() {
    memoryRead.close();
    if (archive) unzClose(archive);
}

CZipReader* Open(const char* path, const char* password) {
    if (!path) return nullptr;
    // Shared for reading only: an item whose target is this very archive cannot be
    // created while it is open.
    platform::CreateOptions shareReading;
    shareReading.share = platform::ShareRead;
    platform::File file;
    if (!file.open(path, platform::AccessRead, platform::Disposition::OpenExisting, shareReading))
        return nullptr;
    return Open(std::move(file), password);
}

CZipReader* Open(platform::File file, const char* password) {
    if (!file.isOpen()) return nullptr;
    auto reader = std::make_unique<CZipReader>();
    if (password) {
        const size_t length = std::strlen(password);
        reader->password.reset(new char[length + 1]);
        std::memcpy(reader->password.get(), password, length + 1);
    }
    // Without the current folder there is no root to unpack below.
    reader->rootFolder = platform::currentDirectory();
    if (reader->rootFolder.empty()) return nullptr;
    // "C:\Game" gets its separator, and so does a folder whose name ends in a character
    // with the trail byte 0x5C.
    reader->rootFolder = platform::joinPath(reader->rootFolder, "");

    reader->file = std::move(file);
    reader->io.file = &reader->file;
    zlib_filefunc64_def table = reader->io.table();
    // minizip only hands the name to the table's open function, which ignores it.
    reader->archive = unzOpen2_64("", &table);
    if (!reader->archive) {
        if (!holdsEmptyArchive(reader->file)) return nullptr;
        reader->itemCount = 0;
        return reader.release();
    }
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(reader->archive, &global) != UNZ_OK) return nullptr;
    reader->itemCount =
        global.number_entry > uint64_t(INT_MAX) ? INT_MAX : int(global.number_entry);
    // minizip opens an archive whose first directory entry it cannot read (a cut end
    // record, a directory offset that points elsewhere); such a file holds no readable
    // directory.
    if (reader->itemCount > 0) {
        if (unzGoToFirstFile(reader->archive) != UNZ_OK) return nullptr;
        reader->directoryEntry = 0;
    }
    return reader.release();
}

ZipResult GetItem(CZipReader* reader, int index, ZipItem* item) {
    if (!reader || !item || index < -1 || index >= reader->itemCount) return ZIPRES_BAD_ARGS;
    abandonMemoryRead(reader);
    if (index == -1) {
        *item = ZipItem{};
        item->index = reader->itemCount;
        return ZIPRES_OK;
    }
    const ZipResult result = describeItem(reader, index, false);
    if (result == ZIPRES_OK) *item = reader->cachedItem;
    return result;
}

ZipResult FindItem(CZipReader* reader, const char* name, int* index, ZipItem* item) {
    if (!reader || !name) return ZIPRES_BAD_ARGS;
    const size_t length = std::strlen(name);
    int found = -1;
    const int before = reader->directoryEntry;
    if (length < kFindNameLimit) {
        for (int i = 0; i < reader->itemCount && found < 0; ++i) {
            if (positionOn(reader, i) != ZIPRES_OK) return ZIPRES_CORRUPT;
            unz_file_info64 info{};
            char stored[kFindNameLimit + 1] = {};
            if (unzGetCurrentFileInfo64(reader->archive, &info, stored, sizeof stored, nullptr, 0,
                                        nullptr, 0) != UNZ_OK)
                return ZIPRES_CORRUPT;
            if (info.size_filename == length &&
                platform::sameNameIgnoringCase(std::string_view(stored, length), name))
                found = i;
        }
    }
    if (found < 0) {
        if (before >= 0 && before != reader->directoryEntry) positionOn(reader, before);
        if (index) *index = -1;
        if (item) {
            *item = ZipItem{};
            item->index = -1;
        }
        return ZIPRES_NOT_FOUND;
    }
    abandonMemoryRead(reader);
    if (index) *index = found;
    if (!item) return ZIPRES_OK;
    const ZipResult result = describeItem(reader, found, false);
    if (result == ZIPRES_OK) *item = reader->cachedItem;
    return result;
}

namespace {

// Whether a folder on the way from `root` to `relative` is a link: an entry must not
// leave the root folder through one.
bool passesThroughLink(const std::string& root, std::string_view relative) {
    for (size_t at = relative.find_first_of("/\\"); at != std::string_view::npos;
         at = relative.find_first_of("/\\", at + 1)) {
        if (at > 0 && platform::isSymbolicLink(platform::joinPath(root, relative.substr(0, at))))
            return true;
    }
    return false;
}

// ZIPRES_CANNOT_OPEN, with its cause on the debugger: the hand-over only retries and
// then asks for a reboot, so this line is what tells why an entry was not written.
ZipResult cannotOpen(std::string_view target, std::string_view cause) {
    platform::debugOutput("UnzipToFile " + std::string(target) + ": " + std::string(cause));
    return ZIPRES_CANNOT_OPEN;
}

// The same for a failed system call, with the system's error number.
ZipResult cannotOpenFor(std::string_view target, std::string_view cause) {
    return cannotOpen(
        target, std::string(cause) + " (error " + std::to_string(platform::lastError()) + ")");
}

}  // namespace

void EnsureFolderPath(const char* root, const char* folder) {
    if (root && *root && !platform::getAttributes(root)) platform::createDirectory(root);
    if (!folder || !*folder) return;
    const std::string_view path(folder);
    const size_t separator = platform::lastSeparator(path);
    if (separator != std::string_view::npos && separator != 0)
        EnsureFolderPath(root, std::string(path.substr(0, separator)).c_str());
    const std::string full = platform::joinPath(root ? root : "", folder);
    if (!platform::getAttributes(full)) platform::createDirectory(full);
}

ZipResult UnzipToFile(CZipReader* reader, int index, const char* target) {
    if (!reader) return ZIPRES_BAD_ARGS;
    abandonMemoryRead(reader);
    if (index < 0 || index >= reader->itemCount || !target) return ZIPRES_BAD_ARGS;
    const ZipResult described = describeItem(reader, index, true);
    if (described != ZIPRES_OK) return described;
    const ZipItem& item = reader->cachedItem;

    const std::string_view targetPath(target);
    if (targetPath.size() >= kNameBuffer) return cannotOpen(targetPath, "the name is too long");
    // A name of the temporary files' form, or a folder of that form, would take the
    // name of another entry's temporary file; no package of ours holds one, and nothing
    // of it is made.
    if (platform::hasReplacementComponent(targetPath))
        return cannotOpen(targetPath, "the name has the form of a temporary file");
    const bool absolute = isAbsolutePath(targetPath);
    const char* root = reader->rootFolder.c_str();
    // A folder item's own name counts too: folders would be made through it.
    const bool folderItem = (item.attributes & platform::FILE_ATTR_DIRECTORY) != 0;
    if (!absolute &&
        passesThroughLink(reader->rootFolder, folderItem ? platform::joinPath(targetPath, "")
                                                         : std::string(targetPath)))
        return cannotOpen(targetPath, "a folder on the way is a link");
    if (item.attributes & platform::FILE_ATTR_DIRECTORY) {
        if (!absolute && reader->rootFolder.size() + targetPath.size() > platform::maxPathLength())
            return cannotOpen(targetPath, "the path is too long");
        EnsureFolderPath(absolute ? nullptr : root, target);
        return ZIPRES_OK;
    }

    const size_t separator = platform::lastSeparator(targetPath);
    const std::string folder = separator == std::string_view::npos
                                   ? std::string()
                                   : std::string(targetPath.substr(0, separator + 1));
    const bool absoluteFolder = !folder.empty() && isAbsolutePath(folder);
    const std::string path = absoluteFolder ? std::string(targetPath)
                                            : platform::joinPath(reader->rootFolder, targetPath);
    if (path.size() > platform::maxPathLength())
        return cannotOpen(targetPath, "the path is too long");
    if (folder.empty())
        EnsureFolderPath(root, "");
    else if (absoluteFolder)
        EnsureFolderPath(nullptr, folder.c_str());
    else
        EnsureFolderPath(root, folder.c_str());

    // The open archive itself: on Windows its share mode refuses the replacement; here the
    // same file is recognised by identity, however the name is written.
    if (reader->file.isSameFile(path)) return cannotOpen(targetPath, "the target is the archive");
    // A read-only file or a folder in the way is not replaced, as CreateFileA would not
    // overwrite it; the caller clears the attributes and tries again.
    if (const auto attributes = platform::getAttributes(path); attributes) {
        if (*attributes & platform::FILE_ATTR_DIRECTORY)
            return cannotOpen(targetPath, "a folder is in the way");
        if (*attributes & platform::FILE_ATTR_READONLY)
            return cannotOpen(targetPath, "the target is read-only");
    }

    // The item goes to a temporary file beside the target, which replaces the target only
    // once the item has ended well: a damaged item, a wrong password or a full disk
    // leaves the old file as it was.
    platform::CreateOptions options;
    options.attributes = item.attributes;
    options.executable = reader->cachedExecutable;
    options.replaces = path;
    options.share = platform::ShareNone;
    platform::File out;
    std::string temporary;
    if (!platform::createReplacementFile(path, out, temporary, options))
        return cannotOpenFor(targetPath, "cannot create the temporary file");

    ItemDataStream stream;
    ZipResult result =
        stream.open(reader->archive, reader->file, reader->cachedData, reader->password.get());
    if (result == ZIPRES_OK && !reader->transferBuffer)
        reader->transferBuffer.reset(new unsigned char[kZipTransferBufferSize]);
    while (result == ZIPRES_OK) {
        size_t n = 0;
        result = stream.read(reader->transferBuffer.get(), kZipTransferBufferSize, n);
        if (result != ZIPRES_OK) break;
        if (n > 0 && out.write(reader->transferBuffer.get(), n) != int64_t(n)) {
            result = ZIPRES_WRITE_FAILED;
            break;
        }
        if (stream.atEnd()) {
            out.setTimes(&item.creationTime, &item.accessTime, &item.writeTime);
            break;
        }
        if (n == 0) result = ZIPRES_INFLATE_FAILED;
    }
    // The data reaches the disk before the rename: after a power cut the target is the old
    // file or the new one, never an empty one.
    if (result == ZIPRES_OK && !out.flush()) result = ZIPRES_WRITE_FAILED;
    out.close();
    stream.close();
    // A target held by a running process (Windows) is retried like one that could not be
    // created.
    if (result == ZIPRES_OK && !platform::replaceFile(temporary, path))
        result = cannotOpenFor(targetPath, "cannot replace the target");
    if (result != ZIPRES_OK) {
        // The item's own read-only attribute must not keep it.
        platform::setAttributes(temporary, platform::FILE_ATTR_NORMAL);
        platform::deleteFile(temporary);
    }
    return result;
}

ZipResult UnzipToMemory(CZipReader* reader, int index, void* buffer, size_t size) {
    if (!reader || (!buffer && size > 0)) return ZIPRES_BAD_ARGS;
    if (index != reader->currentItem || !reader->memoryRead.isOpen()) {
        abandonMemoryRead(reader);
        if (index < 0 || index >= reader->itemCount) return ZIPRES_BAD_ARGS;
        const ZipResult positioned = positionOn(reader, index);
        if (positioned != ZIPRES_OK) return positioned;
        if (describeItem(reader, index, false) != ZIPRES_OK) return ZIPRES_INFLATE_FAILED;
        const ZipResult opened = reader->memoryRead.open(
            reader->archive, reader->file, reader->cachedData, reader->password.get());
        if (opened != ZIPRES_OK) return opened;
        reader->currentItem = index;
    }
    size_t delivered = 0;
    const ZipResult result =
        reader->memoryRead.read(static_cast<unsigned char*>(buffer), size, delivered);
    if (result != ZIPRES_OK) {
        abandonMemoryRead(reader);
        return result;
    }
    if (reader->memoryRead.atEnd()) {
        abandonMemoryRead(reader);
        return ZIPRES_OK;
    }
    if (delivered == 0) abandonMemoryRead(reader);
    return ZIPRES_MORE_DATA;
}

ZipResult Close(CZipReader* reader) {
    if (!reader) return ZIPRES_BAD_ARGS;
    abandonMemoryRead(reader);
    delete reader;
    return ZIPRES_OK;
}
