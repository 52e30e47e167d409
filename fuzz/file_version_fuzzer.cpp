// The PE version reader over any file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_version.h"
#include "support/fuzz_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzzsupport::ScratchFile file("version.exe");
    if (!file.write(data, size)) return 0;
    std::string version;
    if (platform::fileVersionInfo(file.path(), version) && !version.empty()) {
        // Four numbers and three dots, nothing else.
        size_t dots = 0;
        for (char c : version) {
            if (c == '.')
                ++dots;
            else if (c < '0' || c > '9')
                __builtin_trap();
        }
        if (dots != 3) __builtin_trap();
    }
    return 0;
}
