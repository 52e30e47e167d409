// Unpacks one large deflated item with UnzipToFile and, in the same run, with
// Info-ZIP's "unzip -o", and prints the time ratio and our peak memory.
// Usage: bench_unzip_bench [MEGABYTES]   (default 200)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "unzip/zip_reader.h"

namespace fs = std::filesystem;

namespace {

// Starts a new peak of the resident set size, so that each round shows its own.
void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A figure of /proc/self/status in KiB: "VmHWM:" (the peak resident set size) or
// "VmRSS:" (the current one).
long statusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return -1;
}

// Text that deflates to about half its size, written in pieces so that making it
// does not raise our own peak memory.
bool writeSample(const fs::path& path, uint64_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> piece(1 << 20);
    uint32_t state = 12345;
    for (uint64_t written = 0; written < bytes && out;) {
        for (char& c : piece) {
            state = state * 1103515245u + 12345u;
            const unsigned r = (state >> 16) & 0xFF;
            c = r < 8 ? '\n' : char('a' + (r % 23));
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), bytes - written));
        out.write(piece.data(), static_cast<std::streamsize>(n));
        written += n;
    }
    return bool(out);
}

int run(const std::string& command) { return std::system(command.c_str()); }

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    const double seconds = secondsSince(start);
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
    const fs::path work = fs::temp_directory_path() / ("unzip_bench_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
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
            run("cd '" + work.string() + "' && zip -q -6 sample.zip sample.dat") != 0) {
            std::fprintf(stderr, "cannot make the sample archive (is zip installed?)\n");
            status = 1;
            break;
        }
        fs::remove(sample);

        // The sample writer leaves heap behind that differs from round to round; what
        // counts is how far the unpacking raises the peak above where it started.
        resetPeakMemory();
        const long before = statusKiB("VmRSS:");
        const double ours = unpackWithReader(archive, work / "ours");
        const long peak = statusKiB("VmHWM:");
        const auto start = std::chrono::steady_clock::now();
        const int unzipStatus =
            run("unzip -o -q '" + archive.string() + "' -d '" + (work / "theirs").string() + "'");
        const double theirs = secondsSince(start);
        if (ours < 0 || unzipStatus != 0) {
            status = 1;
            break;
        }
        const bool same = fs::file_size(work / "ours" / "sample.dat") == size.bytes &&
                          run("cmp -s '" + (work / "ours" / "sample.dat").string() + "' '" +
                              (work / "theirs" / "sample.dat").string() + "'") == 0;
        std::printf("%-5s item %8.1f MB (archive %.1f MB): UnzipToFile %.2f s, unzip -o %.2f s, "
                    "ratio %.2f, our peak memory %ld KiB (%+ld KiB while unpacking), same bytes: %s\n",
                    size.label, double(size.bytes) / 1e6, double(fs::file_size(archive)) / 1e6,
                    ours, theirs, ours / theirs, peak, peak - before, same ? "yes" : "NO");
        if (!same) status = 1;
        fs::remove_all(work / "ours");
        fs::remove_all(work / "theirs");
    }
    fs::remove_all(work);
    return status;
}
