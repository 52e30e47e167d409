// Writes a minimal Windows PE image carrying a file version, for the demonstration and
// for manual tries of the update mode: make_pe_image A.B.C.D OUTPUT [TRAILER]
// TRAILER, when given, is appended to the image, so two images of one version differ.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/builders/pe_image.h"
#include "support/system/file_bytes.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: make_pe_image A.B.C.D OUTPUT [TRAILER]\n");
        return 2;
    }
    testsupport::PeImageOptions options;
    unsigned parts[4];
    char end = 0;
    if (std::sscanf(argv[1], "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) !=
        4) {
        std::fprintf(stderr, "make_pe_image: the version must be four numbers: %s\n", argv[1]);
        return 2;
    }
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 65535) {
            std::fprintf(stderr, "make_pe_image: %u is above 65535\n", parts[i]);
            return 2;
        }
        options.fileVersion[i] = uint16_t(parts[i]);
    }
    std::string bytes = testsupport::buildPeImage(options).bytes;
    if (argc == 4) bytes += argv[3];
    if (!testsupport::writeFile(argv[2], bytes)) {
        std::fprintf(stderr, "make_pe_image: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
