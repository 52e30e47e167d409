// Downloads one large file from lighttpd on loopback with CFileDownLoad and, in the
// same run, with "curl -o", and prints the time ratio and our peak memory.
// The progress dialog's column runs the download on a worker under the dialog, as the
// patch step does (the console backend when there is no display).
// Usage: bench_download [MEGABYTES...]   (default 1024; several sizes show
// whether our memory grows with the file)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "support/peers/lighttpd_server.h"
#include "transfer/file_download.h"
#include "transfer/progress_bar_dlg.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
    if (sizes.empty()) sizes.push_back(1024);

    const fs::path work = fs::temp_directory_path() / "download-bench";
    fs::remove_all(work);
    fs::create_directories(work / "root");
    testsupport::LighttpdServer server((work / "root").string());
    if (!server.running()) {
        std::fprintf(stderr, "lighttpd did not start\n");
        return 1;
    }
    const std::string url = server.url();
    int status = 0;

    std::printf("%8s %10s %14s %10s %8s %8s %14s\n", "MiB", "ours s", "ours+dialog s", "curl -o s",
                "ratio", "dialog", "our peak KiB");
    for (long mib : sizes) {
        const fs::path source = work / "root" / "big.bin";
        const uint64_t bytes = uint64_t(mib) << 20;
        if (!bench::writeRandomSample(source, bytes)) return 1;
        const fs::path target = work / "ours.bin";
        auto ourDownload = [&](bool withDialog) {
            setField(fileDownLoad.url, url);
            setField(fileDownLoad.remotePath, "big.bin");
            setField(fileDownLoad.localDir, (work / "").string());
            setField(fileDownLoad.localName, "ours.bin");
            int result = 0;
            if (withDialog) {
                // As the patch step runs it: a worker downloads under the dialog,
                // whose updates are synchronous calls onto this thread.
                fileDownLoad.progressSink = &progressDialog;
                std::thread worker([&] {
                    result = fileDownLoad.Download();
                    progressDialog.EndDialog(0);
                });
                progressDialog.DoModal();
                worker.join();
                fileDownLoad.progressSink = nullptr;
            } else {
                result = fileDownLoad.Download();
            }
            if (result != 1 || fs::file_size(target) != bytes) {
                std::fprintf(stderr, "CFileDownLoad failed\n");
                status = 1;
            }
            fs::remove(target);
        };
        // Best of five, alternating, so no side profits from the order.
        double ours = 1e30, dialog = 1e30, theirs = 1e30;
        for (int round = 0; round < 5; ++round) {
            auto start = std::chrono::steady_clock::now();
            ourDownload(false);
            ours = std::min(ours, bench::secondsSince(start));

            start = std::chrono::steady_clock::now();
            ourDownload(true);
            dialog = std::min(dialog, bench::secondsSince(start));

            const fs::path theirTarget = work / "curl.bin";
            start = std::chrono::steady_clock::now();
            if (!bench::run("curl", {"-s", "-o", theirTarget.string(), url + "big.bin"}) ||
                fs::file_size(theirTarget) != bytes) {
                std::fprintf(stderr, "curl failed\n");
                status = 1;
            }
            theirs = std::min(theirs, bench::secondsSince(start));
            fs::remove(theirTarget);
        }
        std::printf("%8ld %10.3f %14.3f %10.3f %8.3f %8.3f %14ld\n", mib, ours, dialog, theirs,
                    ours / theirs, dialog / theirs, bench::peakMemoryKiB());
        std::fflush(stdout);
        fs::remove(source);
    }
    server.stopAndReadLog();
    fs::remove_all(work);
    return status;
}
