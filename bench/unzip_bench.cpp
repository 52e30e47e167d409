// Unpacks one large deflated item with UnzipToFile and, in the same run, with
// Info-ZIP's "unzip -o", and prints the time ratio and our peak memory.
// Usage: bench_unzip [MEGABYTES]   (default 200)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "unzip/zip_reader.h"

namespace fs = std::filesystem;

namespace {

// Text that deflates to about half its size.
bool writeSample(const fs::path& path, uint64_t bytes) {
    uint32_t state = 12345;
    return bench::writeSample(path, bytes, [&state](std::vector<char>& piece) {
        for (char& c : piece) {
            state = state * 1103515245u + 12345u;
            const unsigned r = (state >> 16) & 0xFF;
            c = r < 8 ? '\n' : char('a' + (r % 23));
        }
    });
}

// Our unpacking of item 0 into `folder`; seconds, or a negative value on failure.
double unpackWithReader(const fs::path& archive, const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    const auto start = std::chrono::steady_clock::now();
    CZipReader* reader = Open(archive.c_str(), nullptr);
    ZipItem item;
    ZipResult result = reader ? GetItem(reader, 0, &item) : ZIPRES_CANNOT_OPEN;
    if (result == ZIPRES_OK) result = UnzipToFile(reader, 0, item.name);
    if (reader) Close(reader);
    const double seconds = bench::secondsSince(start);
    fs::current_path(previous);
    if (result != ZIPRES_OK) {
        std::fprintf(stderr, "UnzipToFile failed: 0x%08x\n", unsigned(result));
        return -1;
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 200;
    if (megabytes == 0) {
        std::fprintf(stderr, "Usage: %s [MEGABYTES]\n", argv[0]);
        return 2;
    }
    const fs::path work =
        fs::temp_directory_path() /
        ("unzip_bench_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(work);

    struct Size {
        const char* label;
        uint64_t bytes;
    };
    // A small item first: peak memory must not grow with the item's size.
    const Size sizes[] = {{"small", (megabytes << 20) / 10}, {"large", megabytes << 20}};
    int status = 0;
    for (const Size& size : sizes) {
        const fs::path sample = work / "sample.dat";
        const fs::path archive = work / "sample.zip";
        fs::remove(archive);
        if (!writeSample(sample, size.bytes) ||
            !bench::run("zip", {"-q", "-6", "sample.zip", "sample.dat"}, work.string())) {
            std::fprintf(stderr, "cannot make the sample archive (is zip installed?)\n");
            status = 1;
            break;
        }
        fs::remove(sample);

        // The sample writer leaves heap behind that differs from round to round; what
        // counts is how far the unpacking raises the peak above where it started.
        bench::resetPeakMemory();
        const long before = bench::statusKiB("VmRSS:");
        const double ours = unpackWithReader(archive, work / "ours");
        const long peak = bench::statusKiB("VmHWM:");
        const auto start = std::chrono::steady_clock::now();
        const bool unzipped =
            bench::run("unzip", {"-o", "-q", archive.string(), "-d", (work / "theirs").string()});
        const double theirs = bench::secondsSince(start);
        if (ours < 0 || !unzipped) {
            status = 1;
            break;
        }
        const bool same = fs::file_size(work / "ours" / "sample.dat") == size.bytes &&
                          bench::run("cmp", {"-s", (work / "ours" / "sample.dat").string(),
                                             (work / "theirs" / "sample.dat").string()});
        std::printf(
            "%-5s item %8.1f MB (archive %.1f MB): UnzipToFile %.2f s, unzip -o %.2f s, "
            "ratio %.2f, our peak memory %ld KiB (%+ld KiB while unpacking), same bytes: %s\n",
            size.label, double(size.bytes) / 1e6, double(fs::file_size(archive)) / 1e6, ours,
            theirs, ours / theirs, peak, peak - before, same ? "yes" : "NO");
        if (!same) status = 1;
        fs::remove_all(work / "ours");
        fs::remove_all(work / "theirs");
    }
    fs::remove_all(work);
    return status;
}
