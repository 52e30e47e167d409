// Checks a package against its signed release statement with checkPackageDigest, as the
// launcher does before the hand-over, at two sizes, and hashes the same file with
// "sha512sum" (the check is one SHA-512 pass over the file) in the same run. Prints the
// time ratio and our peak memory, which must not grow with the package.
// Usage: bench_signature [MEGABYTES]   (default 1024; the small round is 1/16)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_support.h"
#include "update/release_statement.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    if (megabytes < 16) {
        std::fprintf(stderr, "Usage: %s [MEGABYTES]   (at least 16)\n", argv[0]);
        return 2;
    }
    const fs::path work =
        fs::temp_directory_path() /
        ("signature_bench_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(work);
    const fs::path sample = work / "package.zip";

    struct Size {
        const char* label;
        uint64_t bytes;
    };
    const Size sizes[] = {{"small", (megabytes << 20) / 16}, {"large", megabytes << 20}};
    int status = 0;
    for (const Size& size : sizes) {
        if (!bench::writeRandomSample(sample, size.bytes)) {
            std::fprintf(stderr, "cannot write %s\n", sample.c_str());
            status = 1;
            break;
        }
        // Digesting reads the whole file once, so both readers below find it cached alike.
        ReleaseStatement statement;
        if (!digestFile(sample.string(), statement.size, statement.sha512)) {
            std::fprintf(stderr, "cannot read %s\n", sample.c_str());
            status = 1;
            break;
        }

        bench::resetPeakMemory();
        const long before = bench::statusKiB("VmRSS:");
        auto start = std::chrono::steady_clock::now();
        const ReleaseVerdict check = checkPackageDigest(statement, sample.string());
        const double ours = bench::secondsSince(start);
        const long peak = bench::peakMemoryKiB();

        start = std::chrono::steady_clock::now();
        const bool peerDone = bench::run("sha512sum", {sample.string()});
        const double theirs = bench::secondsSince(start);
        if (check.check != ReleaseCheck::Verified || !peerDone) {
            std::fprintf(stderr, "verification: %s; sha512sum: %s\n", check.reason.c_str(),
                         peerDone ? "done" : "failed");
            status = 1;
            break;
        }
        std::printf(
            "%-5s package %7.1f MB: verify %.2f s (%.0f MB/s), sha512sum %.2f s, ratio %.2f, "
            "our peak memory %ld KiB (%+ld KiB while verifying)\n",
            size.label, double(size.bytes) / 1e6, ours, double(size.bytes) / 1e6 / ours, theirs,
            ours / theirs, peak, peak - before);
    }
    fs::remove_all(work);
    return status;
}
