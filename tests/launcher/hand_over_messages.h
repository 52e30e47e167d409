#pragma once
// What the hand-over showed, read back from standard error where the tests' message
// boxes go, without the debugger lines that say why an entry could not be written.

#include <string>

namespace testsupport {

inline std::string messageBoxes(const std::string& err) {
    std::string boxes;
    size_t begin = 0;
    while (begin < err.size()) {
        size_t end = err.find('\n', begin);
        end = end == std::string::npos ? err.size() : end + 1;
        if (err.compare(begin, 12, "UnzipToFile ") != 0) boxes.append(err, begin, end - begin);
        begin = end;
    }
    return boxes;
}

}  // namespace testsupport
