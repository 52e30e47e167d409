// Our own reader of the version resource of a PE image: the RT_VERSION resource of the
// first language, its VS_VERSIONINFO block, "\VarFileInfo\Translation" and the
// VS_FIXEDFILEINFO.

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/byte_order.h"
#include "platform/file_version.h"
#include "platform/files.h"

namespace platform {

namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVsVersionInfoId = 1;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedFileInfoSize = 52;
// wLength of the root block is 16 bits, so no version resource is larger.
constexpr uint32_t kMaxVersionResource = 0xFFFF;
constexpr uint32_t kSubdirectoryFlag = 0x80000000u;

struct Section {
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class ImageReader {
public:
    explicit ImageReader(File& file) : file_(file) {}

    bool readAt(uint64_t offset, void* buffer, size_t count) {
        return offset <= uint64_t(INT64_MAX) && file_.readAt(int64_t(offset), buffer, count);
    }

    bool loadHeaders() {
        unsigned char dos[64];
        if (!readAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
        uint64_t peOffset = readLe32(dos + 0x3C);
        unsigned char coff[24];
        if (!readAt(peOffset, coff, sizeof coff)) return false;
        if (coff[0] != 'P' || coff[1] != 'E' || coff[2] != 0 || coff[3] != 0) return false;
        uint32_t sectionCount = readLe16(coff + 6);
        uint32_t optionalSize = readLe16(coff + 20);
        uint64_t optionalOffset = peOffset + sizeof coff;

        std::vector<unsigned char> optional(optionalSize);
        if (optionalSize < 2 || !readAt(optionalOffset, optional.data(), optionalSize))
            return false;
        size_t countField;
        switch (readLe16(optional.data())) {
            case 0x10B:
                countField = 92;
                break;  // PE32
            case 0x20B:
                countField = 108;
                break;  // PE32+
            default:
                return false;
        }
        size_t directories = countField + 4;
        constexpr size_t kResourceIndex = 2;
        if (optionalSize < directories + (kResourceIndex + 1) * 8) return false;
        if (readLe32(optional.data() + countField) <= kResourceIndex) return false;
        resourceRva_ = readLe32(optional.data() + directories + kResourceIndex * 8);
        if (resourceRva_ == 0) return false;

        std::vector<unsigned char> table(size_t(sectionCount) * 40);
        if (!readAt(optionalOffset + optionalSize, table.data(), table.size())) return false;
        for (uint32_t i = 0; i < sectionCount; ++i) {
            const unsigned char* s = table.data() + size_t(i) * 40;
            sections_.push_back({readLe32(s + 12), readLe32(s + 16), readLe32(s + 20)});
        }
        return true;
    }

    // Reads `count` bytes at a relative virtual address; they must lie in one section's
    // file-backed data.
    bool readRva(uint64_t rva, void* buffer, size_t count) {
        for (const Section& s : sections_) {
            if (rva < s.virtualAddress) continue;
            uint64_t inSection = rva - s.virtualAddress;
            if (inSection + count > s.rawSize) continue;
            return readAt(uint64_t(s.rawOffset) + inSection, buffer, count);
        }
        return false;
    }

    // The resource tree's offsets are relative to its root.
    bool readResource(uint64_t offset, void* buffer, size_t count) {
        return readRva(uint64_t(resourceRva_) + offset, buffer, count);
    }

private:
    File& file_;
    uint32_t resourceRva_ = 0;
    std::vector<Section> sections_;
};

struct DirectoryEntry {
    uint32_t name;
    uint32_t target;
};

// The entries of one resource directory: named entries first, then those with an id.
bool readDirectory(ImageReader& image, uint32_t offset, std::vector<DirectoryEntry>& entries,
                   uint32_t& namedCount) {
    unsigned char header[16];
    if (!image.readResource(offset, header, sizeof header)) return false;
    namedCount = readLe16(header + 12);
    size_t count = size_t(namedCount) + readLe16(header + 14);
    std::vector<unsigned char> raw(count * 8);
    if (!image.readResource(uint64_t(offset) + sizeof header, raw.data(), raw.size())) return false;
    entries.clear();
    for (size_t i = 0; i < count; ++i)
        entries.push_back({readLe32(raw.data() + i * 8), readLe32(raw.data() + i * 8 + 4)});
    return true;
}

// Walks type 16, name 1 (else the first name) and the first language down to the data
// entry. The tree is three levels deep by definition; a subdirectory pointing at a
// directory already visited is a loop and ends the search.
bool findVersionResource(ImageReader& image, uint32_t& dataRva, uint32_t& dataSize) {
    std::vector<uint32_t> visited;
    uint32_t offset = 0;
    std::vector<DirectoryEntry> entries;
    for (int level = 0; level < 3; ++level) {
        visited.push_back(offset);
        uint32_t namedCount = 0;
        if (!readDirectory(image, offset, entries, namedCount) || entries.empty()) return false;
        const DirectoryEntry* chosen = nullptr;
        if (level == 0 || level == 1) {
            uint32_t wanted = level == 0 ? kRtVersion : kVsVersionInfoId;
            for (size_t i = namedCount; i < entries.size(); ++i)
                if (entries[i].name == wanted) chosen = &entries[i];
            if (!chosen && level == 1) chosen = &entries[0];
        } else {
            chosen = &entries[0];
        }
        if (!chosen) return false;
        bool isDirectory = (chosen->target & kSubdirectoryFlag) != 0;
        uint32_t next = chosen->target & ~kSubdirectoryFlag;
        if (level < 2) {
            if (!isDirectory) return false;
            for (uint32_t seen : visited)
                if (seen == next) return false;
            offset = next;
        } else {
            if (isDirectory) return false;
            unsigned char data[16];
            if (!image.readResource(next, data, sizeof data)) return false;
            dataRva = readLe32(data);
            dataSize = readLe32(data + 4);
            return true;
        }
    }
    return false;
}

// One node of the VS_VERSIONINFO tree: header, UTF-16 key, value, children.
struct Block {
    size_t begin = 0;
    size_t end = 0;  // begin + wLength, within the parent
    std::u16string key;
    size_t valueBegin = 0;
    size_t valueSize = 0;
    size_t childrenBegin = 0;
};

size_t align4(size_t n) { return (n + 3) & ~size_t(3); }

bool parseBlock(const std::vector<unsigned char>& data, size_t begin, size_t limit, Block& block) {
    if (begin + 6 > limit) return false;
    size_t length = readLe16(&data[begin]);
    size_t valueLength = readLe16(&data[begin + 2]);
    uint16_t type = readLe16(&data[begin + 4]);
    if (length < 6 || begin + length > limit) return false;
    block.begin = begin;
    block.end = begin + length;
    block.key.clear();
    size_t p = begin + 6;
    for (;;) {
        if (p + 2 > block.end) return false;
        char16_t c = char16_t(readLe16(&data[p]));
        p += 2;
        if (c == 0) break;
        block.key.push_back(c);
    }
    block.valueBegin = align4(p);
    // A text value counts its length in UTF-16 characters.
    block.valueSize = type == 1 ? valueLength * 2 : valueLength;
    if (block.valueBegin > block.end) block.valueBegin = block.end;
    if (block.valueSize > block.end - block.valueBegin)
        block.valueSize = block.end - block.valueBegin;
    block.childrenBegin = align4(block.valueBegin + block.valueSize);
    return true;
}

bool sameKey(const std::u16string& key, std::string_view wanted) {
    if (key.size() != wanted.size()) return false;
    for (size_t i = 0; i < key.size(); ++i) {
        char16_t a = key[i];
        char16_t b = char16_t(static_cast<unsigned char>(wanted[i]));
        if (a >= u'a' && a <= u'z') a = char16_t(a - u'a' + u'A');
        if (b >= u'a' && b <= u'z') b = char16_t(b - u'a' + u'A');
        if (a != b) return false;
    }
    return true;
}

bool findChild(const std::vector<unsigned char>& data, const Block& parent, std::string_view key,
               Block& child) {
    size_t p = parent.childrenBegin;
    while (p < parent.end) {
        if (!parseBlock(data, p, parent.end, child)) return false;
        if (sameKey(child.key, key)) return true;
        // wLength is at least 6 here, so the walk always advances.
        p = align4(child.end);
    }
    return false;
}

}  // namespace

bool readPeFileVersion(std::string_view path, std::string& version) {
    File file;
    if (!file.open(path, AccessRead, Disposition::OpenExisting)) return false;
    ImageReader image(file);
    if (!image.loadHeaders()) return false;

    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
    if (!findVersionResource(image, dataRva, dataSize)) return false;
    if (dataSize > kMaxVersionResource) dataSize = kMaxVersionResource;
    std::vector<unsigned char> data(dataSize);
    if (dataSize == 0 || !image.readRva(dataRva, data.data(), data.size())) return false;

    Block root;
    if (!parseBlock(data, 0, data.size(), root)) return false;
    Block varFileInfo;
    Block translation;
    if (!findChild(data, root, "VarFileInfo", varFileInfo) ||
        !findChild(data, varFileInfo, "Translation", translation))
        return false;

    version.clear();
    if (root.valueSize >= kFixedFileInfoSize &&
        readLe32(&data[root.valueBegin]) == kFixedFileInfoSignature) {
        uint32_t ms = readLe32(&data[root.valueBegin + 8]);
        uint32_t ls = readLe32(&data[root.valueBegin + 12]);
        char text[48];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16,
                      ls & 0xFFFF);
        version = text;
    }
    return true;
}

}  // namespace platform
