#include "support/loaded_converters.h"

#include <iconv.h>
#include <langinfo.h>

#include <string>
#include <vector>

namespace fuzzsupport {

void keepConvertersLoaded() {
    const std::string ansi = nl_langinfo(CODESET);
    const char* const pairs[][2] = {
        {"UTF-8", "UTF-32LE"},    {"UTF-32LE", "UTF-8"}, {"UTF-16LE", "UTF-32LE"},
        {"UTF-32LE", "UTF-16LE"}, {"UTF-32LE", "CP950"}, {"UTF-32LE", ansi.c_str()},
    };
    // Reachable to the end (the leak checker runs after static destructors), never closed.
    static auto* kept = new std::vector<iconv_t>;
    for (const auto& pair : pairs) kept->push_back(iconv_open(pair[1], pair[0]));
}

}  // namespace fuzzsupport
