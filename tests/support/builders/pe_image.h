#pragma once
// A minimal Windows PE image with a version resource, built in memory, so tests can
// make executables of any file version and damage them at known places.

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

struct PeImageOptions {
    uint16_t fileVersion[4] = {1, 2, 3, 4};
    bool pe32Plus = false;
    bool withResources = true;
    bool withTranslation = true;  // "\VarFileInfo\Translation"
    bool withFixedInfo = true;    // VS_FIXEDFILEINFO as the root block's value
};

// File offsets of the places a test may want to damage.
struct PeImage {
    std::string bytes;
    size_t peHeader = 0;           // "PE\0\0"
    size_t resourceDirectory = 0;  // optional header's data directory 2 (RVA, size)
    size_t sectionHeader = 0;      // the one section's header
    size_t resourceRoot = 0;       // root directory of the resource tree
    size_t typeEntry = 0;          // root entry: id, target
    size_t nameEntry = 0;          // second level entry
    size_t languageEntry = 0;      // third level entry
    size_t dataEntry = 0;          // IMAGE_RESOURCE_DATA_ENTRY
    size_t versionBlock = 0;       // VS_VERSIONINFO
    size_t fixedInfo = 0;          // VS_FIXEDFILEINFO
};

PeImage buildPeImage(const PeImageOptions& options = {});

// The bytes of an image of file version a.b.c.d, as a client updater of that version.
std::string peImageOfVersion(uint16_t a, uint16_t b, uint16_t c, uint16_t d);

void putLe16(std::string& bytes, size_t offset, uint16_t value);
void putLe32(std::string& bytes, size_t offset, uint32_t value);

}  // namespace testsupport
