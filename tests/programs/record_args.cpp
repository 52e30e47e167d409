// A stand-in client updater for the tests. It appends its arguments, one per line and
// then an empty line, to "args.txt" in its own folder, in one write so that copies
// running side by side do not mix their records. While a file "wait" lies in that
// folder it stays running (at most 20 seconds), so a test can find it among the
// processes. It links nothing of the launcher's. The Windows build carries a file
// version (record_args.rc), as the real updater does.

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "record_args_files.h"

int main(int argc, char** argv) {
    const std::string folder = ownFolder();
    if (folder.empty()) return 2;

    std::string record;
    for (int i = 1; i < argc; ++i) record += std::string(argv[i]) + "\n";
    record += "\n";
    if (!appendInOneWrite(folder + "args.txt", record)) return 3;

    const std::string waitFile = folder + "wait";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::error_code ignored;
    while (std::filesystem::exists(waitFile, ignored) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
