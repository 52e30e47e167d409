// The hand-over's unpacking (installPatchArchive) of a package of many small entries,
// first with no other process running, then with idle processes running: before every
// entry the three updater names are ended, and each of those calls goes over the
// process list. Prints both times.
// It ends processes by name ("ClientUpdate.exe", ...), so it runs itself again in a PID
// namespace of its own (unshare --pid --fork --mount-proc), where it sees only its own
// processes and can never end another program; it refuses to run outside one.
// It also prints the cost of the durable unpacking (each entry's data flushed to the
// disk before its rename, the folder after it): the same unpacking once more with the
// flushes made no-ops by eatmydata (LD_PRELOAD), when that is installed.
// Usage: bench_hand_over [ENTRIES] [PROCESSES]   (default 5000 entries, 300 processes)

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "launcher/hand_over.h"

namespace fs = std::filesystem;

namespace {

const char kMarker[] = "LAUNCHER_BENCH_OWN_PID_NAMESPACE";

// Outside the namespace: starts this program again inside one and returns its exit code.
int rerunInOwnPidNamespace(int argc, char** argv) {
    std::vector<std::string> arguments = {"--pid", "--fork", "--mount-proc", "--kill-child"};
    if (::geteuid() != 0) arguments.push_back("--map-current-user");
    arguments.push_back("--");
    arguments.push_back(fs::read_symlink("/proc/self/exe").string());
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    testsupport::ProgramOptions options;
    options.environment = {{kMarker, "1"}};
    options.timeoutSeconds = 7200;
    options.standardOutput = testsupport::Redirect::inherit();
    options.standardError = testsupport::Redirect::inherit();
    const testsupport::ProgramResult result =
        testsupport::runProgram("unshare", arguments, options);
    if (result.exitCode == -1) std::fprintf(stderr, "the run in its own PID namespace failed\n");
    return result.exitCode;
}

size_t runningProcesses() {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        count += !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
    }
    return count;
}

// Unpacks a copy of the package in a fresh folder; seconds, or a negative value when
// not every entry arrived.
double unpack(const fs::path& package, const fs::path& folder, int entries) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(package, folder / "Update.rar");
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    const auto start = std::chrono::steady_clock::now();
    installPatchArchive();
    const double seconds = bench::secondsSince(start);
    fs::current_path(previous);
    long files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) files += entry.is_regular_file();
    return files == entries && !fs::exists(folder / "Update.rar") ? seconds : -1;
}

// The unpacking of `package` run by this program again under eatmydata, whose fsync and
// fdatasync return at once: the time without the flushes, or a negative value.
double unpackWithoutFlushes(const fs::path& package, const fs::path& folder, int entries) {
    const std::string eatmydata = testsupport::findProgram("eatmydata");
    if (eatmydata.empty()) return -1;
    testsupport::ProgramOptions options;
    // The preloaded library comes before the sanitizers' runtime.
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.environment = {
        {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    options.timeoutSeconds = 3600;
    const testsupport::ProgramResult result =
        testsupport::runProgram(eatmydata,
                                {fs::read_symlink("/proc/self/exe").string(), "--unpack-only",
                                 package.string(), folder.string(), std::to_string(entries)},
                                options);
    return result.exitCode == 0 ? std::atof(result.out.c_str()) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    // Only as the namespaced run's own child (it ends processes by name too).
    if (argc == 5 && std::strcmp(argv[1], "--unpack-only") == 0 && std::getenv(kMarker)) {
        const double seconds = unpack(argv[2], argv[3], std::atoi(argv[4]));
        std::printf("%f\n", seconds);
        return seconds < 0;
    }
    const int entries = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int processes = argc > 2 ? std::atoi(argv[2]) : 300;
    if (entries < 1 || processes < 0) {
        std::fprintf(stderr, "Usage: %s [ENTRIES] [PROCESSES]\n", argv[0]);
        return 2;
    }
    if (!std::getenv(kMarker)) return rerunInOwnPidNamespace(argc, argv);
    if (::getpid() != 1) {
        std::fprintf(stderr, "not in a PID namespace of its own: refusing to end processes\n");
        return 1;
    }

    const fs::path work =
        fs::temp_directory_path() /
        ("hand_over_bench_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path source = work / "release";
    fs::create_directories(source);
    uint32_t state = 2463534242u;
    for (int i = 0; i < entries; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%05d.dat", i);
        std::string bytes(512, '\0');
        for (char& c : bytes) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            c = char('a' + state % 26);
        }
        std::ofstream(source / name, std::ios::binary) << bytes;
    }
    const fs::path package = work / "package.zip";
    if (!bench::run("zip", {"-q", "-r", package.string(), "."}, source.string())) {
        std::fprintf(stderr, "cannot make the package (is zip installed?)\n");
        fs::remove_all(work);
        return 1;
    }

    int status = 0;
    const double alone = unpack(package, work / "game", entries);
    const double withoutFlushes = unpackWithoutFlushes(package, work / "game", entries);
    const size_t aloneCount = runningProcesses();

    std::vector<testsupport::Subprocess> idle;
    testsupport::SubprocessOptions quiet;
    quiet.standardOutput = testsupport::Redirect::null();
    quiet.standardError = testsupport::Redirect::null();
    for (int i = 0; i < processes; ++i)
        idle.emplace_back("sleep", std::vector<std::string>{"3600"}, quiet);
    const size_t busyCount = runningProcesses();
    const double busy = unpack(package, work / "game", entries);
    idle.clear();

    if (alone < 0 || busy < 0) {
        std::fprintf(stderr, "the unpacking did not deliver every entry\n");
        status = 1;
    } else {
        std::printf(
            "installPatchArchive of %d entries: %zu processes running %.2f s (%.3f ms an "
            "entry), %zu processes running %.2f s (%.3f ms an entry); %s\n",
            entries, aloneCount, alone, alone * 1000 / entries, busyCount, busy,
            busy * 1000 / entries, bench::loadAverage().c_str());
        if (withoutFlushes < 0)
            std::printf("no figure without the flushes (eatmydata is missing or failed)\n");
        else
            std::printf(
                "durable unpacking: %.2f s with every entry flushed before its rename, %.2f s "
                "with the flushes skipped (eatmydata): %.2f ms an entry more\n",
                alone, withoutFlushes, (alone - withoutFlushes) * 1000 / entries);
    }
    fs::remove_all(work);
    return status;
}
