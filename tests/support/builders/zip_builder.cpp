#include "support/builders/zip_builder.h"

#include <zlib.h>

// The routines of crypt.h predate C++17 (they use `register`) and are all static.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wregister"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <minizip/crypt.h>
#pragma GCC diagnostic pop

namespace testsupport {

namespace {

// A fixed encryption header keeps the archives the same from run to run.
std::string encrypt(const std::string& password, unsigned char checkByte,
                    const std::string& payload) {
    unsigned long table[256];
    const z_crc_t* source = get_crc_table();
    for (int i = 0; i < 256; ++i) table[i] = source[i];
    unsigned long keys[3];
    init_keys(password.c_str(), keys, table);
    std::string plain = std::string(11, '\x5A') + char(checkByte) + payload;
    std::string out;
    for (char c : plain) {
        int t;
        out += char(zencode(keys, table, static_cast<unsigned char>(c), t));
    }
    return out;
}

void put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

std::string deflateRaw(const std::string& data) {
    z_stream zs{};
    deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, uLong(data.size())) + 16, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = uInt(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string extendedTimestamp(uint8_t flags, const std::vector<int32_t>& times) {
    std::string out = "UT";
    put16(out, uint32_t(1 + 4 * times.size()));
    out += char(flags);
    for (int32_t t : times) put32(out, uint32_t(t));
    return out;
}

uint64_t fileTimeFromUnix(int64_t seconds) {
    return uint64_t(seconds + 11644473600LL) * 10000000ULL;
}

std::string buildZip(const std::vector<ZipEntryPlan>& entries, const ZipBuildOptions& options) {
    std::string out = options.prefix;
    std::string central;
    const size_t base = options.prefix.size();
    for (const ZipEntryPlan& e : entries) {
        const uint32_t crc =
            uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(e.data.data()),
                           uInt(e.data.size())));
        const uint16_t flags = e.password ? uint16_t(e.flags | 0x1) : e.flags;
        std::string payload = e.payload ? *e.payload : (e.deflate ? deflateRaw(e.data) : e.data);
        if (e.password)
            payload = encrypt(
                *e.password, (flags & 0x8) ? uint8_t(e.dosTime >> 8) : uint8_t(crc >> 24), payload);
        const uint16_t method = e.method ? *e.method : (e.deflate ? 8 : 0);
        const std::string localName = e.localName ? *e.localName : e.name;
        const uint32_t offset = uint32_t(out.size() - base);

        put32(out, 0x04034b50);
        put16(out, 20);
        put16(out, flags);
        put16(out, e.localMethod ? *e.localMethod : method);
        put16(out, e.dosTime);
        put16(out, e.dosDate);
        put32(out, e.localCrc ? *e.localCrc : crc);
        put32(out, uint32_t(payload.size()));
        put32(out, uint32_t(e.data.size()));
        put16(out, uint32_t(localName.size()));
        put16(out, e.localExtraLength ? *e.localExtraLength : uint32_t(e.localExtra.size()));
        out += localName;
        out += e.localExtra;
        out += payload;

        put32(central, 0x02014b50);
        put16(central, e.versionMadeBy);
        put16(central, 20);
        put16(central, flags);
        put16(central, method);
        put16(central, e.dosTime);
        put16(central, e.dosDate);
        put32(central, crc);
        put32(central, uint32_t(payload.size()));
        put32(central,
              e.centralUncompressedSize ? *e.centralUncompressedSize : uint32_t(e.data.size()));
        put16(central, uint32_t(e.name.size()));
        put16(central, 0);  // extra
        put16(central, 0);  // comment
        put16(central, 0);  // disk
        put16(central, 0);  // internal attributes
        put32(central, e.externalAttributes);
        put32(central, offset);
        central += e.name;
    }
    const uint32_t centralOffset = uint32_t(out.size() - base);
    out += central;
    const uint16_t count =
        options.declaredCount ? *options.declaredCount : uint16_t(entries.size());
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, count);
    put16(out, count);
    put32(out, uint32_t(central.size()));
    put32(out, centralOffset);
    put16(out, 0);
    if (options.truncateAt > 0 && options.truncateAt < out.size()) out.resize(options.truncateAt);
    return out;
}

ZipEntryPlan windowsEntry(const std::string& name, const std::string& data) {
    ZipEntryPlan entry;
    entry.name = name;
    entry.data = data;
    entry.deflate = true;
    return entry;
}

ZipEntryPlan unixEntry(const std::string& name, const std::string& data, uint32_t mode) {
    ZipEntryPlan entry = windowsEntry(name, data);
    entry.versionMadeBy = (3 << 8) | 20;
    entry.externalAttributes = mode << 16;
    return entry;
}

}  // namespace testsupport
