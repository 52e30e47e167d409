#include "support/builders/argument_records.h"

#include <chrono>
#include <sstream>
#include <thread>

#include "support/system/file_bytes.h"

namespace testsupport {

ArgumentRecords readArgumentRecords(const std::string& folder) {
    ArgumentRecords records;
    std::istringstream in(readFile(folder + "/args.txt"));
    std::vector<std::string> current;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) {
            records.push_back(std::move(current));
            current.clear();
        } else {
            current.push_back(line);
        }
    }
    return records;
}

ArgumentRecords waitForArgumentRecords(const std::string& folder, size_t count, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    ArgumentRecords records = readArgumentRecords(folder);
    while (records.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        records = readArgumentRecords(folder);
    }
    return records;
}

}  // namespace testsupport
