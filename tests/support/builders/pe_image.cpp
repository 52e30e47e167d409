#include "support/builders/pe_image.h"

#include <fstream>

namespace testsupport {

namespace {

constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionFileOffset = 0x200;

void append16(std::string& s, uint16_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}
void append32(std::string& s, uint32_t v) {
    append16(s, uint16_t(v & 0xFFFF));
    append16(s, uint16_t(v >> 16));
}
void pad4(std::string& s) {
    while (s.size() % 4) s.push_back('\0');
}

// One VS_VERSIONINFO-style node; wLength covers everything but trailing padding.
std::string versionNode(const std::string& key, const std::string& value, uint16_t valueLength,
                        uint16_t type, const std::string& children) {
    std::string node(6, '\0');
    for (char c : key) append16(node, uint16_t(static_cast<unsigned char>(c)));
    append16(node, 0);
    pad4(node);
    node += value;
    if (!children.empty()) {
        pad4(node);
        node += children;
    }
    putLe16(node, 0, uint16_t(node.size()));
    putLe16(node, 2, valueLength);
    putLe16(node, 4, type);
    return node;
}

std::string textValue(const std::string& text) {
    std::string v;
    for (char c : text) append16(v, uint16_t(static_cast<unsigned char>(c)));
    append16(v, 0);
    return v;
}

std::string joinChildren(std::initializer_list<std::string> children) {
    std::string all;
    for (const auto& c : children) {
        pad4(all);
        all += c;
    }
    return all;
}

}  // namespace

void putLe16(std::string& bytes, size_t offset, uint16_t value) {
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char(value >> 8);
}

void putLe32(std::string& bytes, size_t offset, uint32_t value) {
    putLe16(bytes, offset, uint16_t(value & 0xFFFF));
    putLe16(bytes, offset + 2, uint16_t(value >> 16));
}

PeImage buildPeImage(const PeImageOptions& options) {
    PeImage image;
    const auto& v = options.fileVersion;

    std::string fixed;
    append32(fixed, 0xFEEF04BD);
    append32(fixed, 0x00010000);
    append32(fixed, uint32_t(v[0]) << 16 | v[1]);
    append32(fixed, uint32_t(v[2]) << 16 | v[3]);
    append32(fixed, 0x00050006);
    append32(fixed, 0x00070008);
    for (int i = 0; i < 7; ++i) append32(fixed, 0);

    std::string fileVersionText = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." +
                                  std::to_string(v[2]) + "." + std::to_string(v[3]);
    std::string strings =
        versionNode("StringFileInfo", "", 0, 1,
                    versionNode("040904b0", "", 0, 1,
                                versionNode("FileVersion", textValue(fileVersionText),
                                            uint16_t(fileVersionText.size() + 1), 1, "")));
    std::string translation;
    append16(translation, 0x0409);
    append16(translation, 0x04B0);
    std::string vars =
        versionNode("VarFileInfo", "", 0, 1,
                    options.withTranslation ? versionNode("Translation", translation, 4, 0, "")
                                            : versionNode("Other", translation, 4, 0, ""));
    std::string rootValue = options.withFixedInfo ? fixed : std::string();
    std::string block = versionNode("VS_VERSION_INFO", rootValue, uint16_t(rootValue.size()), 0,
                                    joinChildren({strings, vars}));

    // Resource tree: type 16 -> name 1 -> language 0x409 -> data entry -> block.
    std::string rsrc;
    auto directory = [&](uint32_t id, uint32_t target) {
        for (int i = 0; i < 3; ++i) append32(rsrc, 0);
        append16(rsrc, 0);  // named entries
        append16(rsrc, 1);  // id entries
        append32(rsrc, id);
        append32(rsrc, target);
    };
    directory(16, 0x80000018);
    directory(1, 0x80000030);
    directory(0x409, 0x48);
    append32(rsrc, kSectionRva + 0x58);
    append32(rsrc, uint32_t(block.size()));
    append32(rsrc, 0);
    append32(rsrc, 0);
    rsrc += block;
    uint32_t rawSize = uint32_t((rsrc.size() + 0x1FF) & ~size_t(0x1FF));
    rsrc.resize(rawSize, '\0');

    std::string& out = image.bytes;
    out.assign(kSectionFileOffset, '\0');
    out[0] = 'M';
    out[1] = 'Z';
    image.peHeader = 0x40;
    putLe32(out, 0x3C, uint32_t(image.peHeader));
    size_t p = image.peHeader;
    out.replace(p, 4, std::string("PE\0\0", 4));
    uint16_t optionalSize = options.pe32Plus ? 240 : 224;
    putLe16(out, p + 4, options.pe32Plus ? 0x8664 : 0x14C);
    putLe16(out, p + 6, options.withResources ? 1 : 0);
    putLe16(out, p + 20, optionalSize);
    putLe16(out, p + 22, 0x0102);
    size_t opt = p + 24;
    putLe16(out, opt, options.pe32Plus ? 0x20B : 0x10B);
    size_t countField = options.pe32Plus ? 108 : 92;
    putLe32(out, opt + 32, 0x1000);  // section alignment
    putLe32(out, opt + 36, 0x200);   // file alignment
    putLe32(out, opt + countField, 16);
    image.resourceDirectory = opt + countField + 4 + 2 * 8;
    if (options.withResources) {
        putLe32(out, image.resourceDirectory, kSectionRva);
        putLe32(out, image.resourceDirectory + 4, uint32_t(rsrc.size()));
    }
    image.sectionHeader = opt + optionalSize;
    size_t s = image.sectionHeader;
    out.replace(s, 5, ".rsrc");
    putLe32(out, s + 8, rawSize);
    putLe32(out, s + 12, kSectionRva);
    putLe32(out, s + 16, rawSize);
    putLe32(out, s + 20, kSectionFileOffset);
    putLe32(out, s + 36, 0x40000040);
    if (options.withResources) out += rsrc;

    image.resourceRoot = kSectionFileOffset;
    image.typeEntry = kSectionFileOffset + 0x10;
    image.nameEntry = kSectionFileOffset + 0x28;
    image.languageEntry = kSectionFileOffset + 0x40;
    image.dataEntry = kSectionFileOffset + 0x48;
    image.versionBlock = kSectionFileOffset + 0x58;
    image.fixedInfo = image.versionBlock + 6 + 2 * 16;  // header, key and its NUL
    image.fixedInfo = (image.fixedInfo + 3) & ~size_t(3);
    return image;
}

std::string peImageOfVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    PeImageOptions options;
    options.fileVersion[0] = a;
    options.fileVersion[1] = b;
    options.fileVersion[2] = c;
    options.fileVersion[3] = d;
    return buildPeImage(options).bytes;
}

}  // namespace testsupport
