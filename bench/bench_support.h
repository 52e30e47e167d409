#pragma once
// Small helpers the benchmark programs share: timing, memory figures, sample files,
// the peer programs run through the tests' process starter.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/system/subprocess.h"

namespace bench {

// A figure of /proc/self/status in KiB: "VmHWM:" (the peak resident set size) or
// "VmRSS:" (the current one).
inline long statusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return -1;
}

inline long peakMemoryKiB() { return statusKiB("VmHWM:"); }

// Starts a new peak of the resident set size, so that each round shows its own.
inline void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The middle value (the mean of the two middle ones for an even count); 0 for none.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// "load average 0.52 0.61 0.70": the machine's load, which each benchmark prints, since
// a loaded machine moves every figure.
inline std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    file >> one >> five >> fifteen;
    char text[64];
    std::snprintf(text, sizeof text, "load average %.2f %.2f %.2f", one, five, fifteen);
    return text;
}

// Runs a program to its end, in `folder` when given; true when it exits with 0.
inline bool run(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& folder = {}) {
    testsupport::ProgramOptions options;
    options.workingDirectory = folder;
    options.timeoutSeconds = 3600;  // a large sample takes its time
    options.standardError = testsupport::Redirect::inherit();
    return testsupport::runProgram(program, arguments, options).exitCode == 0;
}

// Writes `bytes` bytes that `fill` makes one piece at a time, so that making a large
// sample does not raise our own peak memory.
template <typename Fill>
bool writeSample(const std::filesystem::path& path, uint64_t bytes, Fill fill) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> piece(1 << 20);
    for (uint64_t written = 0; written < bytes && out;) {
        fill(piece);
        const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), bytes - written));
        out.write(piece.data(), static_cast<std::streamsize>(n));
        written += n;
    }
    return bool(out);
}

// Bytes that do not compress (xorshift), as real packages and crash archives are.
inline bool writeRandomSample(const std::filesystem::path& path, uint64_t bytes) {
    uint64_t state = 88172645463325252ULL;
    return writeSample(path, bytes, [&state](std::vector<char>& piece) {
        for (char& c : piece) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            c = static_cast<char>(state);
        }
    });
}

}  // namespace bench
