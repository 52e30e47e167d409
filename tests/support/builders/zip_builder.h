#pragma once
// Hand-made zip archives for the tests: byte layouts that Info-ZIP will not write
// (chosen "UT" times, hostile names, headers that disagree, cut data).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ZipEntryPlan {
    std::string name;
    std::string data;
    bool deflate = false;
    uint16_t versionMadeBy = 20;                              // host 0 (MS-DOS), zip 2.0
    uint32_t externalAttributes = 0x20;                       // DOS archive bit
    uint16_t dosTime = (12 << 11) | (30 << 5) | 5;            // 12:30:10
    uint16_t dosDate = ((2020 - 1980) << 9) | (6 << 5) | 15;  // 2020-06-15
    std::string localExtra;
    uint16_t flags = 0;
    // Deliberate disagreements between the local header and the directory.
    std::optional<std::string> localName;
    std::optional<uint16_t> localMethod;
    std::optional<uint32_t> localCrc;
    std::optional<uint16_t> method;  // overrides both headers' method
    std::optional<uint32_t> centralUncompressedSize;
    std::optional<uint16_t> localExtraLength;  // declared length, may exceed the bytes
    std::optional<std::string> payload;        // stored bytes in place of the real ones
    // Traditional PKWARE encryption of the payload with this password (flag bit 0 is
    // added); the check byte follows the data-descriptor bit as readers expect it.
    std::optional<std::string> password;
};

struct ZipBuildOptions {
    std::string prefix;                     // bytes in front of the archive
    std::optional<uint16_t> declaredCount;  // entries the end record announces
    size_t truncateAt = 0;                  // cut the finished archive here (0: keep)
};

std::string buildZip(const std::vector<ZipEntryPlan>& entries, const ZipBuildOptions& options = {});

// A deflated entry made on MS-DOS or Windows (host 0), as most packages are.
ZipEntryPlan windowsEntry(const std::string& name, const std::string& data);

// A deflated entry made on a Unix host (host 3) with the given mode, as a package that
// keeps execute and read-only bits records it.
ZipEntryPlan unixEntry(const std::string& name, const std::string& data, uint32_t mode);

// Raw deflate (no zlib header), as zip method 8 stores it.
std::string deflateRaw(const std::string& data);

// A "UT" extra block: the flag byte, then the given times.
std::string extendedTimestamp(uint8_t flags, const std::vector<int32_t>& times);

// The FILETIME of a count of seconds since 1970-01-01 UTC.
uint64_t fileTimeFromUnix(int64_t seconds);

}  // namespace testsupport
