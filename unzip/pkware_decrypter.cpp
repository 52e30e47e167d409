#include "unzip/pkware_decrypter.h"

#include <zlib.h>

// The routines of crypt.h predate C++17 (they use `register`) and are all static.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wregister"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <minizip/crypt.h>
#pragma GCC diagnostic pop

// crypt.h wants the CRC table as unsigned long, zlib hands out 32-bit entries.
const unsigned long* pkwareCrcTable() {
    static const struct Table {
        unsigned long entries[256];
        Table() {
            const z_crc_t* source = get_crc_table();
            for (int i = 0; i < 256; ++i) entries[i] = source[i];
        }
    } table;
    return table.entries;
}

PkwareDecrypter::PkwareDecrypter(const char* password) {
    init_keys(password ? password : "", keys_, pkwareCrcTable());
}

void PkwareDecrypter::decrypt(unsigned char* data, size_t length) {
    const unsigned long* table = pkwareCrcTable();
    for (size_t i = 0; i < length; ++i) {
        int c = data[i];
        zdecode(keys_, table, c);
        data[i] = static_cast<unsigned char>(c);
    }
}
