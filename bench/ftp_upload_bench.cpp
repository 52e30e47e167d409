// Uploads one large file to pyftpdlib on loopback with StoreFile and, in the same run,
// with "curl -T" in active mode (--ftp-port), round after round, and prints the median
// times, their ratio and how far an upload raises our peak memory. The server runs on a
// free port, since the client's port can be chosen here.
// Usage: bench_ftp_upload [MEGABYTES] [ROUNDS]   (default 100 MB, 7 rounds)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "ftp/blocking_socket.h"
#include "ftp/ftp_client.h"
#include "support/peers/pyftpdlib_server.h"

namespace fs = std::filesystem;

namespace {

const char kUser[] = "bench";
const char kPassword[] = "bench";

// One upload with our client; seconds, or a negative value on failure.
double uploadWithClient(const fs::path& local, const std::string& remote, unsigned short port) {
    const auto start = std::chrono::steady_clock::now();
    nsFTP::CFTPClient client(new nsSocket::CBlockingSocket);
    nsFTP::CLogonData logon;
    logon.host = "127.0.0.1";
    logon.port = port;
    logon.user = kUser;
    logon.password = kPassword;
    bool ok = client.LogOn(logon) &&
              client.StoreFile(local.string(), remote,
                               {nsFTP::CTransferType::Image, nsFTP::CTransferType::NonPrint});
    client.LogOff();
    const double seconds = bench::secondsSince(start);
    return ok ? seconds : -1;
}

double uploadWithCurl(const fs::path& local, const std::string& remote, unsigned short port) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = bench::run("curl", {"-s", "-S", "--ftp-port", "127.0.0.1", "-T", local.string(),
                                        "ftp://" + std::string(kUser) + ":" + kPassword +
                                            "@127.0.0.1:" + std::to_string(port) + "/" + remote});
    const double seconds = bench::secondsSince(start);
    return ok ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    if (megabytes == 0 || rounds < 1) {
        std::fprintf(stderr, "Usage: %s [MEGABYTES] [ROUNDS]\n", argv[0]);
        return 2;
    }
    const fs::path work =
        fs::temp_directory_path() /
        ("ftp_upload_bench_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path root = work / "server";
    fs::create_directories(root);
    const fs::path sample = work / "sample.bin";
    const uint64_t bytes = megabytes * 1000 * 1000;
    if (!bench::writeRandomSample(sample, bytes)) {
        std::fprintf(stderr, "cannot write the sample file\n");
        fs::remove_all(work);
        return 1;
    }

    testsupport::PyftpdlibServer::Options options;
    options.root = root.string();
    options.user = kUser;
    options.password = kPassword;
    options.port = 0;
    testsupport::PyftpdlibServer server(options);
    const auto port = static_cast<unsigned short>(server.port());
    int status = 0;
    if (!server.running()) {
        std::fprintf(stderr, "pyftpdlib did not start (is python3-pyftpdlib installed?)\n");
        status = 1;
    }

    // Rounds alternate which side goes first, and the medians are compared: a single run
    // is at the mercy of whatever else the machine does.
    std::vector<double> ours, theirs;
    long uploadPeak = 0;  // KiB an upload adds to the resident set, the most of any round
    for (int round = 0; round < rounds && status == 0; ++round) {
        double a = 0, b = 0;
        auto ourRound = [&] {
            bench::resetPeakMemory();
            const long before = bench::statusKiB("VmRSS:");
            a = uploadWithClient(sample, "ours.bin", port);
            uploadPeak = std::max(uploadPeak, bench::statusKiB("VmHWM:") - before);
        };
        if (round % 2 == 0) {
            ourRound();
            b = uploadWithCurl(sample, "curl.bin", port);
        } else {
            b = uploadWithCurl(sample, "curl.bin", port);
            ourRound();
        }
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "an upload failed (StoreFile %.2f, curl %.2f)\n", a, b);
            status = 1;
            break;
        }
        ours.push_back(a);
        theirs.push_back(b);
        // Each round uploads the whole file again, not the rest of the last one.
        fs::remove(root / "ours.bin");
        fs::remove(root / "curl.bin");
    }
    if (status == 0) {
        // One more of each for the comparison of the bytes.
        const bool uploaded = uploadWithClient(sample, "ours.bin", port) >= 0 &&
                              uploadWithCurl(sample, "curl.bin", port) >= 0;
        const bool same =
            uploaded && fs::file_size(root / "ours.bin") == bytes &&
            bench::run("cmp", {"-s", sample.string(), (root / "ours.bin").string()}) &&
            bench::run("cmp", {"-s", sample.string(), (root / "curl.bin").string()});
        const double mine = bench::median(ours), curl = bench::median(theirs);
        std::printf(
            "upload of %.1f MB to pyftpdlib on loopback, active mode, median of %d rounds: "
            "StoreFile %.3f s (%.1f MB/s), curl -T --ftp-port %.3f s (%.1f MB/s), ratio %.2f; "
            "an upload adds at most %ld KiB to our resident memory (peak %ld KiB); "
            "same bytes: %s; %s\n",
            double(bytes) / 1e6, rounds, mine, double(bytes) / 1e6 / mine, curl,
            double(bytes) / 1e6 / curl, mine / curl, uploadPeak, bench::peakMemoryKiB(),
            same ? "yes" : "NO", bench::loadAverage().c_str());
        if (!same) status = 1;
    }
    fs::remove_all(work);
    return status;
}
